#include "codec/file_reader.h"

namespace codec {

const std::uint8_t* FileReader::NextBlock(std::uint32_t& length) {
  if (file_ == nullptr || std::feof(file_)) {
    return nullptr;
  }
  if (!block_) {
    block_.reset(new std::uint8_t[BlockSize]);
  }
  const std::size_t n = std::fread(block_.get(), 1, BlockSize, file_);
  if (n == 0 || std::ferror(file_)) {
    return nullptr;
  }
  length = static_cast<std::uint32_t>(n);
  return block_.get();
}

namespace inspection {

const std::uint8_t* FileReader::NextBlock(std::uint32_t&) { return nullptr; }

bool FileReader::Seek(std::int32_t offset, std::int32_t origin) {
  int whence;
  switch (origin) {
    case 0: whence = SEEK_SET; break;
    case 1: whence = SEEK_CUR; break;
    case 2: whence = SEEK_END; break;
    default: return false;
  }
  return file_ != nullptr && std::fseek(file_, offset, whence) == 0;
}

std::uint32_t FileReader::Read(void* buffer, std::uint32_t itemSize, std::uint32_t itemCount) {
  if (file_ == nullptr || buffer == nullptr || itemSize == 0 || itemCount == 0) {
    return 0;
  }
  return static_cast<std::uint32_t>(std::fread(buffer, itemSize, itemCount, file_));
}

}  // namespace inspection
}  // namespace codec
