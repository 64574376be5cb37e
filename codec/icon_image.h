#pragma once
// One image of an icon file, or the size and depth an image is wanted at.

#include <cstdint>
#include <vector>

namespace codec {

struct IconImage {
  static constexpr std::uint32_t FormatOther = 0;
  static constexpr std::uint32_t FormatPng = 1;     // data starts with the PNG signature
  static constexpr std::uint32_t FormatBitmap = 2;  // data starts with a 40-byte bitmap info header

  std::uint32_t width = 0;     // pixels; a stored 0 means 256
  std::uint32_t height = 0;    // pixels; a stored 0 means 256
  std::uint32_t bitCount = 0;  // bits per pixel as stored in the directory
  std::uint32_t format = FormatOther;
  std::vector<std::uint8_t> bytes;  // the image's own copy of its data
  std::uint32_t byteCount = 0;      // bytes.size()
};

}  // namespace codec
