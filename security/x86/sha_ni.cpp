// SHA-1 and SHA-256 compression with the SHA extensions. The message
// schedule runs in four vector registers of four words each, one step ahead
// of the rounds that consume it.

#include "security/x86/x86_kernels.h"

#ifdef VP_SECURITY_X86

#include <immintrin.h>

#if defined(__GNUC__) || defined(__clang__)
#define VP_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))
#else
#define VP_SHA_TARGET
#endif

namespace security::x86 {
namespace {

alignas(16) constexpr std::uint32_t kK256[64] = {
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

VP_SHA_TARGET inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }

// One group of four SHA-256 rounds, i = 0..15, with the schedule vectors
// w[i % 4]: adds the round constants, runs the rounds, and meanwhile
// finishes w[i + 1] (message words 4i+4..4i+7) and starts w[i + 3].
#define SHA256_GROUP(i)                                                                     \
  do {                                                                                      \
    __m128i m = _mm_add_epi32(w[(i) % 4], Load(kK256 + 4 * (i)));                           \
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, m);                                            \
    if ((i) >= 3 && (i) <= 14) {                                                            \
      const __m128i t = _mm_alignr_epi8(w[(i) % 4], w[((i) + 3) % 4], 4);                   \
      w[((i) + 1) % 4] = _mm_sha256msg2_epu32(_mm_add_epi32(w[((i) + 1) % 4], t), w[(i) % 4]); \
    }                                                                                       \
    m = _mm_shuffle_epi32(m, 0x0E);                                                         \
    abef = _mm_sha256rnds2_epu32(abef, cdgh, m);                                            \
    if ((i) >= 1 && (i) <= 12) w[((i) + 3) % 4] = _mm_sha256msg1_epu32(w[((i) + 3) % 4], w[(i) % 4]); \
  } while (0)

// One group of four SHA-1 rounds, i = 0..19: e[i % 2] carries the E value
// into the rounds, e[(i + 1) % 2] saves the state for the next group.
#define SHA1_GROUP(i)                                                                       \
  do {                                                                                      \
    if ((i) == 0) {                                                                         \
      e[0] = _mm_add_epi32(e[0], w[0]);                                                     \
    } else {                                                                                \
      e[(i) % 2] = _mm_sha1nexte_epu32(e[(i) % 2], w[(i) % 4]);                             \
    }                                                                                       \
    e[((i) + 1) % 2] = abcd;                                                                \
    if ((i) >= 3 && (i) <= 18) w[((i) + 1) % 4] = _mm_sha1msg2_epu32(w[((i) + 1) % 4], w[(i) % 4]); \
    abcd = _mm_sha1rnds4_epu32(abcd, e[(i) % 2], (i) / 5);                                  \
    if ((i) >= 1 && (i) <= 16) w[((i) + 3) % 4] = _mm_sha1msg1_epu32(w[((i) + 3) % 4], w[(i) % 4]); \
    if ((i) >= 2 && (i) <= 17) w[((i) + 2) % 4] = _mm_xor_si128(w[((i) + 2) % 4], w[(i) % 4]); \
  } while (0)

}  // namespace

VP_SHA_TARGET void Sha256CompressShaNi(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  // The rounds want the state as ABEF and CDGH.
  const __m128i dcba = _mm_shuffle_epi32(Load(chain), 0xB1);      // CDAB
  const __m128i efgh = _mm_shuffle_epi32(Load(chain + 4), 0x1B);  // EFGH
  __m128i abef = _mm_alignr_epi8(dcba, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, dcba, 0xF0);
  for (; count != 0; --count, blocks += 64) {
    const __m128i abefSaved = abef, cdghSaved = cdgh;
    __m128i w[4];
    for (int j = 0; j < 4; ++j) w[j] = _mm_shuffle_epi8(Load(blocks + 16 * j), byteSwap);
    SHA256_GROUP(0);
    SHA256_GROUP(1);
    SHA256_GROUP(2);
    SHA256_GROUP(3);
    SHA256_GROUP(4);
    SHA256_GROUP(5);
    SHA256_GROUP(6);
    SHA256_GROUP(7);
    SHA256_GROUP(8);
    SHA256_GROUP(9);
    SHA256_GROUP(10);
    SHA256_GROUP(11);
    SHA256_GROUP(12);
    SHA256_GROUP(13);
    SHA256_GROUP(14);
    SHA256_GROUP(15);
    abef = _mm_add_epi32(abef, abefSaved);
    cdgh = _mm_add_epi32(cdgh, cdghSaved);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(chain), _mm_blend_epi16(feba, dchg, 0xF0));     // DCBA
  _mm_storeu_si128(reinterpret_cast<__m128i*>(chain + 4), _mm_alignr_epi8(dchg, feba, 8));  // HGFE
}

VP_SHA_TARGET void Sha1CompressShaNi(std::uint32_t* chain, const std::uint8_t* blocks, std::uint32_t count) {
  const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  __m128i abcd = _mm_shuffle_epi32(Load(chain), 0x1B);
  __m128i e0 = _mm_set_epi32(static_cast<int>(chain[4]), 0, 0, 0);
  for (; count != 0; --count, blocks += 64) {
    const __m128i abcdSaved = abcd, eSaved = e0;
    __m128i w[4], e[2];
    e[0] = e0;
    for (int j = 0; j < 4; ++j) w[j] = _mm_shuffle_epi8(Load(blocks + 16 * j), byteSwap);
    SHA1_GROUP(0);
    SHA1_GROUP(1);
    SHA1_GROUP(2);
    SHA1_GROUP(3);
    SHA1_GROUP(4);
    SHA1_GROUP(5);
    SHA1_GROUP(6);
    SHA1_GROUP(7);
    SHA1_GROUP(8);
    SHA1_GROUP(9);
    SHA1_GROUP(10);
    SHA1_GROUP(11);
    SHA1_GROUP(12);
    SHA1_GROUP(13);
    SHA1_GROUP(14);
    SHA1_GROUP(15);
    SHA1_GROUP(16);
    SHA1_GROUP(17);
    SHA1_GROUP(18);
    SHA1_GROUP(19);
    // After group 19, e[0] holds the state before the last four rounds.
    e0 = _mm_sha1nexte_epu32(e[0], eSaved);
    abcd = _mm_add_epi32(abcd, abcdSaved);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(chain), _mm_shuffle_epi32(abcd, 0x1B));
  chain[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e0, 3));
}

#undef SHA256_GROUP
#undef SHA1_GROUP

}  // namespace security::x86

#endif  // VP_SECURITY_X86
