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
  return std::fwrite(data, 1, length, stream_) == length;
}

bool FileWriter::Flush() {
  if (stream_ == nullptr) {
    return false;
  }
  return std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
}

}  // namespace codec
