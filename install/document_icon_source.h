#pragma once
// What the shell icon handler knows of one document: its plain header and,
// when the document carries its own icon ("ImageWin32"), its tag table. The
// COM object (install/win32/shell_extension.h) wraps it.

#include <cstdint>

#include "codec/document_header.h"
#include "codec/document_tag_table.h"
#include "codec/icon_image.h"

namespace install {

class DocumentIconSource {
 public:
  // The tag that holds a document's icon file.
  static constexpr const char* kIconTag = "ImageWin32";
  // GetIconLocation's answer flags: every document may look different and
  // must not be cached (GIL_PERINSTANCE | GIL_DONTCACHE); GIL_NOTFILENAME
  // tells the shell to ask Extract instead of reading the named file.
  static constexpr std::uint32_t kPerInstance = 0x2;
  static constexpr std::uint32_t kDontCache = 0x10;
  static constexpr std::uint32_t kNotFileName = 0x8;
  // Wanted colour depth of both images.
  static constexpr std::uint32_t kWantedBitCount = 8;

  DocumentIconSource() = default;
  DocumentIconSource(const DocumentIconSource&) = delete;
  DocumentIconSource& operator=(const DocumentIconSource&) = delete;
  ~DocumentIconSource() { tags_.ClearTags(); }

  // Reads the header and tag trailer of the document at `path` (no
  // credentials). The table is kept only when it holds "ImageWin32"; a file
  // that cannot be opened or read, or runs the reader out of memory, leaves
  // it empty. Never throws.
  void Load(const char* path) noexcept;

  // Whether the document names an icon ("ImageWin32", binary or not).
  bool HasIconTag() const { return tags_.FindTag(kIconTag) != nullptr; }
  // kPerInstance | kDontCache, plus kNotFileName when HasIconTag().
  std::uint32_t IconLocationFlags() const;

  // The document's image closest to size x size at 8 bits per pixel; false
  // (out untouched) when there is none, the icon file is unusable, or memory
  // runs out. Never throws.
  bool ChooseImage(std::uint32_t size, codec::IconImage& out) const noexcept;

  // Extract's `sizes`: the small icon's size in the high 16 bits, the large
  // one's in the low 16.
  static std::uint32_t SmallSize(std::uint32_t sizes) { return sizes >> 16; }
  static std::uint32_t LargeSize(std::uint32_t sizes) { return sizes & 0xFFFFu; }

  const codec::DocumentHeader& Header() const { return header_; }
  const codec::DocumentTagTable& Tags() const { return tags_; }

 private:
  codec::DocumentHeader header_{};
  codec::DocumentTagTable tags_;
};

}  // namespace install
