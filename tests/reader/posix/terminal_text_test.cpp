// Text from a document on its way to a terminal: well-formed UTF-8 passes
// unchanged, every control and every byte of a malformed sequence is shown
// as "\xNN", so that what reaches the terminal is valid UTF-8 without a
// control character.

#include "reader/posix/terminal_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/utf8_oracle.h"

namespace {

std::string Escaped(const std::string& bytes) {
  std::string out;
  for (const char c : bytes) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
    out += hex;
  }
  return out;
}

TEST(TerminalText, ValidTextPassesAndEveryOtherByteIsEscaped) {
  const struct {
    std::string in, shown;
  } cases[] = {
      {"Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xe6\x97\xa5\xe6\x9c\xac \xf0\x9d\x84\x9e \xf4\x8f\xbf\xbf", ""},
      {"a\nb", ""},
      {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
      {"tab\there\r", "tab\\x09here\\x0d"},
      {"\x7f", "\\x7f"},
      {"E0 80 9B: \xe0\x80\x9b", "E0 80 9B: \\xe0\\x80\\x9b"},  // an overlong ESC
      {"\xc0\x80\xc1\xbf", "\\xc0\\x80\\xc1\\xbf"},             // overlong two-byte forms
      {"\xed\xa0\x80\xed\xbf\xbf", "\\xed\\xa0\\x80\\xed\\xbf\\xbf"},  // surrogates
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},             // above U+10FFFF
      {"\xf0\x80\x80\x80", "\\xf0\\x80\\x80\\x80"},             // overlong four-byte form
      {"\xff\x9b" "80", "\\xff\\x9b" "80"},                     // a CSI swallowed by a bogus lead
      {"\xe2\x82", "\\xe2\\x82"},                               // cut off at the end
      {"\xe2\x82" "A", "\\xe2\\x82" "A"},                       // cut off by the next character
      {"caf\xe9", "caf\\xe9"},                                  // a single-byte code page's letter
      {"\x80\xbf", "\\x80\\xbf"},                               // lone continuation bytes
  };
  for (const auto& c : cases) {
    const std::string expected = c.shown.empty() ? c.in : c.shown;
    EXPECT_EQ(reader::TerminalText(c.in), expected) << Escaped(c.in);
  }
  // Every lead byte that UTF-8 never uses, before what would complete it.
  for (int lead = 0xF5; lead <= 0xFF; ++lead) {
    const std::string in = std::string(1, static_cast<char>(lead)) + "\x80\x80\x80";
    EXPECT_EQ(reader::TerminalText(in), Escaped(in)) << lead;
  }
  // Every C1 control, as a byte of an 8-bit terminal and as UTF-8.
  for (int control = 0x80; control <= 0x9F; ++control) {
    const std::string single(1, static_cast<char>(control));
    const std::string utf8 = std::string("\xc2") + static_cast<char>(control);
    EXPECT_EQ(reader::TerminalText(single), Escaped(single)) << control;
    EXPECT_EQ(reader::TerminalText(utf8), Escaped(utf8)) << control;
  }
}

// One line of `inspect`: a line feed is escaped too. JSON: well-formed text
// unchanged, controls as JSON escapes, a byte outside UTF-8 as the code
// page's character of its number.
TEST(TerminalText, OneLineAndJsonForms) {
  EXPECT_EQ(reader::TerminalLine("a\nb\xc2\x85"), "a\\x0ab\\xc2\\x85");
  EXPECT_EQ(reader::JsonText("Gr\xc3\xbc\xc3\x9f" "e \"q\" \\ \n\t\x1b\x7f\xc2\x9b\x9b\xe9\xe0\x80\x9b"),
            "\"Gr\xc3\xbc\xc3\x9f" "e \\\"q\\\" \\\\ \\n\\t\\u001b\\u007f\\u009b\\u009b\\u00e9\\u00e0\\u0080\\u009b\"");
}

// Every two-byte input, and three- and four-byte ones built on each, comes
// out as valid UTF-8 without a control character.
TEST(TerminalText, NoInputReachesTheTerminalAsAControlOrMalformedUtf8) {
  std::string in(4, '\0');
  for (unsigned n = 0; n < 0x10000; ++n) {
    in[0] = static_cast<char>(n >> 8), in[1] = static_cast<char>(n);
    in[2] = static_cast<char>((n * 131) >> 3), in[3] = static_cast<char>(n * 7);
    for (std::size_t length = 1; length <= 4; ++length) {
      const std::string shown = reader::TerminalText(in.substr(0, length));
      ASSERT_TRUE(support::PrintableUtf8(shown, true)) << Escaped(in.substr(0, length)) << " -> " << shown;
    }
  }
}

}  // namespace
