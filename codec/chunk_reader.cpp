#include "codec/chunk_reader.h"

#include <cstring>

namespace codec {

std::uint32_t ChunkReader::Read(void* destination, std::uint32_t n) {
  if (destination == nullptr) {
    return 0;
  }
  return Take(static_cast<std::uint8_t*>(destination), n);
}

std::uint32_t ChunkReader::Skip(std::uint32_t n) { return Take(nullptr, n); }

const std::uint8_t* ChunkReader::Peek(std::uint32_t n, std::uint32_t& length) {
  length = 0;
  if (!more_ || n == 0) {
    return nullptr;
  }
  if (available_ == 0) {
    std::uint32_t blockLength = 0;
    const std::uint8_t* block = source_->NextBlock(blockLength);
    if (block == nullptr || blockLength == 0) {
      current_ = nullptr;
      more_ = false;
      return nullptr;
    }
    current_ = block;
    available_ = blockLength;
  }
  length = available_ < n ? available_ : n;
  return current_;
}

void ChunkReader::Reset() {
  current_ = nullptr;
  available_ = 0;
  more_ = true;
}

std::uint32_t ChunkReader::Take(std::uint8_t* destination, std::uint32_t n) {
  if (!more_ || n == 0) {
    return 0;
  }
  std::uint32_t delivered = 0;
  while (available_ < n - delivered) {
    if (available_ > 0) {
      if (destination != nullptr) {
        std::memcpy(destination + delivered, current_, available_);
      }
      delivered += available_;
    }
    std::uint32_t length = 0;
    const std::uint8_t* block = source_->NextBlock(length);
    if (block == nullptr || length == 0) {
      // A block of length 0 ends the source just like null does.
      current_ = nullptr;
      available_ = 0;
      more_ = false;
      return delivered;
    }
    current_ = block;
    available_ = length;
  }
  const std::uint32_t rest = n - delivered;
  if (destination != nullptr) {
    std::memcpy(destination + delivered, current_, rest);
  }
  current_ += rest;
  available_ -= rest;
  return n;
}

}  // namespace codec
