#include "source/xp/high_resolution_clock.h"

#include <windows.h>

namespace xp {
namespace {

std::uint32_t ReadPerformanceCounter(std::uint64_t* ticks) {
  LARGE_INTEGER value;
  if (!::QueryPerformanceCounter(&value)) return ::GetLastError();
  *ticks = static_cast<std::uint64_t>(value.QuadPart);
  return 0;
}

std::uint32_t ReadTickCount() { return ::GetTickCount(); }

}  // namespace

const HighResolutionClock::Implementation* HighResolutionClock::CreatePlatformClock() {
  LARGE_INTEGER frequency;
  if (::QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) {
    static const PerformanceCounter counter(static_cast<std::uint64_t>(frequency.QuadPart), ReadPerformanceCounter);
    return &counter;
  }
  static const TickCount tickCount(ReadTickCount);
  return &tickCount;
}

}  // namespace xp
