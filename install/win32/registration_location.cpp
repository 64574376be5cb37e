#include "install/win32/registration_location.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "install/installation_scope.h"
#include "install/installer_messages.h"
#include "reader/gui_interface.h"

namespace install {

namespace {

// Rights that change a folder (add, delete, replace its files) or a file
// (write it, delete it), or the object's access list or owner.
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                        WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

constexpr const char* kTrustedInstaller = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != FALSE; }

bool IsCurrentUser(PSID sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  alignas(TOKEN_USER) char buffer[256];
  DWORD size = 0;
  const bool same = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
                    EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, sid);
  CloseHandle(token);
  return same;
}

bool IsAdministrator(PSID sid) {
  if (sid == nullptr) return false;
  if (IsWellKnown(sid, WinBuiltinAdministratorsSid) || IsWellKnown(sid, WinLocalSystemSid)) return true;
  PSID installer = nullptr;
  if (ConvertStringSidToSidA(kTrustedInstaller, &installer)) {
    const bool same = EqualSid(installer, sid) != FALSE;
    LocalFree(installer);
    if (same) return true;
  }
  return IsCurrentUser(sid);
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

bool OnlyAdministratorsCanChange(const char* path) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (path == nullptr || GetNamedSecurityInfoA(path, SE_FILE_OBJECT,
                                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                               nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  // No access list at all lets everyone do everything.
  bool safe = dacl != nullptr && IsAdministrator(owner);
  for (DWORD i = 0; safe && i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
      safe = false;
      break;
    }
    // Entries that only pass down to what is created inside change nothing here.
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) continue;
    const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
    PSID trustee = const_cast<DWORD*>(&ace->SidStart);
    if ((ace->Mask & kChangingRights) != 0 && !IsAdministrator(trustee)) safe = false;
  }
  LocalFree(descriptor);
  return safe;
}

bool MayRegisterFrom(const char* modulePath, int scope) {
  if (scope != ScopeMachine) return true;
  const std::string module = modulePath != nullptr ? modulePath : "";
  const std::string folder = FolderOf(module);
  if (!module.empty() && OnlyAdministratorsCanChange(folder.c_str()) && OnlyAdministratorsCanChange(module.c_str())) {
    return true;
  }
  ShowInstallerMessage(MachineRegistrationRefused(folder).c_str(), reader::MessageKind::Stop,
                       reader::MessageFlags::Plain);
  return false;
}

}  // namespace install
