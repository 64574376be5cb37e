// vaultpost thumbnail IN OUT SIZE: the picture a file manager shows for a
// document (the desktop's thumbnailer runs it), as a PNG of SIZE pixels on
// its longer side. No credentials; only the plain header and trailer are read.

#include <cstdio>
#include <string>

#include "cli/command_line.h"
#include "desktop/icons.h"

namespace cli {

int RunThumbnail(const std::vector<std::string>& args) {
  CommandLine line;
  if (!ParseCommandLine("thumbnail", args, {}, {}, line, {"IN", "OUT", "SIZE"})) return kExitUsage;
  const std::string& sizeText = line.operands[2];
  unsigned long size = 0;
  std::size_t used = 0;
  try {
    size = std::stoul(sizeText, &used, 10);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != sizeText.size() || sizeText[0] == '-' || size < desktop::kMinThumbnailSize ||
      size > desktop::kMaxThumbnailSize) {
    std::fprintf(stderr, "vaultpost: thumbnail: SIZE must be a number of pixels from %u to %u\n",
                 desktop::kMinThumbnailSize, desktop::kMaxThumbnailSize);
    return kExitUsage;
  }
  const desktop::Bitmap picture =
      desktop::DocumentThumbnail(line.operands[0].c_str(), static_cast<std::uint32_t>(size));
  std::string error;
  if (!desktop::WritePngFile(picture, line.operands[1], error)) {
    std::fprintf(stderr, "vaultpost: thumbnail: %s\n", error.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace cli
