// The compiled resource script, as windres writes it for each MinGW target
// (skipped where the build machine has no MinGW tools): icon groups in the
// order the shell numbers them, and the dialog templates' layouts and the
// styles the module relies on.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "codec/byte_order.h"
#include "codec/icon_directory.h"
#include "resources/resource_testing.h"

namespace codec {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Reads a NUL-terminated UTF-16 text (ASCII expected) at `at`, advancing it.
std::string Text(const Bytes& d, std::size_t& at) {
  std::string out;
  for (std::uint16_t c; at + 2 <= d.size() && (c = LoadLittleEndian16(&d[at])) != 0; at += 2) {
    out += static_cast<char>(c < 0x80 ? c : '?');
  }
  at += 2;
  return out;
}

// A name, an ordinal ("#123") or, for a 0, the empty text.
std::string NameOrOrdinal(const Bytes& d, std::size_t& at) {
  if (at + 4 <= d.size() && LoadLittleEndian16(&d[at]) == 0xFFFF) {
    at += 4;
    return "#" + std::to_string(LoadLittleEndian16(&d[at - 2]));
  }
  return Text(d, at);
}

std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

// type -> name -> data of every resource in a .res file.
using Resources = std::map<std::string, std::map<std::string, Bytes>>;

Resources ParseResFile(const Bytes& d) {
  Resources out;
  for (std::size_t at = 0; at + 8 <= d.size();) {
    const std::uint32_t dataSize = LoadLittleEndian32(&d[at]), headerSize = LoadLittleEndian32(&d[at + 4]);
    std::size_t p = at + 8;
    const std::string type = NameOrOrdinal(d, p), name = NameOrOrdinal(d, p);
    if (at + headerSize + dataSize > d.size()) break;
    if (dataSize > 0) out[type][name].assign(d.begin() + at + headerSize, d.begin() + at + headerSize + dataSize);
    at = Align4(at + headerSize + dataSize);
  }
  return out;
}

struct Control {
  std::uint32_t id, style;
  std::int16_t x, y, cx, cy;
  std::string className, text;
};

struct Dialog {
  std::uint32_t style = 0, exStyle = 0;
  std::int16_t cx = 0, cy = 0;
  std::string caption, font;
  std::uint16_t points = 0;
  std::vector<Control> controls;
};

std::string ClassName(std::string name) {
  if (name == "#128") return "button";
  if (name == "#129") return "edit";
  if (name == "#130") return "static";
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return name;
}

// An extended dialog template (DLGTEMPLATEEX) with its font.
Dialog ParseDialog(const Bytes& d) {
  Dialog out;
  if (d.size() < 26 || LoadLittleEndian32(&d[0]) != 0xFFFF0001) return out;
  out.exStyle = LoadLittleEndian32(&d[8]);
  out.style = LoadLittleEndian32(&d[12]);
  const std::uint16_t count = LoadLittleEndian16(&d[16]);
  out.cx = static_cast<std::int16_t>(LoadLittleEndian16(&d[22]));
  out.cy = static_cast<std::int16_t>(LoadLittleEndian16(&d[24]));
  std::size_t at = 26;
  NameOrOrdinal(d, at);  // menu
  NameOrOrdinal(d, at);  // class
  out.caption = Text(d, at);
  out.points = LoadLittleEndian16(&d[at]);
  at += 6;  // points, weight, italic, character set
  out.font = Text(d, at);
  for (std::uint16_t i = 0; i < count && Align4(at) + 24 <= d.size(); ++i) {
    at = Align4(at);
    Control c;
    c.style = LoadLittleEndian32(&d[at + 8]);
    c.x = static_cast<std::int16_t>(LoadLittleEndian16(&d[at + 12]));
    c.y = static_cast<std::int16_t>(LoadLittleEndian16(&d[at + 14]));
    c.cx = static_cast<std::int16_t>(LoadLittleEndian16(&d[at + 16]));
    c.cy = static_cast<std::int16_t>(LoadLittleEndian16(&d[at + 18]));
    c.id = LoadLittleEndian32(&d[at + 20]);
    at += 24;
    c.className = ClassName(NameOrOrdinal(d, at));
    c.text = NameOrOrdinal(d, at);
    at += 2 + LoadLittleEndian16(&d[at]);  // creation data
    out.controls.push_back(c);
  }
  return out;
}

// Window and control styles.
constexpr std::uint32_t kPopup = 0x80000000, kChild = 0x40000000, kVisible = 0x10000000, kCaption = 0x00C00000,
                        kBorder = 0x00800000, kSysMenu = 0x00080000, kTabStop = 0x00010000, kSetFont = 0x40,
                        kModalFrame = 0x80, kAppWindow = 0x00040000, kPassword = 0x20, kAutoHScroll = 0x80,
                        kCentre = 0x1, kIcon = 0x3, kNotify = 0x100, kCentreImage = 0x200, kDefault = 0x1,
                        kAutoCheckBox = 0x3;

struct Expected {
  std::uint32_t id;
  std::int16_t x, y, cx, cy;
  const char* className;
  std::uint32_t styleSet;  // bits that must be set; WS_CHILD and WS_VISIBLE are added unless hidden
  bool hidden = false;
};

struct ExpectedDialog {
  int id;
  std::int16_t cx, cy;
  std::vector<Expected> controls;
};

constexpr std::uint32_t kNoId = 0xFFFFFFFF;

// The layouts of the four templates (dialog units).
// clang-format off
const ExpectedDialog kDialogs[] = {
    {102, 199, 93,
     {{1002, 7, 3, 185, 17, "static", 0},
      {1003, 7, 21, 121, 8, "static", 0},
      {1000, 7, 31, 121, 14, "edit", kBorder | kTabStop | kAutoHScroll},
      {1004, 7, 51, 121, 8, "static", 0},
      {1001, 7, 61, 121, 14, "edit", kBorder | kTabStop | kAutoHScroll | kPassword},
      {1, 142, 31, 50, 14, "button", kDefault},
      {2, 142, 47, 50, 14, "button", 0},
      {1006, 7, 79, 185, 8, "static", kCentre | kNotify}}},
    {103, 168, 78,
     {{1, 57, 51, 50, 14, "button", kDefault, true},
      {1005, 7, 7, 156, 38, "static", kCentre},
      {1010, 15, 51, 137, 13, "msctls_progress32", kBorder}}},
    {104, 224, 102,
     {{1, 86, 81, 50, 14, "button", kDefault},
      {kNoId, 9, 8, 21, 20, "static", kIcon},
      {kNoId, 37, 19, 62, 8, "static", 0},
      {kNoId, 37, 32, 28, 8, "static", 0},
      {1008, 69, 32, 30, 8, "static", 0},
      {1009, 37, 45, 174, 8, "static", 0},
      {1006, 37, 57, 76, 8, "static", 0}}},
    {145, 229, 145,
     {{1, 107, 118, 50, 14, "button", kDefault},
      {2, 165, 118, 50, 14, "button", 0},
      {1011, 22, 95, 147, 10, "button", kAutoCheckBox | kTabStop},
      {1015, 21, 18, 20, 20, "static", kIcon | kCentreImage},
      {1012, 53, 20, 87, 8, "static", 0},
      {1013, 55, 30, 79, 8, "static", 0},
      {1014, 19, 48, 195, 42, "static", 0}}},
};
// clang-format on

class ResourceScriptTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const Bytes file = ReadFile(std::string(VP_BINARY_DIR) + "/tests/resources/vaultpost-" + GetParam() + ".res");
    if (file.empty()) GTEST_SKIP() << "no " << GetParam() << " windres on this machine";
    resources_ = ParseResFile(file);
  }
  const Bytes& Get(const std::string& type, const std::string& name) { return resources_[type][name]; }

  Resources resources_;
};

TEST_P(ResourceScriptTest, IconGroupsAreTheDocumentThenTheProgramIcon) {
  // The linker sorts resources by id and the shell counts icon groups in that
  // order: exactly these two groups make 141 index 0 and 146 index 1.
  std::vector<std::string> groups;
  for (const auto& [name, data] : resources_["#14"]) groups.push_back(name);
  ASSERT_EQ(groups, (std::vector<std::string>{"#141", "#146"}));
  for (const auto& [group, file] : {std::pair{"#141", "document.ico"}, {"#146", "program.ico"}}) {
    SCOPED_TRACE(group);
    const Bytes ico = ReadIconFile(file);
    IconDirectory images;
    ASSERT_EQ(images.ParseIconFile(ico.data(), static_cast<std::uint32_t>(ico.size())), IconDirectory::Ok);
    const Bytes& dir = Get("#14", group);
    ASSERT_EQ(dir.size(), 6u + 14u * 5u);
    EXPECT_EQ(LoadLittleEndian16(&dir[4]), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
      const std::uint8_t* entry = &dir[6 + 14 * i];
      EXPECT_EQ(entry[0], images.Images()[i].width % 256);
      EXPECT_EQ(LoadLittleEndian16(entry + 6), 32u);
      EXPECT_EQ(Get("#3", "#" + std::to_string(LoadLittleEndian16(entry + 12))), images.Images()[i].bytes);
    }
  }
}

TEST_P(ResourceScriptTest, DialogTemplatesMatchTheirLayouts) {
  for (const auto& [id, cx, cy, controls] : kDialogs) {
    SCOPED_TRACE(id);
    const Dialog dialog = ParseDialog(Get("#5", "#" + std::to_string(id)));
    EXPECT_EQ(std::vector<int>({dialog.cx, dialog.cy}), std::vector<int>({cx, cy}));
    std::uint32_t style = kPopup | kCaption | kSysMenu | kModalFrame | kSetFont;
    if (id == 102) style |= kVisible;  // only the prompt shows itself
    EXPECT_EQ(dialog.style, style);
    EXPECT_EQ(dialog.exStyle, id == 102 ? kAppWindow : 0u);
    EXPECT_EQ(dialog.font, "MS Sans Serif");
    EXPECT_EQ(dialog.points, 8u);
    ASSERT_EQ(dialog.controls.size(), controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
      const Control& c = dialog.controls[i];
      const Expected& e = controls[i];
      SCOPED_TRACE(e.id);
      EXPECT_EQ(c.id, e.id);
      EXPECT_EQ(std::vector<int>({c.x, c.y, c.cx, c.cy}), std::vector<int>({e.x, e.y, e.cx, e.cy}));
      EXPECT_EQ(c.className, e.className);
      const std::uint32_t set = e.styleSet | kChild | (e.hidden ? 0 : kVisible);
      EXPECT_EQ(c.style & set, set);
      EXPECT_EQ(c.style & kVisible, e.hidden ? 0u : kVisible);
    }
  }
  // Texts that windres builds from escapes, joined strings and resource ids.
  EXPECT_EQ(ParseDialog(Get("#5", "#102")).controls[0].text, "A\nB");
  EXPECT_EQ(ParseDialog(Get("#5", "#104")).caption, "About Orlenta Reader");
  EXPECT_EQ(ParseDialog(Get("#5", "#104")).controls[1].text, "#146");
  EXPECT_NE(ParseDialog(Get("#5", "#145")).controls[6].text.find("Orlenta Reader does not recognise. Opening"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Targets, ResourceScriptTest, ::testing::Values("i686", "x86_64"));

}  // namespace
}  // namespace codec
