#include "install/win32/registry_operations.h"

#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "install/installation_scope.h"
#include "install/installer_messages.h"
#include "install/registry_layout.h"
#include "install/win32/native_architecture.h"
#include "os/system_error.h"
#include "reader/message_catalogue.h"
#include "source/xp/file_system.h"

namespace install {

namespace {

// Value and key names are read into this many characters (511 and a NUL).
constexpr DWORD kNameCapacity = 512;

// Sets a REG_SZ value; the byte count includes the terminator, as the
// registry's readers expect of a string.
LONG SetText(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

LONG SetNumber(HKEY key, const char* name, std::uint32_t number) {
  const DWORD value = number;
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Creates `subkey` under `parent` and sets its value `name` (null or empty:
// the default value) to `text`.
LONG CreateWithText(HKEY parent, const std::string& subkey, const char* name, const std::string& text) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyA(parent, subkey.c_str(), &key);
  if (rc != ERROR_SUCCESS) return rc;
  rc = SetText(key, name != nullptr && *name != '\0' ? name : nullptr, text);
  RegCloseKey(key);
  return rc;
}

// Gives the current user, and only that user, full access to `key` and
// what inherits from it.
LONG GrantCurrentUserFullAccess(HKEY key) {
  const std::optional<xp::SecurityIdentifier> sid = xp::CurrentUserSid();
  if (!sid) {
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<LONG>(error) : ERROR_ACCESS_DENIED;
  }
  // An ACL header (8 bytes), one ACE header with its access mask (8) and the SID.
  std::vector<DWORD> aclSpace((sid->size() + 16 + sizeof(DWORD) - 1) / sizeof(DWORD));
  auto* acl = reinterpret_cast<PACL>(aclSpace.data());
  const DWORD aclSize = static_cast<DWORD>(sid->size() + 16);
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
      !AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS,
                             const_cast<void*>(sid->data())) ||
      !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) {
    return static_cast<LONG>(GetLastError());
  }
  return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
}

// Opens the scope's "Software\Classes" for writing, creating it: a fresh
// profile may have no classes key of its own yet.
LONG CreateScopeClasses(HKEY& classes) {
  return RegCreateKeyExA(ScopeRoot(), kClassesKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr,
                         &classes, nullptr);
}

LONG RemoveFileTypeKeysUnder(HKEY root) {
  HKEY classes = nullptr;
  LONG rc = RegOpenKeyExA(root, kClassesKey, 0, KEY_SET_VALUE, &classes);
  // No classes key at all (a fresh profile): no file type to remove.
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) return rc;
  for (const char* extension : {kDocumentExtensions[1], kDocumentExtensions[2], kDocumentExtensions[0]}) {
    const LONG removed = RemoveKeyTree(classes, extension);
    if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) {
      RegCloseKey(classes);
      return removed;
    }
  }
  rc = RemoveKeyTree(classes, kFileTypeClass);
  RegCloseKey(classes);
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

}  // namespace

std::string Rundll32Program() {
  BOOL wow64 = FALSE;
  char folder[MAX_PATH];
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return kRundll32;
  const UINT n = GetSystemWow64DirectoryA(folder, sizeof folder);
  if (n == 0 || n >= sizeof folder) return kRundll32;
  return "\"" + std::string(folder, n) + "\\" + kRundll32 + "\"";
}

HKEY ScopeRoot() { return installationScope == ScopeMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

LONG RemoveKeyTree(HKEY root, const char* subkey) {
  if (subkey == nullptr || *subkey == '\0') return ERROR_BADKEY;
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(root, subkey, 0, WRITE_DAC, &key);
  if (rc != ERROR_SUCCESS) return rc;
  rc = GrantCurrentUserFullAccess(key);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return rc;

  rc = RegOpenKeyExA(root, subkey, 0, DELETE | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS, &key);
  if (rc != ERROR_SUCCESS) return rc;
  char name[kNameCapacity];
  // Deleting shifts the rest down: index 0 is always the next one.
  for (;;) {
    DWORD length = kNameCapacity;
    const LONG found = RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (found == ERROR_NO_MORE_ITEMS) break;
    rc = found != ERROR_SUCCESS ? found : RegDeleteValueA(key, name);
    if (rc != ERROR_SUCCESS) break;
  }
  while (rc == ERROR_SUCCESS) {
    DWORD length = kNameCapacity;
    const LONG found = RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (found == ERROR_NO_MORE_ITEMS) {
      rc = RegDeleteKeyA(root, subkey);
      break;
    }
    rc = found != ERROR_SUCCESS ? found : RemoveKeyTree(key, name);
  }
  RegCloseKey(key);
  return rc;
}

LONG RemoveKeyTreeFormatted(HKEY root, const char* format, const char* argument) {
  const std::optional<std::string> subkey =
      FormatBounded(format != nullptr ? format : "", {argument != nullptr ? argument : ""}, kMaxKeyPath);
  if (!subkey) return ERROR_FILENAME_EXCED_RANGE;
  return RemoveKeyTree(root, subkey->c_str());
}

void ForgetExplorerHistory() {
  for (const HistoryKey& place : ExplorerHistoryKeys()) {
    RemoveKeyTree(place.root == HistoryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_USERS, place.key.c_str());
  }
}

LONG RemoveFileTypeKeys() {
  if (installationScope == ScopeMachine) {
    RemoveFileTypeKeysUnder(HKEY_CURRENT_USER);
    return RemoveFileTypeKeysUnder(HKEY_LOCAL_MACHINE);
  }
  return RemoveFileTypeKeysUnder(HKEY_CURRENT_USER);
}

LONG RegisterIconHandler(const char* modulePath) {
  // The shell of another architecture could not load this module.
  if (MachineIsForeign()) return ERROR_SUCCESS;
  // Under the scope's own classes, as the file type: HKEY_CLASSES_ROOT would
  // put an administrator's per-user registration into the machine's classes,
  // where the user's uninstallation never looks.
  HKEY classes = nullptr;
  LONG rc = CreateScopeClasses(classes);
  if (rc != ERROR_SUCCESS) return rc;
  for (const HandlerValue& value : IconHandlerValues(modulePath)) {
    rc = CreateWithText(classes, value.key, value.name.c_str(), value.data);
    if (rc != ERROR_SUCCESS) break;
  }
  RegCloseKey(classes);
  if (rc != ERROR_SUCCESS) return rc;
  HKEY approved = nullptr;
  rc = RegOpenKeyExA(ScopeRoot(), kApprovedKey, 0, KEY_SET_VALUE, &approved);
  // Without the list, Windows enforces no approval: nothing to add.
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) return rc;
  rc = SetText(approved, kHandlerClassId, kDocumentDescription);
  RegCloseKey(approved);
  return rc;
}

bool RegisterFileTypes(const char* modulePath) {
  ForgetExplorerHistory();
  RemoveFileTypeKeys();

  HKEY classes = nullptr;
  LONG rc = CreateScopeClasses(classes);
  if (rc == ERROR_SUCCESS) {
    for (const ClassValue& value : FileTypeValues(modulePath, Rundll32Program())) {
      const LONG written = CreateWithText(classes, value.key, nullptr, value.data);
      if (written != ERROR_SUCCESS && value.required) {
        rc = written;
        break;
      }
    }
    RegCloseKey(classes);
  }
  if (rc != ERROR_SUCCESS) {
    os::ReportSystemError(kRegisterExtensionFormat, kRegisteredExtension, static_cast<std::uint32_t>(rc));
    return false;
  }

  const LONG handler = RegisterIconHandler(modulePath);
  if (handler == ERROR_ACCESS_DENIED) {
    ShowInstallerMessage(ShellExtensionPermissionNotice(os::AccessDeniedSuggestsAdministrator()).c_str(),
                         reader::MessageKind::Information, reader::MessageFlags::Plain);
  } else if (handler != ERROR_SUCCESS) {
    ShowInstallerMessage(kShellExtensionsFailed, reader::MessageKind::Information, reader::MessageFlags::Plain);
  }
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return true;
}

void WriteUninstallEntry(const char* modulePath) {
  const HKEY root = ScopeRoot();
  const std::string entry = UninstallEntryKey();

  // An entry that a 32-bit installation left in the 64-bit view would show
  // the program twice.
  HKEY probe = nullptr;
  if (RegOpenKeyExA(root, entry.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &probe) == ERROR_SUCCESS) {
    RegCloseKey(probe);
    HKEY parent = nullptr;
    if (RegOpenKeyExA(root, kUninstallKey, 0, KEY_READ | KEY_WOW64_64KEY, &parent) == ERROR_SUCCESS) {
      using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
      // Absent before Windows Vista x64: then there is no such view either.
      if (const HMODULE advapi = GetModuleHandleA("Advapi32.dll")) {
        if (const auto deleteKeyEx = reinterpret_cast<DeleteKeyEx>(
                reinterpret_cast<void (*)()>(GetProcAddress(advapi, "RegDeleteKeyExA")))) {
          deleteKeyEx(parent, kHandlerClassId, KEY_WOW64_64KEY, 0);
        }
      }
      RegCloseKey(parent);
    }
  }

  HKEY key = nullptr;
  if (RegCreateKeyExA(root, entry.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  std::optional<std::uint64_t> size;
  if (GetFileAttributesExA(modulePath, GetFileExInfoStandard, &attributes)) {
    size = (static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
  }
  for (const UninstallValue& value :
       UninstallEntryValues(modulePath, installationScope, size, Rundll32Program())) {
    const LONG rc = value.isNumber ? SetNumber(key, value.name, value.number) : SetText(key, value.name, value.text);
    if (rc != ERROR_SUCCESS && value.required) break;
  }
  RegCloseKey(key);
}

LONG Deregister() {
  const LONG rc = RemoveFileTypeKeys();
  if (rc != ERROR_SUCCESS) return rc;
  // The handler's class where the scope registered it (the machine's
  // uninstallation also takes the user's, as it takes the user's file types).
  if (installationScope == ScopeMachine) {
    RemoveKeyTreeFormatted(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\%s", kHandlerClassId);
  }
  RemoveKeyTreeFormatted(ScopeRoot(), "Software\\Classes\\CLSID\\%s", kHandlerClassId);
  ForgetExplorerHistory();
  HKEY classes = nullptr;
  if (RegOpenKeyExA(ScopeRoot(), kClassesKey, 0, KEY_SET_VALUE, &classes) != ERROR_SUCCESS) classes = nullptr;
  if (classes != nullptr) RemoveKeyTree(classes, kApplicationKey);
  // The maker's per-user key holds the accepted-extensions store.
  RemoveKeyTree(HKEY_CURRENT_USER, kMakerKey);
  RemoveKeyTreeFormatted(ScopeRoot(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s",
                         kHandlerClassId);
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  if (classes != nullptr) RegCloseKey(classes);
  return ERROR_SUCCESS;
}

}  // namespace install
