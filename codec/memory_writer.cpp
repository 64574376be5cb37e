#include "codec/memory_writer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace codec {

MemoryWriter::MemoryWriter(std::uint32_t initialCapacity) {
  if (initialCapacity > 0) {
    buffer_ = static_cast<std::uint8_t*>(std::malloc(initialCapacity));
    capacity_ = buffer_ != nullptr ? initialCapacity : 0;
  }
}

MemoryWriter::MemoryWriter(std::uint8_t* buffer, std::uint32_t capacity)
    : buffer_(buffer), capacity_(buffer != nullptr ? capacity : 0), owned_(false) {}

MemoryWriter::~MemoryWriter() {
  if (owned_) {
    std::free(buffer_);
  }
}

bool MemoryWriter::Write(const void* data, std::uint32_t length) {
  if (length == 0) {
    return true;
  }
  if (data == nullptr) {
    return false;
  }
  constexpr std::uint64_t kLimit = std::numeric_limits<std::uint32_t>::max();
  const std::uint64_t needed = std::uint64_t{used_} + length;
  if (needed > capacity_) {
    if (!owned_ || needed > kLimit) {
      return false;
    }
    const std::uint64_t grown = needed * 2 > kLimit ? kLimit : needed * 2;
    void* bigger = std::realloc(buffer_, static_cast<std::size_t>(grown));
    if (bigger == nullptr) {
      return false;
    }
    buffer_ = static_cast<std::uint8_t*>(bigger);
    capacity_ = static_cast<std::uint32_t>(grown);
  }
  std::memcpy(buffer_ + used_, data, length);
  used_ += length;
  return true;
}

}  // namespace codec
