#pragma once
// A file to be packed as a part: opened and checked before anything is
// written, then read (possibly twice) by the encoder.

#include <cstdint>
#include <string>

#include "codec/document_encoder.h"

namespace cli {

class FilePartSource final : public codec::PartSource {
 public:
  FilePartSource() = default;
  ~FilePartSource() override;
  FilePartSource(const FilePartSource&) = delete;
  FilePartSource& operator=(const FilePartSource&) = delete;

  // Opens `path` for reading: false, with the reason, when it cannot be
  // opened or is not a regular file (a pipe or a device has no length to
  // state before its data, and cannot be read twice).
  bool Open(const std::string& path, std::string& error);

  std::uint64_t Length() const override { return length_; }
  bool Rewind() override;
  std::int64_t Read(std::uint8_t* buffer, std::size_t capacity) override;

  // Why the last Rewind or Read failed.
  int Errno() const { return errno_; }
  // Device and inode, to recognise the output among the inputs.
  std::uint64_t Device() const { return device_; }
  std::uint64_t Inode() const { return inode_; }

 private:
  int fd_ = -1;
  std::uint64_t length_ = 0;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  int errno_ = 0;
};

}  // namespace cli
