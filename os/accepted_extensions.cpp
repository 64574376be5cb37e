#include "os/accepted_extensions.h"

#include <array>
#include <cctype>

#include "os/settings_store.h"

namespace os {

namespace {

std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Program, script and shortcut types that open something other than a
// document when handed to the desktop.
constexpr std::array<std::string_view, 40> kExecutable = {
    ".exe", ".com", ".bat", ".cmd", ".scr", ".pif", ".msi", ".msp", ".js",    ".jse",
    ".vbs", ".vbe", ".vb",  ".wsf", ".wsh", ".ps1", ".psm1", ".lnk", ".url",   ".hta",
    ".cpl", ".jar", ".sh",  ".bash", ".zsh", ".csh", ".desktop", ".appimage", ".run", ".reg",
    ".inf", ".scf", ".application", ".gadget", ".msc", ".dll", ".sys", ".py", ".pl", ".command",
};

}  // namespace

bool IsExecutableExtension(std::string_view ext) {
  const std::string lower = Lowered(ext);
  for (std::string_view e : kExecutable) {
    if (lower == e) return true;
  }
  return false;
}

bool IsStorableExtension(std::string_view ext) {
  if (ext.size() < 2 || ext.front() != '.') return false;
  for (char c : ext) {
    const auto u = static_cast<unsigned char>(c);
    if (c == ';' || c == '*' || u < 0x20 || u == 0x7F) return false;
  }
  return !IsExecutableExtension(ext);
}

bool ListHoldsExtension(std::string_view list, std::string_view ext) {
  if (ext.empty()) return false;
  const std::string needle = Lowered(ext) + ";";
  std::string haystack(list);
  haystack += ';';
  return haystack.find(needle) != std::string::npos;
}

bool AppendExtension(std::string& list, std::string_view ext, std::size_t limit) {
  std::string next = list;
  if (!next.empty()) next += ';';
  next += '*';
  next += Lowered(ext);
  if (next.size() + 1 > limit) return false;
  list = std::move(next);
  return true;
}

bool IsAcceptedExtension(SettingsStore& store, const char* ext) {
  if (ext == nullptr || IsExecutableExtension(ext)) return false;
  std::string list;
  if (!store.ReadValue(kAcceptedExtensionsValue, list, kAcceptedLookupLimit)) return false;
  return ListHoldsExtension(list, ext);
}

void AddAcceptedExtension(SettingsStore& store, const char* ext) {
  if (ext == nullptr || !IsStorableExtension(ext)) return;
  store.UpdateValue(kAcceptedExtensionsValue, kAcceptedUpdateLimit,
                    [ext](std::string& text, bool) {
                      // Another reader may have added it since our lookup.
                      if (ListHoldsExtension(text, ext)) return false;
                      return AppendExtension(text, ext);
                    });
}

bool IsAcceptedExtension(const char* ext) {
  auto store = OpenUserSettings();
  return store && IsAcceptedExtension(*store, ext);
}

void AddAcceptedExtension(const char* ext) {
  if (auto store = OpenUserSettings()) AddAcceptedExtension(*store, ext);
}

}  // namespace os
