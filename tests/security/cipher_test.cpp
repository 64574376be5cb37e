// Known answers and behaviour of the block ciphers, the ECB front and the CBC
// front in stored byte order.

#ifdef VP_TEST_OPENSSL
#include <openssl/evp.h>
#else
#include "security/sha2_digest.h"
#endif

#include <memory>

#include "security/aes_vanilla_cipher.h"
#include "security/cbc_cipher.h"
#include "security/des_tables.h"
#include "security/kat_file.h"
#include "security/triple_des_cipher.h"

namespace security {
namespace {

using kat::Bytes;
using kat::Concat;
using kat::FromHex;
using kat::Sequence;

std::unique_ptr<BlockCipher> Keyed(std::uint32_t id, const Bytes& key) {
  auto cipher = CreateBlockCipher(id);
  EXPECT_TRUE(cipher->SetKeyLength(static_cast<std::uint32_t>(key.size())) && cipher->SetKey(key.data()));
  return cipher;
}

Bytes Ecb(BlockCipher& cipher, bool encrypt, Bytes data) {
  const auto n = static_cast<std::uint32_t>(data.size());
  EXPECT_TRUE(encrypt ? cipher.EncryptEcb(data.data(), data.data(), n) : cipher.DecryptEcb(data.data(), data.data(), n));
  return data;
}

std::unique_ptr<CBCCipher> Cbc(std::uint32_t id, const Bytes& key, const Bytes& iv) {
  auto cbc = std::make_unique<CBCCipher>(id);
  BlockCipher& block = *cbc->GetBlockCipher();
  EXPECT_TRUE(block.SetKeyLength(static_cast<std::uint32_t>(key.size())) && block.SetKey(key.data()));
  EXPECT_TRUE(cbc->SetIv(iv.data(), static_cast<std::uint32_t>(iv.size())));
  return cbc;
}

TEST(CipherDesTables, FirstEntriesAndChecksumsMatchThePublishedTables) {
  const auto lines = kat::ReadFile("des_tables.txt");
  ASSERT_EQ(lines.size(), 8u);
  for (const auto& line : lines) {
    SCOPED_TRACE("des_tables.txt line " + std::to_string(line.number));
    const auto& f = line.fields;
    const detail::DesTableSet& set = f[0] == "key" ? detail::kDesKeyTables : detail::kDesRoundTables;
    if (f[1] != "sha256") {
      for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(set[std::stoul(f[1])][i], std::stoul(f[2 + i], nullptr, 16)) << i;
      continue;
    }
    Bytes bytes(8 * 64 * 4), digest(32);  // each entry little-endian, table 0 first
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(set[i / 256][i / 4 % 64] >> (8 * (i % 4)));
#ifdef VP_TEST_OPENSSL
    ASSERT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest.data(), nullptr, EVP_sha256(), nullptr), 1);
#else
    // No OpenSSL for the Windows build: our SHA-256, which its own known
    // answers check in the same run.
    security::Sha2Digest sha(32);
    sha.Update(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    ASSERT_TRUE(sha.Final(digest.data(), 32));
#endif
    EXPECT_EQ(kat::ToHex(digest), f[2]);
  }
}

// Each line: ECB both ways (three blocks in one call) in changing order, then
// one CBC block under the zero IV: the ciphertext with 4-byte groups reversed.
TEST(CipherKnownAnswers, EcbAndOneCbcBlockMatchTheFile) {
  const auto lines = kat::ReadFile("cipher_kat.txt");
  ASSERT_EQ(lines.size(), 7u);
  for (const auto& line : lines) {
    SCOPED_TRACE("cipher_kat.txt line " + std::to_string(line.number));
    const std::uint32_t id = line.fields[0] == "aes" ? kCipherAes : kCipherTripleDes;
    const bool keyed = line.fields[1] != "unkeyed";
    const Bytes key = keyed ? kat::DecodeField(line.fields[1]) : Bytes();
    const Bytes plain = kat::DecodeField(line.fields[2]), expected = FromHex(line.fields[3]);
    auto cipher = keyed ? Keyed(id, key) : CreateBlockCipher(id);
    const Bytes three = Concat(Concat(plain, plain), plain);
    for (bool reset : {false, true}) {  // decryption first; switching with and without Reset
      EXPECT_EQ(Ecb(*cipher, false, expected), plain) << reset;
      if (reset) cipher->Reset();
      EXPECT_EQ(Ecb(*cipher, true, three), Concat(Concat(expected, expected), expected)) << reset;
      if (reset) cipher->Reset();
    }
    EXPECT_EQ(Ecb(*cipher, false, expected), plain);
    if (!keyed) continue;
    auto cbc = Cbc(id, key, Bytes(plain.size(), 0));
    Bytes block = plain;
    ASSERT_TRUE(cbc->Encrypt(block.data(), block.data(), static_cast<std::uint32_t>(block.size())));
    EXPECT_EQ(block, kat::ReverseGroups(expected));
    ASSERT_TRUE(cbc->SetIv(nullptr, 0));
    ASSERT_TRUE(cbc->Decrypt(block.data(), block.data(), static_cast<std::uint32_t>(block.size())));
    EXPECT_EQ(block, plain);
  }
}

TEST(CipherFactory, UnknownIdsGiveNoCipherAndFrontsThatRefuseEverything) {
  for (std::uint32_t id : {0u, 1u, 3u, 6u, 0xFFFFFFFFu}) EXPECT_FALSE(CreateBlockCipher(id)) << id;
  std::uint8_t buffer[16] = {1, 2, 3};
  const Bytes before(buffer, buffer + 16);
  Cipher ecb(3);
  CBCCipher cbc(6);
  for (Cipher* c : {&ecb, static_cast<Cipher*>(&cbc)}) {
    EXPECT_FALSE(c->IsValid() || c->SetIv(buffer, 16) || c->Encrypt(buffer, buffer, 16) || c->Decrypt(buffer, buffer, 16));
  }
  EXPECT_EQ(Bytes(buffer, buffer + 16), before);
}

TEST(CipherKeyLength, RefusalsKeepTheCurrentLength) {
  TripleDESCipher des;
  AesVanillaCipher aes;
  for (std::uint32_t bad : {0u, 7u, 12u, 25u, 32u}) EXPECT_FALSE(des.SetKeyLength(bad)) << bad;
  // AES lengths outside the range, and inside it without a key schedule.
  for (std::uint32_t bad : {0u, 8u, 15u, 20u, 33u, 40u}) EXPECT_FALSE(aes.SetKeyLength(bad)) << bad;
  EXPECT_EQ(des.KeyLength(), 24u);
  EXPECT_EQ(aes.KeyLength(), 32u);
  for (std::uint32_t good : {16u, 8u, 24u}) EXPECT_TRUE(des.SetKeyLength(good)) << good;
  for (std::uint32_t good : {16u, 24u, 32u}) EXPECT_TRUE(aes.SetKeyLength(good)) << good;
  EXPECT_FALSE(des.SetKey(nullptr) || aes.SetKey(nullptr));
}

TEST(CipherTripleDes, ShortKeysAndInverseOverRandomKeys) {
  std::mt19937 rng(16);
  const Bytes data = kat::Random(rng, 64), key16 = kat::Random(rng, 16);
  // 16 bytes: the same as those 16 followed by their first 8.
  const Bytes key24 = Concat(key16, kat::Slice(key16, 0, 8));
  EXPECT_EQ(Ecb(*Keyed(kCipherTripleDes, key16), true, data), Ecb(*Keyed(kCipherTripleDes, key24), true, data));
  // 8 bytes: one pass, which the same key three times does not reproduce.
  const Bytes key8 = kat::Slice(key16, 0, 8);
  auto des = Keyed(kCipherTripleDes, Concat(Concat(key8, key8), key8));
  const Bytes once = Ecb(*Keyed(kCipherTripleDes, key8), true, data);
  EXPECT_NE(once, Ecb(*des, true, data));
  ASSERT_TRUE(des->SetKeyLength(8));  // rekeying shorter leaves nothing of the old key
  ASSERT_TRUE(des->SetKey(key8.data()));
  EXPECT_EQ(Ecb(*des, true, data), once);

  for (std::size_t keyLength : {8u, 16u, 24u}) {  // decryption inverts encryption, and the reverse
    auto cipher = Keyed(kCipherTripleDes, kat::Random(rng, keyLength));
    EXPECT_EQ(Ecb(*cipher, false, Ecb(*cipher, true, data)), data) << keyLength;
    EXPECT_EQ(Ecb(*cipher, true, Ecb(*cipher, false, data)), data) << keyLength;
  }
}

TEST(CipherPartialBlocks, RefusedBeforeTouchingAnything) {
  for (std::uint32_t id : {kCipherTripleDes, kCipherAes}) {
    const std::uint32_t bs = id == kCipherAes ? 16 : 8;
    const Bytes key = Sequence(id == kCipherAes ? 32 : 24), iv = Sequence(bs, 0xA0), plain = Sequence(3 * bs, 7);
    Bytes stored(plain.size());
    ASSERT_TRUE(Cbc(id, key, iv)->Encrypt(plain.data(), stored.data(), 3 * bs));
    auto cbc = Cbc(id, key, iv);
    BlockCipher& block = *cbc->GetBlockCipher();
    Bytes out(3 * bs, 0xEE);
    for (std::uint32_t length : {1u, bs - 1, bs + 1, 2 * bs + 3}) {
      EXPECT_FALSE(cbc->Decrypt(stored.data(), out.data(), length));
      EXPECT_FALSE(cbc->Encrypt(plain.data(), out.data(), length));
      EXPECT_FALSE(block.EncryptEcb(plain.data(), out.data(), length));
      EXPECT_FALSE(block.DecryptEcb(stored.data(), out.data(), length));
      EXPECT_EQ(out, Bytes(3 * bs, 0xEE)) << id << " " << length;
    }
    EXPECT_FALSE(cbc->Decrypt(nullptr, out.data(), bs));
    EXPECT_FALSE(block.DecryptEcb(stored.data(), nullptr, bs));
    EXPECT_TRUE(cbc->Decrypt(nullptr, nullptr, 0));  // zero blocks: nothing to do
    // The chaining value did not move: the whole message still decrypts.
    ASSERT_TRUE(cbc->Decrypt(stored.data(), out.data(), 3 * bs));
    EXPECT_EQ(out, plain) << id;
  }
}

// Stored CBC is textbook CBC over the ECB cipher with 4-byte groups reversed;
// 48 bytes decrypt alike in one call or in three in place.
TEST(CipherCbc, TextbookChainingInOneCallOrThree) {
  std::mt19937 rng(8);
  for (std::uint32_t id : {kCipherTripleDes, kCipherAes}) {
    const std::size_t bs = id == kCipherAes ? 16 : 8;
    const Bytes key = kat::Random(rng, 24), iv = kat::Random(rng, bs), plain = kat::Random(rng, 48);
    auto ecb = Keyed(id, key);
    Bytes expected, chain = iv;
    for (std::size_t off = 0; off < 48; off += bs) {
      for (std::size_t i = 0; i < bs; ++i) chain[i] ^= plain[off + i];
      expected = Concat(expected, chain = Ecb(*ecb, true, chain));
    }
    Bytes stored(48), whole(48);
    ASSERT_TRUE(Cbc(id, key, iv)->Encrypt(plain.data(), stored.data(), 48));
    EXPECT_EQ(stored, kat::ReverseGroups(expected)) << id;
    ASSERT_TRUE(Cbc(id, key, iv)->Decrypt(stored.data(), whole.data(), 48));
    EXPECT_EQ(whole, plain) << id;
    auto cbc = Cbc(id, key, iv);
    for (std::uint32_t off = 0; off < 48; off += 16) ASSERT_TRUE(cbc->Decrypt(stored.data() + off, stored.data() + off, 16));
    EXPECT_EQ(stored, plain) << id;
  }
}

// SetIv reads the first block of a longer IV, takes null as zeros and refuses
// a shorter one, keeping the chaining value as it was.
TEST(CipherCbc, SetIvUsesTheFirstBlockAndRefusesShortIvs) {
  const Bytes plain = Sequence(32, 0x55), longIv = Sequence(40, 9);
  auto encrypt = [&](const std::uint8_t* iv, std::uint32_t length, bool accepted) {
    auto cbc = Cbc(kCipherAes, Sequence(16), longIv);
    EXPECT_EQ(cbc->SetIv(iv, length), accepted);
    Bytes out(32);
    EXPECT_TRUE(cbc->Encrypt(plain.data(), out.data(), 32));
    return out;
  };
  EXPECT_EQ(encrypt(nullptr, 16, true), encrypt(Bytes(16, 0).data(), 16, true));
  EXPECT_EQ(encrypt(longIv.data() + 1, 40, true), encrypt(longIv.data() + 1, 16, true));
  EXPECT_EQ(encrypt(longIv.data(), 15, false), encrypt(longIv.data(), 16, true));
  EXPECT_NE(encrypt(longIv.data() + 1, 15, false), encrypt(longIv.data() + 1, 16, true));
}

}  // namespace
}  // namespace security
