// The resource script as each MinGW windres compiles it (skipped without one).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "codec/byte_order.h"
#include "codec/icon_directory.h"
#include "resources/resource_testing.h"

namespace codec {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A NUL-terminated UTF-16 text (ASCII expected) at `at`, advancing it.
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

// Window styles, and the control styles that tests/data/resources/dialogs.txt names.
constexpr std::uint32_t kPopup = 0x80000000, kChild = 0x40000000, kVisible = 0x10000000, kCaption = 0x00C00000,
                        kSysMenu = 0x00080000, kSetFont = 0x40, kModalFrame = 0x80, kAppWindow = 0x00040000;
const std::map<std::string, std::uint32_t> kControlStyles = {
    {"border", 0x00800000}, {"tabstop", 0x00010000}, {"autohscroll", 0x80}, {"password", 0x20},
    {"centre", 0x1},        {"icon", 0x3},           {"notify", 0x100},     {"centreimage", 0x200},
    {"default", 0x1},       {"autocheckbox", 0x3},   {"hidden", 0}};

class ResourceScriptTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const Bytes file = support::FileBytes(std::string(VP_BINARY_DIR) + "/tests/resources/vaultpost-" + GetParam() + ".res");
    if (file.empty()) GTEST_SKIP() << "no " << GetParam() << " windres on this machine";
    resources_ = ParseResFile(file);
  }
  const Bytes& Get(const std::string& type, const std::string& name) { return resources_[type][name]; }

  Resources resources_;
};

TEST_P(ResourceScriptTest, IconGroupsAreTheDocumentThenTheProgramIcon) {
  // The shell counts icon groups in id order: 141 is index 0, 146 index 1.
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
  std::ifstream layouts(std::string(VP_TEST_DATA_DIR) + "/resources/dialogs.txt");
  ASSERT_TRUE(layouts.is_open());
  std::vector<std::pair<int, std::size_t>> seen;  // dialog id, controls in the layout
  Dialog dialog;
  for (std::string line; std::getline(layouts, line);) {
    std::istringstream fields(line);
    std::string first;
    if (!(fields >> first) || first[0] == '#') continue;
    SCOPED_TRACE(line);
    int x = 0, y = 0, cx = 0, cy = 0;
    if (first == "dialog") {
      fields >> x >> cx >> cy;
      seen.emplace_back(x, 0);
      dialog = ParseDialog(Get("#5", "#" + std::to_string(x)));
      EXPECT_EQ(std::vector<int>({dialog.cx, dialog.cy}), std::vector<int>({cx, cy}));
      // Only the prompt shows itself and has a taskbar button.
      EXPECT_EQ(dialog.style, kPopup | kCaption | kSysMenu | kModalFrame | kSetFont | (x == 102 ? kVisible : 0));
      EXPECT_EQ(dialog.exStyle, x == 102 ? kAppWindow : 0u);
      EXPECT_EQ(dialog.font, "MS Sans Serif");
      EXPECT_EQ(dialog.points, 8u);
      continue;
    }
    ASSERT_FALSE(seen.empty());
    ASSERT_LT(seen.back().second, dialog.controls.size());
    const Control& c = dialog.controls[seen.back().second++];
    std::string className, style;
    fields >> x >> y >> cx >> cy >> className;
    EXPECT_EQ(c.id, first == "-" ? 0xFFFFFFFFu : std::stoul(first));
    EXPECT_EQ(std::vector<int>({c.x, c.y, c.cx, c.cy}), std::vector<int>({x, y, cx, cy}));
    EXPECT_EQ(c.className, className);
    const bool hidden = line.find(" hidden") != std::string::npos;
    std::uint32_t set = kChild | (hidden ? 0 : kVisible);
    while (fields >> style) set |= kControlStyles.at(style);
    EXPECT_EQ(c.style & set, set);
    EXPECT_EQ(c.style & kVisible, hidden ? 0u : kVisible);
  }
  ASSERT_EQ(seen.size(), 4u);
  for (const auto& [id, controls] : seen) {
    EXPECT_EQ(ParseDialog(Get("#5", "#" + std::to_string(id))).controls.size(), controls) << id;
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
