#pragma once
// Reads the known-answer files under tests/data/security: one case a line,
// whitespace-separated fields, '#' comments and blank lines skipped. A field
// written "text" (quoted, may hold spaces), hex:BYTES or repeat:COUNT:text is
// a byte string; any other field is kept as it is.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace kat {

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

inline std::string ToHex(const std::uint8_t* data, std::size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (std::size_t i = 0; i < length; ++i) {
    s += kDigits[data[i] >> 4];
    s += kDigits[data[i] & 15];
  }
  return s;
}

inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// Decodes one message field: "text", hex:..., repeat:N:text.
inline Bytes DecodeField(const std::string& field) {
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
    return Text(std::string_view(field).substr(1, field.size() - 2));
  }
  if (field.rfind("hex:", 0) == 0) return FromHex(std::string_view(field).substr(4));
  if (field.rfind("repeat:", 0) == 0) {
    const std::size_t colon = field.find(':', 7);
    const std::size_t count = std::stoul(field.substr(7, colon - 7));
    const std::string unit = field.substr(colon + 1);
    Bytes out;
    out.reserve(count * unit.size());
    for (std::size_t i = 0; i < count; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
  }
  return Text(field);
}

struct Line {
  int number = 0;
  std::vector<std::string> fields;  // raw, quotes kept
};

// Splits a line into fields; a quoted field may contain spaces.
inline std::vector<std::string> SplitFields(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    std::size_t end;
    if (text[i] == '"') {
      end = text.find('"', i + 1);
      end = end == std::string::npos ? text.size() : end + 1;
    } else {
      end = text.find_first_of(" \t", i);
      if (end == std::string::npos) end = text.size();
    }
    fields.push_back(text.substr(i, end - i));
    i = end;
  }
  return fields;
}

// All case lines of tests/data/security/`name`; empty when the file is missing.
inline std::vector<Line> ReadFile(const std::string& name) {
  std::ifstream in(std::string(VP_TEST_DATA_DIR) + "/security/" + name);
  std::vector<Line> lines;
  std::string text;
  int number = 0;
  while (std::getline(in, text)) {
    ++number;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos || text[start] == '#') continue;
    lines.push_back({number, SplitFields(text)});
  }
  return lines;
}

}  // namespace kat
