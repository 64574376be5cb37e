#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "source/xp/platform.h"

namespace xp::platform {
namespace {

constexpr std::size_t kTextCapacity = 256;

// strerror_r comes in two shapes: the XSI one fills the buffer and returns 0,
// the GNU one returns the text (which may or may not be the buffer).
[[maybe_unused]] const char* Pick(int result, const char* buffer) { return result == 0 ? buffer : nullptr; }
[[maybe_unused]] const char* Pick(const char* result, const char*) { return result; }

}  // namespace

char* FormatSystemMessage(std::uint32_t value) {
  auto* buffer = static_cast<char*>(std::malloc(kTextCapacity));
  if (buffer == nullptr) return nullptr;
  buffer[0] = '\0';
  const char* text = Pick(::strerror_r(static_cast<int>(value), buffer, kTextCapacity), buffer);
  if (text == nullptr) {
    std::free(buffer);
    return nullptr;
  }
  if (text != buffer) std::snprintf(buffer, kTextCapacity, "%s", text);
  return buffer;
}

void ReleaseSystemText(void* text) { std::free(text); }

}  // namespace xp::platform
