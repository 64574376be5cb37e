#include "source/xp/high_resolution_clock.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace xp {
namespace {

std::uint32_t FixedTick() { return 0xFFFFFFCEu; }

TEST(TickCountClock, MeasuresAcrossThe32BitWrap) {
  const HighResolutionClock::TickCount clock(FixedTick);
  EXPECT_EQ(clock.now(), 0xFFFFFFCEu);  // zero-extended
  EXPECT_EQ(clock.frequency(), 1000u);
  EXPECT_EQ(clock.difference(0x32u, 0xFFFFFFCEu), 100u);
  EXPECT_EQ(clock.difference(0x32u, 0x32u), 0u);
  EXPECT_EQ(clock.difference(5000u, 1000u), 4000u);
  EXPECT_EQ(clock.toNanoseconds(clock.difference(0x32u, 0xFFFFFFCEu)), 100000000u);
}

std::uint32_t CounterAt(std::uint64_t* ticks) {
  *ticks = 123456789u;
  return 0;
}
std::uint32_t BrokenCounter(std::uint64_t*) { return 998; }

TEST(PerformanceCounterClock, ConvertsByItsFrequency) {
  const HighResolutionClock::PerformanceCounter clock(3579545u, CounterAt);
  EXPECT_EQ(clock.now(), 123456789u);
  EXPECT_EQ(clock.frequency(), 3579545u);
  EXPECT_EQ(clock.toNanoseconds(3579545u), 1000000000u);
  EXPECT_EQ(clock.toNanoseconds(1u), 279u);  // 279.36..., truncated
  EXPECT_EQ(clock.difference(10u, 4u), 6u);

  const HighResolutionClock::PerformanceCounter ten(10000000u, CounterAt);
  EXPECT_EQ(ten.toNanoseconds(12345u), 1234500u);
  // Far beyond any real uptime: saturates rather than overflowing.
  EXPECT_EQ(HighResolutionClock::PerformanceCounter(1u, CounterAt).toNanoseconds(UINT64_MAX), UINT64_MAX);
}

TEST(PerformanceCounterClock, FailingReadThrowsWithTheErrorCode) {
  const HighResolutionClock::PerformanceCounter clock(1000u, BrokenCounter);
  try {
    clock.now();
    FAIL() << "no exception";
  } catch (const HighResolutionClock::Exception& e) {
    EXPECT_STREQ(e.what(), "QueryPerformanceCounter() failed");
    EXPECT_EQ(e.code(), 998u);
  }
}

TEST(HighResolutionClock, ProcessClockIsMonotonicNanoseconds) {
  const auto& clock = HighResolutionClock::instance();
  EXPECT_EQ(clock.frequency(), 1000000000u);
  const std::uint64_t first = HighResolutionClock::now();
  const std::uint64_t second = HighResolutionClock::now();
  EXPECT_GE(second, first);
  EXPECT_LT(HighResolutionClock::nanosecondsSince(first), 60ull * 1000000000u);  // generous bound
}

}  // namespace
}  // namespace xp
