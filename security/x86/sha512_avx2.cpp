// SHA-512 compression with AVX2 and BMI2 (see sha512_pair.inc): the
// schedule's rotations are shifts and ors.

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
#define VP_SHA512_FUNCTION Sha512CompressAvx2

namespace security::x86 {
namespace {

VP_SHA512_TARGET inline __m256i Rotr(__m256i x, int n) {
  return _mm256_or_si256(_mm256_srli_epi64(x, n), _mm256_slli_epi64(x, 64 - n));
}

VP_SHA512_TARGET inline __m256i Small0(__m256i x) {
  return _mm256_xor_si256(_mm256_xor_si256(Rotr(x, 1), Rotr(x, 8)), _mm256_srli_epi64(x, 7));
}

VP_SHA512_TARGET inline __m256i Small1(__m256i x) {
  return _mm256_xor_si256(_mm256_xor_si256(Rotr(x, 19), Rotr(x, 61)), _mm256_srli_epi64(x, 6));
}

}  // namespace

#include "security/x86/sha512_pair.inc"

}  // namespace security::x86

#endif  // VP_SECURITY_X86
