// The fixed header and the per-part headers, checked against byte layouts
// written out by hand (tests/data/codec/known_bytes.txt).

#include <memory>

#include "codec/document_header.h"
#include "codec/vp_codec_base.h"
#include "security/block_cipher.h"
#include "security/digest_imp.h"
#include "decode_testing.h"

namespace codec {
namespace {

using namespace decodetest;  // the shared codec test helpers
using EncodedHeader = VPCodecBase::EncodedHeader;
using EncodedHeader102 = VPCodecBase::EncodedHeader102;
using EncodedHeader103 = VPCodecBase::EncodedHeader103;

TEST(DocumentHeaderTest, ParsesStoredBytesAndStoresThemBack) {
  const Bytes stored = KnownBytes("fixed_header");
  ASSERT_EQ(stored.size(), 30u);
  DocumentHeader header;
  header.Parse(stored.data());
  EXPECT_TRUE(header.HasMagic() && header.IsKnownVersion());
  EXPECT_EQ(header.formatVersion, DocumentHeader::Version259);
  EXPECT_EQ(header.cipherId, security::kCipherAes);
  EXPECT_EQ(header.trailerDigestId, security::kDigestSha256);
  EXPECT_EQ(header.KeyBytes(), 32u);
  EXPECT_EQ(header.partCount, 2);
  EXPECT_EQ(header.flags, 0xD8000001u);
  EXPECT_TRUE(header.HasFlag(DocumentHeader::FlagNoCredentials) && header.HasFlag(DocumentHeader::FlagTagTrailer) &&
              header.HasFlag(DocumentHeader::FlagPasswordOnly) && header.HasFlag(DocumentHeader::FlagContinuousStream));
  EXPECT_FALSE(header.HasFlag(DocumentHeader::FlagNoWaitNotice));
  EXPECT_EQ(std::vector<int>({header.kdfId, header.iterationThousands, header.bodyDigestId, header.reserved[7]}),
            std::vector<int>({4, 10, 7, 8}));
  Bytes back(30);
  header.Store(back.data());
  EXPECT_EQ(back, stored);

  Bytes bad = stored;
  bad[0] = 'E';
  bad[5] = 0x04;
  header.Parse(bad.data());
  EXPECT_FALSE(header.HasMagic());
  EXPECT_FALSE(header.IsKnownVersion());
  header.formatVersion = DocumentHeader::Version258;
  EXPECT_TRUE(header.IsKnownVersion());
  header.keyBits = 199;
  EXPECT_EQ(header.KeyBytes(), 24u);  // remainder dropped
}

// Both part-header layouts, every field set through the setters and compared
// byte for byte; the block's bytes in front of the header stay untouched.
TEST(EncodedHeaderTest, LayoutsByteForByte) {
  struct Case {
    std::unique_ptr<EncodedHeader> header;
    std::size_t blockSize, headerAt, auxiliary2At;
    const char* known;
    std::uint32_t auxiliary2;
  };
  Case cases[] = {{std::make_unique<EncodedHeader102>(), 96, 24, 56, "v258_part_header", 0xA10000A4u},
                  {std::make_unique<EncodedHeader103>(), 86, 0, 14, "v259_part_header", 0xB10000B4u}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.known);
    Bytes block(c.blockSize, 0xEE);
    EncodedHeader& header = *c.header;
    ASSERT_EQ(header.Attach(block.data(), static_cast<std::uint32_t>(block.size())), block.data() + c.headerAt);
    header.Clear();
    header.SetCompression(1);
    ASSERT_TRUE(header.SetName("report.pdf"));
    header.SetCheck(~std::uint32_t{0x60});
    header.SetAuxiliary1(0x11223344);
    header.SetLength(0x00012345);
    header.SetExpiry(0x5F000000);
    block[c.headerAt + c.auxiliary2At] = static_cast<std::uint8_t>(c.auxiliary2 >> 24);
    block[c.headerAt + c.auxiliary2At + 3] = static_cast<std::uint8_t>(c.auxiliary2);
    EXPECT_EQ(Bytes(block.begin() + static_cast<std::ptrdiff_t>(c.headerAt), block.end()), KnownBytes(c.known));
    EXPECT_TRUE(std::all_of(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(c.headerAt),
                            [](std::uint8_t b) { return b == 0xEE; }));
    EXPECT_EQ(header.GetAuxiliary2(), c.auxiliary2);  // read only: the other getters serve every decoding
  }
  // Version 258 stores the method in six bytes, 259 in two.
  std::uint8_t block[86];
  std::memset(block, 0x55, sizeof block);
  cases[0].header->Attach(block, 72);
  cases[0].header->SetCompression(0x0102);
  EXPECT_EQ(Bytes(block, block + 7), (Bytes{0x01, 0x02, 0, 0, 0, 0, 0x55}));
  std::memset(block, 0x55, sizeof block);
  cases[1].header->Attach(block, 86);
  cases[1].header->SetCompression(0);
  EXPECT_EQ(Bytes(block, block + 3), (Bytes{0, 0, 0x55}));
}

template <typename Header>
void CheckNames() {
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
  EXPECT_FALSE(header.SetName(std::string(Header::NameLength + 1, 'n').c_str()));
  EXPECT_FALSE(header.SetName(nullptr));
  EXPECT_FALSE(header.GetName(out, Header::NameLength));  // no room for the terminator
  ASSERT_TRUE(header.GetName(out, sizeof out));
  EXPECT_EQ(std::string(out), full);  // refused names leave the field alone
  ASSERT_TRUE(header.SetName(""));
  ASSERT_TRUE(header.GetName(out, sizeof out));
  EXPECT_STREQ(out, "");
}

// (Expiry "never", stored as 0xFFFFFFFF, is read and written by the decoding
// and layout tests of both versions.)
TEST(EncodedHeaderTest, FullLengthNamesReadBackExactly) {
  CheckNames<EncodedHeader102>();  // 34-byte name
  CheckNames<EncodedHeader103>();  // 64-byte name
}

TEST(EncodedHeaderTest, ShortBlocksDetachedHeadersAndVersions) {
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
  EXPECT_EQ(VPCodecBase::CreateEncodedHeader(0x0103)->Size(), 86u);
  EXPECT_EQ(VPCodecBase::CreateEncodedHeader(0x0101)->Size(), 72u);
  EXPECT_EQ(VPCodecBase::CreateEncodedHeader(0x0104), nullptr);
}

}  // namespace
}  // namespace codec
