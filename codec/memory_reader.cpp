#include "codec/memory_reader.h"

#include <algorithm>
#include <cstdlib>

namespace codec {

MemoryReader::MemoryReader(const std::uint8_t* data, std::uint32_t size, bool owned) {
  Reset(data, size, owned);
}

MemoryReader::~MemoryReader() { Release(); }

const std::uint8_t* MemoryReader::NextBlock(std::uint32_t& length) {
  if (data_ == nullptr || position_ >= size_) {
    return nullptr;
  }
  const std::uint32_t n = std::min(BlockSize, size_ - position_);
  const std::uint8_t* block = data_ + position_;
  position_ += n;
  length = n;
  return block;
}

void MemoryReader::Reset(const std::uint8_t* data, std::uint32_t size, bool owned) {
  Release();
  data_ = data;
  size_ = data != nullptr ? size : 0;
  position_ = 0;
  owned_ = owned;
}

void MemoryReader::Release() {
  if (owned_) {
    std::free(const_cast<std::uint8_t*>(data_));
  }
  data_ = nullptr;
  size_ = 0;
  position_ = 0;
  owned_ = false;
}

}  // namespace codec
