// SHA-512 compression with AVX2 and BMI2. The message schedule of two blocks
// runs side by side in the two halves of 256-bit registers, two words of
// each block per register, and is computed a little ahead of the rounds of
// the first block; the second block's rounds then read their schedule from
// memory. The rounds themselves are scalar, with BMI2's rotate that leaves
// its source intact.

#include "security/x86/x86_kernels.h"

#ifdef VP_SECURITY_X86

#include <immintrin.h>

#include <bit>

#include "security/secure_wipe.h"

#if defined(__GNUC__) || defined(__clang__)
#define VP_SHA512_TARGET __attribute__((target("avx2,bmi,bmi2")))
#else
#define VP_SHA512_TARGET
#endif

namespace security::x86 {
namespace {

alignas(32) constexpr std::uint64_t kK512[80] = {
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

// W + K for 80 rounds of two blocks: entry [t / 2] holds words t and t + 1
// of the first block, then of the second.
struct alignas(32) Schedule {
  __m256i wk[40];
};

VP_SHA512_TARGET inline __m256i Rotr(__m256i x, int n) {
  return _mm256_or_si256(_mm256_srli_epi64(x, n), _mm256_slli_epi64(x, 64 - n));
}

VP_SHA512_TARGET inline __m256i Small0(__m256i x) {
  return _mm256_xor_si256(_mm256_xor_si256(Rotr(x, 1), Rotr(x, 8)), _mm256_srli_epi64(x, 7));
}

VP_SHA512_TARGET inline __m256i Small1(__m256i x) {
  return _mm256_xor_si256(_mm256_xor_si256(Rotr(x, 19), Rotr(x, 61)), _mm256_srli_epi64(x, 6));
}

// Two message words of each block, big-endian in memory.
VP_SHA512_TARGET inline __m256i LoadPair(const std::uint8_t* first, const std::uint8_t* second) {
  const __m256i swap = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8,  //
                                        7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
  const __m256i both = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(second)), 1);
  return _mm256_shuffle_epi8(both, swap);
}

VP_SHA512_TARGET inline __m256i K2(int j) {
  const __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kK512 + 2 * j));
  return _mm256_broadcastsi128_si256(k);
}

inline std::uint64_t Big0(std::uint64_t x) { return std::rotr(x, 28) ^ std::rotr(x, 34) ^ std::rotr(x, 39); }
inline std::uint64_t Big1(std::uint64_t x) { return std::rotr(x, 14) ^ std::rotr(x, 18) ^ std::rotr(x, 41); }

// One round with the roles of a..h given by the caller; d and h change.
// Ch(e, f, g) is (e & f) + (~e & g) (the two never share a bit). Maj(a, b, c)
// is ((a ^ b) & (b ^ c)) ^ b, and this round's a ^ b (`ab`) is the next
// round's b ^ c (`bc`). The rounds are bound by the integer units, so for
// 64-bit GCC and Clang they are written out instruction by instruction
// (the compilers' own version of the same steps is about a tenth slower);
// other compilers get the steps in C.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SHA512_ROUND(a, b, c, d, e, f, g, h, wk, bc, ab)                                    \
  __asm__("add %[w], %[H]\n\t"                                                               \
          "rorx $14, %[E], %[t0]\n\t"                                                        \
          "rorx $18, %[E], %[t1]\n\t"                                                        \
          "xor %[t1], %[t0]\n\t"                                                             \
          "rorx $41, %[E], %[t1]\n\t"                                                        \
          "xor %[t1], %[t0]\n\t"                                                             \
          "mov %[F], %[t1]\n\t"                                                              \
          "and %[E], %[t1]\n\t"                                                              \
          "andn %[G], %[E], %[t2]\n\t"                                                       \
          "add %[t1], %[H]\n\t"                                                              \
          "add %[t2], %[H]\n\t"                                                              \
          "add %[t0], %[H]\n\t"                                                              \
          "add %[H], %[D]\n\t"                                                               \
          "rorx $28, %[A], %[t0]\n\t"                                                        \
          "rorx $34, %[A], %[t1]\n\t"                                                        \
          "xor %[t1], %[t0]\n\t"                                                             \
          "rorx $39, %[A], %[t1]\n\t"                                                        \
          "xor %[t1], %[t0]\n\t"                                                             \
          "mov %[A], %[AB]\n\t"                                                              \
          "xor %[B], %[AB]\n\t"                                                              \
          "and %[AB], %[BC]\n\t"                                                             \
          "xor %[B], %[BC]\n\t"                                                              \
          "add %[BC], %[H]\n\t"                                                              \
          "add %[t0], %[H]"                                                                  \
          : [H] "+r"(h), [D] "+r"(d), [BC] "+r"(bc), [AB] "=&r"(ab), [t0] "=&r"(t0),          \
            [t1] "=&r"(t1), [t2] "=&r"(t2)                                                   \
          : [A] "r"(a), [B] "r"(b), [E] "r"(e), [F] "r"(f), [G] "r"(g), [w] "m"(wk)          \
          : "cc")
#else
#define SHA512_ROUND(a, b, c, d, e, f, g, h, wk, bc, ab) \
  do {                                                   \
    h += (wk) + Big1(e) + ((e & f) ^ (~e & g));          \
    d += h;                                              \
    ab = a ^ b;                                          \
    h += Big0(a) + ((ab & bc) ^ b);                      \
  } while (0)
#endif

// Eight rounds; the carried a ^ b alternates between x and y.
#define SHA512_EIGHT(W, i)                                    \
  SHA512_ROUND(a, b, c, d, e, f, g, h, W((i) + 0), x, y);     \
  SHA512_ROUND(h, a, b, c, d, e, f, g, W((i) + 1), y, x);     \
  SHA512_ROUND(g, h, a, b, c, d, e, f, W((i) + 2), x, y);     \
  SHA512_ROUND(f, g, h, a, b, c, d, e, W((i) + 3), y, x);     \
  SHA512_ROUND(e, f, g, h, a, b, c, d, W((i) + 4), x, y);     \
  SHA512_ROUND(d, e, f, g, h, a, b, c, W((i) + 5), y, x);     \
  SHA512_ROUND(c, d, e, f, g, h, a, b, W((i) + 6), x, y);     \
  SHA512_ROUND(b, c, d, e, f, g, h, a, W((i) + 7), y, x)

// Four rounds starting with a at `a` (i a multiple of 8) or at `e` (4 more).
#define SHA512_FOUR(W, i)                                       \
  if ((i) % 8 == 0) {                                           \
    SHA512_ROUND(a, b, c, d, e, f, g, h, W((i) + 0), x, y);     \
    SHA512_ROUND(h, a, b, c, d, e, f, g, W((i) + 1), y, x);     \
    SHA512_ROUND(g, h, a, b, c, d, e, f, W((i) + 2), x, y);     \
    SHA512_ROUND(f, g, h, a, b, c, d, e, W((i) + 3), y, x);     \
  } else {                                                      \
    SHA512_ROUND(e, f, g, h, a, b, c, d, W((i) + 0), x, y);     \
    SHA512_ROUND(d, e, f, g, h, a, b, c, W((i) + 1), y, x);     \
    SHA512_ROUND(c, d, e, f, g, h, a, b, W((i) + 2), x, y);     \
    SHA512_ROUND(b, c, d, e, f, g, h, a, W((i) + 3), y, x);     \
  }

// Compresses `first` and then `second` (which may be the same block, when
// only `first` is wanted; then `both` is false).
VP_SHA512_TARGET void CompressPair(std::uint64_t* chain, const std::uint8_t* first, const std::uint8_t* second,
                                   bool both, Schedule& s) {
  const auto* words = reinterpret_cast<const std::uint64_t*>(s.wk);
  // Entry [t / 2] is four words: first block t, t + 1, second block t, t + 1.
#define SHA512_WK_FIRST(t) words[4 * ((t) / 2) + ((t) % 2)]
#define SHA512_WK_SECOND(t) words[4 * ((t) / 2) + 2 + ((t) % 2)]

  __m256i w[8];  // the last sixteen schedule words of each block
  for (int j = 0; j < 8; ++j) {
    w[j] = LoadPair(first + 16 * j, second + 16 * j);
    _mm256_store_si256(&s.wk[j], _mm256_add_epi64(w[j], K2(j)));
  }

  std::uint64_t a = chain[0], b = chain[1], c = chain[2], d = chain[3];
  std::uint64_t e = chain[4], f = chain[5], g = chain[6], h = chain[7];
  std::uint64_t x = b ^ c, y;
  [[maybe_unused]] std::uint64_t t0, t1, t2;  // scratch of the written-out rounds
  // Each half group computes two schedule entries (words 16 + 4 * half ..)
  // and runs four rounds of the first block. Unrolled completely, so that
  // the ring w[] lives in registers.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 20
#elif defined(__clang__)
#pragma unroll
#endif
  for (int half = 0; half < 20; ++half) {
    if (half < 16) {
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 2
#elif defined(__clang__)
#pragma unroll
#endif
      for (int k = 0; k < 2; ++k) {
        const int j = 8 + 2 * half + k;
        // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16] for t = 2j, 2j + 1.
        const __m256i w16 = w[j % 8];
        const __m256i w15 = _mm256_alignr_epi8(w[(j + 1) % 8], w16, 8);
        const __m256i w7 = _mm256_alignr_epi8(w[(j + 5) % 8], w[(j + 4) % 8], 8);
        const __m256i next = _mm256_add_epi64(_mm256_add_epi64(Small1(w[(j + 7) % 8]), w7),
                                              _mm256_add_epi64(Small0(w15), w16));
        w[j % 8] = next;
        _mm256_store_si256(&s.wk[j], _mm256_add_epi64(next, K2(j)));
      }
    }
    SHA512_FOUR(SHA512_WK_FIRST, 4 * half);
  }
  chain[0] += a; chain[1] += b; chain[2] += c; chain[3] += d;
  chain[4] += e; chain[5] += f; chain[6] += g; chain[7] += h;
  if (!both) return;

  a = chain[0], b = chain[1], c = chain[2], d = chain[3];
  e = chain[4], f = chain[5], g = chain[6], h = chain[7];
  x = b ^ c;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 10
#elif defined(__clang__)
#pragma unroll
#endif
  for (int group = 0; group < 10; ++group) {
    SHA512_EIGHT(SHA512_WK_SECOND, 8 * group);
  }
  chain[0] += a; chain[1] += b; chain[2] += c; chain[3] += d;
  chain[4] += e; chain[5] += f; chain[6] += g; chain[7] += h;
#undef SHA512_WK_FIRST
#undef SHA512_WK_SECOND
}

#undef SHA512_EIGHT
#undef SHA512_FOUR
#undef SHA512_ROUND

}  // namespace

VP_SHA512_TARGET void Sha512CompressAvx2(std::uint64_t* chain, const std::uint8_t* blocks, std::uint32_t count) {
  Schedule s;
  for (; count >= 2; count -= 2, blocks += 256) CompressPair(chain, blocks, blocks + 128, true, s);
  if (count != 0) CompressPair(chain, blocks, blocks, false, s);
  SecureWipe(&s, sizeof s);
  // No vector register may keep its upper half in use into SSE code.
  _mm256_zeroupper();
}

}  // namespace security::x86

#endif  // VP_SECURITY_X86
