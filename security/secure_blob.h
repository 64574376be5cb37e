#pragma once
// An owned block of locked memory for secret bytes (salts, keys), wiped
// before it is released. Behind the bytes it keeps 5 spare bytes, the first 4 of which
// PBKDF2 uses for the block index, so salt and index can be hashed in one go.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "security/locked_memory.h"

namespace security {

class SecureBlob {
 public:
  static constexpr std::uint32_t kSpareBytes = 5;

  // Copies `length` bytes from `data` (which may be null when `length` is 0).
  // Throws std::bad_alloc when the memory cannot be had.
  SecureBlob(const void* data, std::uint32_t length);
  ~SecureBlob();
  SecureBlob(const SecureBlob&) = delete;
  SecureBlob& operator=(const SecureBlob&) = delete;

  std::uint32_t Size() const { return size_; }
  std::uint8_t* Data() { return block_.get() + kPrefixBytes; }
  const std::uint8_t* Data() const { return block_.get() + kPrefixBytes; }
  // The spare bytes directly behind the data.
  std::uint8_t* Spare() { return Data() + size_; }

 private:
  static constexpr std::uint32_t kPrefixBytes = 4;  // the length, little-endian

  std::size_t BlockSize() const { return std::size_t{size_} + kPrefixBytes + kSpareBytes; }

  std::uint32_t size_;
  LockedBytes block_;
};

}  // namespace security
