#pragma once
// The images of a Windows icon file (ICO) and the choice of the best one.

#include <cstdint>
#include <vector>

#include "codec/document_tag_table.h"
#include "codec/icon_image.h"

namespace codec {

class IconDirectory {
 public:
  // ParseIconFile results.
  static constexpr std::uint32_t Ok = 0;
  static constexpr std::uint32_t TooShort = 1;  // data too short, or an image lies outside it
  static constexpr std::uint32_t BadReserved = 2;
  static constexpr std::uint32_t BadType = 3;
  static constexpr std::uint32_t BadEntryReserved = 4;
  // SelectBestIcon result.
  static constexpr std::uint32_t Empty = 5;

  // Reads the icon file of `length` bytes at `data` (little-endian), releasing
  // any earlier images. On a failure the directory keeps the images taken
  // before the faulty entry.
  std::uint32_t ParseIconFile(const std::uint8_t* data, std::uint32_t length);

  // Copies the image closest to `wanted` (width, height and bit count) into
  // `out`: smallest size distance first, then smallest depth difference, the
  // earliest image on a tie. `out` is untouched when the directory is empty.
  std::uint32_t SelectBestIcon(const IconImage& wanted, IconImage& out) const;

  const std::vector<IconImage>& Images() const { return images_; }
  std::uint32_t Count() const { return static_cast<std::uint32_t>(images_.size()); }
  void Release() { images_.clear(); }

 private:
  std::vector<IconImage> images_;
};

// The icon a document carries under the binary tag "ImageWin32", in the size
// closest to `wanted`. False (out untouched) when there is no such binary tag
// or its value is not a usable icon file.
bool ExtractDocumentIcon(const DocumentTagTable& tags, const IconImage& wanted, IconImage& out);

}  // namespace codec
