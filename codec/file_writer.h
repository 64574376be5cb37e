#pragma once
// A sink over an open stdio stream.

#include <cstdio>

#include "codec/vp_writer.h"

namespace codec {

// Writes to the stream it is given (none at first is allowed). Writes are not
// flushed one by one: whoever ends a file flushes it (Flush, or closing the
// stream), and a full disk is reported by the Write or the Flush that met it.
// The writer never closes the stream; the decode writer sets one stream per
// part file and flushes it when the part ends.
class FileWriter final : public VPWriter {
 public:
  explicit FileWriter(std::FILE* stream = nullptr) : stream_(stream) {}

  // False without a stream, or when not every byte was taken by the stream.
  bool Write(const void* data, std::uint32_t length) override;
  // Hands everything written so far to the operating system. False without
  // a stream, or when that failed (or an earlier write had failed).
  bool Flush();

  void SetStream(std::FILE* stream) { stream_ = stream; }
  std::FILE* Stream() const { return stream_; }

 private:
  std::FILE* stream_;
};

}  // namespace codec
