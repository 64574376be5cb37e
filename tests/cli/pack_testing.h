#pragma once
// Inputs for the sender's tests.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace packtest {

// `n` bytes that deflate cannot shrink.
inline std::string Noise(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(random());
  return out;
}

// Writes a PNG of `width` x `height` into `folder`, opaque red on the left
// half and transparent on the right, and returns its path.
inline std::string WritePng(const std::string& folder, std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> rgba(std::size_t{width} * height * 4, 0);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width / 2; ++x) {
      std::uint8_t* p = &rgba[(std::size_t{y} * width + x) * 4];
      p[0] = 255;
      p[3] = 255;
    }
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = width;
  png.height = height;
  png.format = PNG_FORMAT_RGBA;
  const std::string path = folder + "/" + std::to_string(width) + "x" + std::to_string(height) + ".png";
  EXPECT_NE(png_image_write_to_file(&png, path.c_str(), 0, rgba.data(), 0, nullptr), 0);
  return path;
}

}  // namespace packtest
