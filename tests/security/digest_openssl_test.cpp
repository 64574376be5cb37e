// Cross-checks the digests against OpenSSL over random inputs and random call
// splits. The seed is fixed so that a failure reproduces.

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "security/digest.h"
#include "security/keccak_f1600_digest.h"
#include "security/sha1_digest.h"
#include "security/sha2_digest.h"

namespace security {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Reference(const EVP_MD* md, const Bytes& m) {
  Bytes out(EVP_MD_get_size(md));
  EXPECT_EQ(EVP_Digest(m.data(), m.size(), out.data(), nullptr, md, nullptr), 1);
  return out;
}

Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

// Feeds `m` in random-sized calls, empty ones included.
template <class D>
Bytes HashInRandomCalls(D& d, const Bytes& m, std::mt19937& rng, std::uint32_t outSize) {
  d.Reset();
  for (std::size_t pos = 0, take; pos < m.size(); pos += take) {
    take = std::min<std::size_t>(m.size() - pos, rng() % 300);
    d.Update(m.data() + pos, static_cast<std::uint32_t>(take));
  }
  Bytes out(outSize);
  EXPECT_TRUE(d.Final(out.data(), 0));
  return out;
}

// Every length up to 300 (all final-block cases), then random ones up to 20000.
std::vector<std::size_t> TestLengths(std::mt19937& rng) {
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (int i = 0; i < 60; ++i) lengths.push_back(rng() % 20000);
  return lengths;
}

bool InOddSha512Range(std::size_t length) { return length % 128 >= 112 && length % 128 <= 119; }

TEST(DigestCrossCheck, Sha1AndSha2MatchOpenSsl) {
  std::mt19937 rng(20240611);
  SHA1Digest sha1;
  Sha2Digest sha224(28), sha256(32), sha384(48), sha512(64);
  for (std::size_t n : TestLengths(rng)) {
    SCOPED_TRACE(n);
    const Bytes m = RandomBytes(rng, n);
    EXPECT_EQ(HashInRandomCalls(sha1, m, rng, 20), Reference(EVP_sha1(), m));
    EXPECT_EQ(HashInRandomCalls(sha224, m, rng, 28), Reference(EVP_sha224(), m));
    EXPECT_EQ(HashInRandomCalls(sha256, m, rng, 32), Reference(EVP_sha256(), m));
    // The 8-byte length field: equal to the standard except when the last
    // block holds 112..119 message bytes.
    const bool odd = InOddSha512Range(n);
    EXPECT_EQ(HashInRandomCalls(sha384, m, rng, 48) != Reference(EVP_sha384(), m), odd);
    EXPECT_EQ(HashInRandomCalls(sha512, m, rng, 64) != Reference(EVP_sha512(), m), odd);
  }
}

// Builds the final block by hand (message, 0x80, zeros, the 64-bit bit count
// in the last 8 bytes) and runs OpenSSL's SHA-512 compression over it.
Bytes Sha512WithEightByteLength(const Bytes& m) {
  Bytes padded = m;
  padded.push_back(0x80);
  if (128 - padded.size() % 128 < 8) padded.resize(padded.size() + 128 - padded.size() % 128, 0);
  padded.resize((padded.size() + 8 + 127) / 128 * 128 - 8, 0);
  for (int i = 7; i >= 0; --i) padded.push_back(static_cast<std::uint8_t>((std::uint64_t{m.size()} * 8) >> (8 * i)));
  SHA512_CTX ctx;
  SHA512_Init(&ctx);
  for (std::size_t i = 0; i < padded.size(); i += 128) SHA512_Transform(&ctx, padded.data() + i);
  Bytes out(64);
  for (int b = 0; b < 64; ++b) out[b] = static_cast<std::uint8_t>(ctx.h[b / 8] >> (56 - 8 * (b % 8)));
  return out;
}

TEST(DigestCrossCheck, Sha512EightByteLengthFieldIsExact) {
  std::mt19937 rng(112);
  Sha2Digest sha512(64);
  for (std::size_t n : {111u, 112u, 115u, 119u, 120u, 127u, 240u, 247u, 1000u}) {
    const Bytes m = RandomBytes(rng, n);
    EXPECT_EQ(HashInRandomCalls(sha512, m, rng, 64), Sha512WithEightByteLength(m)) << n;
  }
  const Bytes m = RandomBytes(rng, 112);  // and through Digest id 4
  Digest d(4);
  d.Update(m.data(), 112);
  Bytes out(64);
  ASSERT_TRUE(d.Final(out.data(), 0));
  EXPECT_EQ(out, Sha512WithEightByteLength(m));
}

// Only the padding byte separates Keccak from SHA-3: with a SHA-3 padding
// policy plugged into the same sponge, the results must equal OpenSSL's SHA3.
template <class Traits>
struct Sha3PadPolicy {
  static void Pad(std::uint8_t* block, std::uint32_t used) {
    block[used] = 0x06;
    block[Traits::kRate - 1] |= 0x80;
  }
};

template <unsigned C, unsigned N>
using Sha3Sponge = KeccakSponge<1600, C, N, detail::KeccakSpongeTraits<1600, C, N>,
                                Sha3PadPolicy<detail::KeccakSpongeTraits<1600, C, N>>>;

TEST(DigestCrossCheck, KeccakSpongeWithSha3PaddingMatchesOpenSslSha3) {
  std::mt19937 rng(202);
  Sha3Sponge<448, 224> s224;
  Sha3Sponge<512, 256> s256;
  Sha3Sponge<768, 384> s384;
  Sha3Sponge<1024, 512> s512;
  for (std::size_t n : TestLengths(rng)) {
    SCOPED_TRACE(n);
    const Bytes m = RandomBytes(rng, n);
    EXPECT_EQ(HashInRandomCalls(s224, m, rng, 28), Reference(EVP_sha3_224(), m));
    EXPECT_EQ(HashInRandomCalls(s256, m, rng, 32), Reference(EVP_sha3_256(), m));
    EXPECT_EQ(HashInRandomCalls(s384, m, rng, 48), Reference(EVP_sha3_384(), m));
    EXPECT_EQ(HashInRandomCalls(s512, m, rng, 64), Reference(EVP_sha3_512(), m));
  }
}

}  // namespace
}  // namespace security
