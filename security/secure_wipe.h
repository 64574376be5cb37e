#pragma once
// Overwriting of key material that the optimiser may not drop.

#include <cstddef>
#include <cstdint>
#include <new>

namespace security {

// Overwrites `length` bytes at `data` with zeros. The stores are performed even
// when the memory is released right afterwards. `data` may be null when
// `length` is 0.
void SecureWipe(void* data, std::size_t length) noexcept;

// The allocator of containers that hold secrets or decoded text, over
// `Memory`'s Allocate(bytes) and Release(block, bytes), which wipes.
template <class T, class Memory>
struct SecureAllocator {
  using value_type = T;
  SecureAllocator() = default;
  template <class U>
  SecureAllocator(const SecureAllocator<U, Memory>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(Memory::Allocate(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { Memory::Release(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const SecureAllocator<U, Memory>&) const noexcept {
    return true;
  }
};

// The heap, wiping every block before giving it back (for decoded text, too
// much for locked memory).
struct WipedHeap {
  static void* Allocate(std::size_t bytes) { return ::operator new(bytes); }
  static void Release(void* block, std::size_t bytes) noexcept {
    SecureWipe(block, bytes);
    ::operator delete(block);
  }
};
template <class T>
using WipingAllocator = SecureAllocator<T, WipedHeap>;

// An owned heap array of bytes (decoded plaintext) that is wiped before it
// is released.
class WipedBytes {
 public:
  explicit WipedBytes(std::size_t size) : bytes_(new std::uint8_t[size]), size_(size) {}
  ~WipedBytes() {
    SecureWipe(bytes_, size_);
    delete[] bytes_;
  }
  WipedBytes(const WipedBytes&) = delete;
  WipedBytes& operator=(const WipedBytes&) = delete;

  std::uint8_t* get() const { return bytes_; }

 private:
  std::uint8_t* bytes_;
  std::size_t size_;
};

}  // namespace security
