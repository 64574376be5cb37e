#include "security/kernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "security/x86/x86_kernels.h"

namespace security {
namespace detail {
namespace {

constexpr Kernels kPortable = {Sha1CompressPortable, Sha256CompressPortable, Sha512CompressPortable, nullptr,
                               "portable"};

#ifdef VP_SECURITY_X86
#if defined(__x86_64__) || defined(_M_X64)
constexpr bool kSixtyFourBit = true;
#else
constexpr bool kSixtyFourBit = false;
#endif

constexpr AesKernels kAesNi = {x86::AesNiExpandKey, x86::AesNiEncryptEcb, x86::AesNiDecryptEcb, x86::AesNiEncryptCbcStored,
                               x86::AesNiDecryptCbcStored};
#if defined(__x86_64__) || defined(_M_X64)
// CBC decryption, the reader's bulk work, two blocks per instruction.
constexpr AesKernels kAesVaes = {x86::AesNiExpandKey, x86::AesNiEncryptEcb, x86::AesNiDecryptEcb, x86::AesNiEncryptCbcStored,
                                 x86::AesVaesDecryptCbcStored};
#endif
#endif

// What this processor offers, each primitive on its own.
Kernels ProcessorKernels() {
  Kernels k = kPortable;
#ifdef VP_SECURITY_X86
  static std::string name;
  const x86::Features f = x86::Detect();
  name.clear();
  if (f.aes && f.ssse3) {
    k.aes = &kAesNi;
    name += " aes-ni";
#if defined(__x86_64__) || defined(_M_X64)
    if (f.vaes) {
      k.aes = &kAesVaes;
      name += " vaes";
    }
#endif
  }
  if (f.sha && f.ssse3 && f.sse41) {
    k.sha1 = x86::Sha1CompressShaNi;
    k.sha256 = x86::Sha256CompressShaNi;
    name += " sha1-ni sha256-ni";
  }
  // The SHA-512 rounds gain from 64-bit registers; a 32-bit build keeps the
  // portable code for them.
  if (kSixtyFourBit && f.avx512vl && f.bmi2) {
    k.sha512 = x86::Sha512CompressAvx512;
    name += " sha512-avx512";
  } else if (kSixtyFourBit && f.avx2 && f.bmi2) {
    k.sha512 = x86::Sha512CompressAvx2;
    name += " sha512-avx2";
  }
  if (!name.empty()) k.name = name.c_str() + 1;
#endif
  return k;
}

bool PortableRequested() {
  const char* value = std::getenv("VAULTPOST_PORTABLE_CRYPTO");
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

std::atomic<bool> forcedPortable{false};

}  // namespace

const Kernels& ActiveKernels() {
  // Built once; the environment is read once.
  static const Kernels processor = PortableRequested() ? kPortable : ProcessorKernels();
  return forcedPortable.load(std::memory_order_relaxed) ? kPortable : processor;
}

}  // namespace detail

void ForcePortableCrypto(bool force) { detail::forcedPortable.store(force, std::memory_order_relaxed); }

const char* CryptoImplementation() { return detail::ActiveKernels().name; }

}  // namespace security
