#pragma once
// Overwriting of key material that the optimiser may not drop.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace security {

// Overwrites `length` bytes at `data` with zeros. The stores are performed even
// when the memory is released right afterwards. `data` may be null when
// `length` is 0.
void SecureWipe(void* data, std::size_t length) noexcept;

// An allocator that wipes every block before giving it back (for containers
// of plaintext, too large for locked memory).
template <class T>
struct WipingAllocator {
  using value_type = T;
  WipingAllocator() = default;
  template <class U>
  WipingAllocator(const WipingAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, std::size_t n) noexcept {
    SecureWipe(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }
  template <class U>
  bool operator==(const WipingAllocator<U>&) const noexcept {
    return true;
  }
};

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
