#include "codec/icon_directory.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "codec/byte_order.h"

namespace codec {
namespace {

constexpr std::uint32_t kHeaderSize = 6;
constexpr std::uint32_t kEntrySize = 16;
constexpr std::uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint8_t kBitmapInfoHeaderSize = 40;

std::uint32_t FormatOf(const std::uint8_t* image, std::uint32_t count) {
  if (count >= sizeof kPngSignature && std::memcmp(image, kPngSignature, sizeof kPngSignature) == 0) {
    return IconImage::FormatPng;
  }
  if (count >= 1 && image[0] == kBitmapInfoHeaderSize) {
    return IconImage::FormatBitmap;
  }
  return IconImage::FormatOther;
}

std::int64_t Difference(std::uint32_t a, std::uint32_t b) {
  const std::int64_t d = std::int64_t{a} - std::int64_t{b};
  return d < 0 ? -d : d;
}

}  // namespace

std::uint32_t IconDirectory::ParseIconFile(const std::uint8_t* data, std::uint32_t length) {
  images_.clear();
  if (data == nullptr || length < kHeaderSize) {
    return TooShort;
  }
  if (LoadLittleEndian16(data) != 0) {
    return BadReserved;
  }
  if (LoadLittleEndian16(data + 2) != 1) {
    return BadType;
  }
  const std::uint32_t count = LoadLittleEndian16(data + 4);
  // Room for no more entries than the data can hold.
  images_.reserve(std::min(count, (length - kHeaderSize) / kEntrySize));

  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t entryOffset = kHeaderSize + std::uint64_t{i} * kEntrySize;
    if (entryOffset + kEntrySize > length) {
      return TooShort;
    }
    const std::uint8_t* entry = data + entryOffset;
    if (entry[3] != 0) {
      return BadEntryReserved;
    }
    const std::uint32_t byteCount = LoadLittleEndian32(entry + 8);
    const std::uint32_t offset = LoadLittleEndian32(entry + 12);
    if (std::uint64_t{offset} + byteCount > length) {
      return TooShort;
    }
    const std::uint8_t* image = data + offset;
    IconImage record;
    record.width = entry[0] == 0 ? 256 : entry[0];
    record.height = entry[1] == 0 ? 256 : entry[1];
    record.bitCount = LoadLittleEndian16(entry + 6);
    record.format = FormatOf(image, byteCount);
    record.bytes.assign(image, image + byteCount);
    record.byteCount = byteCount;
    images_.push_back(std::move(record));
  }
  return Ok;
}

std::uint32_t IconDirectory::SelectBestIcon(const IconImage& wanted, IconImage& out) const {
  if (images_.empty()) {
    return Empty;
  }
  constexpr std::int64_t kFar = std::numeric_limits<std::int32_t>::max();
  std::size_t best = 0;
  std::int64_t bestDistance = kFar;
  std::int64_t bestDepth = kFar;
  for (std::size_t i = 0; i < images_.size(); ++i) {
    const IconImage& image = images_[i];
    const std::int64_t distance =
        Difference(image.height, wanted.height) + Difference(image.width, wanted.width);
    const std::int64_t depth = Difference(image.bitCount, wanted.bitCount);
    if (distance < bestDistance) {
      best = i;
      bestDistance = distance;
      bestDepth = depth;
    } else if (distance == bestDistance && depth < bestDepth) {
      best = i;
      bestDepth = depth;
      if (depth == 0) {
        break;
      }
    }
  }
  out = images_[best];
  return Ok;
}

bool ExtractDocumentIcon(const DocumentTagTable& tags, const IconImage& wanted, IconImage& out) {
  const DocumentTag* tag = tags.FindTag("ImageWin32");
  if (tag == nullptr || !tag->binary) {
    return false;
  }
  IconDirectory directory;
  if (directory.ParseIconFile(tag->value.get(), tag->valueLength) != IconDirectory::Ok) {
    return false;
  }
  return directory.SelectBestIcon(wanted, out) == IconDirectory::Ok;
}

}  // namespace codec
