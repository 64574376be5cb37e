#include "source/xp/spin_lock.h"

#include "source/xp/platform.h"

namespace xp {
namespace {

// The back-off generator's seed, shared by every lock of the module.
std::atomic<std::uint32_t> backOffSeed{20211u};

}  // namespace

std::uint32_t SpinLock::RandomBackOff(std::uint32_t& seed) noexcept {
  seed = static_cast<std::uint32_t>((static_cast<std::uint64_t>(seed) * 48271u) % 2147483647u);
  const std::uint32_t bits = (seed >> 16) & 0x7FFFu;
  return bits % kMaxBackOff + 1;
}

std::uint32_t SpinLock::NextEstimate(std::uint32_t estimate, std::uint32_t b, std::uint32_t steps) noexcept {
  if (b <= estimate) return estimate / 2;
  if (steps == 0) return estimate;
  // 2^steps, without shifting past the width; anything from 2^5 on is above the cap.
  const std::uint32_t grown = steps >= 5 ? kMaxBackOff + 1 : estimate + (1u << steps);
  return grown > kMaxBackOff ? kMaxBackOff : grown;
}

void SpinLock::lock() noexcept {
  std::uint32_t b = backOffEstimate.load(std::memory_order_relaxed);
  std::uint32_t steps = 0;
  for (;;) {
    for (std::uint32_t i = 0; i < spinCount; ++i) {
      if (lockWord.load(std::memory_order_relaxed) == 0) {
        if (tryLock()) {
          const std::uint32_t estimate = backOffEstimate.load(std::memory_order_relaxed);
          backOffEstimate.store(NextEstimate(estimate, b, steps), std::memory_order_relaxed);
          return;
        }
      }
    }
    // Spun out: back off.
    if (b == 0) {
      b = 1;
    } else if (steps > 0) {
      b *= 2;
    }
    if (b > kMaxBackOff) {
      std::uint32_t seed = backOffSeed.load(std::memory_order_relaxed);
      b = RandomBackOff(seed);
      backOffSeed.store(seed, std::memory_order_relaxed);
    }
    for (std::uint32_t i = 0; i < b; ++i) platform::YieldThread();
    ++steps;
  }
}

}  // namespace xp
