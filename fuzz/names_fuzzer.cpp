// Names that come from documents or meet them: path normalisation in both
// styles, wildcard matching, and the part-file names made from a document's
// part names under both rule sets. The input is split at its first NUL: the
// text before it is the path, the name and a part name; the text after it
// (to the next NUL) is a wildcard pattern; every line of the input is one
// part name of a document, in order.

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <string_view>

#include "fuzz/fuzz_target.h"
#include "reader/part_file_name.h"
#include "source/xp/directory_enumerator.h"
#include "source/xp/path.h"

namespace {

void CheckNormalised(std::string_view text, xp::PathStyle style) {
  const bool windows = style == xp::PathStyle::kWindows;
  const std::string out = xp::NormalisePath(text, style);
  VP_FUZZ_CHECK(!out.empty() && out.size() <= text.size() + 1);
  // Past the kept prefix no component is empty or ".".
  const auto separator = [windows](char c) { return c == '/' || (windows && c == '\\'); };
  std::size_t at = 0;
  while (at < out.size() && at < 3 && separator(out[at])) ++at;
  if (windows && out.size() >= 3 && out[1] == ':' && separator(out[2])) at = 3;
  std::size_t start = at;
  for (std::size_t i = at; i <= out.size(); ++i) {
    if (i == out.size() || separator(out[i])) {
      const std::string_view component(out.data() + start, i - start);
      VP_FUZZ_CHECK(!component.empty() || out.size() <= at);
      VP_FUZZ_CHECK(component != "." || out == ".");
      start = i + 1;
    }
  }
}

// Windows' own list of device names, which count with any extension and
// with spaces before it: CON, PRN, AUX, NUL, CLOCK$, CONIN$, CONOUT$, and
// COM or LPT followed by a digit or by the superscript one, two or three
// (0xB9, 0xB2, 0xB3 in the ANSI code page).
bool IsWindowsDevice(std::string_view name) {
  std::string stem(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* device : {"con", "prn", "aux", "nul", "clock$", "conin$", "conout$"}) {
    if (stem == device) return true;
  }
  if (stem.size() != 4 || (stem.compare(0, 3, "com") != 0 && stem.compare(0, 3, "lpt") != 0)) return false;
  const auto last = static_cast<unsigned char>(stem[3]);
  return (last >= '0' && last <= '9') || last == 0xB9 || last == 0xB2 || last == 0xB3;
}

void CheckSafe(std::string_view name, reader::NameRules rules) {
  const std::string safe = reader::SafePartFileName(name, rules);
  VP_FUZZ_CHECK(!safe.empty() && safe != "." && safe != "..");
  for (const char c : safe) {
    const auto u = static_cast<unsigned char>(c);
    VP_FUZZ_CHECK(c != '/' && c != '\\' && c != ':' && u >= 0x20 && u != 0x7F);
    if (rules == reader::NameRules::Windows) {
      VP_FUZZ_CHECK(std::string_view("<>\"|?*").find(c) == std::string_view::npos);
    }
  }
  if (rules == reader::NameRules::Windows) {
    VP_FUZZ_CHECK(safe.back() != '.' && safe.back() != ' ');
    VP_FUZZ_CHECK(!IsWindowsDevice(safe));
    // Made safe once, a name stays as it is.
    VP_FUZZ_CHECK(reader::SafePartFileName(safe, rules) == safe);
  }
}

void CheckDistinct(std::string_view input, reader::NameRules rules) {
  reader::PartFileNames names(rules);
  std::set<std::string> seen;
  std::size_t count = 0;
  std::size_t start = 0;
  while (start <= input.size() && count < 4096) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view line = input.substr(start, end - start);
    CheckSafe(line, rules);
    const std::string name = names.Distinct(reader::SafePartFileName(line, rules));
    std::string key = name;
    if (rules == reader::NameRules::Windows) {
      for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    VP_FUZZ_CHECK(seen.insert(key).second);
    names.Add(name);
    ++count;
    start = end + 1;
  }
  // A few look-ups per part, however the names repeat.
  VP_FUZZ_CHECK(names.Probes() <= 4 * count + 4);
}

}  // namespace

VP_FUZZ_TARGET(names) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string first(input.substr(0, input.find('\0')));
  const std::size_t patternAt = first.size() < input.size() ? first.size() + 1 : input.size();
  const std::string pattern(input.substr(patternAt, input.find('\0', patternAt) - patternAt));

  CheckNormalised(first, xp::PathStyle::kWindows);
  CheckNormalised(first, xp::PathStyle::kPosix);

  for (const int mode : {0, 2}) {
    const bool matched = xp::WildcardMatch(first.c_str(), pattern.c_str(), mode);
    VP_FUZZ_CHECK(xp::WildcardMatch(first.c_str(), "*", mode));
    if (pattern.find_first_of("*?") == std::string::npos && !pattern.empty()) {
      VP_FUZZ_CHECK(matched == (mode == 2 ? first == pattern
                                          : std::equal(first.begin(), first.end(), pattern.begin(), pattern.end(),
                                                       [](char a, char b) {
                                                         return std::toupper(static_cast<unsigned char>(a)) ==
                                                                std::toupper(static_cast<unsigned char>(b));
                                                       })));
    }
  }
  if (first.find_first_of("*?") == std::string::npos) VP_FUZZ_CHECK(xp::WildcardMatch(first.c_str(), first.c_str(), 2));

  for (const auto rules : {reader::NameRules::Posix, reader::NameRules::Windows}) {
    CheckSafe(first, rules);
    CheckDistinct(input, rules);
  }
  return 0;
}
