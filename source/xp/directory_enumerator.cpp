#include "source/xp/directory_enumerator.h"

#include <cctype>
#include <cstring>

namespace xp {

bool DirectoryEnumerator::accepted() const {
  const char* entry = name();
  if ((state_->flags & kSkipDot) && std::strcmp(entry, ".") == 0) return false;
  if ((state_->flags & kSkipDotDot) && std::strcmp(entry, "..") == 0) return false;
  return WildcardMatch(entry, state_->pattern.c_str(), 0);
}

void DirectoryEnumerator::advance() {
  do {
    if (!state_->search->next()) {
      state_->search.reset();
      return;
    }
  } while (!accepted());
}

DirectoryEnumerator Enumerate(const Path& directory, unsigned flags, const char* pattern) {
  DirectoryEnumerator enumerator;
  auto search = DirectorySearch::Open(directory.text());
  if (search == nullptr) return enumerator;
  enumerator.state_ = std::make_shared<DirectoryEnumerator::State>(
      DirectoryEnumerator::State{std::move(search), flags, pattern != nullptr ? pattern : ""});
  // The first entry passes the same filter as every later one.
  if (!enumerator.accepted()) enumerator.advance();
  return enumerator;
}

bool WildcardMatch(const char* name, const char* pattern, int mode) {
  if (pattern == nullptr || *pattern == '\0' || std::strcmp(pattern, "*") == 0) return true;
  const bool ignoreCase = mode == 0 || mode == 1;
  const auto same = [ignoreCase](char a, char b) {
    if (!ignoreCase) return a == b;
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
  };
  const char* n = name;
  const char* p = pattern;
  const char* star = nullptr;  // the last "*" seen
  const char* resume = nullptr;  // where the name resumes when backtracking to it
  while (*n != '\0') {
    if (*p == '*') {
      star = p++;
      resume = n;
    } else if (*p != '\0' && (*p == '?' || same(*p, *n))) {
      ++p;
      ++n;
    } else if (star != nullptr) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

}  // namespace xp
