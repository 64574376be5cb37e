#include "security/sha1_digest.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "security/byte_order.h"
#include "security/kernels.h"
#include "security/secure_wipe.h"

namespace security {
namespace {

// One round; the caller rotates the roles of a..e between rounds. The message
// schedule is kept as a ring of 16 words, extended as the rounds need it.
#define SHA1_ROUND(a, b, c, d, e, f, k, w)  \
  do {                                      \
    e += std::rotl(a, 5) + (f) + (k) + (w); \
    b = std::rotl(b, 30);                   \
  } while (0)

#define SHA1_F1(b, c, d) (((c ^ d) & b) ^ d)
#define SHA1_F2(b, c, d) (b ^ c ^ d)
#define SHA1_F3(b, c, d) ((b & c) | ((b | c) & d))

#define SHA1_W(t) \
  (w[(t) & 15] = std::rotl(w[((t) + 13) & 15] ^ w[((t) + 8) & 15] ^ w[((t) + 2) & 15] ^ w[(t) & 15], 1))

#define SHA1_FIVE_FIRST(F, K, i)                              \
  SHA1_ROUND(a, b, c, d, e, F(b, c, d), K, w[(i) + 0]);       \
  SHA1_ROUND(e, a, b, c, d, F(a, b, c), K, w[(i) + 1]);       \
  SHA1_ROUND(d, e, a, b, c, F(e, a, b), K, w[(i) + 2]);       \
  SHA1_ROUND(c, d, e, a, b, F(d, e, a), K, w[(i) + 3]);       \
  SHA1_ROUND(b, c, d, e, a, F(c, d, e), K, w[(i) + 4])

#define SHA1_FIVE(F, K, i)                                    \
  SHA1_ROUND(a, b, c, d, e, F(b, c, d), K, SHA1_W((i) + 0));  \
  SHA1_ROUND(e, a, b, c, d, F(a, b, c), K, SHA1_W((i) + 1));  \
  SHA1_ROUND(d, e, a, b, c, F(e, a, b), K, SHA1_W((i) + 2));  \
  SHA1_ROUND(c, d, e, a, b, F(d, e, a), K, SHA1_W((i) + 3));  \
  SHA1_ROUND(b, c, d, e, a, F(c, d, e), K, SHA1_W((i) + 4))

}  // namespace

// Compresses `count` consecutive 64-byte blocks into the chaining words.
void detail::Sha1CompressPortable(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count) {
  std::uint32_t w[16];
  for (; count != 0; --count, blocks += 64) {
    for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian32(blocks + 4 * t);
    std::uint32_t a = chain[0], b = chain[1], c = chain[2], d = chain[3], e = chain[4];
    SHA1_FIVE_FIRST(SHA1_F1, 0x5A827999u, 0);
    SHA1_FIVE_FIRST(SHA1_F1, 0x5A827999u, 5);
    SHA1_FIVE_FIRST(SHA1_F1, 0x5A827999u, 10);
    SHA1_ROUND(a, b, c, d, e, SHA1_F1(b, c, d), 0x5A827999u, w[15]);
    SHA1_ROUND(e, a, b, c, d, SHA1_F1(a, b, c), 0x5A827999u, SHA1_W(16));
    SHA1_ROUND(d, e, a, b, c, SHA1_F1(e, a, b), 0x5A827999u, SHA1_W(17));
    SHA1_ROUND(c, d, e, a, b, SHA1_F1(d, e, a), 0x5A827999u, SHA1_W(18));
    SHA1_ROUND(b, c, d, e, a, SHA1_F1(c, d, e), 0x5A827999u, SHA1_W(19));
    SHA1_FIVE(SHA1_F2, 0x6ED9EBA1u, 20);
    SHA1_FIVE(SHA1_F2, 0x6ED9EBA1u, 25);
    SHA1_FIVE(SHA1_F2, 0x6ED9EBA1u, 30);
    SHA1_FIVE(SHA1_F2, 0x6ED9EBA1u, 35);
    SHA1_FIVE(SHA1_F3, 0x8F1BBCDCu, 40);
    SHA1_FIVE(SHA1_F3, 0x8F1BBCDCu, 45);
    SHA1_FIVE(SHA1_F3, 0x8F1BBCDCu, 50);
    SHA1_FIVE(SHA1_F3, 0x8F1BBCDCu, 55);
    SHA1_FIVE(SHA1_F2, 0xCA62C1D6u, 60);
    SHA1_FIVE(SHA1_F2, 0xCA62C1D6u, 65);
    SHA1_FIVE(SHA1_F2, 0xCA62C1D6u, 70);
    SHA1_FIVE(SHA1_F2, 0xCA62C1D6u, 75);
    chain[0] += a;
    chain[1] += b;
    chain[2] += c;
    chain[3] += d;
    chain[4] += e;
  }
  SecureWipe(w, sizeof w);
}

#undef SHA1_FIVE
#undef SHA1_FIVE_FIRST
#undef SHA1_W
#undef SHA1_F1
#undef SHA1_F2
#undef SHA1_F3
#undef SHA1_ROUND

namespace {

void Sha1Compress(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count) {
  detail::ActiveKernels().sha1(chain, blocks, count);
}

}  // namespace

SHA1Digest::SHA1Digest() : DigestImp(kDigestSize, kDigestSize, kDigestSize) { Reset(); }

SHA1Digest::~SHA1Digest() {
  SecureWipe(chain_, sizeof chain_);
  SecureWipe(buffer_, sizeof buffer_);
}

void SHA1Digest::Reset() {
  chain_[0] = 0x67452301u;
  chain_[1] = 0xEFCDAB89u;
  chain_[2] = 0x98BADCFEu;
  chain_[3] = 0x10325476u;
  chain_[4] = 0xC3D2E1F0u;
  bitCountLow_ = 0;
  bitCountHigh_ = 0;
}

void SHA1Digest::Update(const void* data, std::uint32_t length) {
  if (length == 0) return;
  const auto* in = static_cast<const std::uint8_t*>(data);
  std::uint32_t buffered = (bitCountLow_ >> 3) & (kBlockSize - 1);

  const std::uint64_t bits = (std::uint64_t{bitCountHigh_} << 32 | bitCountLow_) +
                             (std::uint64_t{length} << 3);
  bitCountLow_ = static_cast<std::uint32_t>(bits);
  bitCountHigh_ = static_cast<std::uint32_t>(bits >> 32);

  if (buffered != 0) {
    const std::uint32_t take = std::min(length, kBlockSize - buffered);
    std::memcpy(buffer_ + buffered, in, take);
    in += take;
    length -= take;
    buffered += take;
    if (buffered < kBlockSize) return;
    Sha1Compress(chain_, buffer_, 1);
  }
  const std::uint32_t whole = length / kBlockSize;
  if (whole != 0) Sha1Compress(chain_, in, whole);
  in += whole * kBlockSize;
  length -= whole * kBlockSize;
  if (length != 0) std::memcpy(buffer_, in, length);
}

bool SHA1Digest::Final(std::uint8_t* out, std::uint32_t length) {
  if (length == 0) length = kDigestSize;
  if (length > kDigestSize) return false;

  std::uint32_t buffered = (bitCountLow_ >> 3) & (kBlockSize - 1);
  buffer_[buffered++] = 0x80;
  if (kBlockSize - buffered < 8) {
    std::memset(buffer_ + buffered, 0, kBlockSize - buffered);
    Sha1Compress(chain_, buffer_, 1);
    buffered = 0;
  }
  std::memset(buffer_ + buffered, 0, kBlockSize - 8 - buffered);
  StoreBigEndian32(buffer_ + 56, bitCountHigh_);
  StoreBigEndian32(buffer_ + 60, bitCountLow_);
  Sha1Compress(chain_, buffer_, 1);

  std::uint8_t digest[kDigestSize];
  for (int i = 0; i < 5; ++i) StoreBigEndian32(digest + 4 * i, chain_[i]);
  std::memcpy(out, digest, length);
  SecureWipe(digest, sizeof digest);
  SecureWipe(buffer_, sizeof buffer_);
  return true;
}

}  // namespace security
