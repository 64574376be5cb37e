#include "cli/document_icon.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "codec/icon_directory.h"
#include "codec/icon_file_writer.h"

namespace cli {
namespace {

constexpr std::uint32_t kMaxSide = 4096;
// A larger file cannot be a sensible icon, and is not read whole.
constexpr std::uintmax_t kMaxFileSize = 64u << 20;
const std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Weights of the source pixels (index, share) that each of `to` pixels
// covers, when `from` pixels are scaled onto `to` pixels spanning
// [offset, offset + span) of them: every target pixel averages the source
// area it covers, which shrinks smoothly and enlarges without blur beyond a
// pixel's edge.
std::vector<std::vector<std::pair<std::uint32_t, double>>> Coverage(std::uint32_t from, double offset, double span,
                                                                    std::uint32_t to) {
  std::vector<std::vector<std::pair<std::uint32_t, double>>> weights(to);
  const double scale = from / span;  // source pixels per target pixel
  for (std::uint32_t t = 0; t < to; ++t) {
    const double begin = (t - offset) * scale, end = (t + 1 - offset) * scale;
    // Target pixels in the margin around a fitted image cover no source pixel.
    const double limit = from;
    const auto first = static_cast<std::uint32_t>(std::floor(std::clamp(begin, 0.0, limit)));
    const auto last = static_cast<std::uint32_t>(std::ceil(std::clamp(end, 0.0, limit)));
    for (std::uint32_t s = first; s < last; ++s) {
      const double share = std::min(end, s + 1.0) - std::max(begin, static_cast<double>(s));
      if (share > 0) weights[t].push_back({s, share / scale});
    }
  }
  return weights;
}

// `image` fitted into a `size` x `size` square, centred, the rest
// transparent; colours are averaged weighted by their alpha.
codec::RgbaImage Scaled(const codec::RgbaImage& image, std::uint32_t size) {
  const double fit = static_cast<double>(size) / std::max(image.width, image.height);
  const double w = image.width * fit, h = image.height * fit;
  const auto xs = Coverage(image.width, (size - w) / 2, w, size);
  const auto ys = Coverage(image.height, (size - h) / 2, h, size);
  codec::RgbaImage out{size, size, std::vector<std::uint8_t>(std::size_t{size} * size * 4, 0)};
  for (std::uint32_t y = 0; y < size; ++y) {
    for (std::uint32_t x = 0; x < size; ++x) {
      double sum[4] = {0, 0, 0, 0};
      for (const auto& [sy, wy] : ys[y]) {
        for (const auto& [sx, wx] : xs[x]) {
          const std::uint8_t* p = &image.rgba[(std::size_t{sy} * image.width + sx) * 4];
          const double weight = wx * wy, alpha = p[3] / 255.0;
          for (int c = 0; c < 3; ++c) sum[c] += p[c] * alpha * weight;
          sum[3] += alpha * weight;
        }
      }
      std::uint8_t* q = &out.rgba[(std::size_t{y} * size + x) * 4];
      for (int c = 0; c < 3; ++c) q[c] = sum[3] > 0 ? static_cast<std::uint8_t>(std::lround(std::min(255.0, sum[c] / sum[3]))) : 0;
      q[3] = static_cast<std::uint8_t>(std::lround(std::min(1.0, sum[3]) * 255));
    }
  }
  return out;
}

bool DecodePng(const std::vector<std::uint8_t>& bytes, codec::RgbaImage& image, std::string& error) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()) == 0) {
    error = png.message;
    return false;
  }
  if (png.width == 0 || png.height == 0 || png.width > kMaxSide || png.height > kMaxSide) {
    png_image_free(&png);
    error = "the image is " + std::to_string(png.width) + " x " + std::to_string(png.height) +
            " pixels; at most 4096 x 4096 are taken";
    return false;
  }
  png.format = PNG_FORMAT_RGBA;
  image.width = png.width;
  image.height = png.height;
  image.rgba.resize(PNG_IMAGE_SIZE(png));
  if (png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr) == 0) {
    error = png.message;
    return false;
  }
  return true;
}

bool EncodePng(const codec::RgbaImage& image, std::vector<std::uint8_t>& out) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = image.width;
  png.height = image.height;
  png.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&png, nullptr, &size, 0, image.rgba.data(), 0, nullptr) == 0) return false;
  out.resize(size);
  if (png_image_write_to_memory(&png, out.data(), &size, 0, image.rgba.data(), 0, nullptr) == 0) return false;
  out.resize(size);
  return true;
}

}  // namespace

bool LoadDocumentIcon(const std::string& path, DocumentIcon& icon, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  in.seekg(0, std::ios::end);
  const auto size = static_cast<std::uintmax_t>(std::max<std::streamoff>(in.tellg(), 0));
  in.seekg(0);
  if (size > kMaxFileSize) {
    error = path + " is too large for an icon";
    return false;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
    error = "cannot read " + path;
    return false;
  }
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0) {
    codec::RgbaImage image;
    if (!DecodePng(bytes, image, error)) {
      error = path + ": not a usable PNG image (" + error + ")";
      return false;
    }
    std::vector<codec::IconFileEntry> entries;
    for (const std::uint32_t side : {16u, 24u, 32u, 48u}) {
      entries.push_back({side, side, codec::EncodeIconBitmap(Scaled(image, side))});
    }
    icon.withoutLargest = codec::EncodeIconFile(entries);
    codec::IconFileEntry largest{256, 256, {}};
    if (!EncodePng(Scaled(image, 256), largest.image)) {
      error = path + ": the 256-pixel image could not be made";
      return false;
    }
    entries.push_back(std::move(largest));
    icon.file = codec::EncodeIconFile(entries);
    return true;
  }
  codec::IconDirectory directory;
  if (bytes.size() > 0xFFFFFFFFu ||
      directory.ParseIconFile(bytes.data(), static_cast<std::uint32_t>(bytes.size())) != codec::IconDirectory::Ok ||
      directory.Count() == 0) {
    error = path + " is neither an icon file (.ico) nor a PNG image";
    return false;
  }
  icon.file = std::move(bytes);
  icon.withoutLargest.clear();
  return true;
}

}  // namespace cli
