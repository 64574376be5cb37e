#pragma once
// The icon a sender gives a document: an icon file taken as it is, or a PNG
// image turned into an icon file with the sizes the reader's prompt (16) and
// the shell's icon handler (16, 24, 32, 48 and 256 for the large views) ask
// for.

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

struct DocumentIcon {
  // The icon file to store.
  std::vector<std::uint8_t> file;
  // For a PNG: the same without its 256-pixel image (about a tenth of the
  // size), for when the whole does not fit the document's trailer; empty for
  // an icon file given as such.
  std::vector<std::uint8_t> withoutLargest;
};

// Reads `path`: a PNG image (by its signature; decoded with libpng through
// the desktop's pictures, at most 4096 x 4096 pixels) or an icon file (which
// must parse and hold an image).
// False, with the reason, otherwise.
bool LoadDocumentIcon(const std::string& path, DocumentIcon& icon, std::string& error);

}  // namespace cli
