// Cross-checks against OpenSSL over random inputs fed in random call splits,
// from one fixed seed so that a failure reproduces.

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <memory>

#include "security/cbc_cipher.h"
#include "security/hmac.h"
#include "security/kat_file.h"
#include "security/password_kdf_adapter.h"
#include "security/pbkdf2.h"
#include "security/sha1_digest.h"

namespace security {
namespace {

using kat::Bytes;
using kat::Random;

constexpr unsigned kSeed = 20240611;

// Feeds `m` to `t` in random-sized calls, empty ones included.
template <class T>
void UpdateInPieces(T& t, const Bytes& m, std::mt19937& rng) {
  for (std::size_t pos = 0, take; pos < m.size(); pos += take) {
    take = std::min<std::size_t>(m.size() - pos, rng() % 300);
    t.Update(m.data() + pos, static_cast<std::uint32_t>(take));
  }
}

// SHA-384/512 write an 8-byte length field: they differ from the standard
// exactly when the last block holds 112..119 message bytes.
TEST(OpenSslCrossCheck, Sha1AndSha2) {
  std::mt19937 rng(kSeed);
  SHA1Digest sha1;
  Sha2Digest sha224(28), sha256(32), sha384(48), sha512(64);
  const std::pair<DigestImp*, const EVP_MD*> fronts[] = {
      {&sha1, EVP_sha1()}, {&sha224, EVP_sha224()}, {&sha256, EVP_sha256()}, {&sha384, EVP_sha384()}, {&sha512, EVP_sha512()}};
  for (std::size_t i = 0, n = 0; i < 300; ++i, n = i < 260 ? i : rng() % 5000) {
    const Bytes m = Random(rng, n);
    for (auto [ours, md] : fronts) {
      ours->Reset();
      UpdateInPieces(*ours, m, rng);
      Bytes out(ours->OutputSize()), reference(EVP_MD_get_size(md));
      ASSERT_TRUE(ours->Final(out.data(), 0));
      ASSERT_EQ(EVP_Digest(m.data(), n, reference.data(), nullptr, md, nullptr), 1);
      const bool differs = ours->OutputSize() >= 48 && n % 128 >= 112 && n % 128 <= 119;
      EXPECT_EQ(out != reference, differs) << n << " bytes, " << EVP_MD_get0_name(md);
    }
  }
}

// HMAC-SHA-256; and the reader's derivation (user name, then password, a
// 32-byte salt), which is standard PBKDF2 with P = password, S = user || salt.
TEST(OpenSslCrossCheck, HmacSha256AndPasswordAdapterPbkdf2) {
  std::mt19937 rng(kSeed);
  HMac<Sha2Digest> mac;
  for (int round = 0; round < 100; ++round) {
    const Bytes key = Random(rng, rng() % 200), message = Random(rng, rng() % 1000);
    mac.SetKey(key.data(), static_cast<std::uint32_t>(key.size()));
    UpdateInPieces(mac, message, rng);
    Bytes ours(32), theirs(32);
    ASSERT_TRUE(mac.Final(ours.data(), 0));
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), message.data(), message.size(), theirs.data(), nullptr);
    EXPECT_EQ(ours, theirs) << "HMAC key " << key.size() << " message " << message.size();
    if (round % 3 != 0) continue;

    const Bytes& user = key;
    const Bytes password = Random(rng, rng() % 80), salt = Random(rng, 32), s = kat::Concat(user, salt);
    const int iterations = 1 + static_cast<int>(rng() % 100);
    PasswordKdfAdapter<PbKdf2<HMac<Sha2Digest>>> kdf(iterations, salt.data(), 32, 1);
    kdf.AddInput(user.data(), static_cast<std::uint32_t>(user.size()));
    kdf.AddInput(password.data(), static_cast<std::uint32_t>(password.size()));
    ASSERT_TRUE(kdf.Derive(ours.data(), 32));
    ASSERT_EQ(PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password.data()), static_cast<int>(password.size()),
                                s.data(), static_cast<int>(s.size()), iterations, EVP_sha256(), 32, theirs.data()),
              1);
    EXPECT_EQ(ours, theirs) << "PBKDF2 user " << user.size() << " password " << password.size();
  }
}

Bytes OpenSslCbcEncrypt(const EVP_CIPHER* type, const Bytes& key, const Bytes& iv, const Bytes& plain) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  Bytes out(plain.size());
  int n = 0;
  EXPECT_EQ(EVP_EncryptInit_ex(ctx.get(), type, nullptr, key.data(), iv.data()), 1);
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &n, plain.data(), static_cast<int>(plain.size())), 1);
  EXPECT_EQ(static_cast<std::size_t>(n), plain.size());
  return out;
}

// Stored AES-CBC is OpenSSL's ciphertext with every 4-byte group reversed.
// Encrypt and decrypt in one call, then decrypt in place in random whole-block
// pieces with refused partial lengths in between that must change nothing.
TEST(OpenSslCrossCheck, AesCbcStoredOrderIsReversedOpenSsl) {
  std::mt19937 rng(kSeed);
  const std::pair<std::uint32_t, const EVP_CIPHER*> variants[] = {
      {16, EVP_aes_128_cbc()}, {24, EVP_aes_192_cbc()}, {32, EVP_aes_256_cbc()}};
  for (auto [keyLength, type] : variants) {
    for (int round = 0; round < 25; ++round) {
      const Bytes key = Random(rng, keyLength), iv = Random(rng, 16);
      const auto length = static_cast<std::uint32_t>(16 * (rng() % 40));
      const Bytes plain = Random(rng, length);
      const Bytes stored = kat::ReverseGroups(OpenSslCbcEncrypt(type, key, iv, plain));
      SCOPED_TRACE(testing::Message() << "key " << keyLength << " length " << length);
      CBCCipher cbc(kCipherAes);
      ASSERT_TRUE(cbc.GetBlockCipher()->SetKeyLength(keyLength) && cbc.GetBlockCipher()->SetKey(key.data()));
      Bytes buffer(length);
      ASSERT_TRUE(cbc.SetIv(iv.data(), 16) && cbc.Encrypt(plain.data(), buffer.data(), length));
      EXPECT_EQ(buffer, stored);
      ASSERT_TRUE(cbc.SetIv(iv.data(), 16) && cbc.Decrypt(stored.data(), buffer.data(), length));
      EXPECT_EQ(buffer, plain);

      ASSERT_TRUE(cbc.SetIv(iv.data(), 16));
      buffer = stored;
      for (std::uint32_t done = 0, take; done < length; done += take) {
        take = static_cast<std::uint32_t>(16 * (1 + rng() % std::min<std::uint32_t>(5, (length - done) / 16)));
        const auto odd = static_cast<std::uint32_t>(1 + rng() % (take - 1));
        if (odd % 16 != 0) {
          EXPECT_FALSE(cbc.Decrypt(buffer.data() + done, buffer.data() + done, odd));
          EXPECT_EQ(buffer, kat::Concat(kat::Slice(plain, 0, done), kat::Slice(stored, done, length)));
        }
        ASSERT_TRUE(cbc.Decrypt(buffer.data() + done, buffer.data() + done, take));
      }
      EXPECT_EQ(buffer, plain);
    }
  }
}

}  // namespace
}  // namespace security
