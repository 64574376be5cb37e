#include "codec/icon_file_writer.h"

namespace codec {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::vector<std::uint8_t> EncodeIconBitmap(const RgbaImage& image) {
  const std::uint32_t w = image.width, h = image.height;
  const std::uint32_t maskStride = (w + 31) / 32 * 4;
  std::vector<std::uint8_t> out;
  Put32(out, 40);
  Put32(out, w);
  Put32(out, 2 * h);
  Put16(out, 1);   // planes
  Put16(out, 32);  // bits per pixel
  Put32(out, 0);   // uncompressed
  Put32(out, w * h * 4 + maskStride * h);
  for (int i = 0; i < 4; ++i) Put32(out, 0);  // resolution and palette: unused
  const auto pixel = [&](std::uint32_t x, std::uint32_t y) { return &image.rgba[(std::size_t{y} * w + x) * 4]; };
  for (std::uint32_t y = h; y-- > 0;) {
    for (std::uint32_t x = 0; x < w; ++x) {
      const std::uint8_t* p = pixel(x, y);
      out.insert(out.end(), {p[2], p[1], p[0], p[3]});
    }
  }
  for (std::uint32_t y = h; y-- > 0;) {
    std::vector<std::uint8_t> row(maskStride, 0);
    for (std::uint32_t x = 0; x < w; ++x) {
      if (pixel(x, y)[3] < 128) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

std::vector<std::uint8_t> EncodeIconFile(const std::vector<IconFileEntry>& entries) {
  std::vector<std::uint8_t> out;
  Put16(out, 0);  // reserved
  Put16(out, 1);  // icon
  Put16(out, static_cast<std::uint32_t>(entries.size()));
  auto offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const IconFileEntry& e : entries) {
    out.push_back(static_cast<std::uint8_t>(e.width >= 256 ? 0 : e.width));  // 0 means 256
    out.push_back(static_cast<std::uint8_t>(e.height >= 256 ? 0 : e.height));
    out.push_back(0);  // no palette
    out.push_back(0);  // reserved
    Put16(out, 1);     // planes
    Put16(out, 32);    // bits per pixel
    Put32(out, static_cast<std::uint32_t>(e.image.size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(e.image.size());
  }
  for (const IconFileEntry& e : entries) out.insert(out.end(), e.image.begin(), e.image.end());
  return out;
}

}  // namespace codec
