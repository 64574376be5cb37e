#include "source/xp/high_resolution_clock.h"

namespace xp {

std::uint64_t HighResolutionClock::PerformanceCounter::now() const {
  std::uint64_t ticks = 0;
  const std::uint32_t error = reader_(&ticks);
  if (error != 0) throw Exception("QueryPerformanceCounter() failed", error);
  return ticks;
}

std::uint64_t HighResolutionClock::PerformanceCounter::toNanoseconds(std::uint64_t ticks) const {
  if (frequency_ == 0) return 0;
  const double nanoseconds = static_cast<double>(ticks) * 1e9 / static_cast<double>(frequency_);
  // 2^64 as a double; anything at or above it has no 64-bit value.
  constexpr double kLimit = 18446744073709551616.0;
  if (nanoseconds >= kLimit) return UINT64_MAX;
  return static_cast<std::uint64_t>(nanoseconds);
}

}  // namespace xp
