#include "reader/posix/terminal_text.h"

#include <cstdio>

namespace reader {

namespace {

void Escape(std::string& out, unsigned char byte) {
  char hex[5];
  std::snprintf(hex, sizeof hex, "\\x%02x", byte);
  out += hex;
}

// The length of the well-formed UTF-8 sequence at `text[i]`, or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const std::size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 0;
  if (n == 0 || i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  }
  return n;
}

}  // namespace

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) {
        Escape(out, byte);
      } else {
        out += static_cast<char>(byte);
      }
      ++i;
      continue;
    }
    const std::size_t n = Utf8Length(text, i);
    const bool c1InUtf8 = n == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (n != 0 && !c1InUtf8) {
      out.append(text.substr(i, n));
      i += n;
    } else if (c1InUtf8) {
      Escape(out, byte);
      Escape(out, static_cast<unsigned char>(text[i + 1]));
      i += 2;
    } else {
      // A single byte of an 8-bit code page: 0x80-0x9F are its C1 controls.
      if (byte <= 0x9F) {
        Escape(out, byte);
      } else {
        out += static_cast<char>(byte);
      }
      ++i;
    }
  }
  return out;
}

}  // namespace reader
