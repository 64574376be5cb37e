#pragma once
// Monotonic clock of the support library. One process-wide implementation is
// chosen when the module loads: the performance counter when the platform
// has one, else the 32-bit millisecond tick count (Windows), or the
// monotonic clock (POSIX).

#include <cstdint>

#include "source/xp/xp_exception.h"

namespace xp {

class HighResolutionClock {
 public:
  class Exception : public XPException {
   public:
    using XPException::XPException;
  };

  class Implementation {
   public:
    virtual ~Implementation() = default;
    // The current reading in ticks.
    virtual std::uint64_t now() const = 0;
    // Ticks per second.
    virtual std::uint64_t frequency() const = 0;
    // A tick count in nanoseconds.
    virtual std::uint64_t toNanoseconds(std::uint64_t ticks) const = 0;
    // Ticks elapsed from the earlier to the later reading.
    virtual std::uint64_t difference(std::uint64_t later, std::uint64_t earlier) const = 0;
  };

  // QueryPerformanceCounter-style counter with a fixed frequency.
  class PerformanceCounter : public Implementation {
   public:
    // Reads the counter into *ticks; returns 0 or the error code.
    using Reader = std::uint32_t (*)(std::uint64_t* ticks);
    PerformanceCounter(std::uint64_t frequency, Reader reader) : frequency_(frequency), reader_(reader) {}
    // Throws Exception ("QueryPerformanceCounter() failed") when the read fails.
    std::uint64_t now() const override;
    std::uint64_t frequency() const override { return frequency_; }
    // ticks * 1e9 / frequency in double precision, truncated; saturates at the
    // largest 64-bit value instead of overflowing.
    std::uint64_t toNanoseconds(std::uint64_t ticks) const override;
    std::uint64_t difference(std::uint64_t later, std::uint64_t earlier) const override { return later - earlier; }

   private:
    std::uint64_t frequency_;
    Reader reader_;
  };

  // A 32-bit millisecond counter that wraps after about 49.7 days.
  class TickCount : public Implementation {
   public:
    using Reader = std::uint32_t (*)();
    explicit TickCount(Reader reader) : reader_(reader) {}
    std::uint64_t now() const override { return reader_(); }
    std::uint64_t frequency() const override { return 1000; }
    std::uint64_t toNanoseconds(std::uint64_t ticks) const override { return ticks * 1000000u; }
    // Later minus earlier modulo 2^32, so one wrap between them is harmless.
    std::uint64_t difference(std::uint64_t later, std::uint64_t earlier) const override {
      return static_cast<std::uint32_t>(later - earlier);
    }

   private:
    Reader reader_;
  };

  // The process-wide implementation, chosen when the module loaded.
  static const Implementation& instance();
  // The current reading of the process-wide implementation, in its ticks.
  static std::uint64_t now() { return instance().now(); }
  // Nanoseconds elapsed since an earlier reading of now().
  static std::uint64_t nanosecondsSince(std::uint64_t earlier) {
    const Implementation& clock = instance();
    return clock.toNanoseconds(clock.difference(clock.now(), earlier));
  }

  // Chooses the platform's implementation (called once, at module load).
  static const Implementation* CreatePlatformClock();
};

}  // namespace xp
