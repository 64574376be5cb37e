#include "web/entry/source_reader.h"

#include "security/uninitialised_array.h"

namespace web {

SourceReader::SourceReader(PageHost& host)
    : host_(host), size_(host.SourceSize()), block_(security::MakeUninitialisedArray<std::uint8_t[]>(BlockSize)) {}

const std::uint8_t* SourceReader::NextBlock(std::uint32_t& length) {
  if (position_ >= size_) return nullptr;
  const std::uint64_t left = size_ - position_;
  const std::uint32_t n = host_.ReadSource(position_, block_.get(), left < BlockSize ? static_cast<std::uint32_t>(left) : BlockSize);
  if (n == 0) return nullptr;
  position_ += n;
  length = n;
  return block_.get();
}

bool SourceReader::Seek(std::int32_t offset, std::int32_t origin) {
  std::int64_t base = 0;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = static_cast<std::int64_t>(position_); break;
    case 2: base = static_cast<std::int64_t>(size_); break;
    default: return false;
  }
  const std::int64_t target = base + offset;
  if (target < 0 || static_cast<std::uint64_t>(target) > size_) return false;
  position_ = static_cast<std::uint64_t>(target);
  return true;
}

std::uint32_t SourceReader::Read(void* buffer, std::uint32_t itemSize, std::uint32_t itemCount) {
  if (itemSize == 0 || itemCount == 0) return 0;
  const std::uint64_t wanted = std::uint64_t{itemSize} * itemCount;
  const std::uint64_t left = position_ < size_ ? size_ - position_ : 0;
  const std::uint64_t want = wanted < left ? wanted : left;
  std::uint64_t got = 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (got < want) {
    const std::uint64_t piece = want - got < BlockSize ? want - got : BlockSize;
    const std::uint32_t n = host_.ReadSource(position_, out + got, static_cast<std::uint32_t>(piece));
    position_ += n;
    got += n;
    if (n < piece) break;
  }
  return static_cast<std::uint32_t>(got / itemSize);
}

}  // namespace web
