#include "source/xp/high_resolution_clock.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace xp {
namespace {

TEST(TickCountClock, MeasuresAcrossThe32BitWrap) {
  const HighResolutionClock::TickCount clock([]() -> std::uint32_t { return 0xFFFFFFCEu; });
  EXPECT_EQ(clock.now(), 0xFFFFFFCEu);  // zero-extended
  EXPECT_EQ(clock.difference(0x32u, 0xFFFFFFCEu), 100u);
  EXPECT_EQ(clock.toNanoseconds(100u), 100000000u);
}

TEST(PerformanceCounterClock, ConvertsByItsFrequencyAndReportsAFailedRead) {
  const auto counter = [](std::uint64_t* ticks) -> std::uint32_t { return *ticks = 123456789u, 0; };
  const HighResolutionClock::PerformanceCounter clock(3579545u, counter);
  EXPECT_EQ(clock.now(), 123456789u);
  EXPECT_EQ(clock.toNanoseconds(3579545u), 1000000000u);
  EXPECT_EQ(clock.toNanoseconds(1u), 279u);  // 279.36..., truncated
  EXPECT_EQ(HighResolutionClock::PerformanceCounter(10000000u, counter).toNanoseconds(12345u), 1234500u);
  // Far beyond any real uptime: saturates rather than overflowing.
  EXPECT_EQ(HighResolutionClock::PerformanceCounter(1u, counter).toNanoseconds(UINT64_MAX), UINT64_MAX);

  const HighResolutionClock::PerformanceCounter broken(1000u, [](std::uint64_t*) -> std::uint32_t { return 998; });
  try {
    broken.now();
    FAIL() << "no exception";
  } catch (const HighResolutionClock::Exception& e) {
    EXPECT_STREQ(e.what(), "QueryPerformanceCounter() failed");
    EXPECT_EQ(e.code(), 998u);
  }
}

}  // namespace
}  // namespace xp
