// The fixed header and the per-part headers, checked against byte layouts
// written out by hand from the format's offset tables.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/document_header.h"
#include "codec/vp_codec_base.h"

namespace codec {
namespace {

using EncodedHeader = VPCodecBase::EncodedHeader;
using EncodedHeader102 = VPCodecBase::EncodedHeader102;
using EncodedHeader103 = VPCodecBase::EncodedHeader103;

const std::uint8_t kStoredHeader[30] = {
    'e', 'm', 'd', 'f',      // magic
    0x01, 0x03,              // version 259
    0x00, 0x05,              // AES
    0x00, 0x03,              // trailer digest SHA-256
    0x01, 0x00,              // 256-bit key
    0x00, 0x02,              // two parts
    0xD8, 0x00, 0x00, 0x01,  // flags: bits 31, 30, 28, 27 and 0
    0x04,                    // key derivation 4
    0x00, 0x0A,              // 10 thousand iterations
    0x07,                    // body digest Keccak-256
    1, 2, 3, 4, 5, 6, 7, 8,  // reserved
};

TEST(DocumentHeaderTest, ParsesStoredBytesAndStoresThemBack) {
  DocumentHeader header;
  header.Parse(kStoredHeader);
  EXPECT_TRUE(header.HasMagic());
  EXPECT_TRUE(header.IsKnownVersion());
  EXPECT_EQ(header.formatVersion, DocumentHeader::Version259);
  EXPECT_EQ(header.cipherId, DocumentHeader::CipherAes);
  EXPECT_EQ(header.trailerDigestId, DocumentHeader::DigestSha256);
  EXPECT_EQ(header.keyBits, 256);
  EXPECT_EQ(header.KeyBytes(), 32u);
  EXPECT_EQ(header.partCount, 2);
  EXPECT_EQ(header.flags, 0xD8000001u);
  EXPECT_TRUE(header.HasFlag(DocumentHeader::FlagNoCredentials));
  EXPECT_TRUE(header.HasFlag(DocumentHeader::FlagTagTrailer));
  EXPECT_FALSE(header.HasFlag(DocumentHeader::FlagNoWaitNotice));
  EXPECT_TRUE(header.HasFlag(DocumentHeader::FlagPasswordOnly));
  EXPECT_TRUE(header.HasFlag(DocumentHeader::FlagContinuousStream));
  EXPECT_EQ(header.kdfId, 4);
  EXPECT_EQ(header.iterationThousands, 10);
  EXPECT_EQ(header.bodyDigestId, 7);
  EXPECT_EQ(header.reserved[7], 8);

  std::uint8_t stored[30] = {};
  header.Store(stored);
  EXPECT_EQ(std::memcmp(stored, kStoredHeader, 30), 0);

  std::uint8_t bad[30];
  std::memcpy(bad, kStoredHeader, 30);
  bad[0] = 'E';
  bad[5] = 0x04;
  header.Parse(bad);
  EXPECT_FALSE(header.HasMagic());
  EXPECT_FALSE(header.IsKnownVersion());
  header.formatVersion = 0x0102;
  EXPECT_TRUE(header.IsKnownVersion());
  header.keyBits = 199;
  EXPECT_EQ(header.KeyBytes(), 24u);  // remainder dropped
}

TEST(DocumentHeaderTest, DigestOutputLengths) {
  EXPECT_EQ(DigestOutputLength(2), 20u);
  EXPECT_EQ(DigestOutputLength(3), 32u);
  EXPECT_EQ(DigestOutputLength(4), 64u);
  EXPECT_EQ(DigestOutputLength(7), 32u);
  for (std::uint32_t id : {0u, 1u, 5u, 6u, 8u, 0xFFFFu}) EXPECT_EQ(DigestOutputLength(id), 0u) << id;
}

// Fills every field with a distinct value through the setters.
void FillHeader(EncodedHeader& header, const char* name) {
  header.Clear();
  header.SetCompression(1);
  ASSERT_TRUE(header.SetName(name));
  header.SetCheck(~std::uint32_t{0x60});
  header.SetAuxiliary1(0x11223344);
  header.SetLength(0x00012345);
  header.SetExpiry(0x5F000000);
}

TEST(EncodedHeaderTest, Version258LayoutByteForByte) {
  std::vector<std::uint8_t> block(96, 0xEE);  // the header is the last 72 bytes
  EncodedHeader102 header;
  ASSERT_EQ(header.Attach(block.data(), 96), block.data() + 24);
  EXPECT_EQ(header.Size(), 72u);
  FillHeader(header, "report.pdf");
  block[24 + 56] = 0xA1;  // auxiliary word 2 at 56 is read only
  block[24 + 59] = 0xA4;

  std::uint8_t expected[72] = {};
  expected[1] = 0x01;                                                    // method at 0
  std::memcpy(expected + 6, "report.pdf", 10);                           // name at 6
  const std::uint8_t check[4] = {0xFF, 0xFF, 0xFF, 0x9F};                // ~0x60 at 40
  std::memcpy(expected + 40, check, 4);
  const std::uint8_t aux1[4] = {0x11, 0x22, 0x33, 0x44};                 // at 44
  std::memcpy(expected + 44, aux1, 4);
  const std::uint8_t length[4] = {0x00, 0x01, 0x23, 0x45};               // at 48
  std::memcpy(expected + 48, length, 4);
  const std::uint8_t expiry[4] = {0x5F, 0x00, 0x00, 0x00};               // at 52
  std::memcpy(expected + 52, expiry, 4);
  expected[56] = 0xA1;
  expected[59] = 0xA4;
  EXPECT_EQ(std::memcmp(block.data() + 24, expected, 72), 0);
  EXPECT_EQ(block[23], 0xEE);  // nothing before the header touched

  EXPECT_EQ(header.GetCompression(), 1);
  EXPECT_EQ(header.GetCheck(), ~std::uint32_t{0x60});
  EXPECT_EQ(header.GetLength(), 0x12345u);
  EXPECT_EQ(header.GetExpiry(), 0x5F000000);
  EXPECT_EQ(header.GetAuxiliary2(), 0xA10000A4u);
}

TEST(EncodedHeaderTest, Version259LayoutByteForByte) {
  std::vector<std::uint8_t> block(86, 0xEE);
  EncodedHeader103 header;
  ASSERT_EQ(header.Attach(block.data(), 86), block.data());
  EXPECT_EQ(header.Size(), 86u);
  FillHeader(header, "report.pdf");
  block[14] = 0xB1;
  block[17] = 0xB4;

  const std::uint8_t expected[86] = {
      0x00, 0x01,                                      // method at 0
      0x11, 0x22, 0x33, 0x44,                          // auxiliary 1 at 2
      0x00, 0x01, 0x23, 0x45,                          // length at 6
      0x5F, 0x00, 0x00, 0x00,                          // expiry at 10
      0xB1, 0x00, 0x00, 0xB4,                          // auxiliary 2 at 14
      'r', 'e', 'p', 'o', 'r', 't', '.', 'p', 'd', 'f',  // name at 18, NUL-padded to 64
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0xFF, 0xFF, 0xFF, 0x9F,                          // check at 82
  };
  EXPECT_EQ(std::memcmp(block.data(), expected, 86), 0);
  EXPECT_EQ(header.GetAuxiliary2(), 0xB10000B4u);
}

TEST(EncodedHeaderTest, CompressionSetterDiffersBetweenVersions) {
  std::uint8_t block[86];
  std::memset(block, 0x55, sizeof block);
  EncodedHeader102 old;
  old.Attach(block, 72);
  old.SetCompression(0x0102);
  EXPECT_EQ(block[0], 0x01);
  EXPECT_EQ(block[1], 0x02);
  for (int i = 2; i < 6; ++i) EXPECT_EQ(block[i], 0) << i;
  EXPECT_EQ(block[6], 0x55);

  std::memset(block, 0x55, sizeof block);
  EncodedHeader103 current;
  current.Attach(block, 86);
  current.SetCompression(0);
  EXPECT_EQ(block[1], 0);
  EXPECT_EQ(block[2], 0x55);
}

template <typename Header>
void CheckFullLengthName() {
  std::uint8_t block[Header::HeaderSize];
  std::memset(block, 0xAB, sizeof block);  // check value and neighbours all non-zero
  Header header;
  header.Attach(block, sizeof block);
  const std::string full(Header::NameLength, 'n');
  ASSERT_TRUE(header.SetName(full.c_str()));
  header.SetCheck(0xFFFFFFFF);
  char out[Header::NameLength + 8];
  std::memset(out, 'x', sizeof out);
  ASSERT_TRUE(header.GetName(out, Header::NameLength + 1));
  EXPECT_EQ(std::string(out), full);  // exactly the field, no check-value bytes

  const std::string tooLong(Header::NameLength + 1, 'n');
  EXPECT_FALSE(header.SetName(tooLong.c_str()));
  EXPECT_FALSE(header.SetName(nullptr));
  EXPECT_FALSE(header.GetName(out, Header::NameLength));  // no room for the terminator
  ASSERT_TRUE(header.GetName(out, sizeof out));
  EXPECT_EQ(std::string(out), full);  // refused names leave the field alone

  ASSERT_TRUE(header.SetName("a.txt"));
  ASSERT_TRUE(header.GetName(out, sizeof out));
  EXPECT_STREQ(out, "a.txt");
  ASSERT_TRUE(header.SetName(""));
  ASSERT_TRUE(header.GetName(out, sizeof out));
  EXPECT_STREQ(out, "");
}

TEST(EncodedHeaderTest, FullLengthNamesReadBackExactly) {
  CheckFullLengthName<EncodedHeader102>();
  CheckFullLengthName<EncodedHeader103>();
}

TEST(EncodedHeaderTest, ExpiryNeverAndZero) {
  std::uint8_t block[86] = {};
  for (EncodedHeader* header :
       std::initializer_list<EncodedHeader*>{new EncodedHeader102, new EncodedHeader103}) {
    std::unique_ptr<EncodedHeader> owner(header);
    std::uint8_t* bytes = header->Attach(block, 86);
    const std::uint32_t at = header->Size() == 72 ? 52 : 10;
    std::memset(bytes + at, 0xFF, 4);
    EXPECT_EQ(header->GetExpiry(), 0x7FFFFFFF);
    header->SetExpiry(0x7FFFFFFF);
    EXPECT_EQ(bytes[at], 0xFF);
    EXPECT_EQ(bytes[at + 3], 0xFF);
    header->SetExpiry(0);
    EXPECT_EQ(header->GetExpiry(), 0);
    header->SetExpiry(-2);
    EXPECT_EQ(header->GetExpiry(), -2);
  }
}

TEST(EncodedHeaderTest, ShortBlocksAndDetachedHeadersAreHarmless) {
  std::uint8_t block[71] = {};
  EncodedHeader102 header;
  EXPECT_EQ(header.Attach(block, 71), nullptr);
  EXPECT_EQ(header.Attach(nullptr, 72), nullptr);
  header.SetLength(5);
  header.Clear();
  EXPECT_FALSE(header.SetName("x"));
  char out[80];
  EXPECT_FALSE(header.GetName(out, sizeof out));
  EXPECT_EQ(header.GetLength(), 0u);
  EXPECT_EQ(header.GetCheck(), 0u);
}

TEST(EncodedHeaderTest, ClassFollowsTheFormatVersion) {
  EXPECT_EQ(VPCodecBase::CreateEncodedHeader(0x0103)->Size(), 86u);
  EXPECT_EQ(VPCodecBase::CreateEncodedHeader(0x0102)->Size(), 72u);
  EXPECT_EQ(VPCodecBase::CreateEncodedHeader(0x0101)->Size(), 72u);
  EXPECT_EQ(VPCodecBase::CreateEncodedHeader(0x0104), nullptr);
}

}  // namespace
}  // namespace codec
