// Round trips through the document encoder (those a recipe setting describes
// are rows of tests/data/codec/decode_cases.txt): key derivation against
// OpenSSL, empty parts, and expiry.

#include <cstdio>

#include <array>

#include "codec/file_reader.h"
#include "decode_testing.h"
#include "security/digest_imp.h"
#include "security/key_derivation_function.h"

namespace codec {
namespace {

using namespace decodetest;  // the shared codec test helpers
using R = DecodeResult;

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

#ifdef VP_TEST_OPENSSL
TEST(DecodeKeyDerivationTest, FirstSaltByteAdjustsTheIterationCount) {
  // 0 * 1000 + 1 = 1; 0 * 1000 + 5 = 5; 2 * 1000 - 128 = 1,872; 10 * 1000 - 16 = 9,984.
  const int cases[][3] = {{0, 0x01, 1}, {0, 0x05, 5}, {2, 0x80, 1872}, {10, 0xF0, 9984}};
  for (const auto& c : cases) {
    const Recipe layout = BasicLayout([&](Recipe& s) {
      s.iterationThousands = static_cast<std::uint16_t>(c[0]);
      s.salt[0] = static_cast<std::uint8_t>(c[1]);
    });
    const Bytes expected = OpenSslPbkdf2(layout.userName, layout.password, layout.salt.data(), c[2]);
    // A count one off gives another key.
    EXPECT_NE(OpenSslPbkdf2(layout.userName, layout.password, layout.salt.data(), c[2] + 1), expected);
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

// Part 1's expiry against the decoder's clock (part 0 never expires). In 2040
// a clock read as signed 32 bits would be negative and nothing would expire;
// dates before 1970 lie in the past.
TEST(DecodeExpiryTest, PastDatesExpireUnlessAllowedNeverDoesNotAndTheDefaultClockIsTheSystems) {
  const std::int64_t in2040 = 2208988800;
  const struct {
    std::int32_t expiry;  // 0x7FFFFFFF: never, stored as 0xFFFFFFFF
    std::int64_t now;
    bool allowExpired;
    R code;
  } cases[] = {
      {kNow - 1, kNow, false, R::Expired},     {kNow - 1, kNow, true, R::Ok},         {kNow - 1, kNow - 1, false, R::Ok},
      {0x7FFFFFFF, kNow, false, R::Ok},        {0x7FFFFFFF, 0x7FFFFFFF, false, R::Ok}, {0x7FFFFFFF, 0x80000000, false, R::Ok},
      {0x7FFFFFFF, 4102444800, false, R::Ok},  {2000000000, kNow, false, R::Ok},     {2000000000, in2040, false, R::Expired},
      {-5, kNow, false, R::Expired},           {-5, in2040, false, R::Expired},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.expiry << " at " << c.now << (c.allowExpired ? " allowed" : ""));
    const Recipe layout = BasicLayout([&](Recipe& s) { s.parts[1].expiry = c.expiry; });
    RecordingWriter writer;
    EXPECT_EQ(Decode(Encode(layout), layout, writer, c.now, c.allowExpired), c.code);
    if (c.code == R::Expired) {
      EXPECT_EQ(writer.calls, "DPwE");  // the expired part was never begun
      continue;
    }
    ExpectContents(writer, layout);
    EXPECT_EQ(writer.parts[1].expiry, c.expiry);
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
