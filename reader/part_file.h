#pragma once
// One decoded part's file: its full path and, while it is open, its stream.

#include <cstdio>
#include <string>

namespace reader {

class PartFile {
 public:
  PartFile(std::string path, std::FILE* stream) : path_(std::move(path)), stream_(stream) {}
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;
  // Closes the stream if it is still open.
  ~PartFile() { Close(); }

  // Closes the stream if one is open and forgets it; false only when closing
  // reported an error.
  bool Close() {
    if (stream_ == nullptr) return true;
    const bool ok = std::fclose(stream_) == 0;
    stream_ = nullptr;
    return ok;
  }

  const std::string& Path() const { return path_; }
  std::FILE* Stream() const { return stream_; }
  void SetStream(std::FILE* stream) { stream_ = stream; }

 private:
  std::string path_;
  std::FILE* stream_;
};

}  // namespace reader
