#pragma once
// Document texts as a graphical window may show them. A document's texts are
// bytes its sender chose: perhaps UTF-8, perhaps the single-byte code page of
// the system it was made on, perhaps control characters, direction overrides
// or a megabyte of title. Windows of a toolkit that takes UTF-8 get them
// through here.

#include <cstddef>
#include <string>

namespace reader {

struct DisplayTextLimits {
  // Code points kept; a longer text is cut and ends in an ellipsis.
  std::size_t characters;
  // Whether line breaks stay (message bodies) or become spaces (titles, labels).
  bool multiline;
};

inline constexpr DisplayTextLimits kTitleLimits{120, false};
inline constexpr DisplayTextLimits kLabelLimits{200, false};
inline constexpr DisplayTextLimits kMessageLimits{4000, true};

// Valid UTF-8 with no control characters: a text that is valid UTF-8
// throughout (standard limits: no overlong forms, no surrogates, nothing above
// U+10FFFF) is read as UTF-8, any other as Windows-1252, the code page
// documents made on Windows use. Line ends ("\r\n", "\r", "\n", U+2028,
// U+2029) become "\n" or a space, a tab a space; every other C0 or C1
// control, DEL, the direction marks and overrides, and byte-order marks
// become U+FFFD, so that nothing hides, reorders or reinterprets what
// surrounds it. A null text is empty.
std::string DisplayText(const char* text, DisplayTextLimits limits);

}  // namespace reader
