#pragma once
// Memory for secrets: passwords, derived keys, key schedules, HMAC pads and
// the hash states behind them. Each block has pages of its own that are
// locked in RAM where the system allows (never written to swap) and, on
// Linux, left out of core dumps; it is wiped before it is released. Not
// being allowed to lock (a small RLIMIT_MEMLOCK, a small working set) is no
// failure: the block is then ordinary memory that is still wiped.

#include <cstddef>
#include <cstdint>

#include "security/secure_wipe.h"

namespace security {

// A block of at least `size` bytes, 16-byte aligned. Throws std::bad_alloc
// when the system has no memory for it.
void* AllocateLocked(std::size_t size);
// Wipes and releases a block of AllocateLocked; null is allowed.
void ReleaseLocked(void* block) noexcept;

// Locked memory for containers that hold secrets (SecretText).
struct LockedPages {
  static void* Allocate(std::size_t bytes) { return AllocateLocked(bytes); }
  static void Release(void* block, std::size_t) noexcept { ReleaseLocked(block); }
};
template <class T>
using LockedAllocator = SecureAllocator<T, LockedPages>;

// A base for classes whose objects hold key material: `new` places them in
// locked memory, `delete` wipes them.
struct LockedObject {
  static void* operator new(std::size_t size) { return AllocateLocked(size); }
  static void* operator new[](std::size_t size) { return AllocateLocked(size); }
  static void operator delete(void* p) noexcept { ReleaseLocked(p); }
  static void operator delete[](void* p) noexcept { ReleaseLocked(p); }
};

// An owned array of bytes in locked memory, zeroed when made.
class LockedBytes {
 public:
  explicit LockedBytes(std::size_t size) : bytes_(static_cast<std::uint8_t*>(AllocateLocked(size))), size_(size) {}
  ~LockedBytes() { ReleaseLocked(bytes_); }
  LockedBytes(const LockedBytes&) = delete;
  LockedBytes& operator=(const LockedBytes&) = delete;

  std::uint8_t* get() const { return bytes_; }
  std::uint8_t& operator[](std::size_t i) const { return bytes_[i]; }
  std::size_t size() const { return size_; }

 private:
  std::uint8_t* bytes_;
  std::size_t size_;
};

}  // namespace security
