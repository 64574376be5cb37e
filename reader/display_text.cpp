#include "reader/display_text.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace reader {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kEllipsis = 0x2026;

// Windows-1252 0x80..0x9F; the five undefined bytes map to U+FFFD.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

// Decodes `s` as UTF-8, keeping the first `keep` code points in `out`;
// false when any sequence of the whole text is malformed.
bool DecodeUtf8(const unsigned char* s, std::size_t n, std::size_t keep, std::vector<char32_t>& out) {
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      if (out.size() < keep) out.push_back(b);
      ++i;
      continue;
    }
    std::size_t length;
    char32_t c;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3, c = b & 0x0F;
      if (b == 0xE0) low = 0xA0;   // overlong
      if (b == 0xED) high = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4, c = b & 0x07;
      if (b == 0xF0) low = 0x90;   // overlong
      if (b == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (n - i < length || s[i + 1] < low || s[i + 1] > high) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      c = (c << 6) | (s[i + k] & 0x3F);
    }
    if (out.size() < keep) out.push_back(c);
    i += length;
  }
  return true;
}

void DecodeCp1252(const unsigned char* s, std::size_t n, std::size_t keep, std::vector<char32_t>& out) {
  for (std::size_t i = 0; i < n && out.size() < keep; ++i) {
    const unsigned char b = s[i];
    out.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
  }
}

bool Hidden(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string DisplayText(const char* text, DisplayTextLimits limits) {
  if (text == nullptr) return {};
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  const std::size_t n = std::strlen(text);
  // One code point more than is shown tells whether the text was cut.
  const std::size_t keep = limits.characters + 1;
  std::vector<char32_t> points;
  if (!DecodeUtf8(bytes, n, keep, points)) {
    points.clear();
    DecodeCp1252(bytes, n, keep, points);
  }

  std::string out;
  const std::size_t shown = points.size() < limits.characters ? points.size() : limits.characters;
  for (std::size_t i = 0; i < shown; ++i) {
    char32_t c = points[i];
    if (c == '\r' || c == '\n' || c == 0x2028 || c == 0x2029) {
      // "\r\n" is one line end.
      if (c == '\n' && i > 0 && points[i - 1] == '\r') continue;
      c = limits.multiline ? '\n' : ' ';
    } else if (c == '\t') {
      c = ' ';
    } else if (Hidden(c)) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  if (points.size() > limits.characters) AppendUtf8(out, kEllipsis);
  return out;
}

}  // namespace reader
