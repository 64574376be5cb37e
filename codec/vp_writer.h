#pragma once
// Abstract byte sink of the document codec.

#include <cstdint>

namespace codec {

// Writers never close the streams they wrap.
class VPWriter {
 public:
  VPWriter() = default;
  VPWriter(const VPWriter&) = delete;
  VPWriter& operator=(const VPWriter&) = delete;

  // Slot 0.
  virtual ~VPWriter();
  // Slot 1. The base returns true.
  virtual bool Start();
  // Slot 2. Appends `length` bytes; false when they could not all be taken.
  virtual bool Write(const void* data, std::uint32_t length) = 0;
  // Slot 3. The base returns true.
  virtual bool Finish();
};

}  // namespace codec
