#pragma once
// The platform's directory listing (FindFirstFileA/FindNextFileA on Windows,
// opendir/readdir on POSIX), one entry at a time.

#include <memory>

namespace xp {

class DirectorySearch {
 public:
  // Opens directory, positioned on its first entry; null when it cannot be
  // read or has no entry at all.
  static std::unique_ptr<DirectorySearch> Open(const char* directory);

  virtual ~DirectorySearch() = default;
  // Moves to the next entry; false (and nothing current) when none is left.
  virtual bool next() = 0;
  // The current entry's name.
  virtual const char* name() const = 0;
  // Whether the current entry is a directory (FILE_ATTRIBUTE_DIRECTORY). A
  // POSIX symbolic link is never a directory here.
  virtual bool isDirectory() const = 0;
  // Whether the current entry is a link (symbolic link, junction or other
  // reparse point), which removal must never follow.
  virtual bool isLink() const = 0;
};

}  // namespace xp
