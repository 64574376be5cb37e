// Round trips through the document encoder: every cipher and key length,
// key derivation, digest and format version the reader accepts, and the
// part layouts that stress the pipeline (streams across parts, empty parts,
// names that fill their field, part counts below the parts present).

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "codec/decode_result.h"
#include "codec/document_decoder.h"
#include "codec/file_reader.h"
#include "decode_testing.h"
#include "security/key_derivation_function.h"

namespace codec {
namespace {

using decodetest::Bytes;
using decodetest::BasicLayout;
using decodetest::Decode;
using decodetest::Encode;
using decodetest::ExpectContents;
using decodetest::Noise;
using decodetest::Part;
using decodetest::RecordingWriter;
using decodetest::Text;

struct CipherCase {
  std::uint16_t cipherId;
  std::uint16_t keyBits;
};

const CipherCase kCiphers[] = {
    {5, 128}, {5, 192}, {5, 256}, {4, 64}, {4, 128}, {4, 192},
};

TEST(DecodeRoundTripTest, EveryCipherAndKeyLengthInBothVersions) {
  for (const std::uint16_t version : {258, 259}) {
    for (const CipherCase& c : kCiphers) {
      encoder::DocumentSpec layout = BasicLayout();
      layout.version = version;
      layout.cipherId = c.cipherId;
      layout.keyBits = c.keyBits;
      layout.kdfId = version == 259 ? 4 : 2;
      const Bytes document = Encode(layout);
      RecordingWriter writer;
      ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok)
          << "version " << version << " cipher " << c.cipherId << " bits " << c.keyBits;
      ExpectContents(writer, layout, 2);
      EXPECT_EQ(writer.beginDocuments, 1);
      EXPECT_EQ(writer.endParts, 2);
      EXPECT_EQ(writer.endDocuments, 1);
      EXPECT_EQ(writer.partCount, 2u);
      EXPECT_EQ(writer.documentHeader.formatVersion, version);
      EXPECT_EQ(writer.documentHeader.keyBits, c.keyBits);
    }
  }
}

TEST(DecodeRoundTripTest, EveryKeyDerivationThatHasAFunction) {
  struct KdfCase {
    std::uint16_t version;
    std::uint8_t kdfId;
    std::uint16_t trailerDigestId;
  };
  const KdfCase cases[] = {
      {258, 0, 2}, {259, 0, 2}, {258, 2, 3}, {259, 2, 7}, {259, 3, 3}, {259, 4, 4},
  };
  for (const KdfCase& k : cases) {
    for (const CipherCase& c : {kCiphers[1], kCiphers[2], kCiphers[5]}) {
      encoder::DocumentSpec layout = BasicLayout();
      layout.version = k.version;
      layout.kdfId = k.kdfId;
      layout.trailerDigestId = k.trailerDigestId;
      layout.cipherId = c.cipherId;
      layout.keyBits = c.keyBits;
      const Bytes document = Encode(layout);
      RecordingWriter writer;
      ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok)
          << "kdf " << int{k.kdfId} << " version " << k.version << " bits " << c.keyBits;
      ExpectContents(writer, layout, 2);
    }
  }
}

TEST(DecodeRoundTripTest, EveryBodyDigestAndNone) {
  for (const std::uint8_t digestId : {0, 2, 3, 4, 7}) {
    for (const std::uint16_t version : {258, 259}) {
      encoder::DocumentSpec layout = BasicLayout();
      layout.version = version;
      layout.kdfId = 2;
      layout.bodyDigestId = digestId;
      layout.parts.push_back(Part("third.txt", Noise(5000, 3), 0));
      const Bytes document = Encode(layout);
      RecordingWriter writer;
      ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok)
          << "digest " << int{digestId} << " version " << version;
      ExpectContents(writer, layout, 3);
    }
  }
}

TEST(DecodeRoundTripTest, CredentialsAreUsedExactlyAsGiven) {
  encoder::DocumentSpec layout = BasicLayout();
  layout.userName = "";
  layout.password = "";
  const Bytes document = Encode(layout);
  RecordingWriter writer;
  codec::MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  codec::DocumentDecoder decoder(source, writer);
  EXPECT_EQ(decoder.DecodeDocument(nullptr, nullptr, false), DecodeResult::Ok);
  ExpectContents(writer, layout, 2);

  encoder::DocumentSpec cased = BasicLayout();
  const Bytes casedDocument = Encode(cased);
  RecordingWriter wrongCase;
  decodetest::DecodeOptions options;
  options.userName = "Alice";
  EXPECT_EQ(Decode(casedDocument, cased, wrongCase, options), DecodeResult::WrongCredentials);
}

TEST(DecodeRoundTripTest, DecodesFromAFileThroughTheFileReader) {
  encoder::DocumentSpec layout = BasicLayout();
  layout.parts.push_back(Part("big.bin", Noise(100000, 11), 1));
  layout.parts.push_back(Part("plain.bin", Noise(70001, 12), 0));
  const Bytes document = Encode(layout);
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(document.data(), 1, document.size(), file), document.size());
  std::rewind(file);
  RecordingWriter writer;
  FileReader source(file);
  DocumentDecoder decoder(source, writer);
  decoder.SetClock([] { return std::int64_t{1700000000}; });
  EXPECT_EQ(decoder.DecodeDocument(layout.userName.c_str(), layout.password.c_str(), false), DecodeResult::Ok);
  ExpectContents(writer, layout, 4);
  EXPECT_LE(writer.largestWrite, 4096u);
  std::fclose(file);
}

// Key derivation -------------------------------------------------------------

Bytes OpenSslPbkdf2(const std::string& password, const std::string& userName,
                    const std::array<std::uint8_t, 32>& salt, int iterations, const EVP_MD* md,
                    std::size_t length) {
  Bytes s(userName.begin(), userName.end());
  s.insert(s.end(), salt.begin(), salt.end());
  Bytes out(length);
  EXPECT_EQ(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), s.data(),
                              static_cast<int>(s.size()), iterations, md, static_cast<int>(length),
                              out.data()),
            1);
  return out;
}

Bytes Derive(security::KeyDerivationFunction& kdf, const std::string& user, const std::string& pass,
             std::uint32_t length) {
  kdf.AddInput(user.data(), static_cast<std::uint32_t>(user.size()));
  kdf.AddInput(pass.data(), static_cast<std::uint32_t>(pass.size()));
  Bytes key(length);
  EXPECT_TRUE(kdf.Derive(key.data(), length));
  return key;
}

TEST(DecodeKeyDerivationTest, FirstSaltByteAdjustsTheIterationCount) {
  struct Case {
    std::uint16_t field;
    std::uint8_t saltByte;
    int iterations;
  };
  // 0 * 1000 + 5 = 5; 2 * 1000 - 128 = 1,872; 10 * 1000 - 16 = 9,984.
  for (const Case c : {Case{0, 0x05, 5}, Case{2, 0x80, 1872}, Case{10, 0xF0, 9984}}) {
    encoder::DocumentSpec layout = BasicLayout();
    layout.iterationThousands = c.field;
    layout.salt[0] = c.saltByte;
    const Bytes expected =
        OpenSslPbkdf2(layout.password, layout.userName, layout.salt, c.iterations, EVP_sha256(), 32);

    auto kdf = DocumentDecoder::CreateKdf(4, std::int64_t{c.field} * 1000, 3, 32, layout.salt.data());
    ASSERT_NE(kdf, nullptr);
    EXPECT_EQ(Derive(*kdf, layout.userName, layout.password, 32), expected) << c.iterations;

    Bytes encoderKey;
    std::string error;
    ASSERT_TRUE(encoder::DeriveDocumentKey(layout, encoderKey, &error)) << error;
    EXPECT_EQ(encoderKey, expected) << "encoder at " << c.iterations;

    // A count one off gives another key.
    EXPECT_NE(OpenSslPbkdf2(layout.password, layout.userName, layout.salt, c.iterations + 1, EVP_sha256(), 32),
              expected);

    const Bytes document = Encode(layout);
    RecordingWriter writer;
    EXPECT_EQ(Decode(document, layout, writer), DecodeResult::Ok) << c.iterations;
    ExpectContents(writer, layout, 2);
  }
}

TEST(DecodeKeyDerivationTest, ShortKeysAreTheFirstBytesOfPbkdf2) {
  encoder::DocumentSpec layout = BasicLayout();
  layout.salt[0] = 0x03;  // 1,003 iterations
  auto kdf = DocumentDecoder::CreateKdf(4, 1000, 3, 16, layout.salt.data());
  ASSERT_NE(kdf, nullptr);
  EXPECT_EQ(Derive(*kdf, layout.userName, layout.password, 16),
            OpenSslPbkdf2(layout.password, layout.userName, layout.salt, 1003, EVP_sha256(), 16));
}

TEST(DecodeKeyDerivationTest, IdsWithoutAFunctionGiveNone) {
  std::array<std::uint8_t, 32> salt{};
  salt[0] = 0x80;
  // Id 0 only over digest ids 1 and 2; id 1 names no digest; ids above 4.
  EXPECT_EQ(DocumentDecoder::CreateKdf(0, 1000, 3, 32, nullptr), nullptr);
  EXPECT_NE(DocumentDecoder::CreateKdf(0, 1000, 2, 32, nullptr), nullptr);
  EXPECT_EQ(DocumentDecoder::CreateKdf(1, 1000, 2, 32, nullptr), nullptr);
  EXPECT_EQ(DocumentDecoder::CreateKdf(5, 1000, 2, 32, salt.data()), nullptr);
  // PBKDF2 needs a salt and at least one iteration.
  EXPECT_EQ(DocumentDecoder::CreateKdf(4, 1000, 3, 32, nullptr), nullptr);
  EXPECT_EQ(DocumentDecoder::CreateKdf(3, 0, 3, 32, salt.data()), nullptr);  // 0 - 128
  salt[0] = 0;
  EXPECT_EQ(DocumentDecoder::CreateKdf(4, 0, 3, 32, salt.data()), nullptr);  // 0
  salt[0] = 1;
  EXPECT_NE(DocumentDecoder::CreateKdf(4, 0, 3, 32, salt.data()), nullptr);  // 1
}

TEST(DecodeKeyDerivationTest, DocumentsWithoutAKeyDerivationAreRefused) {
  std::vector<encoder::DocumentSpec> layouts;
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.kdfId = 0;  // over trailer digest 3: none
    layouts.push_back(layout);
  }
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.kdfId = 1;
    layouts.push_back(layout);
  }
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.kdfId = 9;
    layouts.push_back(layout);
  }
  for (const std::uint8_t saltByte : {0x00, 0x80, 0xFF}) {
    encoder::DocumentSpec layout = BasicLayout();
    layout.iterationThousands = 0;
    layout.salt[0] = saltByte;
    layouts.push_back(layout);
  }
  for (const auto& layout : layouts) {
    const Bytes document = Encode(layout);
    RecordingWriter writer;
    EXPECT_EQ(Decode(document, layout, writer), DecodeResult::NoKeyDerivation)
        << "kdf " << int{layout.kdfId} << " salt " << int{layout.salt[0]};
    EXPECT_EQ(writer.beginDocuments, 0);
  }
}

TEST(DecodeKeyDerivationTest, PbKdf2InAVersion258DocumentIsRefused) {
  for (const std::uint8_t kdfId : {3, 4}) {
    encoder::DocumentSpec layout = BasicLayout();
    layout.version = 258;
    layout.kdfId = 2;
    layout.headerByteAfterDigest = std::make_pair(18u, kdfId);
    const Bytes document = Encode(layout);
    RecordingWriter writer;
    EXPECT_EQ(Decode(document, layout, writer), DecodeResult::NoKeyDerivation);
    EXPECT_EQ(writer.beginDocuments, 0);
  }
}

// Part layouts ---------------------------------------------------------------

TEST(DecodePartLayoutTest, ContinuousStreamSplitAcrossParts) {
  encoder::DocumentSpec layout = BasicLayout();
  layout.flags = codec::DocumentHeader::FlagContinuousStream;
  layout.parts.clear();
  layout.parts.push_back(Part("a.txt", Text(std::string(30000, 'a') + "tail of a"), 1));
  layout.parts.push_back(Part("plain.bin", Noise(3000, 1), 0));  // never touches the stream
  layout.parts.push_back(Part("b.txt", Noise(9000, 2), 1));
  layout.parts.push_back(Part("c.txt", Text(std::string(8192, 'c')), 1));
  const Bytes document = Encode(layout);
  RecordingWriter writer;
  ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok);
  ExpectContents(writer, layout, 4);
  EXPECT_LE(writer.largestWrite, 4096u);
}

TEST(DecodePartLayoutTest, PerPartStreamsStartAfresh) {
  encoder::DocumentSpec layout = BasicLayout();
  layout.parts.clear();
  for (int i = 0; i < 4; ++i) {
    layout.parts.push_back(Part("p" + std::to_string(i), Noise(3000 + 1000 * i, i), 1));
  }
  const Bytes document = Encode(layout);
  RecordingWriter writer;
  ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok);
  ExpectContents(writer, layout, 4);
}

TEST(DecodePartLayoutTest, PerPartStreamThatStopsHalfWayYieldsItsOutputThenTheNextStream) {
  // Part 0 holds only the first half of a zlib stream (a sync-flushed prefix
  // whose output is complete), part 1 a fresh stream of its own.
  const Bytes firstContent = Text(std::string(5000, 'x') + "end-of-first");
  z_stream zs{};
  ASSERT_EQ(deflateInit(&zs, 6), Z_OK);
  Bytes half(8192);
  zs.next_in = const_cast<Bytef*>(firstContent.data());
  zs.avail_in = static_cast<uInt>(firstContent.size());
  zs.next_out = half.data();
  zs.avail_out = static_cast<uInt>(half.size());
  ASSERT_EQ(deflate(&zs, Z_SYNC_FLUSH), Z_OK);
  half.resize(half.size() - zs.avail_out);
  deflateEnd(&zs);

  encoder::DocumentSpec layout = BasicLayout();
  layout.parts.clear();
  layout.parts.push_back(Part("half.txt", firstContent, 1));
  layout.parts[0].storedData = half;
  layout.parts.push_back(Part("next.txt", Noise(7000, 5), 1));
  const Bytes document = Encode(layout);
  RecordingWriter writer;
  ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok);
  ExpectContents(writer, layout, 2);
}

TEST(DecodePartLayoutTest, PartCountBelowThePartsPresentIgnoresTheRest) {
  encoder::DocumentSpec layout = BasicLayout();
  layout.parts.push_back(Part("ignored.txt", Text("never decoded")));
  layout.partCountField = 2;
  layout.tags.push_back({"Title", Text("Ignored by the decoder"), false});
  const Bytes document = Encode(layout);
  RecordingWriter writer;
  ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok);
  ExpectContents(writer, layout, 2);
  EXPECT_EQ(writer.partCount, 2u);
  EXPECT_EQ(writer.endDocuments, 1);
}

TEST(DecodePartLayoutTest, EmptyPartsReadOnlyTheirHeaderAndDigestBlocks) {
  for (const std::uint8_t digestId : {0, 3}) {
    for (const std::uint16_t compression : {0, 1}) {
      encoder::DocumentSpec layout = BasicLayout();
      layout.bodyDigestId = digestId;
      layout.parts.insert(layout.parts.begin() + 1, Part("empty.txt", {}, 0));
      layout.parts.push_back(Part("empty-too.txt", {}, 0));
      layout.parts.push_back(Part("last.txt", Text("after two empty parts"), compression));
      const Bytes document = Encode(layout);
      RecordingWriter writer;
      ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok) << int{digestId};
      ExpectContents(writer, layout, 5);
      EXPECT_EQ(writer.parts[1].storedLength, 0u);
      EXPECT_TRUE(writer.parts[1].content.empty());
      EXPECT_EQ(writer.writesOutsideParts, 0);
    }
  }
}

TEST(DecodePartLayoutTest, NamesThatFillTheirFieldReadBackWhole) {
  const std::string name64(60, 'n');
  const std::string name34(30, 'm');
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.parts[0].name = name64 + ".txt";
    const Bytes document = Encode(layout);
    RecordingWriter writer;
    ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok);
    EXPECT_EQ(writer.parts[0].name, name64 + ".txt");
    EXPECT_EQ(writer.parts[0].name.size(), 64u);
  }
  {
    encoder::DocumentSpec layout = BasicLayout();
    layout.version = 258;
    layout.kdfId = 2;
    layout.parts[0].name = name34 + ".txt";
    const Bytes document = Encode(layout);
    RecordingWriter writer;
    ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok);
    EXPECT_EQ(writer.parts[0].name, name34 + ".txt");
    EXPECT_EQ(writer.parts[0].name.size(), 34u);
  }
}

TEST(DecodePartLayoutTest, LengthBytesNamingTheSameBlockAreEquivalent) {
  // Any length byte from T - B to T - 1 names the same block; larger blocks
  // carry filler before the header.
  for (const std::uint8_t lengthByte : {0, 95, 96, 111, 200, 255}) {
    encoder::DocumentSpec layout = BasicLayout();
    layout.parts[0].lengthByte = lengthByte;
    layout.parts[1].lengthByte = lengthByte;
    const Bytes document = Encode(layout);
    RecordingWriter writer;
    EXPECT_EQ(Decode(document, layout, writer), DecodeResult::Ok) << int{lengthByte};
    ExpectContents(writer, layout, 2);
  }
}

TEST(DecodePartLayoutTest, EndMarkerEndsADocumentWithoutAStatedCount) {
  encoder::DocumentSpec layout = BasicLayout();
  layout.partCountField = 0;
  layout.endMarker = true;
  layout.tags.push_back({"Title", Text("after the marker"), false});
  const Bytes document = Encode(layout);
  RecordingWriter writer;
  ASSERT_EQ(Decode(document, layout, writer), DecodeResult::Ok);
  ExpectContents(writer, layout, 2);
  EXPECT_EQ(writer.partCount, 0xFFFFFFFFu);
  EXPECT_EQ(writer.endDocuments, 1);

  // A document of no parts at all.
  encoder::DocumentSpec empty = BasicLayout();
  empty.parts.clear();
  empty.partCountField = 0;
  empty.endMarker = true;
  const Bytes emptyDocument = Encode(empty);
  RecordingWriter emptyWriter;
  EXPECT_EQ(Decode(emptyDocument, empty, emptyWriter), DecodeResult::Ok);
  EXPECT_EQ(emptyWriter.beginParts, 0);
  EXPECT_EQ(emptyWriter.endDocuments, 1);
}

TEST(DecodePartLayoutTest, EndMarkerBeforeTheStatedCountIsCorrupt) {
  encoder::DocumentSpec layout = BasicLayout();
  layout.partCountField = 3;
  layout.endMarker = true;
  const Bytes document = Encode(layout);
  RecordingWriter writer;
  EXPECT_EQ(Decode(document, layout, writer), DecodeResult::Corrupt);
  EXPECT_EQ(writer.endParts, 2);
  EXPECT_EQ(writer.endDocuments, 0);
}

TEST(DecodePartLayoutTest, WithoutCountOrMarkerTheEndOfDataIsATruncation) {
  // Nothing tells a complete document from one cut at a part boundary.
  encoder::DocumentSpec layout = BasicLayout();
  layout.partCountField = 0;
  const Bytes document = Encode(layout);
  RecordingWriter writer;
  EXPECT_EQ(Decode(document, layout, writer), DecodeResult::Truncated);
  EXPECT_EQ(writer.endParts, 2);
  EXPECT_EQ(writer.endDocuments, 0);
}

// Expiry ---------------------------------------------------------------------

TEST(DecodeExpiryTest, OneSecondPastExpiresUnlessAllowed) {
  const std::int64_t now = 1700000000;
  encoder::DocumentSpec layout = BasicLayout();
  layout.parts[1].expiry = static_cast<std::int32_t>(now - 1);
  const Bytes document = Encode(layout);

  RecordingWriter refused;
  decodetest::DecodeOptions options;
  options.now = now;
  EXPECT_EQ(Decode(document, layout, refused, options), DecodeResult::Expired);
  EXPECT_EQ(refused.beginParts, 1);  // the expired part was never begun
  EXPECT_EQ(refused.endDocuments, 0);

  RecordingWriter allowed;
  options.allowExpired = true;
  EXPECT_EQ(Decode(document, layout, allowed, options), DecodeResult::Ok);
  ExpectContents(allowed, layout, 2);
  EXPECT_EQ(allowed.parts[1].expiry, now - 1);

  RecordingWriter atTheSecond;
  options.allowExpired = false;
  options.now = now - 1;
  EXPECT_EQ(Decode(document, layout, atTheSecond, options), DecodeResult::Ok);
}

TEST(DecodeExpiryTest, ZeroAndNeverDoNotExpireEvenAfter2038) {
  encoder::DocumentSpec layout = BasicLayout();
  layout.parts[0].expiry = 0;
  layout.parts[1].expiry = 0x7FFFFFFF;  // stored as 0xFFFFFFFF
  const Bytes document = Encode(layout);
  for (const std::int64_t now : {std::int64_t{1700000000}, std::int64_t{0x7FFFFFFF},
                                 std::int64_t{0x80000000}, std::int64_t{4102444800}}) {
    RecordingWriter writer;
    decodetest::DecodeOptions options;
    options.now = now;
    EXPECT_EQ(Decode(document, layout, writer, options), DecodeResult::Ok) << now;
    ASSERT_EQ(writer.parts.size(), 2u);
    EXPECT_EQ(writer.parts[1].expiry, 0x7FFFFFFF);
  }
}

TEST(DecodeExpiryTest, DatesKeepExpiringAfter2038) {
  // 2040-01-01: a clock read as signed 32 bits would be negative here and no
  // stored date would ever lie before it.
  const std::int64_t in2040 = 2208988800;
  encoder::DocumentSpec layout = BasicLayout();
  layout.parts[0].expiry = 2000000000;  // 2033
  const Bytes document = Encode(layout);
  RecordingWriter writer;
  decodetest::DecodeOptions options;
  options.now = in2040;
  EXPECT_EQ(Decode(document, layout, writer, options), DecodeResult::Expired);

  // Negative stored dates lie in the past, before and after 2038.
  encoder::DocumentSpec past = BasicLayout();
  past.parts[0].expiry = -5;
  const Bytes pastDocument = Encode(past);
  for (const std::int64_t now : {std::int64_t{1700000000}, in2040}) {
    RecordingWriter w;
    options.now = now;
    EXPECT_EQ(Decode(pastDocument, past, w, options), DecodeResult::Expired) << now;
  }
}

TEST(DecodeExpiryTest, DefaultClockIsTheSystemClock) {
  encoder::DocumentSpec layout = BasicLayout();
  layout.parts[0].expiry = 1000000000;  // 2001
  const Bytes document = Encode(layout);
  RecordingWriter writer;
  codec::MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  DocumentDecoder decoder(source, writer);
  EXPECT_EQ(decoder.DecodeDocument(layout.userName.c_str(), layout.password.c_str(), false),
            DecodeResult::Expired);
}

}  // namespace
}  // namespace codec
