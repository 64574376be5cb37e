#include "security/x86/x86_kernels.h"

#ifdef VP_SECURITY_X86

#if defined(_MSC_VER) && !defined(__clang__)
#include <immintrin.h>
#include <intrin.h>
#else
#include <cpuid.h>
#endif

namespace security::x86 {
namespace {

struct Registers {
  std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

Registers Cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  Registers r;
#if defined(_MSC_VER) && !defined(__clang__)
  int out[4];
  __cpuidex(out, static_cast<int>(leaf), static_cast<int>(subleaf));
  r.eax = static_cast<std::uint32_t>(out[0]);
  r.ebx = static_cast<std::uint32_t>(out[1]);
  r.ecx = static_cast<std::uint32_t>(out[2]);
  r.edx = static_cast<std::uint32_t>(out[3]);
#else
  if (__get_cpuid_max(leaf & 0x80000000u, nullptr) < leaf) return r;
  __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
  return r;
}

// XCR0: which register states the operating system saves on a switch.
std::uint64_t EnabledRegisterState() {
#if defined(_MSC_VER) && !defined(__clang__)
  return _xgetbv(0);
#else
  std::uint32_t low = 0, high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (std::uint64_t{high} << 32) | low;
#endif
}

constexpr bool Bit(std::uint32_t word, unsigned bit) { return ((word >> bit) & 1u) != 0; }

}  // namespace

Features Detect() {
  Features f;
  const Registers basic = Cpuid(0, 0);
  if (basic.eax < 1) return f;
  const Registers one = Cpuid(1, 0);
  f.ssse3 = Bit(one.ecx, 9);
  f.sse41 = Bit(one.ecx, 19);
  f.aes = Bit(one.ecx, 25);
  const bool osxsave = Bit(one.ecx, 27);
  const bool avx = Bit(one.ecx, 28);
  if (basic.eax >= 7) {
    const Registers seven = Cpuid(7, 0);
    f.sha = Bit(seven.ebx, 29);
    f.bmi2 = Bit(seven.ebx, 8);
    // AVX2 needs the operating system to save the SSE and AVX states,
    // AVX-512 also the mask and upper register states.
    const std::uint64_t saved = osxsave && avx ? EnabledRegisterState() : 0;
    f.avx2 = (saved & 0x6) == 0x6 && Bit(seven.ebx, 5);
    f.avx512vl = f.avx2 && (saved & 0xE6) == 0xE6 && Bit(seven.ebx, 16) && Bit(seven.ebx, 31);
    f.vaes = f.avx2 && f.aes && Bit(seven.ecx, 9);
  }
  return f;
}

}  // namespace security::x86

#endif  // VP_SECURITY_X86
