#pragma once
// Names of decoded part files. A part's name comes from the document and is
// hostile: it must never leave the temporary directory, name a device, or
// replace another part's file.

#include <string>
#include <string_view>
#include <vector>

namespace reader {

enum class NameRules {
  Posix,    // "/" is the only separator; any other byte but NUL is allowed
  Windows,  // also "\", drive colons, <>"|?*, device names, trailing dots/spaces
#ifdef _WIN32
  Native = Windows,
#else
  Native = Posix,
#endif
};

// A single file-name component made from a part's name: separators, colons
// and control characters become "_"; an empty name, "." or ".." becomes
// "part"; under Windows rules device names (CON, NUL, COM1, COM\xB9, ...) get a
// leading "_" and trailing dots and spaces are dropped. Both separators are
// always replaced, so a name never climbs out of its directory on either
// system. The extension is kept so that the viewer chosen for it is right.
std::string SafePartFileName(std::string_view name, NameRules rules = NameRules::Native);

// Makes `name` distinct from every name in `taken` (compared ignoring case
// under Windows rules) by inserting " (2)", " (3)", ... before the extension.
std::string DistinctPartFileName(const std::string& name, const std::vector<std::string>& taken,
                                 NameRules rules = NameRules::Native);

}  // namespace reader
