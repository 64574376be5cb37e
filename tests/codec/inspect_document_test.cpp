// InspectDocument over real encoded documents: the fixed header, the tag
// trailer's bounds, digest and inflation, and the version rule that keeps a
// later document's own texts.

#include <cstdio>

#include <array>

#include "codec/byte_order.h"
#include "codec/inspect_document.h"
#include "codec/tag_list_testing.h"
#include "decode_testing.h"

namespace codec {
namespace {

using namespace decodetest;  // the shared codec test helpers
using R = DecodeResult;

Recipe Tagged(const Change& change = nullptr) {
  return BasicLayout([&](Recipe& s) {
    s.tags = {{"Title", Text("Quarterly report\nDraft"), false},
              {"IncorrectVersion", Text("Please update your reader from our site."), false},
              {"ImageWin32", Noise(300, 5), true}};
    if (change) change(s);
  });
}

std::uint32_t StoredTrailerLength(const Bytes& document) { return LoadBigEndian32(document.data() + document.size() - 4); }

Change TrailerOf(std::uint32_t n) {
  return [n](Recipe& s) {
    std::string error;
    ASSERT_TRUE(encoder::PadTrailerTo(s, n, "Padding", &error)) << error;
  };
}

// A tag list of `size` bytes: one binary tag of zeros and the end word.
Change ZeroTagList(std::uint32_t size) {
  return [size](Recipe& s) {
    Bytes list;
    tagtest::AppendEntry(list, "Bomb", Bytes(size - 16, 0), true);
    tagtest::AppendEnd(list);
    s.tags.clear();
    s.rawTagList = list;
  };
}

// Inspects `document` (reading tags, rewinding) into a table that already
// holds the tag "old", to see whether the inspection replaced it.
R Inspect(const Bytes& document, DocumentTagTable& tags, DocumentHeader* header = nullptr) {
  Bytes old;
  tagtest::AppendEntry(old, "old", "x");
  tagtest::AppendEnd(old);
  EXPECT_TRUE(tagtest::LoadTags(tags, old));
  SeekableSource source(document);
  DocumentHeader ignored;
  const R result = InspectDocument(source, header ? *header : ignored, true, &tags);
  if (result != R::HeaderTooShort) {
    EXPECT_EQ(source.Position(), 0);  // rewound
  }
  return result;
}

TEST(InspectDocumentTest, ReadsHeaderAndTagsAndRewinds) {
  for (const std::uint16_t digestId : std::array<std::uint16_t, 4>{2, 3, 4, 7}) {
    const Bytes document = Encode(Tagged([=](Recipe& s) { s.trailerDigestId = digestId, s.kdfId = 2; }));
    DocumentHeader header;
    DocumentTagTable tags;
    ASSERT_EQ(Inspect(document, tags, &header), R::Ok) << digestId;
    EXPECT_EQ(header.formatVersion, 259);
    EXPECT_EQ(header.trailerDigestId, digestId);
    EXPECT_TRUE(header.HasFlag(DocumentHeader::FlagTagTrailer));
    ASSERT_EQ(tags.Count(), 3u);
    EXPECT_STREQ(tags.FindTag("Title")->Text(), "Quarterly report\nDraft");
    const DocumentTag* icon = tags.FindTag("ImageWin32");
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->binary);
    EXPECT_TRUE(Bytes(icon->value.get(), icon->value.get() + icon->valueLength) == Noise(300, 5));
  }
  // Tags are read only when asked for and present; no rewind on request.
  const Bytes tagged = Encode(Tagged());
  SeekableSource source(tagged);
  DocumentHeader header;
  EXPECT_EQ(InspectDocument(source, header, false, nullptr), R::Ok);
  EXPECT_EQ(source.Position(), 30);  // nothing read past the header
  DocumentTagTable tags;
  EXPECT_EQ(Inspect(Encode(BasicLayout()), tags), R::Ok);
  EXPECT_NE(tags.FindTag("old"), nullptr);
}

TEST(InspectDocumentTest, TrailerAndTagListAtTheirLimitsAndALaterVersionsTexts) {
  DocumentTagTable tags;  // each inspection replaces the preloaded "old"
  const Bytes atLimit = Encode(Tagged(TrailerOf(MaxTrailerSize)));
  ASSERT_EQ(StoredTrailerLength(atLimit), 51200u);
  EXPECT_EQ(Inspect(atLimit, tags), R::Ok);
  EXPECT_EQ(tags.Count(), 4u);
  EXPECT_NE(tags.FindTag("Padding"), nullptr);
  const Bytes bomb = Encode(BasicLayout(ZeroTagList(MaxTagListSize)));
  ASSERT_LE(StoredTrailerLength(bomb), MaxTrailerSize);
  EXPECT_EQ(Inspect(bomb, tags), R::Ok);
  ASSERT_EQ(tags.Count(), 1u);
  ASSERT_NE(tags.FindTag("Bomb"), nullptr);
  EXPECT_EQ(tags.FindTag("Bomb")->valueLength, MaxTagListSize - 16);
  DocumentHeader header;
  EXPECT_EQ(Inspect(Encode(Tagged([](Recipe& s) { s.version = 260; })), tags, &header), R::UnsupportedVersion);
  EXPECT_EQ(header.formatVersion, 260);
  EXPECT_EQ(tags.Count(), 3u);
  ASSERT_NE(tags.FindTag("IncorrectVersion"), nullptr);
  EXPECT_STREQ(tags.FindTag("IncorrectVersion")->Text(), "Please update your reader from our site.");
}

TEST(InspectDocumentTest, FailuresLeaveTheTagsAlone) {
  struct Failure {
    std::string what;
    Change change;
    std::function<void(Bytes&)> damage;
    R code;
  };
  std::vector<Failure> failures = {
      {"29 bytes", nullptr, [](Bytes& d) { d.resize(29); }, R::HeaderTooShort},
      {"magic", [](Recipe& s) { s.headerByteAfterDigest = std::make_pair(0u, std::uint8_t{'E'}); }, nullptr, R::BadMagic},
      {"N of 51,201", TrailerOf(MaxTrailerSize + 1), nullptr, R::Corrupt},
      {"N of 51,201 in version 300", [](Recipe& s) { s.version = 300, TrailerOf(MaxTrailerSize + 1)(s); }, nullptr,
       R::UnsupportedVersion},
      {"version 260 without a trailer", [](Recipe& s) { s.version = 260, s.tags.clear(); }, nullptr, R::UnsupportedVersion},
      {"trailer digest", [](Recipe& s) { s.corruptTrailerDigest = true; }, nullptr, R::Corrupt},
      {"N shorter than the digest", [](Recipe& s) { s.trailerLengthOverride = 31; }, nullptr, R::Corrupt},
      {"N reaching before the file", [](Recipe& s) { s.trailerLengthOverride = 50000; }, nullptr, R::Truncated},
      // Salt bytes in place of N (0x43) reach before the 32 bytes there are.
      {"32 bytes", nullptr, [](Bytes& d) { d.resize(32); }, R::Truncated},
      {"zlib header byte", nullptr, [](Bytes& d) { d[d.size() - 4 - StoredTrailerLength(d)] ^= 0x01; }, R::InflateFailed},
      {"tag list of 8 MiB + 1", ZeroTagList(MaxTagListSize + 1), nullptr, R::Corrupt},
  };
  for (const std::uint32_t offset : {22u, 26u, 29u}) {  // a reserved byte altered: the trailer digest fails
    failures.push_back({"reserved byte " + std::to_string(offset),
                        [=](Recipe& s) { s.headerByteAfterDigest = std::make_pair(offset, std::uint8_t{0xEE}); }, nullptr,
                        R::Corrupt});
  }
  for (const std::uint16_t digestId : std::array<std::uint16_t, 5>{0, 1, 5, 8, 0xFFFF}) {  // even a document without a trailer must name a known digest
    for (const bool tagged : {true, false}) {
      failures.push_back({"trailer digest id " + std::to_string(digestId),
                          [=](Recipe& s) { s.trailerDigestId = digestId, s.kdfId = 2, s.tags.resize(tagged ? 3 : 0); },
                          nullptr, R::UnknownDigest});
    }
  }
  for (const Failure& f : failures) {
    Bytes document = Encode(Tagged(f.change));
    if (f.damage) f.damage(document);
    DocumentTagTable tags;
    EXPECT_EQ(Inspect(document, tags), f.code) << f.what;
    EXPECT_TRUE(tags.Count() == 1 && tags.FindTag("old") != nullptr) << f.what;
  }
  // A block-only source has no Read.
  const Bytes document = Encode(Tagged());
  MemoryReader blocks(document.data(), static_cast<std::uint32_t>(document.size()));
  DocumentHeader header;
  header.keyBits = 1234;
  EXPECT_EQ(InspectDocument(blocks, header, true, nullptr), R::HeaderTooShort);
  EXPECT_EQ(header.keyBits, 1234);  // untouched
}

TEST(InspectDocumentTest, OpenStreamForm) {
  const Bytes document = Encode(Tagged());
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(document.data(), 1, document.size(), file), document.size());
  std::rewind(file);
  DocumentHeader header;
  DocumentTagTable tags;
  EXPECT_EQ(InspectDocument(file, header, true, &tags), R::Ok);
  EXPECT_EQ(std::ftell(file), 0);
  EXPECT_EQ(tags.Count(), 3u);
  EXPECT_EQ(InspectDocument(file, header, false, &tags), R::Ok);
  EXPECT_EQ(std::ftell(file), static_cast<long>(document.size() - 4));  // after the trailer
  std::fclose(file);
}

}  // namespace
}  // namespace codec
