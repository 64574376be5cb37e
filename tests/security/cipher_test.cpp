// Known answers and behaviour of the block ciphers, the ECB front and the CBC
// front in stored byte order.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "security/aes_vanilla_cipher.h"
#include "security/cbc_cipher.h"
#include "security/des_tables.h"
#include "security/triple_des_cipher.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

Bytes Sequence(std::size_t n, std::uint8_t first = 0) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(first + i);
  return out;
}

Bytes Random(std::mt19937& rng, std::size_t n) {
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

// Each 4-byte group reversed: the stored order of CBC ciphertext.
Bytes ReverseGroups(Bytes data) {
  for (std::size_t i = 0; i + 4 <= data.size(); i += 4) std::reverse(data.begin() + i, data.begin() + i + 4);
  return data;
}

std::unique_ptr<BlockCipher> Keyed(std::uint32_t id, const Bytes& key) {
  auto cipher = CreateBlockCipher(id);
  EXPECT_TRUE(cipher->SetKeyLength(static_cast<std::uint32_t>(key.size())));
  EXPECT_TRUE(cipher->SetKey(key.data()));
  return cipher;
}

Bytes Ecb(BlockCipher& cipher, bool encrypt, Bytes data) {
  const auto n = static_cast<std::uint32_t>(data.size());
  EXPECT_TRUE(encrypt ? cipher.EncryptEcb(data.data(), data.data(), n) : cipher.DecryptEcb(data.data(), data.data(), n));
  return data;
}

// A CBC front keyed with `key` and chaining value `iv`.
std::unique_ptr<CBCCipher> Cbc(std::uint32_t id, const Bytes& key, const Bytes& iv) {
  auto cbc = std::make_unique<CBCCipher>(id);
  EXPECT_TRUE(cbc->GetBlockCipher()->SetKeyLength(static_cast<std::uint32_t>(key.size())));
  EXPECT_TRUE(cbc->GetBlockCipher()->SetKey(key.data()));
  EXPECT_TRUE(cbc->SetIv(iv.data(), static_cast<std::uint32_t>(iv.size())));
  return cbc;
}

TEST(CipherDesTables, FirstEntriesAndChecksumsMatchThePublishedTables) {
  struct Family {
    const detail::DesTableSet& tables;
    std::vector<std::pair<int, std::vector<std::uint32_t>>> firstEntries;
    const char* sha256;
  };
  const Family families[] = {
      {detail::kDesKeyTables,
       {{0, {0x0, 0x10, 0x20000000, 0x20000010}}, {1, {0x0, 0x02000000, 0x2000, 0x02002000}},
        {7, {0x0, 0x04000000, 0x40000, 0x04040000}}},
       "c0384c1925a89ad100fe49ebb276bdd7545f6ff8ccd53a64025c25c1d57430c0"},
      {detail::kDesRoundTables,
       {{0, {0x01010400, 0x0, 0x10000, 0x01010404}}, {1, {0x80108020, 0x80008000, 0x8000, 0x108020}},
        {7, {0x10001040, 0x1000, 0x40000, 0x10041040}}},
       "6a9ab4b44b6ad7f11352fd349b711238c30983c4e0c886c9b8e53d480b2c30ca"}};
  for (const auto& family : families) {
    for (const auto& [table, entries] : family.firstEntries) {
      EXPECT_EQ(std::vector<std::uint32_t>(family.tables[table].begin(), family.tables[table].begin() + 4), entries);
    }
    Bytes bytes;  // each entry little-endian, first table first
    for (const auto& table : family.tables) {
      for (std::uint32_t v : table) {
        for (unsigned b = 0; b < 4; ++b) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
      }
    }
    unsigned char digest[32];
    ASSERT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, nullptr, EVP_sha256(), nullptr), 1);
    EXPECT_EQ(Bytes(digest, digest + 32), Hex(family.sha256));
  }
}

TEST(CipherFactory, BuildsTheTwoCiphersAndRefusesEveryOtherId) {
  std::uint32_t size = 0;
  auto des = CreateBlockCipher(kCipherTripleDes);
  ASSERT_NE(dynamic_cast<TripleDESCipher*>(des.get()), nullptr);
  EXPECT_EQ(des->GetBlockSize(&size), &size);
  EXPECT_EQ(std::vector<std::uint32_t>({size, des->KeyLength(), des->Identifier(), des->Reserved()}),
            std::vector<std::uint32_t>({8, 24, 4, 0}));
  auto aes = CreateBlockCipher(kCipherAes);
  ASSERT_NE(dynamic_cast<AesVanillaCipher*>(aes.get()), nullptr);
  EXPECT_EQ(std::vector<std::uint32_t>({*aes->GetBlockSize(&size), aes->KeyLength(), aes->Identifier(), aes->Reserved()}),
            std::vector<std::uint32_t>({16, 32, 5, 0}));
  EXPECT_EQ(AesVanillaCipher().Identifier(), 0u);
  for (std::uint32_t id : {0u, 1u, 3u, 6u, 0xFFFFFFFFu}) EXPECT_FALSE(CreateBlockCipher(id)) << id;

  // Fronts over an unknown id are invalid and refuse everything.
  std::uint8_t buffer[16] = {1, 2, 3};
  const Bytes before(buffer, buffer + 16);
  Cipher ecb(3);
  CBCCipher cbc(6);
  for (Cipher* c : {&ecb, static_cast<Cipher*>(&cbc)}) {
    EXPECT_FALSE(c->IsValid());
    EXPECT_EQ(c->GetBlockCipher(), nullptr);
    EXPECT_FALSE(c->SetIv(buffer, 16));
    EXPECT_FALSE(c->Encrypt(buffer, buffer, 16));
    EXPECT_FALSE(c->Decrypt(buffer, buffer, 16));
  }
  EXPECT_EQ(Bytes(buffer, buffer + 16), before);
}

TEST(CipherKeyLength, RefusalsKeepTheCurrentLength) {
  TripleDESCipher des;
  AesVanillaCipher aes;
  for (std::uint32_t bad : {0u, 7u, 9u, 12u, 23u, 25u, 32u}) EXPECT_FALSE(des.SetKeyLength(bad)) << bad;
  // AES lengths outside the range, and inside it without a key schedule.
  for (std::uint32_t bad : {0u, 8u, 15u, 17u, 20u, 31u, 33u, 40u}) EXPECT_FALSE(aes.SetKeyLength(bad)) << bad;
  EXPECT_EQ(des.KeyLength(), 24u);
  EXPECT_EQ(aes.KeyLength(), 32u);
  for (std::uint32_t good : {16u, 8u, 24u}) EXPECT_TRUE(des.SetKeyLength(good)) << good;
  for (std::uint32_t good : {16u, 24u, 32u}) EXPECT_TRUE(aes.SetKeyLength(good)) << good;
  EXPECT_FALSE(des.SetKey(nullptr));
  EXPECT_FALSE(aes.SetKey(nullptr));
}

// FIPS 197 Appendix C: key 00 01 02 ..., plaintext 00 11 22 ... FF.
const Bytes kFipsPlain = Hex("00112233445566778899aabbccddeeff");
const std::pair<std::size_t, const char*> kFips197[] = {
    {16, "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {24, "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {32, "8ea2b7ca516745bfeafc49904b496089"}};

TEST(CipherAes, Fips197AppendixCThroughEcb) {
  auto aes = CreateBlockCipher(kCipherAes);
  // Never keyed: the all-zero key of the default length (AES-256).
  EXPECT_EQ(Ecb(*aes, true, Bytes(16, 0)), Hex("dc95c078a2408989ad48a21492842087"));
  for (const auto& [keyLength, ciphertext] : kFips197) {
    // Rekeying the same object replaces the round keys computed before.
    ASSERT_TRUE(aes->SetKeyLength(static_cast<std::uint32_t>(keyLength)));
    ASSERT_TRUE(aes->SetKey(Sequence(keyLength).data()));
    Bytes three;
    for (int i = 0; i < 3; ++i) three.insert(three.end(), kFipsPlain.begin(), kFipsPlain.end());
    const Bytes encrypted = Ecb(*aes, true, three);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Bytes(encrypted.begin() + 16 * i, encrypted.begin() + 16 * i + 16), Hex(ciphertext));
    aes->Reset();
    EXPECT_EQ(Ecb(*aes, false, Hex(ciphertext)), kFipsPlain);
  }
}

TEST(CipherAes, EachDirectionGetsItsOwnRoundKeysWithOrWithoutReset) {
  std::uint32_t plain[4], expected[4], out[4];
  const Bytes ciphertext = Hex(kFips197[0].second);
  for (int i = 0; i < 4; ++i) {
    plain[i] = detail::LoadBigEndian32(kFipsPlain.data() + 4 * i);
    expected[i] = detail::LoadBigEndian32(ciphertext.data() + 4 * i);
  }
  auto aes = Keyed(kCipherAes, Sequence(16));
  for (bool reset : {false, true}) {
    // Decryption first, then encryption, then decryption again (in place).
    aes->DecryptBlock(expected, out);
    EXPECT_TRUE(std::equal(out, out + 4, plain)) << reset;
    if (reset) aes->Reset();
    aes->EncryptBlock(plain, out);
    EXPECT_TRUE(std::equal(out, out + 4, expected)) << reset;
    if (reset) aes->Reset();
    aes->DecryptBlock(out, out);
    EXPECT_TRUE(std::equal(out, out + 4, plain)) << reset;
  }
}

TEST(CipherTripleDes, KnownAnswers) {
  EXPECT_EQ(Ecb(*Keyed(kCipherTripleDes, Bytes(24, 0)), true, Bytes(8, 0)), Hex("5702a302fc2e4550"));
  EXPECT_EQ(Ecb(*Keyed(kCipherTripleDes, Sequence(24)), true, Sequence(8)), Hex("6eefebb9fb5694f5"));
  EXPECT_EQ(Ecb(*Keyed(kCipherTripleDes, Sequence(24)), false, Hex("6eefebb9fb5694f5")), Sequence(8));
  TripleDESCipher unkeyed;  // subkeys of the all-zero key
  EXPECT_EQ(Ecb(unkeyed, true, Bytes(8, 0)), Hex("5702a302fc2e4550"));
}

TEST(CipherTripleDes, ShortKeysAndInverseOverRandomKeys) {
  std::mt19937 rng(16);
  const Bytes data = Random(rng, 64);
  // 16 bytes: the same as those 16 followed by their first 8.
  const Bytes key16 = Random(rng, 16);
  Bytes key24 = key16;
  key24.insert(key24.end(), key16.begin(), key16.begin() + 8);
  EXPECT_EQ(Ecb(*Keyed(kCipherTripleDes, key16), true, data), Ecb(*Keyed(kCipherTripleDes, key24), true, data));
  EXPECT_EQ(Ecb(*Keyed(kCipherTripleDes, key16), false, data), Ecb(*Keyed(kCipherTripleDes, key24), false, data));

  // 8 bytes: one pass, which the same key three times does not reproduce.
  const Bytes key8(key16.begin(), key16.begin() + 8);
  Bytes tripled;
  for (int i = 0; i < 3; ++i) tripled.insert(tripled.end(), key8.begin(), key8.end());
  auto des = Keyed(kCipherTripleDes, tripled);
  const Bytes once = Ecb(*Keyed(kCipherTripleDes, key8), true, data);
  EXPECT_NE(once, Ecb(*des, true, data));
  ASSERT_TRUE(des->SetKeyLength(8));  // rekeying shorter leaves nothing of the old key
  ASSERT_TRUE(des->SetKey(key8.data()));
  EXPECT_EQ(Ecb(*des, true, data), once);

  for (std::size_t keyLength : {8u, 16u, 24u}) {
    for (int round = 0; round < 50; ++round) {
      auto cipher = Keyed(kCipherTripleDes, Random(rng, keyLength));
      const std::uint32_t in[2] = {static_cast<std::uint32_t>(rng()), static_cast<std::uint32_t>(rng())};
      std::uint32_t out[2];
      cipher->EncryptBlock(in, out);
      cipher->DecryptBlock(out, out);
      EXPECT_TRUE(std::equal(out, out + 2, in)) << keyLength;
      cipher->DecryptBlock(in, out);
      cipher->EncryptBlock(out, out);
      EXPECT_TRUE(std::equal(out, out + 2, in)) << keyLength;
    }
  }
}

TEST(CipherPartialBlocks, RefusedBeforeTouchingAnything) {
  for (std::uint32_t id : {kCipherTripleDes, kCipherAes}) {
    const std::uint32_t bs = id == kCipherAes ? 16 : 8;
    const Bytes key = Sequence(id == kCipherAes ? 32 : 24);
    const Bytes iv = Sequence(bs, 0xA0);
    const Bytes plain = Sequence(3 * bs, 7);
    Bytes stored(plain.size());
    ASSERT_TRUE(Cbc(id, key, iv)->Encrypt(plain.data(), stored.data(), 3 * bs));

    auto cbc = Cbc(id, key, iv);
    BlockCipher& block = *cbc->GetBlockCipher();
    Bytes out(3 * bs, 0xEE);
    const Bytes untouched = out;
    for (std::uint32_t length : {1u, bs - 1, bs + 1, 2 * bs + 3}) {
      EXPECT_FALSE(cbc->Decrypt(stored.data(), out.data(), length));
      EXPECT_FALSE(cbc->Encrypt(plain.data(), out.data(), length));
      EXPECT_FALSE(block.EncryptEcb(plain.data(), out.data(), length));
      EXPECT_FALSE(block.DecryptEcb(stored.data(), out.data(), length));
      EXPECT_EQ(out, untouched) << id << " " << length;
    }
    EXPECT_FALSE(cbc->Decrypt(nullptr, out.data(), bs));
    EXPECT_FALSE(block.DecryptEcb(stored.data(), nullptr, bs));
    EXPECT_TRUE(cbc->Decrypt(nullptr, nullptr, 0));  // zero blocks: nothing to do
    // The chaining value did not move: the whole message still decrypts.
    ASSERT_TRUE(cbc->Decrypt(stored.data(), out.data(), 3 * bs));
    EXPECT_EQ(out, plain) << id;
  }
}

TEST(CipherCbc, OneAesBlockStoresAppendixCWithGroupsReversed) {
  for (const auto& [keyLength, ciphertext] : kFips197) {
    auto cbc = Cbc(kCipherAes, Sequence(keyLength), Bytes(16, 0));
    Bytes block = kFipsPlain;
    ASSERT_TRUE(cbc->Encrypt(block.data(), block.data(), 16));
    EXPECT_EQ(block, ReverseGroups(Hex(ciphertext)));
    ASSERT_TRUE(cbc->SetIv(nullptr, 0));
    ASSERT_TRUE(cbc->Decrypt(block.data(), block.data(), 16));
    EXPECT_EQ(block, kFipsPlain);
  }
}

TEST(CipherCbc, TripleDesStoredBlocksAreTextbookCbcReversed) {
  std::mt19937 rng(8);
  const Bytes key = Random(rng, 24), iv = Random(rng, 8), plain = Random(rng, 64);
  auto ecb = Keyed(kCipherTripleDes, key);
  Bytes expected, chain = iv;
  for (std::size_t off = 0; off < plain.size(); off += 8) {
    for (int i = 0; i < 8; ++i) chain[i] ^= plain[off + i];
    chain = Ecb(*ecb, true, chain);
    expected.insert(expected.end(), chain.begin(), chain.end());
  }
  Bytes stored(plain.size());
  ASSERT_TRUE(Cbc(kCipherTripleDes, key, iv)->Encrypt(plain.data(), stored.data(), 64));
  EXPECT_EQ(stored, ReverseGroups(expected));
}

TEST(CipherCbc, FortyEightBytesInOneCallOrThree) {
  for (std::uint32_t id : {kCipherTripleDes, kCipherAes}) {
    std::mt19937 rng(id);
    const Bytes key = Random(rng, id == kCipherAes ? 32 : 24), iv = Random(rng, id == kCipherAes ? 16 : 8);
    const Bytes plain = Random(rng, 48);
    Bytes stored(48);
    ASSERT_TRUE(Cbc(id, key, iv)->Encrypt(plain.data(), stored.data(), 48));
    Bytes whole(48);
    ASSERT_TRUE(Cbc(id, key, iv)->Decrypt(stored.data(), whole.data(), 48));
    EXPECT_EQ(whole, plain) << id;
    auto cbc = Cbc(id, key, iv);
    Bytes pieces = stored;  // in place, three calls of 16 bytes
    for (std::uint32_t off = 0; off < 48; off += 16) ASSERT_TRUE(cbc->Decrypt(pieces.data() + off, pieces.data() + off, 16));
    EXPECT_EQ(pieces, plain) << id;
  }
}

TEST(CipherCbc, SetIvUsesTheFirstBlockAndRefusesShortIvs) {
  const Bytes key = Sequence(16), plain = Sequence(32, 0x55);
  auto encrypt = [&](const std::uint8_t* iv, std::uint32_t length, bool accepted) {
    CBCCipher cbc(kCipherAes);
    cbc.GetBlockCipher()->SetKeyLength(16);
    cbc.GetBlockCipher()->SetKey(key.data());
    EXPECT_EQ(cbc.SetIv(iv, length), accepted);
    Bytes out(32);
    EXPECT_TRUE(cbc.Encrypt(plain.data(), out.data(), 32));
    return out;
  };
  const Bytes zeros(16, 0), longIv = Sequence(40, 9);
  const Bytes withZeros = encrypt(zeros.data(), 16, true);
  EXPECT_EQ(encrypt(nullptr, 16, true), withZeros);
  EXPECT_EQ(encrypt(longIv.data(), 0, true), withZeros);
  EXPECT_EQ(encrypt(longIv.data(), 40, true), encrypt(longIv.data(), 16, true));
  EXPECT_NE(encrypt(longIv.data(), 16, true), withZeros);
  // Shorter than a block: refused, the chaining value stays as it was.
  EXPECT_EQ(encrypt(longIv.data(), 15, false), withZeros);

  // The ECB front reads no IV; it resets the block cipher and forwards.
  Cipher ecb(kCipherAes);
  ecb.GetBlockCipher()->SetKeyLength(16);
  ecb.GetBlockCipher()->SetKey(key.data());
  Bytes block = kFipsPlain;
  ASSERT_TRUE(ecb.SetIv(longIv.data(), 3));
  ASSERT_TRUE(ecb.Encrypt(block.data(), block.data(), 16));
  EXPECT_EQ(block, Hex(kFips197[0].second));
  ASSERT_TRUE(ecb.Decrypt(block.data(), block.data(), 16));
  EXPECT_EQ(block, kFipsPlain);
}

}  // namespace
}  // namespace security
