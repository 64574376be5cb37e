#include "source/xp/high_resolution_clock.h"

#include <time.h>

namespace xp {
namespace {

// CLOCK_MONOTONIC in nanoseconds: never goes back, never wraps in practice.
class MonotonicClock : public HighResolutionClock::Implementation {
 public:
  std::uint64_t now() const override {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u + static_cast<std::uint64_t>(ts.tv_nsec);
  }
  std::uint64_t frequency() const override { return 1000000000u; }
  std::uint64_t toNanoseconds(std::uint64_t ticks) const override { return ticks; }
  std::uint64_t difference(std::uint64_t later, std::uint64_t earlier) const override { return later - earlier; }
};

}  // namespace

const HighResolutionClock::Implementation* HighResolutionClock::CreatePlatformClock() {
  static const MonotonicClock clock;
  return &clock;
}

}  // namespace xp
