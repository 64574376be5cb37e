#pragma once
// A sink that collects bytes in a buffer in memory.

#include <cstdint>

#include "codec/vp_writer.h"

namespace codec {

// An owned buffer comes from malloc, doubles on growth (so appending in pieces
// costs amortised linear time) and is freed with the writer. An unowned writer
// fills a caller's buffer and fails once it is full.
class MemoryWriter final : public VPWriter {
 public:
  // Owned buffer of `initialCapacity` bytes. When that allocation fails the
  // writer starts with capacity 0 and grows on the first Write.
  explicit MemoryWriter(std::uint32_t initialCapacity);
  // Unowned: writes into `buffer` of `capacity` bytes and never grows.
  MemoryWriter(std::uint8_t* buffer, std::uint32_t capacity);
  ~MemoryWriter() override;

  // False when the bytes do not fit an unowned buffer, the buffer cannot grow
  // (memory, or more than 4 GiB in all), or `data` is null with a length.
  // A failed Write leaves buffer, capacity and contents unchanged.
  bool Write(const void* data, std::uint32_t length) override;

  const std::uint8_t* Buffer() const { return buffer_; }
  std::uint32_t Capacity() const { return capacity_; }
  std::uint32_t Used() const { return used_; }

 private:
  std::uint8_t* buffer_ = nullptr;
  std::uint32_t capacity_ = 0;
  std::uint32_t used_ = 0;
  bool owned_ = true;
};

}  // namespace codec
