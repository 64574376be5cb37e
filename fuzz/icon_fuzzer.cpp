// ParseIconFile, SelectBestIcon and ExtractDocumentIcon over an arbitrary
// icon file: what the shell's icon handler reads from the tag "ImageWin32"
// of every document it is shown; and every image decoded to pixels and
// scaled, as the desktop's thumbnailer and dialogs draw them.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "codec/chunk_reader.h"
#include "codec/document_tag_table.h"
#include "codec/icon_directory.h"
#include "codec/icon_image.h"
#include "codec/memory_reader.h"
#include "desktop/bitmap.h"
#include "fuzz/fuzz_support.h"

namespace {

codec::IconImage Wanted(std::uint32_t width, std::uint32_t height, std::uint32_t bits) {
  codec::IconImage image;
  image.width = width;
  image.height = height;
  image.bitCount = bits;
  return image;
}

bool SameImage(const codec::IconImage& a, const codec::IconImage& b) {
  return a.width == b.width && a.height == b.height && a.bitCount == b.bitCount && a.format == b.format &&
         a.bytes == b.bytes && a.byteCount == b.byteCount;
}

}  // namespace

VP_FUZZ_TARGET(icon) {
  codec::IconDirectory directory;
  const std::uint32_t parsed = directory.ParseIconFile(data, static_cast<std::uint32_t>(size));
  VP_FUZZ_CHECK(parsed <= codec::IconDirectory::BadEntryReserved);
  for (const codec::IconImage& image : directory.Images()) {
    VP_FUZZ_CHECK(image.bytes.size() == image.byteCount && image.byteCount <= size);
    VP_FUZZ_CHECK(image.width >= 1 && image.width <= 256 && image.height >= 1 && image.height <= 256);
    desktop::Bitmap pixels;
    if (desktop::DecodeIconImage(image, pixels)) {
      VP_FUZZ_CHECK(pixels.width >= 1 && pixels.width <= desktop::kMaxImageSide && pixels.height >= 1 &&
                    pixels.height <= desktop::kMaxImageSide);
      VP_FUZZ_CHECK(pixels.rgba.size() == std::size_t{pixels.width} * pixels.height * 4);
      const desktop::Bitmap scaled = desktop::ScaleToFit(pixels, 48);
      VP_FUZZ_CHECK(std::max(scaled.width, scaled.height) == 48 && scaled.rgba.size() == std::size_t{scaled.width} * scaled.height * 4);
    } else {
      VP_FUZZ_CHECK(pixels.width == 0 && pixels.rgba.empty());
    }
  }

  const std::array<codec::IconImage, 4> wanted = {Wanted(16, 16, 8), Wanted(32, 32, 32), Wanted(48, 48, 4),
                                                  Wanted(256, 256, 32)};
  codec::IconImage best;
  for (const codec::IconImage& w : wanted) {
    const std::uint32_t selected = directory.SelectBestIcon(w, best);
    VP_FUZZ_CHECK((selected == codec::IconDirectory::Empty) == (directory.Count() == 0));
    if (selected == codec::IconDirectory::Ok) {
      bool found = false;
      for (const codec::IconImage& image : directory.Images()) found = found || SameImage(image, best);
      VP_FUZZ_CHECK(found);
    }
  }

  // The same bytes as the binary tag a document carries them in.
  // Key word (binary flag, 10 bytes), key, value length, value, end word.
  std::vector<std::uint8_t> list(4 + 10 + 4 + size + 4, 0);
  list[2] = 1;
  list[3] = 10;
  std::memcpy(list.data() + 4, "ImageWin32", 10);
  for (std::size_t i = 0; i < 4; ++i) list[14 + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
  if (size > 0) std::memcpy(list.data() + 18, data, size);
  codec::DocumentTagTable tags;
  codec::MemoryReader source(list.data(), static_cast<std::uint32_t>(list.size()));
  codec::ChunkReader reader(source);
  VP_FUZZ_CHECK(tags.ReadTags(reader) && tags.Count() == 1);
  codec::IconImage out;
  const bool extracted = codec::ExtractDocumentIcon(tags, wanted[1], out);
  VP_FUZZ_CHECK(extracted == (parsed == codec::IconDirectory::Ok && directory.Count() > 0));
  return 0;
}
