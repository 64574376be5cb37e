// Bytes a document puts on a terminal: any input, through the escaping of
// message texts, of `inspect` lines and of JSON strings. The oracle, written
// apart from the escaping: what comes out is valid UTF-8 without a control
// character (line feeds only where message texts keep them), and text that
// is already so comes out unchanged.

#include <string>
#include <string_view>

#include "fuzz/fuzz_target.h"
#include "reader/posix/terminal_text.h"
#include "tests/support/utf8_oracle.h"

VP_FUZZ_TARGET(terminal_text) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const std::string text = reader::TerminalText(in);
  VP_FUZZ_CHECK(support::PrintableUtf8(text, true));
  VP_FUZZ_CHECK(support::PrintableUtf8(reader::TerminalLine(in), false));
  const std::string json = reader::JsonText(in);
  VP_FUZZ_CHECK(support::PrintableUtf8(json, false));
  VP_FUZZ_CHECK(json.size() >= 2 && json.front() == '"' && json.back() == '"');
  if (support::PrintableUtf8(in, true)) VP_FUZZ_CHECK(text == in);
  return 0;
}
