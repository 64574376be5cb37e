#pragma once
// A source over memory with the positioned interface only (Seek and Read),
// as the inspection uses a file. The bytes are not copied: they must outlive
// the source.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/vp_reader.h"

namespace support {

class SeekableMemory final : public codec::VPReader {
 public:
  SeekableMemory(const std::uint8_t* data, std::size_t size) : data_(data), size_(static_cast<std::int64_t>(size)) {}
  explicit SeekableMemory(const std::vector<std::uint8_t>& data) : SeekableMemory(data.data(), data.size()) {}

  const std::uint8_t* NextBlock(std::uint32_t&) override { return nullptr; }
  bool Seek(std::int32_t offset, std::int32_t origin) override {
    if (origin < 0 || origin > 2) return false;
    const std::int64_t base = origin == 0 ? 0 : origin == 1 ? position_ : size_;
    if (base + offset < 0) return false;
    position_ = base + offset;
    return true;
  }
  std::uint32_t Read(void* buffer, std::uint32_t itemSize, std::uint32_t itemCount) override {
    if (itemSize == 0 || position_ >= size_) return 0;
    const std::int64_t items = std::min<std::int64_t>(itemCount, (size_ - position_) / itemSize);
    if (items > 0) std::memcpy(buffer, data_ + position_, static_cast<std::size_t>(items * itemSize));
    position_ += items * itemSize;
    return static_cast<std::uint32_t>(items);
  }
  std::int64_t Position() const { return position_; }

 private:
  const std::uint8_t* data_;
  std::int64_t size_;
  std::int64_t position_ = 0;
};

}  // namespace support
