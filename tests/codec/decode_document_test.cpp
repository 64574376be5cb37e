// Round trips through the document encoder (those a recipe setting describes
// are rows of tests/data/codec/decode_cases.txt): key derivation against
// OpenSSL, empty parts, and expiry.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <array>
#ifdef VP_TEST_OPENSSL
#include <openssl/evp.h>
#endif

#include "codec/decode_result.h"
#include "codec/document_decoder.h"
#include "codec/file_reader.h"
#include "decode_testing.h"
#include "security/digest_imp.h"
#include "security/key_derivation_function.h"

namespace codec {
namespace {

using namespace decodetest;  // the shared codec test helpers

TEST(DecodeRoundTripTest, EmptyCredentialsAndAFileSource) {
  const Recipe open = BasicLayout([](Recipe& s) { s.userName = s.password = ""; });
  const Bytes openDocument = Encode(open);
  MemoryReader memory(openDocument.data(), static_cast<std::uint32_t>(openDocument.size()));
  RecordingWriter openWriter;
  EXPECT_EQ(DocumentDecoder(memory, openWriter).DecodeDocument(nullptr, nullptr, false), DecodeResult::Ok);
  ExpectContents(openWriter, open);

  const Recipe layout = BasicLayout([](Recipe& s) {
    s.parts.push_back(Part("big.bin", Noise(100000, 11), 1));
    s.parts.push_back(Part("plain.bin", Noise(70001, 12), 0));
  });
  const Bytes document = Encode(layout);
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(document.data(), 1, document.size(), file), document.size());
  std::rewind(file);
  RecordingWriter writer;
  FileReader source(file);
  DocumentDecoder decoder(source, writer);
  decoder.SetClock([] { return kNow; });
  EXPECT_EQ(decoder.DecodeDocument(layout.userName.c_str(), layout.password.c_str(), false), DecodeResult::Ok);
  ExpectContents(writer, layout);
  EXPECT_LE(writer.largestWrite, std::max(Inflater::InputSize, Inflater::OutputSize));
  std::fclose(file);
}

// Key-derivation id 1 asks for a simple derivation over digest id 1, which
// names no digest: there is never a function, and the document is refused as
// unsupported before any key is derived.
TEST(DecodeKeyDerivationTest, IdOneNamesNoDigestAndIsRefusedAsUnsupported) {
  const Recipe layout = BasicLayout([](Recipe& s) { s.kdfId = DocumentHeader::KdfSimpleOverDigest1; });
  EXPECT_EQ(DocumentDecoder::CreateKdf(DocumentHeader::KdfSimpleOverDigest1, 1000, security::kDigestSha256, 32,
                                       layout.salt.data()),
            nullptr);
  RecordingWriter writer;
  EXPECT_EQ(Decode(Encode(layout), layout, writer), DecodeResult::NoKeyDerivation);
  EXPECT_TRUE(writer.calls.empty());
}

#ifdef VP_TEST_OPENSSL
Bytes OpenSslPbkdf2(const Recipe& layout, int iterations, std::size_t length) {
  Bytes salt(layout.userName.begin(), layout.userName.end());
  salt.insert(salt.end(), layout.salt.begin(), layout.salt.end());
  Bytes out(length);
  EXPECT_EQ(PKCS5_PBKDF2_HMAC(layout.password.data(), static_cast<int>(layout.password.size()), salt.data(),
                              static_cast<int>(salt.size()), iterations, EVP_sha256(), static_cast<int>(length),
                              out.data()), 1);
  return out;
}

TEST(DecodeKeyDerivationTest, FirstSaltByteAdjustsTheIterationCount) {
  // 0 * 1000 + 1 = 1; 0 * 1000 + 5 = 5; 2 * 1000 - 128 = 1,872; 10 * 1000 - 16 = 9,984.
  const int cases[][3] = {{0, 0x01, 1}, {0, 0x05, 5}, {2, 0x80, 1872}, {10, 0xF0, 9984}};
  for (const auto& c : cases) {
    const Recipe layout = BasicLayout([&](Recipe& s) {
      s.iterationThousands = static_cast<std::uint16_t>(c[0]);
      s.salt[0] = static_cast<std::uint8_t>(c[1]);
    });
    const Bytes expected = OpenSslPbkdf2(layout, c[2], 32);
    EXPECT_NE(OpenSslPbkdf2(layout, c[2] + 1, 32), expected);  // a count one off gives another key
    for (const std::uint32_t length : {32u, 16u}) {  // shorter keys are the first bytes
      auto kdf = DocumentDecoder::CreateKdf(DocumentHeader::KdfPbkdf2Sha256, std::int64_t{c[0]} * 1000,
                                            security::kDigestSha256, length, layout.salt.data());
      ASSERT_NE(kdf, nullptr);
      kdf->AddInput(layout.userName.data(), static_cast<std::uint32_t>(layout.userName.size()));
      kdf->AddInput(layout.password.data(), static_cast<std::uint32_t>(layout.password.size()));
      Bytes key(length);
      ASSERT_TRUE(kdf->Derive(key.data(), length));
      EXPECT_EQ(key, Bytes(expected.begin(), expected.begin() + length)) << c[2];
    }
    Bytes encoderKey;
    std::string error;
    ASSERT_TRUE(encoder::DeriveDocumentKey(layout, encoderKey, &error)) << error;
    EXPECT_EQ(encoderKey, expected) << "encoder at " << c[2];
    RecordingWriter writer;
    EXPECT_EQ(Decode(Encode(layout), layout, writer), DecodeResult::Ok) << c[2];
    ExpectContents(writer, layout);
  }
}
#endif  // VP_TEST_OPENSSL

TEST(DecodePartLayoutTest, EmptyPartsReadOnlyTheirHeaderAndDigestBlocks) {
  for (const std::uint8_t digestId : std::array<std::uint8_t, 2>{0, 3}) {
    for (const std::uint16_t compression : std::array<std::uint16_t, 2>{0, 1}) {
      const Recipe layout = BasicLayout([=](Recipe& s) {
        s.bodyDigestId = digestId;
        s.parts.insert(s.parts.begin() + 1, Part("empty.txt", {}, 0));
        s.parts.push_back(Part("empty-too.txt", {}, 0));
        s.parts.push_back(Part("last.txt", Text("after two empty parts"), compression));
      });
      RecordingWriter writer;
      ASSERT_EQ(Decode(Encode(layout), layout, writer), DecodeResult::Ok) << int{digestId};
      ExpectContents(writer, layout);
      EXPECT_EQ(writer.parts[1].storedLength, 0u);
      EXPECT_EQ(writer.calls, "DPwEPEPwEPEPwEZ");  // the empty parts write nothing
    }
  }
}

TEST(DecodeExpiryTest, OneSecondPastExpiresUnlessAllowedZeroAndNeverDoNot) {
  const std::int64_t now = kNow;
  const Recipe layout = BasicLayout([=](Recipe& s) { s.parts[1].expiry = static_cast<std::int32_t>(now - 1); });
  const Bytes document = Encode(layout);
  RecordingWriter refused, allowed, atTheSecond;
  EXPECT_EQ(Decode(document, layout, refused, now), DecodeResult::Expired);
  EXPECT_EQ(refused.calls, "DPwE");  // the expired part was never begun
  EXPECT_EQ(Decode(document, layout, allowed, now, true), DecodeResult::Ok);
  ExpectContents(allowed, layout);
  EXPECT_EQ(allowed.parts[1].expiry, now - 1);
  EXPECT_EQ(Decode(document, layout, atTheSecond, now - 1), DecodeResult::Ok);

  const Recipe never = BasicLayout([](Recipe& s) {
    s.parts[0].expiry = 0;
    s.parts[1].expiry = 0x7FFFFFFF;  // stored as 0xFFFFFFFF
  });
  const Bytes neverDocument = Encode(never);
  for (const std::int64_t at : {now, std::int64_t{0x7FFFFFFF}, std::int64_t{0x80000000}, std::int64_t{4102444800}}) {
    RecordingWriter writer;
    EXPECT_EQ(Decode(neverDocument, never, writer, at), DecodeResult::Ok) << at;
    ASSERT_EQ(writer.parts.size(), 2u);
    EXPECT_EQ(writer.parts[1].expiry, 0x7FFFFFFF);
  }
}

TEST(DecodeExpiryTest, DatesKeepExpiringAfter2038AndTheDefaultClockIsTheSystems) {
  // 2040-01-01: a clock read as signed 32 bits would be negative here and no
  // stored date would ever lie before it. Negative dates lie in the past.
  const std::int64_t in2040 = 2208988800;
  for (const std::int32_t expiry : {2000000000, -5}) {  // 2033, before 1970
    const Recipe layout = BasicLayout([=](Recipe& s) { s.parts[0].expiry = expiry; });
    const Bytes document = Encode(layout);
    for (const std::int64_t now : {kNow, in2040}) {
      RecordingWriter writer;
      const bool past = expiry < 0 || now == in2040;
      EXPECT_EQ(Decode(document, layout, writer, now), past ? DecodeResult::Expired : DecodeResult::Ok)
          << expiry << " at " << now;
    }
  }
  const Recipe layout = BasicLayout([](Recipe& s) { s.parts[0].expiry = 1000000000; });  // 2001
  const Bytes document = Encode(layout);
  RecordingWriter writer;
  MemoryReader source(document.data(), static_cast<std::uint32_t>(document.size()));
  EXPECT_EQ(DocumentDecoder(source, writer).DecodeDocument(layout.userName.c_str(), layout.password.c_str(), false),
            DecodeResult::Expired);
}

}  // namespace
}  // namespace codec
