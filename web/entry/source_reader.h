#pragma once
// The document as the page holds it (a File in the worker), read through the
// host in blocks: the decoder's block interface and the inspection's
// positioned one.

#include <cstdint>
#include <memory>

#include "codec/vp_reader.h"
#include "web/entry/page_host.h"

namespace web {

class SourceReader final : public codec::VPReader {
 public:
  // Bytes asked of the host at a time.
  static constexpr std::uint32_t BlockSize = 256 * 1024;

  explicit SourceReader(PageHost& host);

  // The next block from the current position; null at the end or when the
  // host could not read.
  const std::uint8_t* NextBlock(std::uint32_t& length) override;
  // Within the document only: a position before its start or past its end
  // is refused and the position kept.
  bool Seek(std::int32_t offset, std::int32_t origin) override;
  std::uint32_t Read(void* buffer, std::uint32_t itemSize, std::uint32_t itemCount) override;

  std::uint64_t Position() const { return position_; }

 private:
  PageHost& host_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::unique_ptr<std::uint8_t[]> block_;
};

}  // namespace web
