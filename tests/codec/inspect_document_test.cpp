// InspectDocument over real encoded documents: the fixed header, the tag
// trailer's bounds, digest and inflation, and the version rule that keeps a
// later document's own texts.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/byte_order.h"
#include "codec/decode_result.h"
#include "codec/inspect_document.h"
#include "codec/memory_reader.h"
#include "decode_testing.h"

namespace codec {
namespace {

using decodetest::BasicLayout;
using decodetest::Bytes;
using decodetest::Encode;
using decodetest::Noise;
using decodetest::SeekableSource;
using decodetest::Text;

encoder::DocumentSpec TaggedLayout() {
  encoder::DocumentSpec layout = BasicLayout();
  layout.tags.push_back({"Title", Text("Quarterly report\nDraft"), false});
  layout.tags.push_back({"IncorrectVersion", Text("Please update your reader from our site."), false});
  layout.tags.push_back({"ImageWin32", Noise(300, 5), true});
  return layout;
}

std::uint32_t StoredTrailerLength(const Bytes& document) {
  return LoadBigEndian32(document.data() + document.size() - 4);
}

// Adds a binary tag of incompressible bytes sized so that the trailer's
// stored length N comes out as `n`.
Bytes EncodeWithTrailerLength(encoder::DocumentSpec layout, std::uint32_t n) {
  layout.tags.push_back({"Padding", {}, true});
  std::int64_t length = n;
  for (int attempt = 0; attempt < 20; ++attempt) {
    layout.tags.back().value = Noise(static_cast<std::size_t>(length), 99);
    const Bytes document = Encode(layout);
    const std::uint32_t stored = StoredTrailerLength(document);
    if (stored == n) return document;
    length += std::int64_t{n} - stored;
    if (length < 0) length = 0;
  }
  ADD_FAILURE() << "no padding gives a trailer of " << n << " bytes";
  return {};
}

// A table that already holds one tag, to see whether the inspection touched it.
void Preload(DocumentTagTable& table) {
  std::vector<std::uint8_t> list = {0, 0, 0, 3, 'o', 'l', 'd', 0, 0, 0, 1, 'x', 0, 0, 0, 0};
  MemoryReader source(list.data(), static_cast<std::uint32_t>(list.size()));
  ChunkReader reader(source);
  table.ReadTags(reader);
  ASSERT_NE(table.FindTag("old"), nullptr);
}

TEST(InspectDocumentTest, ReadsHeaderAndTagsAndRewinds) {
  for (const std::uint16_t digestId : {2, 3, 4, 7}) {
    encoder::DocumentSpec layout = TaggedLayout();
    layout.trailerDigestId = digestId;
    layout.kdfId = 2;
    const Bytes document = Encode(layout);
    SeekableSource source(document);
    DocumentHeader header;
    DocumentTagTable tags;
    ASSERT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::Ok) << digestId;
    EXPECT_EQ(source.Position(), 0);
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
}

TEST(InspectDocumentTest, TagsAreReadOnlyWhenAskedForAndPresent) {
  const Bytes tagged = Encode(TaggedLayout());
  SeekableSource source(tagged);
  DocumentHeader header;
  EXPECT_EQ(InspectDocument(source, header, false, nullptr), DecodeResult::Ok);
  EXPECT_EQ(source.Position(), 30);  // no rewind, nothing read past the header

  const Bytes plain = Encode(BasicLayout());
  SeekableSource plainSource(plain);
  DocumentTagTable tags;
  Preload(tags);
  EXPECT_EQ(InspectDocument(plainSource, header, false, &tags), DecodeResult::Ok);
  EXPECT_NE(tags.FindTag("old"), nullptr);
}

TEST(InspectDocumentTest, HeaderFailures) {
  const Bytes document = Encode(TaggedLayout());
  {
    const Bytes shortDocument(document.begin(), document.begin() + 29);
    SeekableSource source(shortDocument);
    DocumentHeader header;
    header.keyBits = 1234;
    EXPECT_EQ(InspectDocument(source, header, false, nullptr), DecodeResult::HeaderTooShort);
    EXPECT_EQ(header.keyBits, 1234);  // untouched
  }
  {
    // A block-only source has no Read.
    MemoryReader blocks(document.data(), static_cast<std::uint32_t>(document.size()));
    DocumentHeader header;
    EXPECT_EQ(InspectDocument(blocks, header, true, nullptr), DecodeResult::HeaderTooShort);
  }
  {
    encoder::DocumentSpec layout = TaggedLayout();
    layout.headerByteAfterDigest = std::make_pair(0u, std::uint8_t{'E'});
    const Bytes bad = Encode(layout);
    SeekableSource source(bad);
    DocumentHeader header;
    DocumentTagTable tags;
    EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::BadMagic);
    EXPECT_EQ(tags.Count(), 0u);
    EXPECT_EQ(source.Position(), 0);
  }
  for (const std::uint16_t digestId : {0, 1, 5, 8}) {
    encoder::DocumentSpec layout = TaggedLayout();
    layout.trailerDigestId = digestId;
    layout.kdfId = 2;
    const Bytes bad = Encode(layout);
    SeekableSource source(bad);
    DocumentHeader header;
    DocumentTagTable tags;
    EXPECT_EQ(InspectDocument(source, header, false, &tags), DecodeResult::UnknownDigest) << digestId;
    EXPECT_EQ(tags.Count(), 0u);
    // Even a document without a trailer must name a known digest.
    layout.tags.clear();
    const Bytes untagged = Encode(layout);
    SeekableSource untaggedSource(untagged);
    EXPECT_EQ(InspectDocument(untaggedSource, header, false, nullptr), DecodeResult::UnknownDigest);
  }
}

TEST(InspectDocumentTest, TrailerLengthLimit) {
  {
    const Bytes document = EncodeWithTrailerLength(TaggedLayout(), MaxTrailerSize);
    ASSERT_EQ(StoredTrailerLength(document), 51200u);
    SeekableSource source(document);
    DocumentHeader header;
    DocumentTagTable tags;
    EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::Ok);
    EXPECT_EQ(tags.Count(), 4u);
  }
  {
    const Bytes document = EncodeWithTrailerLength(TaggedLayout(), MaxTrailerSize + 1);
    ASSERT_EQ(StoredTrailerLength(document), 51201u);
    SeekableSource source(document);
    DocumentHeader header;
    DocumentTagTable tags;
    Preload(tags);
    EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::Corrupt);
    EXPECT_EQ(tags.Count(), 1u);
    EXPECT_NE(tags.FindTag("old"), nullptr);
  }
  {
    encoder::DocumentSpec layout = TaggedLayout();
    layout.version = 300;
    const Bytes document = EncodeWithTrailerLength(layout, MaxTrailerSize + 1);
    SeekableSource source(document);
    DocumentHeader header;
    DocumentTagTable tags;
    EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::UnsupportedVersion);
    EXPECT_EQ(tags.Count(), 0u);
  }
}

TEST(InspectDocumentTest, LaterVersionKeepsItsTags) {
  encoder::DocumentSpec layout = TaggedLayout();
  layout.version = 260;
  const Bytes document = Encode(layout);
  SeekableSource source(document);
  DocumentHeader header;
  DocumentTagTable tags;
  EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::UnsupportedVersion);
  EXPECT_EQ(header.formatVersion, 260);
  ASSERT_NE(tags.FindTag("IncorrectVersion"), nullptr);
  EXPECT_STREQ(tags.FindTag("IncorrectVersion")->Text(), "Please update your reader from our site.");

  // Without a trailer the version alone decides.
  layout.tags.clear();
  const Bytes untagged = Encode(layout);
  SeekableSource untaggedSource(untagged);
  EXPECT_EQ(InspectDocument(untaggedSource, header, true, &tags), DecodeResult::UnsupportedVersion);
}

TEST(InspectDocumentTest, DamagedTrailers) {
  {
    encoder::DocumentSpec layout = TaggedLayout();
    layout.corruptTrailerDigest = true;
    const Bytes document = Encode(layout);
    SeekableSource source(document);
    DocumentHeader header;
    DocumentTagTable tags;
    Preload(tags);
    EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::Corrupt);
    EXPECT_NE(tags.FindTag("old"), nullptr);
  }
  for (const std::uint32_t offset : {22u, 26u, 29u}) {
    // A reserved header byte altered after encoding fails the trailer digest.
    encoder::DocumentSpec layout = TaggedLayout();
    layout.headerByteAfterDigest = std::make_pair(offset, std::uint8_t{0xEE});
    const Bytes document = Encode(layout);
    SeekableSource source(document);
    DocumentHeader header;
    DocumentTagTable tags;
    EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::Corrupt) << offset;
    EXPECT_EQ(tags.Count(), 0u);
  }
  {
    // N shorter than the digest.
    encoder::DocumentSpec layout = TaggedLayout();
    layout.trailerLengthOverride = 31;
    const Bytes document = Encode(layout);
    SeekableSource source(document);
    DocumentHeader header;
    DocumentTagTable tags;
    EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::Corrupt);
  }
  {
    // N reaching before the start of the file.
    encoder::DocumentSpec layout = TaggedLayout();
    layout.trailerLengthOverride = 50000;
    const Bytes document = Encode(layout);
    SeekableSource source(document);
    DocumentHeader header;
    DocumentTagTable tags;
    EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::Truncated);
    EXPECT_EQ(source.Position(), 0);
  }
  {
    // The zlib stream's header byte damaged: the inflater refuses it.
    Bytes document = Encode(TaggedLayout());
    const std::uint32_t n = StoredTrailerLength(document);
    document[document.size() - 4 - n] ^= 0x01;
    SeekableSource source(document);
    DocumentHeader header;
    DocumentTagTable tags;
    EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::InflateFailed);
  }
  {
    // Too short to hold the length field.
    const Bytes whole = Encode(TaggedLayout());
    const Bytes header30(whole.begin(), whole.begin() + 32);
    SeekableSource source(header30);
    DocumentHeader header;
    DocumentTagTable tags;
    EXPECT_NE(InspectDocument(source, header, true, &tags), DecodeResult::Ok);
  }
}

// A tag list of `size` bytes: one binary tag of zeros and the end word.
Bytes ZeroTagList(std::uint32_t size) {
  const std::uint32_t value = size - (4 + 4 + 4 + 4);
  Bytes list = {0, 0, 1, 4, 'B', 'o', 'm', 'b'};
  list.push_back(static_cast<std::uint8_t>(value >> 24));
  list.push_back(static_cast<std::uint8_t>(value >> 16));
  list.push_back(static_cast<std::uint8_t>(value >> 8));
  list.push_back(static_cast<std::uint8_t>(value));
  list.resize(list.size() + value, 0);
  list.insert(list.end(), {0, 0, 0, 0});
  return list;
}

TEST(InspectDocumentTest, InflatedTagListIsBounded) {
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.rawTagList = ZeroTagList(MaxTagListSize);
    const Bytes document = Encode(layout);
    ASSERT_LE(StoredTrailerLength(document), MaxTrailerSize);
    SeekableSource source(document);
    DocumentHeader header;
    DocumentTagTable tags;
    EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::Ok);
    ASSERT_NE(tags.FindTag("Bomb"), nullptr);
    EXPECT_EQ(tags.FindTag("Bomb")->valueLength, MaxTagListSize - 16);
  }
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.rawTagList = ZeroTagList(MaxTagListSize + 1);
    const Bytes document = Encode(layout);
    SeekableSource source(document);
    DocumentHeader header;
    DocumentTagTable tags;
    EXPECT_EQ(InspectDocument(source, header, true, &tags), DecodeResult::Corrupt);
    EXPECT_EQ(tags.Count(), 0u);
  }
}

TEST(InspectDocumentTest, OpenStreamForm) {
  const Bytes document = Encode(TaggedLayout());
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(document.data(), 1, document.size(), file), document.size());
  std::rewind(file);
  DocumentHeader header;
  DocumentTagTable tags;
  EXPECT_EQ(InspectDocument(file, header, true, &tags), DecodeResult::Ok);
  EXPECT_EQ(std::ftell(file), 0);
  EXPECT_EQ(tags.Count(), 3u);
  EXPECT_EQ(InspectDocument(file, header, false, &tags), DecodeResult::Ok);
  EXPECT_EQ(std::ftell(file), static_cast<long>(document.size() - 4));  // after the trailer
  std::fclose(file);

  std::FILE* empty = std::tmpfile();
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(InspectDocument(empty, header, true, &tags), DecodeResult::HeaderTooShort);
  std::fclose(empty);
}

}  // namespace
}  // namespace codec
