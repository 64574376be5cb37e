#include "reader/part_file_name.h"

#include <array>
#include <cctype>
#include <string>

namespace reader {

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool IsDeviceName(std::string_view name) {
  // The device names count with any extension ("con.txt" is the console too).
  const std::string_view stem = name.substr(0, name.find('.'));
  std::string lower;
  for (char c : stem) lower += Lower(c);
  while (!lower.empty() && lower.back() == ' ') lower.pop_back();
  static constexpr std::array<std::string_view, 7> kPlain = {"con", "prn", "aux", "nul", "clock$", "conin$", "conout$"};
  for (std::string_view d : kPlain) {
    if (lower == d) return true;
  }
  if (lower.size() != 4 || !(lower.starts_with("com") || lower.starts_with("lpt"))) return false;
  // Windows counts the superscript digits one, two and three (0xB9, 0xB2,
  // 0xB3 in the ANSI code page) as port numbers too.
  const auto digit = static_cast<unsigned char>(lower[3]);
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

}  // namespace

std::string SafePartFileName(std::string_view name, NameRules rules) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    bool bad = c == '/' || c == '\\' || c == ':' || u < 0x20 || u == 0x7F;
    if (rules == NameRules::Windows) {
      bad = bad || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*';
    }
    out += bad ? '_' : c;
  }
  if (rules == NameRules::Windows) {
    while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
    if (IsDeviceName(out)) out.insert(out.begin(), '_');
  }
  if (out.empty() || out == "." || out == "..") out = "part";
  return out;
}

std::string PartFileNames::Key(const std::string& name) const {
  if (rules_ == NameRules::Posix) return name;
  std::string key = name;
  for (char& c : key) c = Lower(c);
  return key;
}

bool PartFileNames::Taken(const std::string& key) {
  ++probes_;
  return taken_.count(key) != 0;
}

std::string PartFileNames::Distinct(const std::string& name) {
  const std::string key = Key(name);
  if (!Taken(key)) return name;
  // "report.txt" -> "report (2).txt"; a leading dot is not an extension.
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) dot = name.size();
  const std::string stem = name.substr(0, dot);
  const std::string ext = name.substr(dot);
  auto next = nextNumber_.try_emplace(key, 2).first;
  ++probes_;
  for (;; ++next->second) {
    std::string candidate = stem + " (" + std::to_string(next->second) + ")" + ext;
    if (!Taken(Key(candidate))) return candidate;
  }
}

void PartFileNames::Add(const std::string& name) { taken_.insert(Key(name)); }

void PartFileNames::Clear() {
  taken_.clear();
  nextNumber_.clear();
}

}  // namespace reader
