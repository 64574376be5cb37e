// The core's entry for the page, over a host that records what the page
// would be told: documents read through it in blocks, the credential rules
// of the header's flags, parts handed over whole and in order, the page
// running out of memory, and what the inspection reports before any password.

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/decode_testing.h"
#include "codec/icon_directory.h"
#include "support/icon_files.h"
#include "reader/message_catalogue.h"
#include "web/entry/source_reader.h"
#include "web/entry/web_entry.h"

namespace web {
namespace {

using namespace decodetest;  // the shared codec test helpers
using codec::DecodeResult;

class RecordingHost final : public PageHost {
 public:
  explicit RecordingHost(Bytes document) : document_(std::move(document)) {}

  std::uint64_t SourceSize() override { return document_.size(); }
  std::uint32_t ReadSource(std::uint64_t offset, std::uint8_t* into, std::uint32_t length) override {
    ++reads;
    largestRead = std::max(largestRead, length);
    const std::uint64_t left = offset < document_.size() ? document_.size() - offset : 0;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length, left));
    std::copy_n(document_.begin() + static_cast<std::ptrdiff_t>(offset), n, into);
    return static_cast<std::uint32_t>(n);
  }
  void Flags(std::uint32_t value) override { flags = value; }
  void Text(std::uint32_t entry, const char*, const char* text) override { texts[entry] = text; }
  void ErrorText(std::int32_t code, const char* text) override { errorTexts[code] = text; }
  void Icon(const std::uint8_t* image, std::uint32_t length, const char* mimeType) override {
    icon.assign(image, image + length);
    iconType = mimeType;
  }
  void Link(bool openable) override { linkOpenable = openable; }
  void KeyProgress(std::uint64_t done, std::uint64_t total) override {
    EXPECT_LE(done, total);
    keyDone = done;
  }
  bool BeginPart(const char* name, const char* fileName, std::uint32_t, bool) override {
    parts.push_back({name, {}});
    fileNames.push_back(fileName);
    return true;
  }
  bool PartData(const std::uint8_t* data, std::uint32_t length) override {
    if (refuseAfter >= 0 && received + length > static_cast<std::uint64_t>(refuseAfter)) return false;
    received += length;
    parts.back().second.insert(parts.back().second.end(), data, data + length);
    return true;
  }
  bool EndPart() override { return true; }

  std::int64_t refuseAfter = -1;
  std::uint32_t reads = 0, largestRead = 0, flags = 0;
  std::map<std::uint32_t, std::string> texts;
  std::map<std::int32_t, std::string> errorTexts;
  Bytes icon;
  std::string iconType;
  bool linkOpenable = false;
  std::uint64_t keyDone = 0, received = 0;
  std::vector<std::pair<std::string, Bytes>> parts;
  std::vector<std::string> fileNames;

 private:
  Bytes document_;
};

// The block interface covers the document exactly once; the positioned one
// stays inside it.
TEST(SourceReaderTest, BlocksAndPositionsStayInsideTheDocument) {
  const Bytes document = Noise(2 * SourceReader::BlockSize + 100, 3);
  RecordingHost host(document);
  SourceReader source(host);
  Bytes joined;
  std::uint32_t length = 0;
  while (const std::uint8_t* block = source.NextBlock(length)) joined.insert(joined.end(), block, block + length);
  EXPECT_EQ(joined, document);
  EXPECT_EQ(host.largestRead, SourceReader::BlockSize);

  EXPECT_FALSE(source.Seek(1, 2));
  EXPECT_FALSE(source.Seek(-1, 0));
  EXPECT_FALSE(source.Seek(0, 3));
  ASSERT_TRUE(source.Seek(-10, 2));
  std::uint8_t tail[16] = {};
  EXPECT_EQ(source.Read(tail, 4, 4), 2u);  // 10 bytes left: two whole items
  EXPECT_TRUE(std::equal(tail, tail + 10, document.end() - 10));
  EXPECT_EQ(source.Read(tail, 1, 1), 0u);
}

// Every part whole, in order, with a name a saved copy can take; the derived
// key reported on its way.
TEST(WebEntryTest, DecodesEveryPartIntoThePage) {
  const Recipe layout = BasicLayout([](Recipe& s) {
    s.parts.push_back(Part("large.bin", Noise(3 << 20, 9), 1));
    s.parts.push_back(Part("a/b:c.txt", Text("named to climb out"), 0));
    s.iterationThousands = 9;  // long enough to be reported
  });
  RecordingHost host(Encode(layout));
  ASSERT_EQ(DecodeForPage(host, "alice", "Secret-1"), DecodeResult::Ok);
  ASSERT_EQ(host.parts.size(), layout.parts.size());
  for (std::size_t i = 0; i < layout.parts.size(); ++i) {
    EXPECT_EQ(host.parts[i].first, layout.parts[i].name);
    EXPECT_EQ(host.parts[i].second, layout.parts[i].content) << i;
  }
  EXPECT_EQ(host.fileNames.back(), "a_b_c.txt");
  EXPECT_GT(host.keyDone, 0u);
}

// The header's flags decide which credentials count, whatever the page sends.
TEST(WebEntryTest, FlagsDecideWhichCredentialsCount) {
  const Recipe passwordOnly = BasicLayout([](Recipe& s) {
    s.flags = codec::DocumentHeader::FlagPasswordOnly;
    s.userName = "";
  });
  RecordingHost typed(Encode(passwordOnly));
  EXPECT_EQ(DecodeForPage(typed, "a name typed anyway", "Secret-1"), DecodeResult::Ok);

  const Recipe none = BasicLayout([](Recipe& s) {
    s.flags = codec::DocumentHeader::FlagNoCredentials;
    s.userName = s.password = "";
  });
  RecordingHost ignored(Encode(none));
  EXPECT_EQ(DecodeForPage(ignored, "alice", "Secret-1"), DecodeResult::Ok);

  RecordingHost wrong(Encode(BasicLayout()));
  EXPECT_EQ(DecodeForPage(wrong, "Alice", "Secret-1"), DecodeResult::WrongCredentials);
  EXPECT_TRUE(wrong.parts.empty());
}

// A page without memory for a part is told as such, not as a full disk.
TEST(WebEntryTest, APageOutOfMemoryIsOutOfMemory) {
  RecordingHost host(Encode(BasicLayout()));
  host.refuseAfter = 20;
  EXPECT_EQ(DecodeForPage(host, "alice", "Secret-1"), DecodeResult::OutOfMemory);
}

// Before any password: the document's own texts over the defaults, a text
// for every result code, and the link rule of the desktop readers.
TEST(WebEntryTest, InspectionReportsTheTextsThePageShows) {
  using reader::MessageCatalogue;
  for (const auto& [address, openable] : std::vector<std::pair<std::string, bool>>{
           {"https://help.example/", true}, {"javascript:alert(1)", false}, {"", false}}) {
    const std::string url = address;
    const Recipe layout = BasicLayout([&](Recipe& s) {
      s.tags.push_back({"Title", Text("Quarterly report"), false});
      s.tags.push_back({"HyperlinkUrl", Text(url), false});
    });
    RecordingHost host(Encode(layout));
    ASSERT_EQ(InspectForPage(host), DecodeResult::Ok);
    EXPECT_EQ(host.texts[MessageCatalogue::Title], "Quarterly report");
    EXPECT_EQ(host.texts[MessageCatalogue::PasswordLabel], "Password");
    EXPECT_EQ(host.texts.size(), MessageCatalogue::EntryCount);
    EXPECT_EQ(host.errorTexts[-15], MessageCatalogue::DefaultText(MessageCatalogue::CantDecodeFile));
    EXPECT_EQ(host.errorTexts[-17], reader::kIoErrorText);
    EXPECT_EQ(host.errorTexts.size(), 25u);
    EXPECT_EQ(host.linkOpenable, openable) << url;
    EXPECT_LE(host.reads, 4u);  // the header and the trailer, not the body
  }
  // A document of a newer version says so in its own words.
  const Recipe newer = BasicLayout([](Recipe& s) {
    s.tags.push_back({"IncorrectVersion", Text("Get version 3."), false});
    s.version = 0x0104;
  });
  RecordingHost host(Encode(newer));
  EXPECT_EQ(InspectForPage(host), DecodeResult::UnsupportedVersion);
  EXPECT_EQ(host.errorTexts[-3], "Get version 3.");
}

// The icon nearest the prompt's size: a bitmap image travels as an icon file
// of its own, which reads back as that very image; no icon, no report.
TEST(WebEntryTest, TheDocumentsIconAsAnImageFile) {
  const Bytes file = support::SquaresIconFile({{16, 0xFF0000}, {32, 0x00FF00}, {48, 0x0000FF}});
  RecordingHost host(Encode(BasicLayout([&](Recipe& s) { s.tags.push_back({"ImageWin32", file, true}); })));
  ASSERT_EQ(InspectForPage(host), DecodeResult::Ok);
  EXPECT_EQ(host.iconType, "image/x-icon");
  codec::IconDirectory single;
  ASSERT_EQ(single.ParseIconFile(host.icon.data(), static_cast<std::uint32_t>(host.icon.size())), 0u);
  ASSERT_EQ(single.Count(), 1u);
  EXPECT_EQ(single.Images()[0].width, 32u);
  EXPECT_EQ(single.Images()[0].bitCount, 32u);
  EXPECT_EQ(single.Images()[0].bytes, support::SquareImage(32, 0x00FF00));

  RecordingHost plain(Encode(BasicLayout()));
  ASSERT_EQ(InspectForPage(plain), DecodeResult::Ok);
  EXPECT_TRUE(plain.icon.empty());
}

}  // namespace
}  // namespace web
