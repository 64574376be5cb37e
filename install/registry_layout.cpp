#include "install/registry_layout.h"

#include "version/version.h"

namespace install {

std::optional<std::string> FormatBounded(std::string_view format, std::initializer_list<std::string_view> args,
                                         std::size_t limit) {
  std::string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (next != args.end()) out.append(*next++);
      ++i;
    } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
      out.push_back('%');
      ++i;
    } else {
      out.push_back(format[i]);
    }
    if (out.size() > limit) return std::nullopt;
  }
  return out;
}

std::optional<std::string> JoinPath(std::string_view directory, std::string_view name, std::size_t limit) {
  if (directory.empty() || name.empty()) return std::nullopt;
  const bool separated = directory.back() == '\\' || directory.back() == '/';
  return FormatBounded(separated ? "%s%s" : "%s\\%s", {directory, name}, limit);
}

namespace {

// The module path is at most 260 characters, so none of these is refused:
// the bound only guards against a caller with a longer one.
constexpr std::size_t kMaxValueText = 1024;

std::string Compose(std::string_view format, std::initializer_list<std::string_view> args) {
  return FormatBounded(format, args, kMaxValueText).value_or(std::string());
}

// The shell replaces "%1", "%2", "%*", "%L" and the like in a command it
// runs, and reads "%%" as one "%": a path goes into a command with each "%"
// doubled, so that a folder named "100%1" stays that folder.
std::string ForShellCommand(std::string_view path) {
  std::string escaped;
  for (const char c : path) {
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return escaped;
}

}  // namespace

std::vector<ClassValue> FileTypeValues(std::string_view modulePath, std::string_view rundll32) {
  const std::string type = kFileTypeClass;
  return {
      {type, kDocumentDescription, true},
      // The shell substitutes the document's path for %1, unquoted: the
      // module takes the whole rest of the command line as the path.
      {type + "\\shell\\open\\command",
       Compose("%s \"%s\",OpenDocument %%1", {rundll32, ForShellCommand(modulePath)}), true},
      {type + "\\DefaultIcon", Compose("%s,0", {modulePath}), true},
      {kDocumentExtensions[0], type, true},
      {kDocumentExtensions[1], type, false},
      {kDocumentExtensions[2], type, false},
  };
}

std::vector<HandlerValue> IconHandlerValues(std::string_view modulePath) {
  const std::string clsid = std::string("CLSID\\") + kHandlerClassId;
  const std::string type = kFileTypeClass;
  return {
      {clsid, "", kDocumentDescription},
      {clsid + "\\InProcServer32", "", std::string(modulePath)},
      {clsid + "\\InProcServer32", "ThreadingModel", "Apartment"},
      {type + "\\shellex\\IconHandler", "", kHandlerClassId},
      // Replaces the module's own icon: the shell asks the handler per document.
      {type + "\\DefaultIcon", "", "%1"},
  };
}

std::vector<UninstallValue> UninstallEntryValues(std::string_view modulePath, std::int32_t scope,
                                                 std::optional<std::uint64_t> moduleSize,
                                                 std::string_view rundll32) {
  const std::string label = kArchitectureLabel;
  std::vector<UninstallValue> values = {
      {"UninstallString", false,
       Compose(scope == 1 ? "%s \"%s\",UninstallDll --local-machine" : "%s \"%s\",UninstallDll",
               {rundll32, modulePath}),
       0, true},
      {"DisplayName", false,
       scope == 1 ? "Orlenta Reader (" + label + ")" : "Orlenta Reader - Current user install  (" + label + ")", 0,
       true},
      {"URLInfoAbout", false, VP_MAKER_WEB_ADDRESS, 0, false},
      {"Publisher", false, VP_MAKER_NAME, 0, false},
      {"DisplayVersion", false, VP_VERSION_TEXT, 0, false},
      {"DisplayIcon", false, Compose("%s,1", {modulePath}), 0, false},
      {"NoModify", true, {}, 1, false},
      {"NoRepair", true, {}, 1, false},
  };
  if (moduleSize) {
    // The low 32 bits of the size, in KiB.
    values.push_back({"EstimatedSize", true, {}, static_cast<std::uint32_t>(*moduleSize) >> 10, false});
  }
  return values;
}

std::string UninstallEntryKey() { return std::string(kUninstallKey) + "\\" + kHandlerClassId; }

std::vector<HistoryKey> ExplorerHistoryKeys() {
  static constexpr struct {
    HistoryRoot root;
    const char* format;
  } kPlaces[] = {
      {HistoryRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\%s"},
      {HistoryRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\%s"},
      {HistoryRoot::CurrentUser,
       "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSavePidlMRU\\%s"},
      {HistoryRoot::CurrentUser, "Software\\Microsoft\\Windows\\Roaming\\OpenWith\\FileExts\\%s"},
      {HistoryRoot::Users, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\%s"},
  };
  std::vector<HistoryKey> keys;
  for (const auto& place : kPlaces) {
    for (const char* extension : kDocumentExtensions) {
      keys.push_back({place.root, FormatBounded(place.format, {extension}, kMaxKeyPath).value_or(std::string())});
    }
  }
  return keys;
}

}  // namespace install
