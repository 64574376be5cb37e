#pragma once
// Walking a directory's entries with a wildcard filter.

#include <cstdint>
#include <memory>
#include <string>

#include "source/xp/directory_search.h"
#include "source/xp/path.h"

namespace xp {

enum EnumerationFlags : unsigned {
  kSkipDot = 1,     // leave out the entry "."
  kSkipDotDot = 2,  // leave out the entry ".."
};

// Positioned on one entry of a directory, or at the end. Copies share one
// position: advancing one advances all. Belongs to one thread.
class DirectoryEnumerator {
 public:
  // An enumerator at the end.
  // Copies share one position in the directory.
  DirectoryEnumerator() = default;

  bool atEnd() const { return state_ == nullptr || state_->search == nullptr; }
  // Moves to the next entry that passes the filter. Only when not at the end.
  void advance();
  // The current entry. Only when not at the end.
  const char* name() const { return state_->search->name(); }
  bool isDirectory() const { return state_->search->isDirectory(); }
  bool isLink() const { return state_->search->isLink(); }

 private:
  friend DirectoryEnumerator Enumerate(const Path& directory, unsigned flags, const char* pattern);

  struct State {
    std::unique_ptr<DirectorySearch> search;  // null once exhausted
    unsigned flags = 0;
    std::string pattern;
  };

  bool accepted() const;

  std::shared_ptr<State> state_;
};

// An enumerator on the first entry of directory that matches pattern
// (WildcardMatch mode 0) and is not left out by flags; at the end when there
// is none or the directory cannot be read.
DirectoryEnumerator Enumerate(const Path& directory, unsigned flags, const char* pattern);

// Whether name matches pattern: "?" is any one character, "*" any run
// (including none); an empty pattern and "*" match everything. Modes 0 and 1
// ignore case, every other mode compares exactly.
bool WildcardMatch(const char* name, const char* pattern, int mode);

}  // namespace xp
