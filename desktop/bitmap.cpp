#include "desktop/bitmap.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace desktop {

namespace {

std::uint32_t Le(const std::uint8_t* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// Decodes a bitmap image of an icon file; see DecodeIconImage.
bool DecodeIconBitmap(const std::uint8_t* data, std::uint64_t length, Bitmap& out) {
  constexpr std::uint32_t kInfoHeader = 40;
  if (length < kInfoHeader) return false;
  const std::uint32_t headerSize = Le(data, 4);
  const auto width = static_cast<std::int32_t>(Le(data + 4, 4));
  const auto doubleHeight = static_cast<std::int32_t>(Le(data + 8, 4));
  const std::uint32_t bits = Le(data + 14, 2);
  const std::uint32_t compression = Le(data + 16, 4);
  const std::uint32_t coloursUsed = Le(data + 32, 4);
  if (headerSize < kInfoHeader || headerSize > length || compression != 0) return false;
  if (width <= 0 || doubleHeight <= 1 || static_cast<std::uint32_t>(width) > kMaxImageSide ||
      static_cast<std::uint32_t>(doubleHeight / 2) > kMaxImageSide) {
    return false;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
  const auto w = static_cast<std::uint32_t>(width);
  const auto h = static_cast<std::uint32_t>(doubleHeight / 2);
  const std::uint32_t paletteSize = bits <= 8 ? (coloursUsed != 0 ? coloursUsed : 1u << bits) : 0;
  if (paletteSize > 256) return false;
  const std::uint64_t paletteAt = headerSize;
  const std::uint64_t colourAt = paletteAt + std::uint64_t{paletteSize} * 4;
  const std::uint64_t colourStride = (std::uint64_t{w} * bits + 31) / 32 * 4;
  const std::uint64_t maskAt = colourAt + colourStride * h;
  const std::uint64_t maskStride = (std::uint64_t{w} + 31) / 32 * 4;
  if (maskAt > length) return false;
  // Some writers leave the mask out of 32-bit images; without it every
  // pixel counts as drawn.
  const bool haveMask = maskAt + maskStride * h <= length;

  out.width = w;
  out.height = h;
  out.rgba.assign(std::size_t{w} * h * 4, 0);
  bool anyAlpha = false;
  for (std::uint32_t y = 0; y < h; ++y) {
    const std::uint8_t* row = data + colourAt + colourStride * (h - 1 - y);  // rows are stored bottom-up
    std::uint8_t* px = &out.rgba[std::size_t{y} * w * 4];
    for (std::uint32_t x = 0; x < w; ++x, px += 4) {
      std::uint32_t b, g, r, a = 255;
      if (bits <= 8) {
        const std::uint32_t bit = x * bits;
        const std::uint32_t index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        if (index >= paletteSize) {
          out = Bitmap{};
          return false;
        }
        const std::uint8_t* entry = data + paletteAt + index * 4;
        b = entry[0], g = entry[1], r = entry[2];
      } else {
        const std::uint8_t* p = row + std::size_t{x} * (bits / 8);
        b = p[0], g = p[1], r = p[2];
        if (bits == 32) a = p[3], anyAlpha = anyAlpha || a != 0;
      }
      px[0] = static_cast<std::uint8_t>(r), px[1] = static_cast<std::uint8_t>(g);
      px[2] = static_cast<std::uint8_t>(b), px[3] = static_cast<std::uint8_t>(a);
    }
  }
  // A 32-bit image with an alpha channel is drawn by it; every other takes
  // its transparency from the AND mask (a set bit is transparent).
  const bool useMask = haveMask && !(bits == 32 && anyAlpha);
  for (std::uint32_t y = 0; y < h; ++y) {
    const std::uint8_t* mask = data + maskAt + maskStride * (h - 1 - y);
    for (std::uint32_t x = 0; x < w; ++x) {
      std::uint8_t& a = out.rgba[(std::size_t{y} * w + x) * 4 + 3];
      if (useMask) {
        a = (mask[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
      } else if (bits == 32 && !anyAlpha) {
        a = 255;
      }
    }
  }
  return true;
}

}  // namespace

bool DecodePng(const std::uint8_t* data, std::size_t length, std::uint32_t maxSide, Bitmap& out) {
  out = Bitmap{};
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, length)) return false;
  if (image.width == 0 || image.height == 0 || image.width > maxSide || image.height > maxSide) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  out.width = image.width;
  out.height = image.height;
  out.rgba = std::move(pixels);
  return true;
}

namespace {

// libpng's description of `bitmap` as 8-bit RGBA, for writing it.
png_image Described(const Bitmap& bitmap) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = bitmap.width;
  image.height = bitmap.height;
  image.format = PNG_FORMAT_RGBA;
  return image;
}

}  // namespace

bool EncodePng(const Bitmap& bitmap, std::vector<std::uint8_t>& out) {
  png_image image = Described(bitmap);
  png_alloc_size_t size = 0;
  bool encoded = png_image_write_to_memory(&image, nullptr, &size, 0, bitmap.rgba.data(), 0, nullptr) != 0;
  if (encoded) {
    out.resize(size);
    encoded = png_image_write_to_memory(&image, out.data(), &size, 0, bitmap.rgba.data(), 0, nullptr) != 0;
    out.resize(size);
  }
  png_image_free(&image);
  return encoded;
}

bool DecodeIconImage(const codec::IconImage& image, Bitmap& out) {
  out = Bitmap{};
  const std::uint8_t* data = image.bytes.data();
  const std::size_t length = std::min<std::size_t>(image.bytes.size(), image.byteCount);
  bool ok = false;
  if (image.format == codec::IconImage::FormatPng) {
    ok = DecodePng(data, length, kMaxImageSide, out);
  } else if (image.format == codec::IconImage::FormatBitmap) {
    ok = DecodeIconBitmap(data, length, out);
  }
  if (!ok) out = Bitmap{};
  return ok;
}

Bitmap ScaleToFit(const Bitmap& in, std::uint32_t size) {
  Bitmap out;
  if (in.width == 0 || in.height == 0 || size == 0) return out;
  const bool wide = in.width >= in.height;
  const double ratio = wide ? static_cast<double>(in.height) / in.width : static_cast<double>(in.width) / in.height;
  const auto other = static_cast<std::uint32_t>(std::max(1.0, std::round(size * ratio)));
  out.width = wide ? size : other;
  out.height = wide ? other : size;
  out.rgba.assign(std::size_t{out.width} * out.height * 4, 0);

  // Premultiplied source pixel (x, y), clamped to the image.
  const auto at = [&](std::int64_t x, std::int64_t y, double* p) {
    x = std::clamp<std::int64_t>(x, 0, in.width - 1);
    y = std::clamp<std::int64_t>(y, 0, in.height - 1);
    const std::uint8_t* s = &in.rgba[(static_cast<std::size_t>(y) * in.width + static_cast<std::size_t>(x)) * 4];
    const double a = s[3] / 255.0;
    p[0] = s[0] * a, p[1] = s[1] * a, p[2] = s[2] * a, p[3] = s[3];
  };
  const double sx = static_cast<double>(in.width) / out.width;
  const double sy = static_cast<double>(in.height) / out.height;
  for (std::uint32_t y = 0; y < out.height; ++y) {
    for (std::uint32_t x = 0; x < out.width; ++x) {
      double sum[4] = {0, 0, 0, 0};
      double p[4];
      if (sx > 1 || sy > 1) {
        // Shrinking: the area of the target pixel, each source pixel weighed
        // by how much of it lies inside.
        const double x0 = x * sx, x1 = x0 + sx, y0 = y * sy, y1 = y0 + sy;
        double total = 0;
        for (auto j = static_cast<std::int64_t>(y0); static_cast<double>(j) < y1; ++j) {
          const auto top = static_cast<double>(j);
          const double wy = std::min(top + 1, y1) - std::max(top, y0);
          for (auto i = static_cast<std::int64_t>(x0); static_cast<double>(i) < x1; ++i) {
            const auto left = static_cast<double>(i);
            const double wgt = wy * (std::min(left + 1, x1) - std::max(left, x0));
            if (wgt <= 0) continue;
            at(i, j, p);
            for (int c = 0; c < 4; ++c) sum[c] += p[c] * wgt;
            total += wgt;
          }
        }
        for (double& c : sum) c /= total;
      } else {
        // Growing: between the four nearest source pixels.
        const double fx = (x + 0.5) * sx - 0.5, fy = (y + 0.5) * sy - 0.5;
        const double floorX = std::floor(fx), floorY = std::floor(fy);
        const double tx = fx - floorX, ty = fy - floorY;
        const auto ix = static_cast<std::int64_t>(floorX), iy = static_cast<std::int64_t>(floorY);
        for (int k = 0; k < 4; ++k) {
          const double wgt = (k & 1 ? tx : 1 - tx) * (k & 2 ? ty : 1 - ty);
          at(ix + (k & 1), iy + (k >> 1), p);
          for (int c = 0; c < 4; ++c) sum[c] += p[c] * wgt;
        }
      }
      std::uint8_t* d = &out.rgba[(std::size_t{y} * out.width + x) * 4];
      const double a = sum[3];
      for (int c = 0; c < 3; ++c) {
        d[c] = a > 0 ? static_cast<std::uint8_t>(std::clamp(std::lround(sum[c] * 255.0 / a), 0L, 255L)) : 0;
      }
      d[3] = static_cast<std::uint8_t>(std::clamp(std::lround(a), 0L, 255L));
    }
  }
  return out;
}

bool WritePngFile(const Bitmap& bitmap, const std::string& path, std::string& error) {
  if (bitmap.width == 0 || bitmap.height == 0 || bitmap.rgba.size() != std::size_t{bitmap.width} * bitmap.height * 4) {
    error = "no picture to write";
    return false;
  }
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    error = std::string("cannot create a file beside ") + path + ": " + std::strerror(errno);
    return false;
  }
  ::fchmod(fd, 0644);
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    error = std::strerror(errno);
    ::close(fd);
    ::unlink(temporary.c_str());
    return false;
  }
  png_image image = Described(bitmap);
  const bool written = png_image_write_to_stdio(&image, file, 0, bitmap.rgba.data(), 0, nullptr) != 0;
  if (!written) error = std::string("libpng: ") + image.message;
  png_image_free(&image);
  const bool flushed = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
  const int closeError = std::fclose(file) == 0 ? 0 : errno;
  if (written && flushed && closeError == 0 && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  if (written) error = std::string("cannot write ") + path + ": " + std::strerror(closeError != 0 ? closeError : errno);
  ::unlink(temporary.c_str());
  return false;
}

}  // namespace desktop
