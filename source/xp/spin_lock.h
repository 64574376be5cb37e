#pragma once
// The spin lock of the shared-variable registry and the debug-log state:
// spin on the lock word, then back off by yielding a growing number of
// times, remembering how much back-off the last acquisition needed.

#include <atomic>
#include <cstdint>

namespace xp {

struct SpinLock {
  static constexpr std::uint32_t kSpinCount = 100;
  // Yields per back-off step never exceed this; beyond it they are drawn at random.
  static constexpr std::uint32_t kMaxBackOff = 20;

  std::atomic<std::uint32_t> lockWord{0};  // 0 free, 1 held
  std::uint32_t spinCount = kSpinCount;
  std::atomic<std::uint32_t> backOffEstimate{0};

  void lock() noexcept;
  bool tryLock() noexcept { return lockWord.exchange(1, std::memory_order_acquire) == 0; }
  void unlock() noexcept { lockWord.exchange(0, std::memory_order_release); }

  // The estimate after an acquisition that used back-off b and took `steps`
  // back-off steps.
  static std::uint32_t NextEstimate(std::uint32_t estimate, std::uint32_t b, std::uint32_t steps) noexcept;
  // Yields for a back-off step beyond kMaxBackOff: 1 to 20, from a
  // minimal-standard generator (multiplier 48271, modulus 2^31-1) whose 15
  // bits above bit 16 are used. seed is advanced.
  static std::uint32_t RandomBackOff(std::uint32_t& seed) noexcept;
};
static_assert(sizeof(SpinLock) == 12);

// Scoped holder.
class SpinLockGuard {
 public:
  explicit SpinLockGuard(SpinLock& lock) noexcept : lock_(lock) { lock_.lock(); }
  ~SpinLockGuard() { lock_.unlock(); }
  SpinLockGuard(const SpinLockGuard&) = delete;
  SpinLockGuard& operator=(const SpinLockGuard&) = delete;

 private:
  SpinLock& lock_;
};

}  // namespace xp
