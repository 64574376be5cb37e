#include "os/accepted_extensions.h"

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
// document when handed to the desktop: programs and installers, scripts and
// script components, shortcuts and shell locations, help and web archives
// that run script, disk images that mount (their files then lose the mark of
// where they came from), add-ins and launch descriptions.
constexpr std::string_view kExecutable[] = {
    // programs, libraries and installers
    ".exe", ".com", ".scr", ".pif", ".cpl", ".dll", ".ocx", ".sys", ".drv", ".msi", ".msp", ".mst", ".msu",
    ".msix", ".msixbundle", ".appx", ".appxbundle", ".appinstaller", ".application", ".appref-ms", ".xbap",
    ".gadget", ".vsix", ".vsto", ".run", ".appimage", ".deb", ".rpm", ".apk", ".jar", ".jnlp",
    // scripts and script components
    ".bat", ".cmd", ".js", ".jse", ".vbs", ".vbe", ".vb", ".wsf", ".wsh", ".ws", ".wsc", ".sct", ".ps1",
    ".ps1xml", ".ps2", ".ps2xml", ".psc1", ".psc2", ".psd1", ".psm1", ".msh", ".msh1", ".msh2", ".mshxml",
    ".msh1xml", ".msh2xml", ".sh", ".bash", ".zsh", ".csh", ".ksh", ".command", ".py", ".pyw", ".pyz", ".pl",
    ".rb", ".php", ".hta", ".reg", ".inf", ".ins", ".isp", ".msc",
    // shortcuts, shell locations and settings
    ".lnk", ".url", ".website", ".scf", ".shb", ".shs", ".desktop", ".library-ms", ".search-ms", ".searchconnector-ms",
    ".settingcontent-ms", ".theme", ".themepack", ".diagcab", ".rdp", ".wsb",
    // help and web archives
    ".chm", ".hlp", ".mht", ".mhtml",
    // disk images that mount
    ".iso", ".img", ".vhd", ".vhdx", ".udf",
    // add-ins of office programs
    ".xll", ".xla", ".xlam", ".ppa", ".ppam", ".wll",
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
