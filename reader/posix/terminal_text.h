#pragma once
// Text from a document on its way to a terminal. The tag trailer can be read
// without a password and nothing authenticates it, so its texts (and part
// names) must not be able to drive the terminal: retitle it, write the
// clipboard, clear it or fake a prompt. What these functions return is valid
// UTF-8 without a control character.

#include <cstddef>
#include <string>
#include <string_view>

namespace reader {

// One character decoded from the start of a text: its code point and length
// in bytes, or length 0 when the bytes there are no well-formed UTF-8 (a
// lead or continuation byte out of place, an overlong form, a surrogate, a
// value above U+10FFFF, a sequence cut short).
struct Utf8Character {
  char32_t codePoint;
  std::size_t length;
};
Utf8Character DecodeUtf8(std::string_view text);

// Whether a code point is a control: C0, DEL or C1 (U+0080-U+009F, which an
// 8-bit terminal also takes as single bytes 0x80-0x9F).
bool IsControl(char32_t codePoint);

// `text` with every control but the line feed, and every byte that is not
// part of a well-formed UTF-8 character, shown as "\xNN" (each byte of the
// sequence); well-formed text passes unchanged.
std::string TerminalText(std::string_view text);

// The same for text that must stay on one line: line feeds are escaped too.
std::string TerminalLine(std::string_view text);

// `text` as a quoted JSON string: well-formed UTF-8 passes unchanged, quote
// and backslash are escaped, controls become \n, \r, \t or \u00XX, and a byte
// outside UTF-8 is taken as the single-byte code page's character of that
// number (\u00XX).
std::string JsonText(std::string_view text);

}  // namespace reader
