#include "security/secure_wipe.h"

#include <cstring>

namespace security {

namespace {
// Calling memset through a volatile pointer keeps the compiler from proving
// that the stores are dead; the empty asm with a memory clobber is a second
// fence for compilers that see through the pointer.
void* (*volatile wipeMemset)(void*, int, std::size_t) = std::memset;
}  // namespace

void SecureWipe(void* data, std::size_t length) noexcept {
  if (data == nullptr || length == 0) return;
  wipeMemset(data, 0, length);
#if defined(__GNUC__) || defined(__clang__)
  __asm__ __volatile__("" : : "r"(data) : "memory");
#endif
}

}  // namespace security
