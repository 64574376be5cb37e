#include "install/document_icon_source.h"

#include <cstdio>
#include <new>

#include "codec/icon_directory.h"
#include "codec/inspect_document.h"

namespace install {

void DocumentIconSource::Load(const char* path) noexcept {
  tags_.ClearTags();
  if (path == nullptr) return;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return;
  try {
    // Whatever the inspection says, only a table that passed its checks is
    // filled; a document without a usable trailer keeps it empty.
    static_cast<void>(codec::InspectDocument(file, header_, /*rewind=*/false, &tags_));
  } catch (const std::bad_alloc&) {
    tags_.ClearTags();
  }
  std::fclose(file);
  // The handler needs the tags only for the icon: others are let go at once.
  if (tags_.Count() == 0 || !HasIconTag()) tags_.ClearTags();
}

std::uint32_t DocumentIconSource::IconLocationFlags() const {
  return kPerInstance | kDontCache | (HasIconTag() ? kNotFileName : 0u);
}

bool DocumentIconSource::ChooseImage(std::uint32_t size, codec::IconImage& out) const noexcept {
  codec::IconImage wanted;
  wanted.width = size;
  wanted.height = size;
  wanted.bitCount = kWantedBitCount;
  try {
    return codec::ExtractDocumentIcon(tags_, wanted, out);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace install
