#include <windows.h>

#include "source/xp/platform.h"

namespace xp::platform {

char* FormatSystemMessage(std::uint32_t value) {
  char* text = nullptr;
  // FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM (0x1300),
  // neutral language with the default sublanguage (0x400).
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, value,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
  if (length == 0) return nullptr;
  return text;
}

void ReleaseSystemText(void* text) { ::LocalFree(static_cast<HLOCAL>(text)); }

}  // namespace xp::platform
