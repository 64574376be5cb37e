// Cross-check of AES and the stored-order CBC against OpenSSL's AES-CBC over
// randomised keys, IVs and lengths (fixed seed): the stored ciphertext is
// OpenSSL's with every 4-byte group reversed.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "security/block_cipher.h"
#include "security/cbc_cipher.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Random(std::mt19937& rng, std::size_t n) {
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

Bytes ReverseGroups(Bytes data) {
  for (std::size_t i = 0; i + 4 <= data.size(); i += 4) std::reverse(data.begin() + i, data.begin() + i + 4);
  return data;
}

// OpenSSL encryption without padding.
Bytes OpenSslEncrypt(const EVP_CIPHER* type, const Bytes& key, const Bytes& iv, const Bytes& plain) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  EXPECT_EQ(EVP_EncryptInit_ex(ctx.get(), type, nullptr, key.data(), iv.data()), 1);
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  Bytes out(plain.size() + 16);
  int n = 0;
  int tail = 0;
  EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &n, plain.data(), static_cast<int>(plain.size())), 1);
  EXPECT_EQ(EVP_EncryptFinal_ex(ctx.get(), out.data() + n, &tail), 1);
  out.resize(static_cast<std::size_t>(n + tail));
  return out;
}

TEST(CipherOpenSsl, AesCbcStoredOrderMatchesReversedOpenSsl) {
  std::mt19937 rng(20230);
  const std::pair<std::size_t, const EVP_CIPHER*> variants[] = {
      {16, EVP_aes_128_cbc()}, {24, EVP_aes_192_cbc()}, {32, EVP_aes_256_cbc()}};
  for (const auto& [keyLength, type] : variants) {
    SCOPED_TRACE(keyLength);
    for (int round = 0; round < 60; ++round) {
      const Bytes key = Random(rng, keyLength);
      const Bytes iv = Random(rng, 16);
      const std::uint32_t blocks = rng() % 40;
      const std::uint32_t length = 16 * blocks;
      const Bytes plain = Random(rng, length);
      const Bytes stored = ReverseGroups(OpenSslEncrypt(type, key, iv, plain));

      CBCCipher cbc(kCipherAes);
      ASSERT_TRUE(cbc.GetBlockCipher()->SetKeyLength(static_cast<std::uint32_t>(keyLength)));
      ASSERT_TRUE(cbc.GetBlockCipher()->SetKey(key.data()));

      // Encrypt in one call.
      ASSERT_TRUE(cbc.SetIv(iv.data(), 16));
      Bytes out(length);
      ASSERT_TRUE(cbc.Encrypt(plain.data(), out.data(), length));
      EXPECT_EQ(out, stored);

      // Decrypt in one call.
      ASSERT_TRUE(cbc.SetIv(iv.data(), 16));
      ASSERT_TRUE(cbc.Decrypt(stored.data(), out.data(), length));
      EXPECT_EQ(out, plain);

      // Decrypt in place, in random whole-block pieces, with refused partial
      // lengths in between that must change nothing.
      ASSERT_TRUE(cbc.SetIv(iv.data(), 16));
      Bytes buffer = stored;
      std::uint32_t done = 0;
      while (done < length) {
        const std::uint32_t take = 16 * (1 + rng() % std::min<std::uint32_t>(5, (length - done) / 16));
        if (rng() % 4 == 0) {
          const Bytes before = buffer;
          const std::uint32_t odd = 1 + rng() % (take - 1);
          if (odd % 16 != 0) {
            EXPECT_FALSE(cbc.Decrypt(buffer.data() + done, buffer.data() + done, odd));
            EXPECT_EQ(buffer, before);
          }
        }
        ASSERT_TRUE(cbc.Decrypt(buffer.data() + done, buffer.data() + done, take));
        done += take;
      }
      EXPECT_EQ(buffer, plain);
    }
  }
}

}  // namespace
}  // namespace security
