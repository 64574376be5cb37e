// The module's generated icon files: five sizes at 32 bits, a valid PNG and
// bitmaps, pixels that show a page and a lock.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "codec/byte_order.h"
#include "codec/icon_directory.h"
#include "resources/resource_testing.h"

namespace codec {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Rgba = std::array<std::uint8_t, 4>;

IconDirectory Load(const char* name) {
  const Bytes file = ReadIconFile(name);
  IconDirectory directory;
  EXPECT_EQ(directory.ParseIconFile(file.data(), static_cast<std::uint32_t>(file.size())), IconDirectory::Ok) << name;
  return directory;
}

struct Pixels {
  std::uint32_t size = 0;
  std::vector<Rgba> rgba;  // top-down, straight alpha
  const Rgba& At(std::uint32_t x, std::uint32_t y) const { return rgba[y * size + x]; }
};

// A square 8-bit RGBA PNG as the generator writes it: every chunk's CRC, the
// header, a zlib stream that ends exactly with the image data, rows unfiltered.
::testing::AssertionResult DecodePng(const Bytes& png, Pixels& out) {
  static const Bytes kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (png.size() < 8 || !std::equal(kSignature.begin(), kSignature.end(), png.begin())) {
    return ::testing::AssertionFailure() << "no PNG signature";
  }
  Bytes idat;
  std::vector<std::string> types;
  for (std::size_t at = 8; at < png.size();) {
    if (png.size() - at < 12) return ::testing::AssertionFailure() << "truncated chunk at " << at;
    const std::uint32_t length = LoadBigEndian32(&png[at]);
    if (length > png.size() - at - 12) return ::testing::AssertionFailure() << "chunk overruns the file";
    const std::uint8_t* type = &png[at + 4];
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, type, length + 4));
    if (crc != LoadBigEndian32(type + 4 + length)) return ::testing::AssertionFailure() << "bad CRC at " << at;
    types.emplace_back(type, type + 4);
    if (types.size() == 1) {
      if (types[0] != "IHDR") return ::testing::AssertionFailure() << "first chunk " << types[0];
      if (length != 13) return ::testing::AssertionFailure() << "IHDR length " << length;
      out.size = LoadBigEndian32(type + 4);
      const Bytes rest(type + 12, type + 17);
      if (LoadBigEndian32(type + 8) != out.size || rest != Bytes{8, 6, 0, 0, 0}) {
        return ::testing::AssertionFailure() << "not a square 8-bit RGBA image";
      }
    }
    if (types.back() == "IDAT") idat.insert(idat.end(), type + 4, type + 4 + length);
    at += 12 + length;
  }
  if (idat.empty() || types.back() != "IEND") return ::testing::AssertionFailure() << "no image data or no end";
  const std::size_t stride = out.size * 4;
  Bytes raw(out.size * (stride + 1) + 1);  // one byte more: the stream must end before it
  uLongf rawLength = static_cast<uLongf>(raw.size());
  if (uncompress(raw.data(), &rawLength, idat.data(), static_cast<uLong>(idat.size())) != Z_OK ||
      rawLength != raw.size() - 1) {
    return ::testing::AssertionFailure() << "zlib stream damaged or of the wrong length";
  }
  for (std::uint32_t y = 0; y < out.size; ++y) {
    const std::uint8_t* row = &raw[y * (stride + 1)];
    if (row[0] != 0) return ::testing::AssertionFailure() << "row " << y << " has filter " << int{row[0]};
    for (std::size_t x = 0; x < out.size; ++x) {
      out.rgba.push_back({row[1 + 4 * x], row[2 + 4 * x], row[3 + 4 * x], row[4 + 4 * x]});
    }
  }
  return ::testing::AssertionSuccess();
}

// A 32-bit icon bitmap: info header with doubled height, BGRA rows bottom-up
// and an AND mask (rows padded to 32 bits) that is set where alpha is low.
::testing::AssertionResult DecodeIconBitmap(const Bytes& dib, std::uint32_t size, Pixels& out) {
  const std::uint32_t maskStride = (size + 31) / 32 * 4;
  const std::uint32_t pixelBytes = size * size * 4;
  if (dib.size() != 40 + pixelBytes + maskStride * size) return ::testing::AssertionFailure() << "size " << dib.size();
  if (LoadLittleEndian32(&dib[0]) != 40 || LoadLittleEndian32(&dib[4]) != size ||
      LoadLittleEndian32(&dib[8]) != 2 * size || LoadLittleEndian16(&dib[12]) != 1 ||
      LoadLittleEndian16(&dib[14]) != 32 || LoadLittleEndian32(&dib[16]) != 0) {
    return ::testing::AssertionFailure() << "bad info header";
  }
  out.size = size;
  out.rgba.assign(size * size, Rgba{});
  for (std::uint32_t y = 0; y < size; ++y) {
    const std::uint8_t* row = &dib[40 + (size - 1 - y) * size * 4];
    const std::uint8_t* mask = &dib[40 + pixelBytes + (size - 1 - y) * maskStride];
    for (std::uint32_t x = 0; x < size; ++x) {
      const std::uint8_t* p = row + 4 * x;
      out.rgba[y * size + x] = {p[2], p[1], p[0], p[3]};
      const bool transparent = (mask[x / 8] >> (7 - x % 8)) & 1;
      if (transparent != (p[3] < 128)) return ::testing::AssertionFailure() << "mask differs at " << x << "," << y;
    }
    for (std::uint32_t bit = size; bit < maskStride * 8; ++bit) {
      if ((mask[bit / 8] >> (7 - bit % 8)) & 1) return ::testing::AssertionFailure() << "padding set in row " << y;
    }
  }
  return ::testing::AssertionSuccess();
}

constexpr std::array<std::uint32_t, 5> kSizes = {256, 48, 32, 24, 16};

struct IconFile {
  const char* name;
  bool (*isLockColour)(const Rgba&);
  bool (*isOtherLockColour)(const Rgba&);
};

bool Amber(const Rgba& p) { return p[3] == 255 && p[0] > 200 && p[1] > 120 && p[1] < 225 && p[2] < 110; }
bool Blue(const Rgba& p) { return p[3] == 255 && p[2] > 150 && p[0] < 120 && p[2] > p[1]; }

const IconFile kIcons[] = {{"document.ico", Amber, Blue}, {"program.ico", Blue, Amber}};

TEST(IconFilesTest, HoldFiveSizesAt32BitsAndTheBestOneIsChosen) {
  for (const IconFile& icon : kIcons) {
    SCOPED_TRACE(icon.name);
    const IconDirectory directory = Load(icon.name);
    ASSERT_EQ(directory.Count(), kSizes.size());
    for (std::size_t i = 0; i < kSizes.size(); ++i) {
      const IconImage& image = directory.Images()[i];
      EXPECT_EQ(image.width, kSizes[i]);
      EXPECT_EQ(image.height, kSizes[i]);
      EXPECT_EQ(image.bitCount, 32u);
      EXPECT_EQ(image.format, kSizes[i] == 256 ? IconImage::FormatPng : IconImage::FormatBitmap);
    }
    // The prompt asks for 16 x 16 at 8 bits; the shell for its view sizes.
    const std::array<std::array<std::uint32_t, 4>, 5> requests = {
        {{16, 16, 8, 16}, {32, 32, 32, 32}, {48, 48, 32, 48}, {256, 256, 32, 256}, {64, 64, 32, 48}}};
    for (const auto& [width, height, bits, expected] : requests) {
      IconImage wanted, chosen;
      wanted.width = width, wanted.height = height, wanted.bitCount = bits;
      ASSERT_EQ(directory.SelectBestIcon(wanted, chosen), IconDirectory::Ok);
      EXPECT_EQ(chosen.width, expected) << "for " << width;
      EXPECT_EQ(chosen.bitCount, 32u);
    }
  }
}

TEST(IconFilesTest, ImagesDecodeToAPageWithALock) {
  for (const IconFile& icon : kIcons) {
    const IconDirectory directory = Load(icon.name);
    ASSERT_EQ(directory.Count(), kSizes.size()) << icon.name;
    for (const IconImage& image : directory.Images()) {
      SCOPED_TRACE(std::string(icon.name) + " at " + std::to_string(image.width));
      Pixels pixels;
      ASSERT_TRUE(image.format == IconImage::FormatPng ? DecodePng(image.bytes, pixels)
                                                       : DecodeIconBitmap(image.bytes, image.width, pixels));
      const std::uint32_t n = pixels.size;
      ASSERT_EQ(n, image.width);
      for (const auto& [x, y] : {std::pair{0u, 0u}, {n - 1, 0u}, {0u, n - 1}, {n - 1, n - 1}}) {
        EXPECT_EQ(pixels.At(x, y)[3], 0) << "corner " << x << "," << y;
      }
      for (std::uint32_t y = n / 4; y < n * 2 / 5; ++y) {
        for (std::uint32_t x = n / 4; x < n * 2 / 5; ++x) EXPECT_EQ(pixels.At(x, y)[3], 255) << x << "," << y;
      }
      // The lock's body fills much of the lower right quadrant, in this icon's colour only.
      std::uint32_t lock = 0, other = 0;
      for (std::uint32_t y = n / 2; y < n; ++y) {
        for (std::uint32_t x = n / 2; x < n; ++x) {
          lock += icon.isLockColour(pixels.At(x, y));
          other += icon.isOtherLockColour(pixels.At(x, y));
        }
      }
      EXPECT_GE(lock, n * n / 4 / 8);
      EXPECT_EQ(other, 0u);
    }
  }
}

}  // namespace
}  // namespace codec
