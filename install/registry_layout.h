#pragma once
// What installation writes where: the names of the document type, the icon
// handler's class, the installation folders, and the registry values of the
// file types, the handler and the uninstall entry, composed from the
// installed module's path. Portable: the Win32 code writes these tables.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace install {

// The icon handler's class identifier, as registry text.
inline constexpr const char* kHandlerClassId = "{5b0f2a4e-9c37-4d81-a6e2-3f7c19d0b845}";
// The file type's and the handler's description.
inline constexpr const char* kDocumentDescription = "Orlenta Encrypted Document";
inline constexpr const char* kFileTypeClass = "emcClass";
inline constexpr std::array<const char*, 3> kDocumentExtensions = {".emc", ".emd", ".oed"};

// Keys, relative to the root each operation names.
inline constexpr const char* kClassesKey = "Software\\Classes";
inline constexpr const char* kApprovedKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
inline constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char* kMakerKey = "SOFTWARE\\Orlenta";
inline constexpr const char* kApplicationKey = "Applications\\vaultpost.dll";

// Folders: "<Program Files or local application data>\Orlenta-Reader", and
// the runtime files in "orlenta-reader.runtime" inside it.
inline constexpr const char* kInstallationFolderName = "Orlenta-Reader";
inline constexpr const char* kRuntimeFolderName = "orlenta-reader.runtime";

// Longest composed key path, and longest composed file path (the installation
// directory has 263), in characters without the terminator.
inline constexpr std::size_t kMaxKeyPath = 511;
inline constexpr std::size_t kMaxFilePath = 260;
inline constexpr std::size_t kMaxInstallationDirectory = 263;

// The module's own architecture in the names that carry it ("(32-bit)" in
// the i686 release, "(64-bit)" in the x86-64 build).
inline constexpr const char* kArchitectureLabel = sizeof(void*) == 8 ? "64-bit" : "32-bit";

// `format` with each "%s" replaced by the next of `args` (a missing argument
// is empty) and "%%" by "%"; nothing when the result would be longer than
// `limit` characters, so that no caller ever works with a cut name.
std::optional<std::string> FormatBounded(std::string_view format, std::initializer_list<std::string_view> args,
                                         std::size_t limit);

// `directory` and `name` joined by one "\" (none added when the directory
// already ends in one), at most `limit` characters; nothing when longer or
// when either part is empty.
std::optional<std::string> JoinPath(std::string_view directory, std::string_view name,
                                    std::size_t limit = kMaxFilePath);

// One default value under the Classes key.
struct ClassValue {
  std::string key;
  std::string data;
  // Whether an error here ends the registration (the first four do).
  bool required;
};

// The program that runs the module's entries in the registered commands:
// found by the shell on its search path, which holds the rundll32 of the
// shell's own architecture. A 32-bit module on 64-bit Windows names the
// 32-bit one by its full path instead (see Rundll32Program).
inline constexpr const char* kRundll32 = "rundll32.exe";

// The file type's values, in the order they are written: the description,
// the open command running the module with `rundll32`, the module's first
// icon, and the three extensions naming the type.
std::vector<ClassValue> FileTypeValues(std::string_view modulePath, std::string_view rundll32 = kRundll32);

// One value of the icon handler's registration under the scope's classes.
struct HandlerValue {
  std::string key;
  std::string name;  // empty for the default value
  std::string data;
};

// The handler's class with its in-process server and threading model, the
// file type's icon handler, and the per-document icon "%1", in order.
std::vector<HandlerValue> IconHandlerValues(std::string_view modulePath);

// One value of the uninstall entry.
struct UninstallValue {
  const char* name;
  bool isNumber;         // REG_DWORD when true, REG_SZ otherwise
  std::string text;
  std::uint32_t number;
  bool required;         // a failure ends the writing of the entry
};

// The uninstall entry's values in the order they are written. The command
// and the display name follow the installation scope (1 machine, 2 current
// user), so that the entry removes the installation it stands for;
// "EstimatedSize" (KiB) is present only when the module's size is known.
std::vector<UninstallValue> UninstallEntryValues(std::string_view modulePath, std::int32_t scope,
                                                 std::optional<std::uint64_t> moduleSize,
                                                 std::string_view rundll32 = kRundll32);

// "SOFTWARE\...\Uninstall\{class id}".
std::string UninstallEntryKey();

// Where Explorer remembers the document types of a user.
enum class HistoryRoot { CurrentUser, Users };
struct HistoryKey {
  HistoryRoot root;
  std::string key;
};
// The five remembered places for each extension, places first, then
// extensions in the order ".emc", ".emd", ".oed".
std::vector<HistoryKey> ExplorerHistoryKeys();

}  // namespace install
