#pragma once
// Exact byte counts from a source that hands out blocks of its own choosing.

#include <cstdint>

#include "codec/vp_reader.h"

namespace codec {

// Pulls blocks from a VPReader (not owned) and copies out exactly the bytes
// asked for. Once the source is exhausted every further request returns 0
// without asking the source again.
class ChunkReader {
 public:
  explicit ChunkReader(VPReader& source) : source_(&source) {}
  ChunkReader(const ChunkReader&) = delete;
  ChunkReader& operator=(const ChunkReader&) = delete;

  // Copies up to `n` bytes to `destination` and returns how many were
  // delivered; fewer than `n` means the source ended.
  std::uint32_t Read(void* destination, std::uint32_t n);

  // Like Read, but drops the bytes.
  std::uint32_t Skip(std::uint32_t n);

  // Hands out up to `n` bytes of the source's block in hand without copying
  // them, asking the source for its next block when this one is used up, and
  // writes their number to `length`. The bytes stay where they are (take them
  // with Skip) and valid until the next call. Null, with length 0, once the
  // source has ended or when `n` is 0.
  const std::uint8_t* Peek(std::uint32_t n, std::uint32_t& length);

  // Forgets the block in hand and expects more data from the source.
  void Reset();

  // False once the source has reported its end.
  bool More() const { return more_; }

 private:
  std::uint32_t Take(std::uint8_t* destination, std::uint32_t n);

  const std::uint8_t* current_ = nullptr;
  std::uint32_t available_ = 0;
  bool more_ = true;
  VPReader* source_;
};

}  // namespace codec
