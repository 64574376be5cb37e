#include "cli/document_icon.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "codec/icon_directory.h"
#include "codec/icon_file_writer.h"
#include "desktop/bitmap.h"

namespace cli {
namespace {

constexpr std::uint32_t kMaxSide = 4096;
// A larger file cannot be a sensible icon, and is not read whole.
constexpr std::uintmax_t kMaxFileSize = 64u << 20;
const std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// `image` scaled to fit a `size` x `size` square and centred in it, the
// margin transparent.
codec::RgbaImage Squared(const desktop::Bitmap& image, std::uint32_t size) {
  const desktop::Bitmap fitted = desktop::ScaleToFit(image, size);
  codec::RgbaImage out{size, size, std::vector<std::uint8_t>(std::size_t{size} * size * 4, 0)};
  const std::uint32_t left = (size - fitted.width) / 2, top = (size - fitted.height) / 2;
  for (std::uint32_t y = 0; y < fitted.height; ++y) {
    std::copy_n(&fitted.rgba[std::size_t{y} * fitted.width * 4], std::size_t{fitted.width} * 4,
                &out.rgba[(std::size_t{top + y} * size + left) * 4]);
  }
  return out;
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
    desktop::Bitmap image;
    if (!desktop::DecodePng(bytes.data(), bytes.size(), kMaxSide, image)) {
      error = path + ": not a usable PNG image (damaged, or larger than 4096 x 4096 pixels)";
      return false;
    }
    std::vector<codec::IconFileEntry> entries;
    for (const std::uint32_t side : {16u, 24u, 32u, 48u}) {
      entries.push_back({side, side, codec::EncodeIconBitmap(Squared(image, side))});
    }
    icon.withoutLargest = codec::EncodeIconFile(entries);
    codec::IconFileEntry entry{256, 256, {}};
    if (!desktop::EncodePng(Squared(image, 256), entry.image)) {
      error = path + ": the 256-pixel image could not be made";
      return false;
    }
    entries.push_back(std::move(entry));
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
