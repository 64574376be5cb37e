// Cross-checks the digests against OpenSSL over random inputs and random call
// splits. The seed is fixed so that a failure reproduces.

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <gtest/gtest.h>

#include <cstring>
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
  unsigned int n = 0;
  EXPECT_EQ(EVP_Digest(m.data(), m.size(), out.data(), &n, md, nullptr), 1);
  return out;
}

Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

// Feeds `m` in random-sized calls (including empty ones).
template <class D>
Bytes HashInRandomCalls(D& d, const Bytes& m, std::mt19937& rng, std::uint32_t outSize) {
  d.Reset();
  std::size_t pos = 0;
  while (pos < m.size()) {
    const std::size_t take = std::min<std::size_t>(m.size() - pos, rng() % 300);
    d.Update(m.data() + pos, static_cast<std::uint32_t>(take));
    pos += take;
  }
  Bytes out(outSize);
  EXPECT_TRUE(d.Final(out.data(), 0));
  return out;
}

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
    // SHA-384/512 keep only an 8-byte length field: equal to the standard
    // except when the last block holds 112..119 message bytes.
    const bool odd = InOddSha512Range(n);
    EXPECT_EQ(HashInRandomCalls(sha384, m, rng, 48) != Reference(EVP_sha384(), m), odd);
    EXPECT_EQ(HashInRandomCalls(sha512, m, rng, 64) != Reference(EVP_sha512(), m), odd);
  }
}

TEST(DigestCrossCheck, Sha256FinalBlockBoundaries) {
  // 55 bytes fit the padding in one block, 56 need a second one.
  std::mt19937 rng(55);
  Sha2Digest sha256(32);
  for (std::size_t n : {55u, 56u, 63u, 64u, 119u, 120u}) {
    const Bytes m = RandomBytes(rng, n);
    EXPECT_EQ(HashInRandomCalls(sha256, m, rng, 32), Reference(EVP_sha256(), m)) << n;
  }
}

// The 8-byte length field: the final block is message, 0x80, zeros and the
// 64-bit bit count in its last 8 bytes. Build that block by hand and run the
// standard compression function over it.
Bytes OddSha512(const Bytes& m) {
  Bytes padded = m;
  padded.push_back(0x80);
  const std::size_t tail = padded.size() % 128;
  if (128 - tail < 8) padded.resize(padded.size() + 128 - tail, 0);
  padded.resize((padded.size() + 8 + 127) / 128 * 128 - 8, 0);
  const std::uint64_t bits = std::uint64_t{m.size()} * 8;
  for (int i = 7; i >= 0; --i) padded.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  SHA512_CTX ctx;
  SHA512_Init(&ctx);
  for (std::size_t i = 0; i < padded.size(); i += 128) SHA512_Transform(&ctx, padded.data() + i);
  Bytes out(64);
  for (int w = 0; w < 8; ++w) {
    for (int b = 0; b < 8; ++b) out[8 * w + b] = static_cast<std::uint8_t>(ctx.h[w] >> (56 - 8 * b));
  }
  return out;
}

TEST(DigestCrossCheck, Sha512EightByteLengthFieldIsExact) {
  std::mt19937 rng(112);
  Sha2Digest sha512(64);
  for (std::size_t n : {111u, 112u, 115u, 119u, 120u, 127u, 240u, 247u, 1000u}) {
    const Bytes m = RandomBytes(rng, n);
    const Bytes ours = HashInRandomCalls(sha512, m, rng, 64);
    EXPECT_EQ(ours, OddSha512(m)) << n;
    EXPECT_EQ(ours == Reference(EVP_sha512(), m), !InOddSha512Range(n)) << n;
  }
  // Through the multi-lane front with id 4 as well.
  const Bytes m = RandomBytes(rng, 112);
  Digest d(4);
  d.Update(m.data(), 112);
  Bytes out(64);
  ASSERT_TRUE(d.Final(out.data(), 0));
  EXPECT_EQ(out, OddSha512(m));
}

// The permutation, absorption and squeezing are those of SHA-3; only the
// padding byte differs. With a SHA-3 padding policy plugged into the same
// sponge, the results must equal OpenSSL's SHA3 functions.
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

TEST(DigestCrossCheck, KeccakFrontDiffersFromSha3) {
  std::mt19937 rng(7);
  KeccakF1600Digest keccak;
  for (std::size_t n : {0u, 1u, 135u, 136u, 1000u}) {
    const Bytes m = RandomBytes(rng, n);
    EXPECT_NE(HashInRandomCalls(keccak, m, rng, 32), Reference(EVP_sha3_256(), m)) << n;
  }
}

}  // namespace
}  // namespace security
