#pragma once
// Icon files as Windows keeps them: a directory of entries, then the images.
// An image can be any bytes, or a square of one colour at 32 bits per pixel
// (a bitmap with its mask), so that a picture is told apart by size and colour.

#include <cstdint>
#include <vector>

namespace support {

using Bytes = std::vector<std::uint8_t>;

inline void PutLittleEndian(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// One directory entry and its image; sizes of 256 are stored as 0.
struct IconEntry {
  std::uint32_t width, height;
  std::uint16_t bitCount;  // as the directory states it
  Bytes image = {};
};

// A well-formed icon file holding the images in order.
inline Bytes IconFile(const std::vector<IconEntry>& entries) {
  Bytes out;
  PutLittleEndian(out, 0x00010000, 4);  // reserved 0, type 1 (icon)
  PutLittleEndian(out, static_cast<std::uint32_t>(entries.size()), 2);
  auto offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const IconEntry& entry : entries) {
    out.insert(out.end(), {static_cast<std::uint8_t>(entry.width), static_cast<std::uint8_t>(entry.height), 0, 0});
    PutLittleEndian(out, 1, 2);  // planes
    PutLittleEndian(out, entry.bitCount, 2);
    PutLittleEndian(out, static_cast<std::uint32_t>(entry.image.size()), 4);
    PutLittleEndian(out, offset, 4);
    offset += static_cast<std::uint32_t>(entry.image.size());
  }
  for (const IconEntry& entry : entries) out.insert(out.end(), entry.image.begin(), entry.image.end());
  return out;
}

// A square of `size` pixels all of colour `rgb` (0xRRGGBB): a bitmap header
// of twice the height (colour and mask), the pixels bottom-up, then an
// all-opaque mask.
inline Bytes SquareImage(std::uint32_t size, std::uint32_t rgb) {
  Bytes image;
  const std::uint32_t maskRow = ((size + 31) / 32) * 4;
  for (const std::uint32_t field : {40u, size, 2 * size}) PutLittleEndian(image, field, 4);
  PutLittleEndian(image, 1, 2), PutLittleEndian(image, 32, 2);
  for (const std::uint32_t field : {0u, size * size * 4 + maskRow * size, 0u, 0u, 0u, 0u}) {
    PutLittleEndian(image, field, 4);
  }
  for (std::uint32_t i = 0; i < size * size; ++i) PutLittleEndian(image, 0xFF000000u | rgb, 4);
  image.insert(image.end(), maskRow * size, 0);
  return image;
}

// An icon file of one-colour squares.
inline Bytes SquaresIconFile(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& squares) {
  std::vector<IconEntry> entries;
  for (const auto& [size, rgb] : squares) entries.push_back({size, size, 32, SquareImage(size, rgb)});
  return IconFile(entries);
}

}  // namespace support
