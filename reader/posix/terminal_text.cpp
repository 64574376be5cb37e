#include "reader/posix/terminal_text.h"

#include <cstdio>

namespace reader {

namespace {

void Append(std::string& out, const char* format, unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, format, value);
  out += text;
}

std::string Shown(std::string_view text, bool keepLineFeeds) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Character c = DecodeUtf8(text.substr(i));
    const bool plain = c.length != 0 && (!IsControl(c.codePoint) || (keepLineFeeds && c.codePoint == '\n'));
    const std::size_t length = c.length != 0 ? c.length : 1;
    if (plain) {
      out.append(text.substr(i, length));
    } else {
      for (std::size_t k = 0; k < length; ++k) Append(out, "\\x%02x", static_cast<unsigned char>(text[i + k]));
    }
    i += length;
  }
  return out;
}

}  // namespace

Utf8Character DecodeUtf8(std::string_view text) {
  constexpr Utf8Character kMalformed{0, 0};
  if (text.empty()) return kMalformed;
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t codePoint = 0;
  char32_t smallest = 0;  // below it the form is overlong
  if ((lead & 0xE0) == 0xC0) {
    length = 2, codePoint = lead & 0x1Fu, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, codePoint = lead & 0x0Fu, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, codePoint = lead & 0x07u, smallest = 0x10000;
  } else {
    return kMalformed;  // a continuation byte, or F8-FF
  }
  if (text.size() < length) return kMalformed;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[k]);
    if ((next & 0xC0) != 0x80) return kMalformed;
    codePoint = (codePoint << 6) | (next & 0x3Fu);
  }
  if (codePoint < smallest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return kMalformed;
  return {codePoint, length};
}

bool IsControl(char32_t codePoint) { return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F); }

std::string TerminalText(std::string_view text) { return Shown(text, /*keepLineFeeds=*/true); }

std::string TerminalLine(std::string_view text) { return Shown(text, /*keepLineFeeds=*/false); }

std::string JsonText(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Character c = DecodeUtf8(text.substr(i));
    if (c.length == 0) {
      Append(out, "\\u%04x", static_cast<unsigned char>(text[i]));
      ++i;
      continue;
    }
    switch (c.codePoint) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (IsControl(c.codePoint)) {
          Append(out, "\\u%04x", static_cast<unsigned>(c.codePoint));
        } else {
          out.append(text.substr(i, c.length));
        }
    }
    i += c.length;
  }
  out += '"';
  return out;
}

}  // namespace reader
