#pragma once
// The pictures of the reader: a document's own icon, the document type's icon
// for documents without one, the product's icon, and the thumbnail a file
// manager shows for a document. Only the plain header and tag trailer are
// read; no credentials, no decryption.

#include <cstdint>
#include <string>

#include "codec/document_tag_table.h"
#include "desktop/bitmap.h"

namespace desktop {

// The sizes a thumbnail may be asked for (the desktop asks 128 to 1024).
inline constexpr std::uint32_t kMinThumbnailSize = 1;
inline constexpr std::uint32_t kMaxThumbnailSize = 1024;

enum class ThumbnailSource {
  DocumentIcon,  // the document's "ImageWin32" icon: its image that fits best (see the .cpp)
  TypeIcon,      // the document type's own icon: no icon, or one that cannot be shown
};

// The picture for the document at `path`, `size` pixels on its longer side:
// of its icon's images the smallest that is at least that large (or the
// largest), scaled. A document that cannot be read or is no document still
// gets the type icon.
Bitmap DocumentThumbnail(const char* path, std::uint32_t size, ThumbnailSource* source = nullptr);

// The document's own icon ("ImageWin32") drawn at `size`, chosen and scaled
// as for the thumbnail; false when the tags hold none that can be shown.
bool DocumentIcon(const codec::DocumentTagTable& tags, std::uint32_t size, Bitmap& out);

// The document type's icon (the one the module shows for documents), `size`
// pixels on its longer side.
Bitmap TypeIcon(std::uint32_t size);
// The product's icon (the program's own), `size` pixels on its longer side.
Bitmap ProductIcon(std::uint32_t size);

// The two icon files as the build drew them.
const std::uint8_t* TypeIconFile(std::uint32_t& length);
const std::uint8_t* ProductIconFile(std::uint32_t& length);

}  // namespace desktop
