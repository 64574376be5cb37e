#pragma once
// Reads the known-answer files under tests/data/security: one case a line,
// whitespace-separated fields, '#' comments and blank lines skipped. Byte
// fields are written "text" (may hold spaces), hex:BYTES or repeat:COUNT:text.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace kat {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

inline std::string ToHex(const Bytes& b) {
  std::string s;
  for (std::uint8_t x : b) s += "0123456789abcdef"[x >> 4], s += "0123456789abcdef"[x & 15];
  return s;
}

inline Bytes DecodeField(const std::string& field) {
  if (field.size() >= 2 && field.front() == '"') return Text(field.substr(1, field.size() - 2));
  if (field.rfind("hex:", 0) == 0) return FromHex(field.substr(4));
  if (field.rfind("repeat:", 0) == 0) {
    const std::size_t colon = field.find(':', 7);
    const std::string unit = field.substr(colon + 1);
    Bytes out;
    for (std::size_t i = std::stoul(field.substr(7, colon - 7)); i > 0; --i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
  }
  return Text(field);
}

struct Line {
  int number = 0;
  std::vector<std::string> fields;  // quotes kept
};

inline std::vector<Line> ReadFile(const std::string& name) {
  std::ifstream in(std::string(VP_TEST_DATA_DIR) + "/security/" + name);
  std::vector<Line> lines;
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    Line line{number, {}};
    for (std::size_t i = text.find_first_not_of(" \t\r"); i != std::string::npos && text[i] != '#';
         i = text.find_first_not_of(" \t\r", i)) {
      const std::size_t end = text[i] == '"' ? text.find('"', i + 1) + 1 : text.find_first_of(" \t\r", i);
      line.fields.push_back(text.substr(i, end - i));
      if (end == std::string::npos || end == 0) break;
      i = end;
    }
    if (!line.fields.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace kat
