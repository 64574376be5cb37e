#include "desktop/icons.h"

#include <algorithm>
#include <new>

#include "codec/document_header.h"
#include "codec/document_tag_table.h"
#include "codec/icon_directory.h"
#include "codec/inspect_document.h"
#include "source/xp/unique_file.h"

namespace desktop {

namespace {

// The image of an icon file's directory to draw at `size`, decoded: the
// smallest whose sides both reach the size, or the largest when none does
// (a picture is shrunk rather than grown wherever the file allows); between
// equal sizes the deeper colours, then the earlier image.
bool BestImage(const std::uint8_t* file, std::uint32_t length, std::uint32_t size, Bitmap& out) {
  codec::IconDirectory directory;
  if (directory.ParseIconFile(file, length) != codec::IconDirectory::Ok || directory.Count() == 0) return false;
  const codec::IconImage* best = nullptr;
  const auto side = [](const codec::IconImage& i) { return std::min(i.width, i.height); };
  for (const codec::IconImage& image : directory.Images()) {
    if (best == nullptr) {
      best = &image;
      continue;
    }
    const bool reaches = side(image) >= size, bestReaches = side(*best) >= size;
    const bool better = reaches != bestReaches ? reaches
                        : side(image) != side(*best) ? (reaches ? side(image) < side(*best) : side(image) > side(*best))
                                                     : image.bitCount > best->bitCount;
    if (better) best = &image;
  }
  return DecodeIconImage(*best, out);
}

// An icon file's best image for `size`, scaled to it; empty when the file has none.
Bitmap Fitted(const std::uint8_t* file, std::uint32_t length, std::uint32_t size) {
  Bitmap image;
  if (!BestImage(file, length, size, image)) return {};
  return std::max(image.width, image.height) == size ? image : ScaleToFit(image, size);
}

// The icon of the document at `path`; false when it has none that can be shown.
bool IconOfFile(const char* path, std::uint32_t size, Bitmap& out) {
  const xp::UniqueFile file(std::fopen(path, "rb"));
  if (!file) return false;
  codec::DocumentHeader header;
  codec::DocumentTagTable tags;
  try {
    if (codec::InspectDocument(file.get(), header, /*rewind=*/false, &tags) != codec::DecodeResult::Ok) return false;
  } catch (const std::bad_alloc&) {
    return false;  // a trailer too large for this machine is no icon
  }
  return DocumentIcon(tags, size, out);
}

}  // namespace

bool DocumentIcon(const codec::DocumentTagTable& tags, std::uint32_t size, Bitmap& out) {
  const codec::DocumentTag* tag = tags.FindTag("ImageWin32");
  if (tag == nullptr || !tag->binary) return false;
  out = Fitted(tag->value.get(), tag->valueLength, size);
  return out.width != 0;
}

Bitmap TypeIcon(std::uint32_t size) {
  std::uint32_t length = 0;
  const std::uint8_t* file = TypeIconFile(length);
  return Fitted(file, length, size);
}

Bitmap ProductIcon(std::uint32_t size) {
  std::uint32_t length = 0;
  const std::uint8_t* file = ProductIconFile(length);
  return Fitted(file, length, size);
}

Bitmap DocumentThumbnail(const char* path, std::uint32_t size, ThumbnailSource* source) {
  Bitmap image;
  if (path != nullptr && IconOfFile(path, size, image)) {
    if (source != nullptr) *source = ThumbnailSource::DocumentIcon;
    return image;
  }
  if (source != nullptr) *source = ThumbnailSource::TypeIcon;
  return TypeIcon(size);
}

}  // namespace desktop
