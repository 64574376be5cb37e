#pragma once
// A block source over one buffer in memory.

#include <cstdint>

#include "codec/vp_reader.h"

namespace codec {

// Hands out the buffer in blocks of at most BlockSize bytes. An owned buffer
// must come from malloc (a MemoryWriter's buffer, for instance); it is freed
// when the reader is reset or destroyed.
class MemoryReader final : public VPReader {
 public:
  static constexpr std::uint32_t BlockSize = 8192;

  MemoryReader() = default;
  MemoryReader(const std::uint8_t* data, std::uint32_t size, bool owned = false);
  ~MemoryReader() override;

  const std::uint8_t* NextBlock(std::uint32_t& length) override;

  // Frees the current buffer if owned, then takes the new one from position 0.
  void Reset(const std::uint8_t* data, std::uint32_t size, bool owned = false);

  std::uint32_t Size() const { return size_; }
  std::uint32_t Position() const { return position_; }

 private:
  void Release();

  const std::uint8_t* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t position_ = 0;
  bool owned_ = false;
};

}  // namespace codec
