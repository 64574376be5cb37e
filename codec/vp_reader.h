#pragma once
// Abstract byte source of the document codec.

#include <cstdint>

namespace codec {

// A source offers either the block interface (NextBlock) or the positioned
// interface (Seek, Read). The decoder pulls blocks through a ChunkReader; the
// inspection of a document's header and trailer uses Seek and Read.
// Readers never close or free what they wrap unless they say so.
class VPReader {
 public:
  VPReader() = default;
  VPReader(const VPReader&) = delete;
  VPReader& operator=(const VPReader&) = delete;

  // Slot 0.
  virtual ~VPReader();

  // Slot 1. Hands out the next block and writes its length, or returns null at
  // the end (length untouched). The block stays valid until the next call.
  virtual const std::uint8_t* NextBlock(std::uint32_t& length) = 0;

  // Slot 2. Repositions like fseek (origin 0 start, 1 current, 2 end).
  // The base has no position and returns false.
  virtual bool Seek(std::int32_t offset, std::int32_t origin);

  // Slot 3. Reads like fread and returns the number of whole items read.
  // The base returns 0.
  virtual std::uint32_t Read(void* buffer, std::uint32_t itemSize, std::uint32_t itemCount);
};

}  // namespace codec
