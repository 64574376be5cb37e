#pragma once
// A sink over an open stdio stream.

#include <cstdio>

#include "codec/vp_writer.h"

namespace codec {

// Writes to the stream it is given (none at first is allowed) and flushes after
// every Write, so a full disk is reported by the Write that met it. The writer
// never closes the stream; the decode writer sets one stream per part file.
class FileWriter final : public VPWriter {
 public:
  explicit FileWriter(std::FILE* stream = nullptr) : stream_(stream) {}

  // False without a stream, or when not every byte was written and flushed.
  bool Write(const void* data, std::uint32_t length) override;

  void SetStream(std::FILE* stream) { stream_ = stream; }
  std::FILE* Stream() const { return stream_; }

 private:
  std::FILE* stream_;
};

}  // namespace codec
