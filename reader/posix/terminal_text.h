#pragma once
// Text from a document on its way to a terminal. The tag trailer can be read
// without a password and nothing authenticates it, so its texts (and part
// names) must not be able to drive the terminal: retitle it, write the
// clipboard, clear it or fake a prompt.

#include <string>
#include <string_view>

namespace reader {

// `text` with every control character made visible as "\xNN": C0 controls
// but line feed and tab, DEL, C1 controls as single bytes (0x80-0x9F on an
// 8-bit terminal) and as UTF-8 (U+0080-U+009F). Everything else, UTF-8 and
// single-byte letters alike, passes unchanged.
std::string TerminalText(std::string_view text);

}  // namespace reader
