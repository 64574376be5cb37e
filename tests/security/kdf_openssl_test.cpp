// Cross-checks HMAC-SHA-256 and PBKDF2-HMAC-SHA-256 against OpenSSL over
// random inputs. The seed is fixed so that a failure reproduces.

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "security/hmac.h"
#include "security/password_kdf_adapter.h"
#include "security/pbkdf2.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

TEST(KdfCrossCheck, HmacSha256MatchesOpenSsl) {
  std::mt19937 rng(4231);
  HMac<Sha2Digest> mac;
  for (int round = 0; round < 300; ++round) {
    const Bytes key = RandomBytes(rng, rng() % 200);
    const Bytes message = RandomBytes(rng, rng() % 1000);
    mac.SetKey(key.data(), static_cast<std::uint32_t>(key.size()));
    std::size_t pos = 0;
    while (pos < message.size()) {
      const std::size_t take = std::min<std::size_t>(message.size() - pos, rng() % 150);
      mac.Update(message.data() + pos, static_cast<std::uint32_t>(take));
      pos += take;
    }
    Bytes ours(32), theirs(32);
    ASSERT_TRUE(mac.Final(ours.data(), 0));
    unsigned int n = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), message.data(), message.size(), theirs.data(), &n);
    EXPECT_EQ(ours, theirs) << "round " << round << " key " << key.size() << " message " << message.size();
  }
}

// The reader's derivation: user name then password, a 32-byte document salt.
// The result is standard PBKDF2 with the password as P and the user name
// followed by the salt as S.
TEST(KdfCrossCheck, AdapterMatchesOpenSslPbkdf2) {
  std::mt19937 rng(8018);
  for (int round = 0; round < 60; ++round) {
    const Bytes user = RandomBytes(rng, rng() % 40);
    const Bytes password = RandomBytes(rng, rng() % 80);
    const Bytes salt = RandomBytes(rng, 32);
    const std::uint32_t iterations = 1 + rng() % 200;
    PasswordKdfAdapter<PbKdf2<HMac<Sha2Digest>>> kdf(iterations, salt.data(), 32, 1);
    kdf.AddInput(user.data(), static_cast<std::uint32_t>(user.size()));
    kdf.AddInput(password.data(), static_cast<std::uint32_t>(password.size()));
    Bytes ours(32);
    ASSERT_TRUE(kdf.Derive(ours.data(), 32));

    Bytes s = user;
    s.insert(s.end(), salt.begin(), salt.end());
    Bytes theirs(32);
    ASSERT_EQ(PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password.data()), static_cast<int>(password.size()),
                                s.data(), static_cast<int>(s.size()), static_cast<int>(iterations), EVP_sha256(),
                                32, theirs.data()),
              1);
    EXPECT_EQ(ours, theirs) << "round " << round;
  }
}

}  // namespace
}  // namespace security
