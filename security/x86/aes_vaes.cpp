// AES CBC decryption with VAES: the AES round instructions on 256-bit
// registers, two blocks each, sixteen blocks in flight (64-bit builds only:
// they need the sixteen vector registers). CBC decryption is parallel; each
// block's plaintext is XORed with the ciphertext before it, which for a pair
// of blocks is one lane exchange away. Results equal AesNiDecryptCbcStored.

#include "security/x86/x86_kernels.h"

#if defined(VP_SECURITY_X86) && (defined(__x86_64__) || defined(_M_X64))

#include <immintrin.h>

#if defined(__GNUC__) || defined(__clang__)
#define VP_VAES_TARGET __attribute__((target("vaes,avx2,aes,ssse3")))
#else
#define VP_VAES_TARGET
#endif

namespace security::x86 {
namespace {

constexpr std::uint32_t kPairs = 8;  // 16 blocks per round of the loop

VP_VAES_TARGET inline __m256i Load2(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

VP_VAES_TARGET inline void Store2(std::uint8_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// The round key `r` in both lanes.
VP_VAES_TARGET inline __m256i Key2(const std::uint8_t* roundKeys, std::uint32_t r) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(roundKeys + 16 * r)));
}

}  // namespace

VP_VAES_TARGET void AesVaesDecryptCbcStored(const std::uint8_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain,
                                            const std::uint8_t* in, std::uint8_t* out, std::uint32_t blocks) {
  // Reverses each 4-byte group (stored <-> natural order), in both lanes.
  const __m256i swap = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12,  //
                                        3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
  // The ciphertext block before the next one, in the high lane.
  __m256i previous = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(chain)));
  previous = _mm256_permute2x128_si256(previous, previous, 0x00);
  for (; blocks >= 2 * kPairs; blocks -= 2 * kPairs, in += 32 * kPairs, out += 32 * kPairs) {
    __m256i c[kPairs], x[kPairs];
    for (std::uint32_t i = 0; i < kPairs; ++i) c[i] = _mm256_shuffle_epi8(Load2(in + 32 * i), swap);
    const __m256i k0 = Key2(roundKeys, 0);
    for (std::uint32_t i = 0; i < kPairs; ++i) x[i] = _mm256_xor_si256(c[i], k0);
    for (std::uint32_t r = 1; r < rounds; ++r) {
      const __m256i k = Key2(roundKeys, r);
      for (std::uint32_t i = 0; i < kPairs; ++i) x[i] = _mm256_aesdec_epi128(x[i], k);
    }
    const __m256i last = Key2(roundKeys, rounds);
    for (std::uint32_t i = 0; i < kPairs; ++i) x[i] = _mm256_aesdeclast_epi128(x[i], last);
    // Pair i needs (high block of pair i - 1, low block of pair i).
    Store2(out, _mm256_xor_si256(x[0], _mm256_permute2x128_si256(previous, c[0], 0x21)));
    for (std::uint32_t i = 1; i < kPairs; ++i) {
      Store2(out + 32 * i, _mm256_xor_si256(x[i], _mm256_permute2x128_si256(c[i - 1], c[i], 0x21)));
    }
    previous = c[kPairs - 1];
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(chain), _mm256_extracti128_si256(previous, 1));
  _mm256_zeroupper();
  // The last few blocks one at a time.
  if (blocks != 0) AesNiDecryptCbcStored(roundKeys, rounds, chain, in, out, blocks);
}

}  // namespace security::x86

#endif
