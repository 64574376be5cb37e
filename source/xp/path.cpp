#include "source/xp/path.h"


namespace xp {
namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::string NormalisePath(std::string_view text, PathStyle style) {
  const bool windows = style == PathStyle::kWindows;
  const auto isSeparator = [windows](char c) { return c == '/' || (windows && c == '\\'); };
  const char joiner = windows ? '\\' : '/';

  std::size_t prefix = 0;
  if (windows && text.size() >= 3 && IsLetter(text[0]) && text[1] == ':' && isSeparator(text[2])) {
    prefix = 3;
  } else if (windows && text.size() >= 2 && text[0] == '\\' && text[1] == '\\') {
    prefix = 2;
  } else if (!text.empty() && isSeparator(text[0])) {
    prefix = 1;
  }
  const bool removeDotDot = prefix != 0;

  std::string out;
  out.reserve(text.size() + 1);
  out.append(text.data(), prefix);
  bool wroteComponent = false;
  const auto write = [&](std::string_view component) {
    if (wroteComponent) out.push_back(joiner);
    out.append(component.data(), component.size());
    wroteComponent = true;
  };

  bool firstDotDotSeen = false;
  bool holding = false;  // whether a component is held back
  std::string_view pending;
  std::size_t i = prefix;
  while (i < text.size()) {
    if (isSeparator(text[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && !isSeparator(text[end])) ++end;
    const std::string_view component = text.substr(i, end - i);
    i = end;

    if (component == ".") continue;
    if (component == "..") {
      if (removeDotDot && !firstDotDotSeen) {
        firstDotDotSeen = true;
        holding = false;
        continue;
      }
      if (holding && pending != "..") {
        holding = false;
        continue;
      }
    }
    if (holding) write(pending);
    pending = component;
    holding = true;
  }
  if (holding) write(pending);

  if (out.empty()) out.assign(1, '.');
  return out;
}

}  // namespace xp
