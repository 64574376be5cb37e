#include "codec/file_writer.h"

namespace codec {

bool FileWriter::Write(const void* data, std::uint32_t length) {
  if (stream_ == nullptr) {
    return false;
  }
  if (length == 0) {
    return true;
  }
  if (data == nullptr) {
    return false;
  }
  const std::size_t written = std::fwrite(data, 1, length, stream_);
  const bool flushed = std::fflush(stream_) == 0;
  return written == length && flushed;
}

}  // namespace codec
