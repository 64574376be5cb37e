// Icon images to pixels, scaling, and PNG files.

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "desktop/bitmap.h"
#include "support/files.h"
#include "support/icon_files.h"

using desktop::Bitmap;
using Bytes = std::vector<std::uint8_t>;
constexpr auto Put = support::PutLittleEndian;

namespace {

// A `w` x `h` icon bitmap at `bits` per pixel: `pixel(x, y)` a palette index
// (bits <= 8) or 0xAARRGGBB, `masked(x, y)` the AND bit.
template <class Pixel, class Masked>
codec::IconImage BitmapImage(std::uint32_t w, std::uint32_t h, std::uint32_t bits, const std::vector<std::uint32_t>& palette,
                             Pixel pixel, Masked masked, std::uint32_t compression = 0) {
  Bytes d;
  Put(d, 40, 4), Put(d, w, 4), Put(d, 2 * h, 4), Put(d, 1, 2), Put(d, bits, 2), Put(d, compression, 4);
  Put(d, 0, 4), Put(d, 0, 4), Put(d, 0, 4), Put(d, static_cast<std::uint32_t>(palette.size()), 4), Put(d, 0, 4);
  for (std::uint32_t c : palette) Put(d, c, 4);
  const std::uint32_t stride = (w * bits + 31) / 32 * 4, maskStride = (w + 31) / 32 * 4;
  for (std::uint32_t y = h; y-- > 0;) {  // bottom-up
    Bytes row(stride, 0);
    for (std::uint32_t x = 0; x < w; ++x) {
      const auto v = static_cast<std::uint32_t>(pixel(x, y));
      if (bits <= 8) {
        row[x * bits / 8] |= static_cast<std::uint8_t>(v << (8 - bits - x * bits % 8));
      } else {
        for (std::uint32_t b = 0; b < bits / 8; ++b) row[x * bits / 8 + b] = static_cast<std::uint8_t>(v >> (8 * b));
      }
    }
    d.insert(d.end(), row.begin(), row.end());
  }
  for (std::uint32_t y = h; y-- > 0;) {
    Bytes row(maskStride, 0);
    for (std::uint32_t x = 0; x < w; ++x) {
      if (masked(x, y)) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    d.insert(d.end(), row.begin(), row.end());
  }
  codec::IconImage image;
  image.width = w, image.height = h, image.bitCount = bits, image.format = codec::IconImage::FormatBitmap;
  image.bytes = d, image.byteCount = static_cast<std::uint32_t>(d.size());
  return image;
}

std::uint32_t Rgba(const Bitmap& b, std::uint32_t x, std::uint32_t y) {
  const std::uint8_t* p = &b.rgba[(std::size_t{y} * b.width + x) * 4];
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

Bitmap Solid(std::uint32_t w, std::uint32_t h, std::uint32_t rgba) {
  Bitmap b{w, h, {}};
  for (std::uint32_t i = 0; i < w * h; ++i) {
    for (int s = 24; s >= 0; s -= 8) b.rgba.push_back(static_cast<std::uint8_t>(rgba >> s));
  }
  return b;
}

struct TempDir {
  std::string path = std::filesystem::temp_directory_path() / ("vp-desktop-" + std::to_string(::getpid()));
  TempDir() { std::filesystem::create_directories(path); }
  ~TempDir() { std::filesystem::remove_all(path); }
};

Bytes PngBytes(const Bitmap& b) {
  TempDir dir;
  std::string error;
  EXPECT_TRUE(desktop::WritePngFile(b, dir.path + "/p.png", error)) << error;
  return support::FileBytes(dir.path + "/p.png");
}

}  // namespace

// Rows bottom-up, palette entries blue-green-red, the AND mask making pixels
// transparent unless a 32-bit image has its own alpha.
TEST(IconBitmap, EveryDepthDecodesWithItsPaletteAndMask) {
  const std::vector<std::uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  const auto index = [](std::uint32_t x, std::uint32_t y) { return (x + y) % 2 + (y == 0 ? 2 : 0); };
  const auto corner = [](std::uint32_t x, std::uint32_t y) { return x == 0 && y == 0; };
  for (std::uint32_t bits : {1u, 4u, 8u}) {
    SCOPED_TRACE(bits);
    const std::vector<std::uint32_t> used(palette.begin(), palette.begin() + (bits == 1 ? 2 : 4));
    const auto pick = [&](std::uint32_t x, std::uint32_t y) { return index(x, y) % used.size(); };
    Bitmap out;
    ASSERT_TRUE(desktop::DecodeIconImage(BitmapImage(3, 2, bits, used, pick, corner), out));
    ASSERT_EQ(out.width, 3u);
    ASSERT_EQ(out.height, 2u);
    for (std::uint32_t y = 0; y < 2; ++y) {
      for (std::uint32_t x = 0; x < 3; ++x) {
        const std::uint32_t rgb = used[pick(x, y)];  // 0xRRGGBB is stored blue, green, red
        EXPECT_EQ(Rgba(out, x, y), rgb << 8 | (corner(x, y) ? 0 : 255)) << x << "," << y;
      }
    }
  }
  const auto colour = [](std::uint32_t x, std::uint32_t y) { return 0x80000000u | (x * 0x40) << 16 | y * 0x40; };
  Bitmap out;
  ASSERT_TRUE(desktop::DecodeIconImage(BitmapImage(2, 2, 24, {}, colour, corner), out));
  EXPECT_EQ(Rgba(out, 1, 1), 0x40004000u | 255);
  EXPECT_EQ(Rgba(out, 0, 0) & 0xFF, 0u);
  ASSERT_TRUE(desktop::DecodeIconImage(BitmapImage(2, 2, 32, {}, colour, corner), out));
  EXPECT_EQ(Rgba(out, 0, 0), 0x00000080u);  // its own alpha wins over the mask
  EXPECT_EQ(Rgba(out, 1, 0), 0x40000080u);
  // A 32-bit image whose alpha is all zero is an old one: the mask decides.
  const auto noAlpha = [](std::uint32_t, std::uint32_t) { return 0x00112233u; };
  ASSERT_TRUE(desktop::DecodeIconImage(BitmapImage(2, 2, 32, {}, noAlpha, corner), out));
  EXPECT_EQ(Rgba(out, 0, 0), 0x11223300u);
  EXPECT_EQ(Rgba(out, 1, 1), 0x112233FFu);
}

TEST(IconBitmap, DamagedOrUnsupportedImagesAreRefused) {
  const auto zero = [](std::uint32_t, std::uint32_t) { return 0u; };
  const auto none = [](std::uint32_t, std::uint32_t) { return false; };
  const auto good = BitmapImage(4, 4, 32, {}, zero, none);
  Bitmap out;
  ASSERT_TRUE(desktop::DecodeIconImage(good, out));

  std::vector<codec::IconImage> bad;
  auto cut = good;  // colour rows end early
  cut.bytes.resize(40 + 4 * 4 * 3), cut.byteCount = static_cast<std::uint32_t>(cut.bytes.size());
  bad.push_back(cut);
  auto lying = good;  // the stated byte count is shorter than the data
  lying.byteCount = 40;
  bad.push_back(lying);
  const auto patched = [&](std::size_t at, std::uint32_t value) {
    auto image = good;
    for (int i = 0; i < 4; ++i) image.bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return image;
  };
  bad.push_back(patched(0, 39));           // info header too short
  bad.push_back(patched(0, 100000));       // info header beyond the data
  bad.push_back(patched(4, 0));            // no width
  bad.push_back(patched(4, 0xFFFFFFFF));   // negative width
  bad.push_back(patched(4, 1025));         // wider than any icon here
  bad.push_back(patched(8, 0x80000000));   // negative (top-down) height
  bad.push_back(patched(8, 2 * 1025));     // taller than any icon here
  bad.push_back(patched(16, 3));           // compressed (bit fields)
  bad.push_back(patched(14, 16));          // 16 bits per pixel
  bad.push_back(BitmapImage(2, 1, 8, {0xFF, 0xFF00}, [](std::uint32_t x, std::uint32_t) { return x * 5; }, none));
  auto other = good;
  other.format = codec::IconImage::FormatOther;
  bad.push_back(other);
  for (std::size_t i = 0; i < bad.size(); ++i) {
    EXPECT_FALSE(desktop::DecodeIconImage(bad[i], out)) << i;
    EXPECT_EQ(out.width, 0u) << i;
    EXPECT_TRUE(out.rgba.empty()) << i;
  }
}

TEST(IconBitmap, PngImagesGoThroughLibpngWithinTheSizeLimit) {
  Bitmap picture = Solid(3, 2, 0x336699CC);
  picture.rgba[0] = 0xFF;
  const Bytes png = PngBytes(picture);
  codec::IconImage image;
  image.format = codec::IconImage::FormatPng, image.bytes = png, image.byteCount = static_cast<std::uint32_t>(png.size());
  Bitmap out;
  ASSERT_TRUE(desktop::DecodeIconImage(image, out));
  EXPECT_EQ(out.width, 3u);
  EXPECT_EQ(out.height, 2u);
  EXPECT_EQ(out.rgba, picture.rgba);

  // A header claiming 100000 x 100000 pixels (with a right CRC) is refused
  // before any pixel memory is taken; so is a cut file.
  Bytes huge = png;
  for (int at : {16, 20}) huge[at] = 0, huge[at + 1] = 1, huge[at + 2] = 0x86, huge[at + 3] = 0xA0;
  const uLong crc = crc32(0, huge.data() + 12, 17);
  for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  EXPECT_FALSE(desktop::DecodePng(huge.data(), huge.size(), desktop::kMaxImageSide, out));
  EXPECT_FALSE(desktop::DecodePng(png.data(), png.size() - 20, desktop::kMaxImageSide, out));
  EXPECT_FALSE(desktop::DecodePng(png.data(), 8, desktop::kMaxImageSide, out));
  EXPECT_TRUE(out.rgba.empty());
}

TEST(ScaleToFit, LongerSideIsTheSizeAndProportionsStay) {
  struct Case {
    std::uint32_t w, h, size, outW, outH;
  };
  for (const Case& c : {Case{256, 256, 128, 128, 128}, Case{48, 48, 512, 512, 512}, Case{40, 20, 128, 128, 64},
                        Case{20, 40, 128, 64, 128}, Case{3, 300, 100, 1, 100}, Case{1, 1, 1024, 1024, 1024}}) {
    const Bitmap out = desktop::ScaleToFit(Solid(c.w, c.h, 0x20406080), c.size);
    EXPECT_EQ(out.width, c.outW);
    EXPECT_EQ(out.height, c.outH);
    // One colour stays that colour, growing or shrinking.
    for (std::uint32_t y = 0; y < out.height; y += 7) {
      for (std::uint32_t x = 0; x < out.width; x += 7) ASSERT_EQ(Rgba(out, x, y), 0x20406080u);
    }
  }
  EXPECT_EQ(desktop::ScaleToFit(Bitmap{}, 16).width, 0u);
}

TEST(ScaleToFit, TransparentPixelsLeaveNoDarkFringe) {
  Bitmap half = Solid(2, 1, 0xFF0000FF);
  half.rgba[4] = half.rgba[5] = half.rgba[6] = half.rgba[7] = 0;  // transparent black
  const Bitmap one = desktop::ScaleToFit(half, 1);
  EXPECT_EQ(Rgba(one, 0, 0), 0xFF000080u);  // red at half coverage, not dark red
  const Bitmap grown = desktop::ScaleToFit(half, 8);
  for (std::uint32_t x = 0; x < 8; ++x) {
    const std::uint32_t p = Rgba(grown, x, 0);
    EXPECT_TRUE((p & 0xFF) == 0 || p >> 8 == 0xFF0000u) << x;
  }
  EXPECT_EQ(Rgba(grown, 3, 0), 0xFF00009Fu);  // 5/8 of the way from the red pixel
}

TEST(PngFile, WrittenWholeOrNotAtAll) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(desktop::WritePngFile(Bitmap{}, dir.path + "/empty.png", error));
  EXPECT_FALSE(desktop::WritePngFile(Solid(2, 2, 0xFF), dir.path + "/missing/x.png", error));
  EXPECT_NE(error.find("missing/x.png"), std::string::npos);
  // An existing file is replaced, and no temporary file is left beside it.
  std::ofstream(dir.path + "/x.png") << "old";
  ASSERT_TRUE(desktop::WritePngFile(Solid(5, 3, 0x010203FF), dir.path + "/x.png", error)) << error;
  const Bytes written = support::FileBytes(dir.path + "/x.png");
  Bitmap back;
  ASSERT_TRUE(desktop::DecodePng(written.data(), written.size(), 16, back));
  EXPECT_EQ(back.rgba, Solid(5, 3, 0x010203FF).rgba);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
}
