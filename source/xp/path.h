#pragma once
// A path text that normalises itself: "." components dropped, runs of
// separators collapsed, ".." folded into the component before it where the
// path allows it.

#include <cstdint>
#include <string>
#include <string_view>

namespace xp {

// Windows paths split at "\" and "/" and are joined with "\"; they know drive
// ("C:\") and network ("\\") prefixes. POSIX paths split and join at "/" only,
// so a "\" inside a POSIX file name is never taken for a separator.
enum class PathStyle { kWindows, kPosix };
#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::kWindows;
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::kPosix;
inline constexpr char kPathSeparator = '/';
#endif

// The normal form of text:
//  - an absolute prefix ("X:" and a separator, or "\\"; on POSIX "/"; or a
//    single leading separator) is kept as written and allows ".." removal;
//    a relative path does not;
//  - components are "." (dropped), ".." or names; one is held back at a time:
//    a ".." cancels a held-back name; where ".." removal is allowed the first
//    ".." is dropped together with whatever is held back; otherwise the
//    held-back component is written and the new one held back;
//  - an empty result (and an empty text) becomes ".".
std::string NormalisePath(std::string_view text, PathStyle style = kNativePathStyle);

class Path {
 public:
  Path() : text_(".") {}
  explicit Path(std::string_view text) : text_(NormalisePath(text)) {}
  Path& operator=(std::string_view text) {
    text_ = NormalisePath(text);
    return *this;
  }

  const char* text() const { return text_.c_str(); }
  std::uint32_t length() const { return static_cast<std::uint32_t>(text_.size()); }
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

}  // namespace xp
