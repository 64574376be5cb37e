// Every result code of the decoder, each produced by a real encoded document
// (or a real document and a writer that refuses), and what the writer saw
// before the decoder stopped.

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/decode_result.h"
#include "codec/document_decoder.h"
#include "codec/memory_reader.h"
#include "decode_testing.h"

namespace codec {
namespace {

using decodetest::BasicLayout;
using decodetest::Bytes;
using decodetest::Decode;
using decodetest::Encode;
using decodetest::Noise;
using decodetest::Part;
using decodetest::RecordingWriter;
using decodetest::Text;

std::int32_t DecodeLayout(const encoder::DocumentSpec& layout, RecordingWriter& writer) {
  return Decode(Encode(layout), layout, writer);
}

TEST(DecodeHeaderFailureTest, MagicVersionCipherAndKeyLength) {
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.headerByteAfterDigest = std::make_pair(3u, std::uint8_t{'g'});
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::BadMagic);
  }
  for (const std::uint16_t version : {257, 260, 300}) {
    encoder::DocumentSpec layout = BasicLayout();
    layout.version = version;
    layout.kdfId = 2;
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::UnsupportedVersion) << version;
  }
  for (const std::uint16_t cipherId : {0, 3, 6}) {
    encoder::DocumentSpec layout = BasicLayout();
    layout.cipherId = cipherId;
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::UnknownCipher) << cipherId;
  }
  const std::pair<std::uint16_t, std::uint16_t> refusedKeys[] = {
      {5, 0}, {5, 64}, {5, 160}, {5, 264}, {4, 0}, {4, 96}, {4, 256},
  };
  for (const auto& [cipherId, keyBits] : refusedKeys) {
    encoder::DocumentSpec layout = BasicLayout();
    layout.cipherId = cipherId;
    layout.keyBits = keyBits;
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::BadKeyLength) << cipherId << "/" << keyBits;
    EXPECT_EQ(writer.beginDocuments, 0);
  }
}

TEST(DecodeHeaderFailureTest, KeyOfAnotherLengthIsRefused) {
  encoder::DocumentSpec layout = BasicLayout();
  const Bytes document = Encode(layout);
  MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  RecordingWriter writer;
  DocumentDecoder decoder(source, writer);
  ASSERT_EQ(decoder.ReadFixedHeader(), DecodeResult::Ok);
  const std::uint8_t key[16] = {};
  EXPECT_EQ(decoder.DecodeBody(key, 16, false), DecodeResult::BadKeyLength);
  EXPECT_EQ(decoder.DecodeBody(nullptr, 32, false), DecodeResult::BadKeyLength);
  EXPECT_EQ(writer.beginDocuments, 0);
}

TEST(DecodeHeaderFailureTest, UnknownBodyDigest) {
  for (const std::uint8_t digestId : {1, 5, 6, 8, 255}) {
    encoder::DocumentSpec layout = BasicLayout();
    layout.bodyDigestId = digestId;
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::UnknownDigest) << int{digestId};
    EXPECT_EQ(writer.beginDocuments, 0);
  }
}

TEST(DecodeHeaderFailureTest, TruncationAnywhereIsReported) {
  encoder::DocumentSpec layout = BasicLayout();
  const Bytes document = Encode(layout);
  // In the header, in the salt, in part 0's header block, in its data, in its
  // digest block, in part 1's data, one byte short of the end.
  for (const std::size_t cut : {std::size_t{0}, std::size_t{29}, std::size_t{40}, std::size_t{62 + 50},
                                std::size_t{62 + 96 + 10}, std::size_t{62 + 96 + 48 + 5},
                                document.size() / 2, document.size() - 1}) {
    const Bytes cutDocument(document.begin(), document.begin() + static_cast<std::ptrdiff_t>(cut));
    RecordingWriter writer;
    EXPECT_EQ(Decode(cutDocument, layout, writer), DecodeResult::Truncated) << cut;
    EXPECT_EQ(writer.endDocuments, 0);
  }
}

TEST(DecodeCredentialsTest, WrongCredentialsStopBeforeAnyPart) {
  encoder::DocumentSpec layout = BasicLayout();
  const Bytes document = Encode(layout);
  const std::pair<const char*, const char*> attempts[] = {
      {"alice", "secret-1"}, {"alice", "Secret-1 "}, {"bob", "Secret-1"}, {"", ""},
  };
  for (const auto& [user, password] : attempts) {
    RecordingWriter writer;
    decodetest::DecodeOptions options;
    options.userName = user;
    options.password = password;
    EXPECT_EQ(Decode(document, layout, writer, options), DecodeResult::WrongCredentials) << user << "/" << password;
    EXPECT_EQ(writer.beginDocuments, 1);
    EXPECT_EQ(writer.beginParts, 0);
  }
  for (const std::uint16_t version : {258, 259}) {
    encoder::DocumentSpec tdes = BasicLayout();
    tdes.version = version;
    tdes.kdfId = 2;
    tdes.cipherId = 4;
    tdes.keyBits = 192;
    RecordingWriter writer;
    decodetest::DecodeOptions options;
    options.password = "wrong";
    EXPECT_EQ(Decode(Encode(tdes), tdes, writer, options), DecodeResult::WrongCredentials);
    EXPECT_EQ(writer.beginParts, 0);
  }
}

TEST(DecodeCredentialsTest, BadCheckValueIsCredentialsOnPartZeroAndCorruptAfter) {
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.parts[0].checkOverride = 0x12345678;
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::WrongCredentials);
    EXPECT_EQ(writer.beginParts, 0);
  }
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.parts[1].checkOverride = 0x12345678;
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::Corrupt);
    EXPECT_EQ(writer.endParts, 1);
  }
}

TEST(DecodeCorruptionTest, DigestsCatchDamage) {
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.parts[1].corruptDigest = true;
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::Corrupt);
    EXPECT_EQ(writer.endParts, 1);  // part 1 was written, never ended
    EXPECT_EQ(writer.beginParts, 2);
  }
  for (const std::uint32_t offset : {22u, 25u, 29u}) {
    // A reserved header byte altered after encoding fails part 0's digest.
    encoder::DocumentSpec layout = BasicLayout();
    layout.headerByteAfterDigest = std::make_pair(offset, std::uint8_t{0x5A});
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::Corrupt) << offset;
    EXPECT_EQ(writer.endParts, 0);
  }
  {
    // The same document without a body digest decodes.
    encoder::DocumentSpec layout = BasicLayout();
    layout.bodyDigestId = 0;
    layout.headerByteAfterDigest = std::make_pair(22u, std::uint8_t{0x5A});
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::Ok);
  }
  {
    // Stored data of a stored part altered: caught by its digest.
    encoder::DocumentSpec layout = BasicLayout();
    Bytes damaged = layout.parts[0].content;
    damaged[3] ^= 1;
    layout.parts[0].storedData = damaged;
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::Corrupt);
  }
}

TEST(DecodeCorruptionTest, HeaderBlockTooShortForTheHeader) {
  // T = 16 cannot hold an 86-byte header.
  encoder::DocumentSpec layout = BasicLayout();
  layout.parts[1].lengthByte = 1;
  Bytes document;
  std::string error;
  if (!encoder::EncodeDocument(layout, document, &error)) {
    GTEST_SKIP() << "the encoder does not write short header blocks: " << error;
  }
  RecordingWriter writer;
  EXPECT_EQ(Decode(document, layout, writer), DecodeResult::Corrupt);
  layout.parts[1].lengthByte = 0;
  layout.parts[0].lengthByte = 1;
  ASSERT_TRUE(encoder::EncodeDocument(layout, document, &error)) << error;
  RecordingWriter first;
  EXPECT_EQ(Decode(document, layout, first), DecodeResult::WrongCredentials);
}

TEST(DecodeCorruptionTest, CompressionFailures) {
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.parts[1].compressionOverride = 2;
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::InflateFailed);
    EXPECT_EQ(writer.beginParts, 1);  // refused before the part is begun
  }
  {
    // A compressed part whose stored bytes are not a zlib stream.
    encoder::DocumentSpec layout = BasicLayout();
    layout.parts[1].storedData = Text("this is not a zlib stream at all");
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::InflateFailed);
  }
  {
    // A stream damaged in the middle.
    encoder::DocumentSpec layout = BasicLayout();
    layout.parts[1].content = Text(std::string(20000, 'q'));
    z_stream zs{};
    ASSERT_EQ(deflateInit(&zs, 9), Z_OK);
    Bytes stream(deflateBound(&zs, 20000));
    zs.next_in = layout.parts[1].content.data();
    zs.avail_in = 20000;
    zs.next_out = stream.data();
    zs.avail_out = static_cast<uInt>(stream.size());
    ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    stream.resize(zs.total_out);
    deflateEnd(&zs);
    stream[stream.size() - 2] ^= 0xFF;  // the Adler-32 check
    layout.parts[1].storedData = stream;
    RecordingWriter writer;
    EXPECT_EQ(DecodeLayout(layout, writer), DecodeResult::InflateFailed);
  }
}

TEST(DecodeWriterRefusalTest, EachRefusalHasItsCode) {
  const encoder::DocumentSpec layout = BasicLayout();
  const Bytes document = Encode(layout);
  {
    RecordingWriter writer;
    writer.refuseBeginDocument = true;
    EXPECT_EQ(Decode(document, layout, writer), DecodeResult::BeginDocumentRefused);
    EXPECT_EQ(writer.beginParts, 0);
  }
  {
    RecordingWriter writer;
    writer.refuseEndDocument = true;
    EXPECT_EQ(Decode(document, layout, writer), DecodeResult::EndDocumentRefused);
    EXPECT_EQ(writer.endParts, 2);
  }
  {
    RecordingWriter writer;
    writer.refuseBeginPart = true;
    EXPECT_EQ(Decode(document, layout, writer), DecodeResult::PartOutputRefused);
    EXPECT_EQ(writer.beginParts, 1);
    EXPECT_EQ(writer.writes, 0);
  }
  {
    RecordingWriter writer;
    writer.refuseEndPart = true;
    EXPECT_EQ(Decode(document, layout, writer), DecodeResult::PartOutputRefused);
    EXPECT_EQ(writer.endParts, 1);
    EXPECT_EQ(writer.beginParts, 1);
  }
  // Write refused in the stored part and in the compressed part.
  for (const std::int64_t limit : {0, 40, 5000}) {
    RecordingWriter writer;
    writer.refuseWriteAfter = limit;
    EXPECT_EQ(Decode(document, layout, writer), DecodeResult::PartOutputRefused) << limit;
    EXPECT_EQ(writer.endDocuments, 0);
    EXPECT_EQ(writer.callsAfterEnd, 0);
  }
}

// Allocation seam: fails every allocation after the first `allowed` ones.
struct FailingAllocator {
  int allowed = 0;
  int calls = 0;
  static voidpf Alloc(voidpf opaque, uInt items, uInt size) {
    auto* self = static_cast<FailingAllocator*>(opaque);
    if (self->calls++ >= self->allowed) return Z_NULL;
    return std::calloc(items, size);
  }
  static void Free(voidpf, voidpf address) { std::free(address); }
};

TEST(DecodeMemoryTest, InflaterOutOfMemoryOnARealDocument) {
  const encoder::DocumentSpec layout = BasicLayout();
  const Bytes document = Encode(layout);
  MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  RecordingWriter writer;
  DocumentDecoder decoder(source, writer);
  FailingAllocator failing;
  failing.allowed = 1;  // the stream's state, but not its window
  decoder.SetInflaterAllocator({&FailingAllocator::Alloc, &FailingAllocator::Free, &failing});
  EXPECT_EQ(decoder.DecodeDocument(layout.userName.c_str(), layout.password.c_str(), false),
            DecodeResult::OutOfMemory);
  ASSERT_EQ(writer.parts.size(), 2u);
  EXPECT_TRUE(writer.parts[0].ended);
  EXPECT_FALSE(writer.parts[1].ended);
}

TEST(DecodeMemoryTest, NoMemoryForTheInflaterThrows) {
  const encoder::DocumentSpec layout = BasicLayout();
  const Bytes document = Encode(layout);
  MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  RecordingWriter writer;
  DocumentDecoder decoder(source, writer);
  FailingAllocator failing;
  decoder.SetInflaterAllocator({&FailingAllocator::Alloc, &FailingAllocator::Free, &failing});
  EXPECT_THROW(decoder.DecodeDocument(layout.userName.c_str(), layout.password.c_str(), false),
               std::bad_alloc);
}

}  // namespace
}  // namespace codec
