// SHA-512 compression with AVX-512 (on 256-bit registers) and BMI2 (see
// sha512_pair.inc): the schedule's rotations are single instructions and
// each sigma function folds its three terms in one ternary-logic step, which
// leaves more of the processor to the scalar rounds.

#include "security/x86/x86_kernels.h"

#ifdef VP_SECURITY_X86

#include <immintrin.h>

#include <bit>

#include "security/secure_wipe.h"

#if defined(__GNUC__) || defined(__clang__)
#define VP_SHA512_TARGET __attribute__((target("avx2,bmi,bmi2,avx512f,avx512vl")))
#else
#define VP_SHA512_TARGET
#endif
#define VP_SHA512_FUNCTION Sha512CompressAvx512

namespace security::x86 {
namespace {

VP_SHA512_TARGET inline __m256i Small0(__m256i x) {
  return _mm256_ternarylogic_epi64(_mm256_ror_epi64(x, 1), _mm256_ror_epi64(x, 8), _mm256_srli_epi64(x, 7), 0x96);
}

VP_SHA512_TARGET inline __m256i Small1(__m256i x) {
  return _mm256_ternarylogic_epi64(_mm256_ror_epi64(x, 19), _mm256_ror_epi64(x, 61), _mm256_srli_epi64(x, 6), 0x96);
}

}  // namespace

#include "security/x86/sha512_pair.inc"

}  // namespace security::x86

#endif  // VP_SECURITY_X86
