// Known answers and behaviour of the block ciphers, the ECB front and the CBC
// front in stored byte order.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "security/aes_vanilla_cipher.h"
#include "security/block_cipher.h"
#include "security/cbc_cipher.h"
#include "security/cipher.h"
#include "security/des_tables.h"
#include "security/triple_des_cipher.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

Bytes Sequence(std::size_t n, std::uint8_t first = 0) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(first + i);
  return out;
}

// Each 4-byte group reversed: the stored order of CBC ciphertext.
Bytes ReverseGroups(Bytes data) {
  for (std::size_t i = 0; i + 4 <= data.size(); i += 4) std::reverse(data.begin() + i, data.begin() + i + 4);
  return data;
}

Bytes Random(std::mt19937& rng, std::size_t n) {
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

std::unique_ptr<BlockCipher> MakeCipher(std::uint32_t id, const Bytes& key) {
  auto cipher = CreateBlockCipher(id);
  EXPECT_TRUE(cipher);
  EXPECT_TRUE(cipher->SetKeyLength(static_cast<std::uint32_t>(key.size())));
  EXPECT_TRUE(cipher->SetKey(key.data()));
  return cipher;
}

Bytes EncryptEcb(BlockCipher& cipher, const Bytes& in) {
  Bytes out(in.size());
  EXPECT_TRUE(cipher.EncryptEcb(in.data(), out.data(), static_cast<std::uint32_t>(in.size())));
  return out;
}

Bytes DecryptEcb(BlockCipher& cipher, const Bytes& in) {
  Bytes out(in.size());
  EXPECT_TRUE(cipher.DecryptEcb(in.data(), out.data(), static_cast<std::uint32_t>(in.size())));
  return out;
}

std::string Sha256Hex(const void* data, std::size_t length) {
  unsigned char digest[32];
  unsigned int size = 0;
  EXPECT_EQ(EVP_Digest(data, length, digest, &size, EVP_sha256(), nullptr), 1);
  static const char* kHex = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < size; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

std::string TableSetSha256(const detail::DesTableSet& tables) {
  Bytes bytes;
  for (const auto& table : tables) {
    for (std::uint32_t v : table) {
      for (unsigned b = 0; b < 4; ++b) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
    }
  }
  return Sha256Hex(bytes.data(), bytes.size());
}

// ---- Generated triple-DES tables ------------------------------------------

TEST(CipherDesTables, KeyScheduleTablesMatchPublishedFirstEntriesAndChecksum) {
  const auto& s = detail::kDesKeyTables;
  EXPECT_EQ((std::array<std::uint32_t, 4>{s[0][0], s[0][1], s[0][2], s[0][3]}),
            (std::array<std::uint32_t, 4>{0x00000000, 0x00000010, 0x20000000, 0x20000010}));
  EXPECT_EQ((std::array<std::uint32_t, 4>{s[1][0], s[1][1], s[1][2], s[1][3]}),
            (std::array<std::uint32_t, 4>{0x00000000, 0x02000000, 0x00002000, 0x02002000}));
  EXPECT_EQ((std::array<std::uint32_t, 4>{s[7][0], s[7][1], s[7][2], s[7][3]}),
            (std::array<std::uint32_t, 4>{0x00000000, 0x04000000, 0x00040000, 0x04040000}));
  EXPECT_EQ(TableSetSha256(s), "c0384c1925a89ad100fe49ebb276bdd7545f6ff8ccd53a64025c25c1d57430c0");
}

TEST(CipherDesTables, RoundTablesMatchPublishedFirstEntriesAndChecksum) {
  const auto& p = detail::kDesRoundTables;
  EXPECT_EQ((std::array<std::uint32_t, 4>{p[0][0], p[0][1], p[0][2], p[0][3]}),
            (std::array<std::uint32_t, 4>{0x01010400, 0x00000000, 0x00010000, 0x01010404}));
  EXPECT_EQ((std::array<std::uint32_t, 4>{p[1][0], p[1][1], p[1][2], p[1][3]}),
            (std::array<std::uint32_t, 4>{0x80108020, 0x80008000, 0x00008000, 0x00108020}));
  EXPECT_EQ((std::array<std::uint32_t, 4>{p[7][0], p[7][1], p[7][2], p[7][3]}),
            (std::array<std::uint32_t, 4>{0x10001040, 0x00001000, 0x00040000, 0x10041040}));
  EXPECT_EQ(TableSetSha256(p), "6a9ab4b44b6ad7f11352fd349b711238c30983c4e0c886c9b8e53d480b2c30ca");
}

// ---- Factory, key lengths, invalid objects --------------------------------

TEST(CipherFactory, BuildsTheTwoCiphersAndNothingElse) {
  std::uint32_t size = 0;
  auto des = CreateBlockCipher(kCipherTripleDes);
  ASSERT_TRUE(des);
  EXPECT_NE(dynamic_cast<TripleDESCipher*>(des.get()), nullptr);
  EXPECT_EQ(des->Identifier(), 4u);
  EXPECT_EQ(des->GetBlockSize(&size), &size);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(des->KeyLength(), 24u);
  EXPECT_EQ(des->Reserved(), 0u);

  auto aes = CreateBlockCipher(kCipherAes);
  ASSERT_TRUE(aes);
  EXPECT_NE(dynamic_cast<AesVanillaCipher*>(aes.get()), nullptr);
  EXPECT_EQ(aes->Identifier(), 5u);
  EXPECT_EQ(*aes->GetBlockSize(&size), 16u);
  EXPECT_EQ(aes->KeyLength(), 32u);
  EXPECT_EQ(aes->MinimumKeyLength(), 16u);
  EXPECT_EQ(aes->MaximumKeyLength(), 32u);
  EXPECT_EQ(aes->Reserved(), 0u);
  EXPECT_EQ(aes->GetBlockSize(nullptr), nullptr);

  EXPECT_EQ(AesVanillaCipher().Identifier(), 0u);
  for (std::uint32_t id : {0u, 1u, 2u, 3u, 6u, 7u, 0xFFFFFFFFu}) EXPECT_FALSE(CreateBlockCipher(id)) << id;
}

TEST(CipherFactory, UnknownIdentifierGivesAnInvalidFrontThatRefusesEverything) {
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
  EXPECT_TRUE(CBCCipher(5).IsValid());
  EXPECT_TRUE(Cipher(4).IsValid());
}

TEST(CipherKeyLength, TripleDesAcceptsOnly8_16_24) {
  TripleDESCipher des;
  for (std::uint32_t bad : {0u, 7u, 9u, 12u, 23u, 25u, 32u}) {
    EXPECT_FALSE(des.SetKeyLength(bad)) << bad;
    EXPECT_EQ(des.KeyLength(), 24u);
  }
  EXPECT_TRUE(des.SetKeyLength(16));
  EXPECT_EQ(des.KeyLength(), 16u);
  EXPECT_TRUE(des.SetKeyLength(8));
  EXPECT_TRUE(des.SetKeyLength(24));
}

TEST(CipherKeyLength, AesAcceptsOnlyLengthsWithAKeySchedule) {
  AesVanillaCipher aes;
  // Outside the range, and inside it without a key schedule.
  for (std::uint32_t bad : {0u, 8u, 15u, 17u, 20u, 23u, 25u, 31u, 33u, 40u}) {
    EXPECT_FALSE(aes.SetKeyLength(bad)) << bad;
    EXPECT_EQ(aes.KeyLength(), 32u);
  }
  for (std::uint32_t good : {16u, 24u, 32u}) {
    EXPECT_TRUE(aes.SetKeyLength(good));
    EXPECT_EQ(aes.KeyLength(), good);
  }
}

TEST(CipherKeyLength, NullKeyIsRefused) {
  TripleDESCipher des;
  AesVanillaCipher aes;
  EXPECT_FALSE(des.SetKey(nullptr));
  EXPECT_FALSE(aes.SetKey(nullptr));
}

// ---- AES ------------------------------------------------------------------

struct AesVector {
  std::size_t keyLength;
  const char* ciphertext;
};

// FIPS 197 Appendix C: key 00 01 02 ..., plaintext 00 11 22 ... FF.
constexpr AesVector kFips197[] = {
    {16, "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {24, "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {32, "8ea2b7ca516745bfeafc49904b496089"},
};
const Bytes kFips197Plain = FromHex("00112233445566778899aabbccddeeff");

TEST(CipherAes, Fips197AppendixCThroughEcb) {
  for (const auto& v : kFips197) {
    SCOPED_TRACE(v.keyLength);
    const Bytes expected = FromHex(v.ciphertext);
    auto aes = MakeCipher(kCipherAes, Sequence(v.keyLength));
    EXPECT_EQ(EncryptEcb(*aes, kFips197Plain), expected);
    aes->Reset();
    EXPECT_EQ(DecryptEcb(*aes, expected), kFips197Plain);

    // Several blocks in one call, in place.
    Bytes buffer;
    for (int i = 0; i < 3; ++i) buffer.insert(buffer.end(), kFips197Plain.begin(), kFips197Plain.end());
    auto fresh = MakeCipher(kCipherAes, Sequence(v.keyLength));
    ASSERT_TRUE(fresh->EncryptEcb(buffer.data(), buffer.data(), 48));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Bytes(buffer.begin() + 16 * i, buffer.begin() + 16 * (i + 1)), expected);
  }
}

TEST(CipherAes, KeyNeverSetActsAsTheAllZeroDefaultKey) {
  // AES-256 of the zero block under the zero key.
  AesVanillaCipher aes;
  EXPECT_EQ(EncryptEcb(aes, Bytes(16, 0)), FromHex("dc95c078a2408989ad48a21492842087"));
}

TEST(CipherAes, DirectionsAndReset) {
  const Bytes key = Sequence(16);
  const Bytes expected = FromHex(kFips197[0].ciphertext);
  std::uint32_t plainWords[4];
  std::uint32_t cipherWords[4];
  for (int i = 0; i < 4; ++i) {
    plainWords[i] = detail::LoadBigEndian32(kFips197Plain.data() + 4 * i);
    cipherWords[i] = detail::LoadBigEndian32(expected.data() + 4 * i);
  }
  std::uint32_t out[4];

  // Decrypt first, then encrypt without Reset: each direction computes its
  // own round keys when it needs them.
  AesVanillaCipher aes;
  ASSERT_TRUE(aes.SetKeyLength(16));
  ASSERT_TRUE(aes.SetKey(key.data()));
  aes.DecryptBlock(cipherWords, out);
  EXPECT_TRUE(std::equal(out, out + 4, plainWords));
  aes.EncryptBlock(plainWords, out);
  EXPECT_TRUE(std::equal(out, out + 4, cipherWords));
  aes.DecryptBlock(cipherWords, out);
  EXPECT_TRUE(std::equal(out, out + 4, plainWords));

  // With Reset in between, as the decoder does it.
  aes.Reset();
  aes.EncryptBlock(plainWords, out);
  EXPECT_TRUE(std::equal(out, out + 4, cipherWords));
  aes.Reset();
  aes.DecryptBlock(cipherWords, out);
  EXPECT_TRUE(std::equal(out, out + 4, plainWords));

  // In place.
  std::copy(cipherWords, cipherWords + 4, out);
  aes.DecryptBlock(out, out);
  EXPECT_TRUE(std::equal(out, out + 4, plainWords));
}

TEST(CipherAes, RekeyReplacesComputedRoundKeys) {
  auto aes = MakeCipher(kCipherAes, Sequence(32, 0x40));
  const Bytes first = EncryptEcb(*aes, kFips197Plain);
  ASSERT_TRUE(aes->SetKeyLength(24));
  ASSERT_TRUE(aes->SetKey(Sequence(24).data()));
  EXPECT_EQ(EncryptEcb(*aes, kFips197Plain), FromHex(kFips197[1].ciphertext));
  ASSERT_TRUE(aes->SetKeyLength(32));
  ASSERT_TRUE(aes->SetKey(Sequence(32, 0x40).data()));
  EXPECT_EQ(EncryptEcb(*aes, kFips197Plain), first);
}

// ---- Triple-DES construction ------------------------------------------------

TEST(CipherTripleDes, KnownAnswers) {
  auto zero = MakeCipher(kCipherTripleDes, Bytes(24, 0));
  EXPECT_EQ(EncryptEcb(*zero, Bytes(8, 0)), FromHex("5702a302fc2e4550"));
  EXPECT_EQ(DecryptEcb(*zero, FromHex("5702a302fc2e4550")), Bytes(8, 0));

  auto counting = MakeCipher(kCipherTripleDes, Sequence(24));
  EXPECT_EQ(EncryptEcb(*counting, Sequence(8)), FromHex("6eefebb9fb5694f5"));
  EXPECT_EQ(DecryptEcb(*counting, FromHex("6eefebb9fb5694f5")), Sequence(8));

  // Subkeys before any SetKey are those of the all-zero key.
  TripleDESCipher unset;
  EXPECT_EQ(EncryptEcb(unset, Bytes(8, 0)), FromHex("5702a302fc2e4550"));
}

TEST(CipherTripleDes, SixteenByteKeyReusesTheFirstEightAsThird) {
  std::mt19937 rng(16);
  for (int round = 0; round < 20; ++round) {
    const Bytes key16 = Random(rng, 16);
    Bytes key24 = key16;
    key24.insert(key24.end(), key16.begin(), key16.begin() + 8);
    const Bytes data = Random(rng, 64);
    auto a = MakeCipher(kCipherTripleDes, key16);
    auto b = MakeCipher(kCipherTripleDes, key24);
    EXPECT_EQ(EncryptEcb(*a, data), EncryptEcb(*b, data));
    EXPECT_EQ(DecryptEcb(*a, data), DecryptEcb(*b, data));
  }
}

TEST(CipherTripleDes, EightByteKeyRunsOnePassUnlikeTheTripledKey) {
  const Bytes key8 = Sequence(8, 0x31);
  Bytes key24;
  for (int i = 0; i < 3; ++i) key24.insert(key24.end(), key8.begin(), key8.end());
  auto single = MakeCipher(kCipherTripleDes, key8);
  auto tripled = MakeCipher(kCipherTripleDes, key24);
  const Bytes data = Sequence(16, 0x80);
  const Bytes once = EncryptEcb(*single, data);
  EXPECT_NE(once, EncryptEcb(*tripled, data));
  EXPECT_NE(once, data);
  EXPECT_EQ(DecryptEcb(*single, once), data);

  // Rekeying to 8 bytes after a 24-byte key leaves nothing of the old key.
  ASSERT_TRUE(tripled->SetKeyLength(8));
  ASSERT_TRUE(tripled->SetKey(key8.data()));
  EXPECT_EQ(EncryptEcb(*tripled, data), once);
}

TEST(CipherTripleDes, DecryptInvertsEncryptForRandomKeys) {
  std::mt19937 rng(3);
  for (std::size_t keyLength : {8u, 16u, 24u}) {
    for (int round = 0; round < 50; ++round) {
      auto des = MakeCipher(kCipherTripleDes, Random(rng, keyLength));
      std::uint32_t in[2] = {static_cast<std::uint32_t>(rng()), static_cast<std::uint32_t>(rng())};
      std::uint32_t enc[2];
      std::uint32_t dec[2];
      des->EncryptBlock(in, enc);
      des->DecryptBlock(enc, dec);
      EXPECT_EQ(dec[0], in[0]);
      EXPECT_EQ(dec[1], in[1]);
      des->DecryptBlock(in, dec);  // the other way round, in place
      des->EncryptBlock(dec, dec);
      EXPECT_EQ(dec[0], in[0]);
      EXPECT_EQ(dec[1], in[1]);
    }
  }
}

// ---- Partial blocks ----------------------------------------------------------

TEST(CipherPartialBlocks, EveryByteOperationRefusesWithoutTouchingAnything) {
  for (std::uint32_t id : {kCipherTripleDes, kCipherAes}) {
    SCOPED_TRACE(id);
    CBCCipher cbc(id);
    BlockCipher& block = *cbc.GetBlockCipher();
    const std::uint32_t bs = block.BlockSize();
    ASSERT_TRUE(block.SetKey(Sequence(block.KeyLength()).data()));
    ASSERT_TRUE(cbc.SetIv(Sequence(bs, 0xA0).data(), bs));
    const Bytes plain = Sequence(3 * bs, 7);

    CBCCipher reference(id);
    ASSERT_TRUE(reference.GetBlockCipher()->SetKey(Sequence(block.KeyLength()).data()));
    ASSERT_TRUE(reference.SetIv(Sequence(bs, 0xA0).data(), bs));
    Bytes stored(plain.size());
    ASSERT_TRUE(reference.Encrypt(plain.data(), stored.data(), static_cast<std::uint32_t>(plain.size())));

    Bytes out(3 * bs, 0xEE);
    const Bytes untouched = out;
    for (std::uint32_t length : {1u, bs - 1, bs + 1, 2 * bs + 3}) {
      EXPECT_FALSE(cbc.Decrypt(stored.data(), out.data(), length));
      EXPECT_FALSE(cbc.Encrypt(plain.data(), out.data(), length));
      EXPECT_FALSE(block.EncryptEcb(plain.data(), out.data(), length));
      EXPECT_FALSE(block.DecryptEcb(stored.data(), out.data(), length));
      EXPECT_EQ(out, untouched);
    }
    // The chaining value did not move: the whole message still decrypts.
    ASSERT_TRUE(cbc.Decrypt(stored.data(), out.data(), 3 * bs));
    EXPECT_EQ(out, plain);

    // Zero bytes is a whole number of blocks: accepted, nothing done.
    EXPECT_TRUE(cbc.Decrypt(nullptr, nullptr, 0));
    EXPECT_TRUE(block.EncryptEcb(nullptr, nullptr, 0));
    // Null buffers with a length are refused.
    EXPECT_FALSE(cbc.Decrypt(nullptr, out.data(), bs));
    EXPECT_FALSE(block.DecryptEcb(stored.data(), nullptr, bs));
  }
}

// ---- CBC in stored byte order ------------------------------------------------

TEST(CipherCbc, OneAesBlockStoresAppendixCWithGroupsReversed) {
  for (const auto& v : kFips197) {
    SCOPED_TRACE(v.keyLength);
    CBCCipher cbc(kCipherAes);
    ASSERT_TRUE(cbc.GetBlockCipher()->SetKeyLength(static_cast<std::uint32_t>(v.keyLength)));
    ASSERT_TRUE(cbc.GetBlockCipher()->SetKey(Sequence(v.keyLength).data()));
    Bytes stored(16);
    ASSERT_TRUE(cbc.Encrypt(kFips197Plain.data(), stored.data(), 16));
    EXPECT_EQ(stored, ReverseGroups(FromHex(v.ciphertext)));

    ASSERT_TRUE(cbc.SetIv(nullptr, 0));
    Bytes plain(16);
    ASSERT_TRUE(cbc.Decrypt(stored.data(), plain.data(), 16));
    EXPECT_EQ(plain, kFips197Plain);
  }
}

TEST(CipherCbc, TripleDesStoredBlocksAreTextbookCbcOverEcbReversed) {
  std::mt19937 rng(8);
  const Bytes key = Random(rng, 24);
  const Bytes iv = Random(rng, 8);
  const Bytes plain = Random(rng, 64);
  auto ecb = MakeCipher(kCipherTripleDes, key);
  Bytes expected;
  Bytes chain = iv;
  for (std::size_t off = 0; off < plain.size(); off += 8) {
    for (int i = 0; i < 8; ++i) chain[i] ^= plain[off + i];
    chain = EncryptEcb(*ecb, chain);
    expected.insert(expected.end(), chain.begin(), chain.end());
  }

  CBCCipher cbc(kCipherTripleDes);
  ASSERT_TRUE(cbc.GetBlockCipher()->SetKey(key.data()));
  ASSERT_TRUE(cbc.SetIv(iv.data(), 8));
  Bytes stored(plain.size());
  ASSERT_TRUE(cbc.Encrypt(plain.data(), stored.data(), 64));
  EXPECT_EQ(stored, ReverseGroups(expected));
}

TEST(CipherCbc, OneCallOrSeveralGiveTheSamePlaintext) {
  for (std::uint32_t id : {kCipherTripleDes, kCipherAes}) {
    SCOPED_TRACE(id);
    std::mt19937 rng(id);
    CBCCipher enc(id);
    const std::uint32_t bs = enc.GetBlockCipher()->BlockSize();
    const std::uint32_t length = 3 * kMaxCipherBlockSize;  // 48 bytes
    const Bytes key = Random(rng, enc.GetBlockCipher()->KeyLength());
    const Bytes iv = Random(rng, bs);
    const Bytes plain = Random(rng, length);
    ASSERT_TRUE(enc.GetBlockCipher()->SetKey(key.data()));
    ASSERT_TRUE(enc.SetIv(iv.data(), bs));
    Bytes stored(length);
    ASSERT_TRUE(enc.Encrypt(plain.data(), stored.data(), length));

    CBCCipher dec(id);
    ASSERT_TRUE(dec.GetBlockCipher()->SetKey(key.data()));
    ASSERT_TRUE(dec.SetIv(iv.data(), bs));
    Bytes whole(length);
    ASSERT_TRUE(dec.Decrypt(stored.data(), whole.data(), length));
    EXPECT_EQ(whole, plain);

    ASSERT_TRUE(dec.SetIv(iv.data(), bs));
    Bytes pieces = stored;  // in place, 16 bytes per call
    for (std::uint32_t off = 0; off < length; off += 16) ASSERT_TRUE(dec.Decrypt(pieces.data() + off, pieces.data() + off, 16));
    EXPECT_EQ(pieces, plain);

    // Encryption in pieces stores the same bytes.
    ASSERT_TRUE(enc.SetIv(iv.data(), bs));
    Bytes again = plain;
    for (std::uint32_t off = 0; off < length; off += 16) ASSERT_TRUE(enc.Encrypt(again.data() + off, again.data() + off, 16));
    EXPECT_EQ(again, stored);
  }
}

TEST(CipherCbc, SetIvRules) {
  const Bytes key = Sequence(16);
  const Bytes plain = Sequence(32, 0x55);
  auto encryptWith = [&](const std::uint8_t* iv, std::uint32_t length, bool expectAccepted) {
    CBCCipher cbc(kCipherAes);
    EXPECT_TRUE(cbc.GetBlockCipher()->SetKeyLength(16));
    EXPECT_TRUE(cbc.GetBlockCipher()->SetKey(key.data()));
    EXPECT_EQ(cbc.SetIv(iv, length), expectAccepted);
    Bytes out(plain.size());
    EXPECT_TRUE(cbc.Encrypt(plain.data(), out.data(), static_cast<std::uint32_t>(plain.size())));
    return out;
  };
  const Bytes zeroIv(16, 0);
  const Bytes withZeroIv = encryptWith(zeroIv.data(), 16, true);
  EXPECT_EQ(encryptWith(nullptr, 0, true), withZeroIv);
  EXPECT_EQ(encryptWith(nullptr, 16, true), withZeroIv);
  EXPECT_EQ(encryptWith(Sequence(16, 1).data(), 0, true), withZeroIv);

  // Only the first block of a longer IV counts.
  Bytes longIv = Sequence(40, 9);
  const Bytes withLongIv = encryptWith(longIv.data(), 40, true);
  EXPECT_EQ(encryptWith(longIv.data(), 16, true), withLongIv);
  EXPECT_NE(withLongIv, withZeroIv);

  // A shorter IV is refused and the previous chaining value stays (zeros here).
  const Bytes shortIv = Sequence(15, 9);
  EXPECT_EQ(encryptWith(shortIv.data(), 15, false), withZeroIv);

  // The ECB front reads no IV; it only resets the block cipher.
  Cipher ecb(kCipherAes);
  EXPECT_TRUE(ecb.SetIv(nullptr, 0));
  EXPECT_TRUE(ecb.SetIv(shortIv.data(), 3));
}

TEST(CipherEcbFront, ForwardsToTheBlockCipher) {
  Cipher ecb(kCipherAes);
  ASSERT_TRUE(ecb.GetBlockCipher()->SetKeyLength(24));
  ASSERT_TRUE(ecb.GetBlockCipher()->SetKey(Sequence(24).data()));
  Bytes buffer = kFips197Plain;
  ASSERT_TRUE(ecb.Encrypt(buffer.data(), buffer.data(), 16));
  EXPECT_EQ(buffer, FromHex(kFips197[1].ciphertext));
  ASSERT_TRUE(ecb.SetIv(nullptr, 0));
  ASSERT_TRUE(ecb.Decrypt(buffer.data(), buffer.data(), 16));
  EXPECT_EQ(buffer, kFips197Plain);
  EXPECT_FALSE(ecb.Decrypt(buffer.data(), buffer.data(), 8));
}

}  // namespace
}  // namespace security
