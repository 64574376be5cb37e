#include "security/sha2_digest.h"

#include <bit>

#include "security/kernels.h"

namespace security {
namespace detail {
namespace {

constexpr std::uint32_t kK256[64] = {
    0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u,
    0xab1c5ed5u, 0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu,
    0x9bdc06a7u, 0xc19bf174u, 0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu,
    0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau, 0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u,
    0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u, 0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu,
    0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u, 0xa2bfe8a1u, 0xa81a664bu,
    0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u, 0x19a4c116u,
    0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
    0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u,
    0xc67178f2u};

constexpr std::uint64_t kK512[80] = {
    0x428a2f98d728ae22ull, 0x7137449123ef65cdull, 0xb5c0fbcfec4d3b2full, 0xe9b5dba58189dbbcull,
    0x3956c25bf348b538ull, 0x59f111f1b605d019ull, 0x923f82a4af194f9bull, 0xab1c5ed5da6d8118ull,
    0xd807aa98a3030242ull, 0x12835b0145706fbeull, 0x243185be4ee4b28cull, 0x550c7dc3d5ffb4e2ull,
    0x72be5d74f27b896full, 0x80deb1fe3b1696b1ull, 0x9bdc06a725c71235ull, 0xc19bf174cf692694ull,
    0xe49b69c19ef14ad2ull, 0xefbe4786384f25e3ull, 0x0fc19dc68b8cd5b5ull, 0x240ca1cc77ac9c65ull,
    0x2de92c6f592b0275ull, 0x4a7484aa6ea6e483ull, 0x5cb0a9dcbd41fbd4ull, 0x76f988da831153b5ull,
    0x983e5152ee66dfabull, 0xa831c66d2db43210ull, 0xb00327c898fb213full, 0xbf597fc7beef0ee4ull,
    0xc6e00bf33da88fc2ull, 0xd5a79147930aa725ull, 0x06ca6351e003826full, 0x142929670a0e6e70ull,
    0x27b70a8546d22ffcull, 0x2e1b21385c26c926ull, 0x4d2c6dfc5ac42aedull, 0x53380d139d95b3dfull,
    0x650a73548baf63deull, 0x766a0abb3c77b2a8ull, 0x81c2c92e47edaee6ull, 0x92722c851482353bull,
    0xa2bfe8a14cf10364ull, 0xa81a664bbc423001ull, 0xc24b8b70d0f89791ull, 0xc76c51a30654be30ull,
    0xd192e819d6ef5218ull, 0xd69906245565a910ull, 0xf40e35855771202aull, 0x106aa07032bbd1b8ull,
    0x19a4c116b8d2d0c8ull, 0x1e376c085141ab53ull, 0x2748774cdf8eeb99ull, 0x34b0bcb5e19b48a8ull,
    0x391c0cb3c5c95a63ull, 0x4ed8aa4ae3418acbull, 0x5b9cca4f7763e373ull, 0x682e6ff3d6b2b8a3ull,
    0x748f82ee5defb2fcull, 0x78a5636f43172f60ull, 0x84c87814a1f0ab72ull, 0x8cc702081a6439ecull,
    0x90befffa23631e28ull, 0xa4506cebde82bde9ull, 0xbef9a3f7b2c67915ull, 0xc67178f2e372532bull,
    0xca273eceea26619cull, 0xd186b8c721c0c207ull, 0xeada7dd6cde0eb1eull, 0xf57d4f7fee6ed178ull,
    0x06f067aa72176fbaull, 0x0a637dc5a2c898a6ull, 0x113f9804bef90daeull, 0x1b710b35131c471bull,
    0x28db77f523047d84ull, 0x32caab7b40c72493ull, 0x3c9ebe0a15c9bebcull, 0x431d67c49c100d4cull,
    0x4cc5d4becb3e42b6ull, 0x597f299cfc657e2aull, 0x5fcb6fab3ad6faecull, 0x6c44198c4a475817ull};

// One round with the roles of a..h given by the caller; d and h are updated.
#define SHA2_ROUND(a, b, c, d, e, f, g, h, k, w, S0, S1)       \
  do {                                                         \
    const auto t1 = h + S1(e) + ((e & f) ^ (~e & g)) + k + w;  \
    const auto t2 = S0(a) + ((a & b) ^ (a & c) ^ (b & c));     \
    d += t1;                                                   \
    h = t1 + t2;                                               \
  } while (0)

// Eight rounds; W(t) yields message word t. The schedule is a ring of 16
// words: from round 16 on, each word is extended in place as it is needed.
#define SHA2_EIGHT(K, W, i, S0, S1)                                   \
  SHA2_ROUND(a, b, c, d, e, f, g, h, K[(i) + 0], W((i) + 0), S0, S1); \
  SHA2_ROUND(h, a, b, c, d, e, f, g, K[(i) + 1], W((i) + 1), S0, S1); \
  SHA2_ROUND(g, h, a, b, c, d, e, f, K[(i) + 2], W((i) + 2), S0, S1); \
  SHA2_ROUND(f, g, h, a, b, c, d, e, K[(i) + 3], W((i) + 3), S0, S1); \
  SHA2_ROUND(e, f, g, h, a, b, c, d, K[(i) + 4], W((i) + 4), S0, S1); \
  SHA2_ROUND(d, e, f, g, h, a, b, c, K[(i) + 5], W((i) + 5), S0, S1); \
  SHA2_ROUND(c, d, e, f, g, h, a, b, K[(i) + 6], W((i) + 6), S0, S1); \
  SHA2_ROUND(b, c, d, e, f, g, h, a, K[(i) + 7], W((i) + 7), S0, S1)

#define SHA2_W_LOADED(t) w[(t)]
#define SHA2_W_NEXT32(t) \
  (w[(t) & 15] += Small1_32(w[((t) - 2) & 15]) + w[((t) - 7) & 15] + Small0_32(w[((t) - 15) & 15]))
#define SHA2_W_NEXT64(t) \
  (w[(t) & 15] += Small1_64(w[((t) - 2) & 15]) + w[((t) - 7) & 15] + Small0_64(w[((t) - 15) & 15]))

inline std::uint32_t Big0_32(std::uint32_t x) { return std::rotr(x, 2) ^ std::rotr(x, 13) ^ std::rotr(x, 22); }
inline std::uint32_t Big1_32(std::uint32_t x) { return std::rotr(x, 6) ^ std::rotr(x, 11) ^ std::rotr(x, 25); }
inline std::uint32_t Small0_32(std::uint32_t x) { return std::rotr(x, 7) ^ std::rotr(x, 18) ^ (x >> 3); }
inline std::uint32_t Small1_32(std::uint32_t x) { return std::rotr(x, 17) ^ std::rotr(x, 19) ^ (x >> 10); }

inline std::uint64_t Big0_64(std::uint64_t x) { return std::rotr(x, 28) ^ std::rotr(x, 34) ^ std::rotr(x, 39); }
inline std::uint64_t Big1_64(std::uint64_t x) { return std::rotr(x, 14) ^ std::rotr(x, 18) ^ std::rotr(x, 41); }
inline std::uint64_t Small0_64(std::uint64_t x) { return std::rotr(x, 1) ^ std::rotr(x, 8) ^ (x >> 7); }
inline std::uint64_t Small1_64(std::uint64_t x) { return std::rotr(x, 19) ^ std::rotr(x, 61) ^ (x >> 6); }

}  // namespace

void Sha256CompressPortable(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count) {
  std::uint32_t w[16];
  for (; count != 0; --count, blocks += 64) {
    for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian32(blocks + 4 * t);
    std::uint32_t a = chain[0], b = chain[1], c = chain[2], d = chain[3];
    std::uint32_t e = chain[4], f = chain[5], g = chain[6], h = chain[7];
    SHA2_EIGHT(kK256, SHA2_W_LOADED, 0, Big0_32, Big1_32);
    SHA2_EIGHT(kK256, SHA2_W_LOADED, 8, Big0_32, Big1_32);
    SHA2_EIGHT(kK256, SHA2_W_NEXT32, 16, Big0_32, Big1_32);
    SHA2_EIGHT(kK256, SHA2_W_NEXT32, 24, Big0_32, Big1_32);
    SHA2_EIGHT(kK256, SHA2_W_NEXT32, 32, Big0_32, Big1_32);
    SHA2_EIGHT(kK256, SHA2_W_NEXT32, 40, Big0_32, Big1_32);
    SHA2_EIGHT(kK256, SHA2_W_NEXT32, 48, Big0_32, Big1_32);
    SHA2_EIGHT(kK256, SHA2_W_NEXT32, 56, Big0_32, Big1_32);
    chain[0] += a; chain[1] += b; chain[2] += c; chain[3] += d;
    chain[4] += e; chain[5] += f; chain[6] += g; chain[7] += h;
  }
  SecureWipe(w, sizeof w);
}

void Sha512CompressPortable(std::uint64_t* chain, const std::uint8_t* blocks, std::uint32_t count) {
  std::uint64_t w[16];
  for (; count != 0; --count, blocks += 128) {
    for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian64(blocks + 8 * t);
    std::uint64_t a = chain[0], b = chain[1], c = chain[2], d = chain[3];
    std::uint64_t e = chain[4], f = chain[5], g = chain[6], h = chain[7];
    SHA2_EIGHT(kK512, SHA2_W_LOADED, 0, Big0_64, Big1_64);
    SHA2_EIGHT(kK512, SHA2_W_LOADED, 8, Big0_64, Big1_64);
    SHA2_EIGHT(kK512, SHA2_W_NEXT64, 16, Big0_64, Big1_64);
    SHA2_EIGHT(kK512, SHA2_W_NEXT64, 24, Big0_64, Big1_64);
    SHA2_EIGHT(kK512, SHA2_W_NEXT64, 32, Big0_64, Big1_64);
    SHA2_EIGHT(kK512, SHA2_W_NEXT64, 40, Big0_64, Big1_64);
    SHA2_EIGHT(kK512, SHA2_W_NEXT64, 48, Big0_64, Big1_64);
    SHA2_EIGHT(kK512, SHA2_W_NEXT64, 56, Big0_64, Big1_64);
    SHA2_EIGHT(kK512, SHA2_W_NEXT64, 64, Big0_64, Big1_64);
    SHA2_EIGHT(kK512, SHA2_W_NEXT64, 72, Big0_64, Big1_64);
    chain[0] += a; chain[1] += b; chain[2] += c; chain[3] += d;
    chain[4] += e; chain[5] += f; chain[6] += g; chain[7] += h;
  }
  SecureWipe(w, sizeof w);
}

#undef SHA2_EIGHT
#undef SHA2_W_LOADED
#undef SHA2_W_NEXT32
#undef SHA2_W_NEXT64
#undef SHA2_ROUND

void Sha256Compress(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count) {
  ActiveKernels().sha256(chain, blocks, count);
}

void Sha512Compress(std::uint64_t* chain, const std::uint8_t* blocks, std::uint32_t count) {
  ActiveKernels().sha512(chain, blocks, count);
}

}  // namespace detail

Sha2Digest::Sha2Digest(std::uint32_t size) : DigestImp(28, 64, 32) {
  // Start from SHA-256 so that the front always owns a variant, even when
  // `size` names none.
  SelectVariant(32);
  if (size != 0 && size != 32) SetOutputSize(size);
}

Sha2Digest::~Sha2Digest() = default;

void Sha2Digest::Reset() { variant_->Reset(); }

void Sha2Digest::Update(const void* data, std::uint32_t length) { variant_->Update(data, length); }

bool Sha2Digest::Final(std::uint8_t* out, std::uint32_t length) { return variant_->Final(out, length); }

std::uint32_t Sha2Digest::BlockSize() const { return variant_->BlockSize(); }

bool Sha2Digest::SelectVariant(std::uint32_t size) {
  switch (size) {
    case 28: variant_ = std::make_unique<Sha224Variant>(); return true;
    case 32: variant_ = std::make_unique<Sha256Variant>(); return true;
    case 48: variant_ = std::make_unique<Sha384Variant>(); return true;
    case 64: variant_ = std::make_unique<Sha512Variant>(); return true;
    default: return false;
  }
}

}  // namespace security
