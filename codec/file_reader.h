#pragma once
// Byte sources over an open stdio stream. Neither reader closes the stream.

#include <cstdint>
#include <cstdio>
#include <memory>

#include "codec/vp_reader.h"

namespace codec {

// The decoder's source: hands out the stream in blocks of BlockSize bytes.
// Blocks this large go from the file straight into the block, past the
// stream's own buffer; the decoder decrypts them from there.
class FileReader final : public VPReader {
 public:
  static constexpr std::uint32_t BlockSize = 256 * 1024;

  // The block is allocated on the first NextBlock.
  explicit FileReader(std::FILE* file) : file_(file) {}

  // Null at end of file, on a stream error, when nothing could be read, or
  // without a stream.
  const std::uint8_t* NextBlock(std::uint32_t& length) override;

 private:
  std::unique_ptr<std::uint8_t[]> block_;
  std::FILE* file_;
};

namespace inspection {

// The positioned source that the header and trailer inspection reads through:
// no blocks, only Seek and Read passed on to the stream.
class FileReader final : public VPReader {
 public:
  explicit FileReader(std::FILE* file) : file_(file) {}

  const std::uint8_t* NextBlock(std::uint32_t& length) override;
  // True when fseek succeeds.
  bool Seek(std::int32_t offset, std::int32_t origin) override;
  // The result of fread; 0 without a stream.
  std::uint32_t Read(void* buffer, std::uint32_t itemSize, std::uint32_t itemCount) override;

 private:
  std::FILE* file_;
};

}  // namespace inspection
}  // namespace codec
