#pragma once
// Icon files for the icon handler's tests: each image a square of one colour
// at 32 bits per pixel (a bitmap image, as Windows icon files hold them),
// so that a picture can be told apart by its size and its colour.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/encoder/document_encoder.h"

namespace icontest {

struct Square {
  std::uint32_t size;       // pixels; 256 is stored as 0
  std::uint32_t rgb;        // 0xRRGGBB
  std::uint16_t bitCount = 32;  // as the directory states it
};

inline void Put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The image data of one square: a bitmap header of twice the height (colour
// and mask), the pixels bottom-up, then an all-opaque mask.
inline std::vector<std::uint8_t> SquareImage(const Square& square) {
  std::vector<std::uint8_t> image;
  const std::uint32_t n = square.size;
  const std::uint32_t maskRow = ((n + 31) / 32) * 4;
  Put(image, 40, 4), Put(image, n, 4), Put(image, 2 * n, 4), Put(image, 1, 2), Put(image, 32, 2);
  Put(image, 0, 4), Put(image, n * n * 4 + maskRow * n, 4), Put(image, 0, 4), Put(image, 0, 4), Put(image, 0, 4);
  Put(image, 0, 4);
  for (std::uint32_t i = 0; i < n * n; ++i) Put(image, 0xFF000000u | square.rgb, 4);
  image.insert(image.end(), maskRow * n, 0);
  return image;
}

// A well-formed icon file holding the squares in order.
inline std::vector<std::uint8_t> IconFile(std::initializer_list<Square> squares) {
  std::vector<std::uint8_t> out;
  Put(out, 0, 2), Put(out, 1, 2), Put(out, static_cast<std::uint32_t>(squares.size()), 2);
  std::vector<std::vector<std::uint8_t>> images;
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * squares.size());
  for (const Square& square : squares) {
    images.push_back(SquareImage(square));
    const auto side = static_cast<std::uint8_t>(square.size >= 256 ? 0 : square.size);
    out.insert(out.end(), {side, side, 0, 0});
    Put(out, 1, 2), Put(out, square.bitCount, 2);
    Put(out, static_cast<std::uint32_t>(images.back().size()), 4), Put(out, offset, 4);
    offset += static_cast<std::uint32_t>(images.back().size());
  }
  for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

// Writes a one-part document carrying `tags` (none: no trailer at all) to
// `path` and returns the path.
inline std::string WriteDocument(const std::string& path, const std::vector<encoder::TagSpec>& tags) {
  encoder::DocumentSpec recipe;
  recipe.userName = "u";
  recipe.password = "p";
  encoder::PartSpec part;
  part.name = "a.txt";
  part.content = {'x'};
  recipe.parts = {part};
  recipe.tags = tags;
  EXPECT_TRUE(encoder::EncodeDocumentToFile(recipe, path));
  return path;
}

}  // namespace icontest
