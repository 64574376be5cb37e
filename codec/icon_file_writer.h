#pragma once
// Icon files written: the directory and the bitmap form of an image, as the
// document icon's reader (icon_directory.h) and the system read them back.
// Self-contained (no other part of the codec), so that the build's icon
// generator can compile it on the build machine of a cross build.

#include <cstdint>
#include <vector>

namespace codec {

// 8-bit RGBA pixels, rows top-down, alpha not premultiplied.
struct RgbaImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;
};

// One image of an icon file: its size in pixels (at most 256) and its bytes,
// a PNG file or the bitmap form; 32 bits per pixel.
struct IconFileEntry {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> image;
};

// The bitmap form of an icon image: a 40-byte information header giving twice
// the height (colour rows, then mask rows), BGRA rows bottom-up, then the AND
// mask bottom-up, one bit a pixel (1 = transparent, for alpha below 128),
// each mask row padded to 32 bits.
std::vector<std::uint8_t> EncodeIconBitmap(const RgbaImage& image);

// An icon file (little-endian): the 6-byte header, a 16-byte directory entry
// per image (a size of 256 stored as 0), then the images in order.
std::vector<std::uint8_t> EncodeIconFile(const std::vector<IconFileEntry>& entries);

}  // namespace codec
