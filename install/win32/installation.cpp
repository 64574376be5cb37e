#include "install/win32/installation.h"

#include <windows.h>
#include <setupapi.h>
#include <shlobj.h>

#include "install/installation_scope.h"
#include "install/installer_messages.h"
#include "install/registry_layout.h"
#include "os/system_error.h"
#include "reader/message_catalogue.h"

namespace install {

namespace {

std::uint32_t ProcessId() { return GetCurrentProcessId(); }

std::uint32_t LastErrorOr(std::uint32_t fallback) {
  const DWORD error = GetLastError();
  return error != 0 ? error : fallback;
}

std::uint32_t MoveWithoutReplacing(const char* from, const char* to) {
  return MoveFileA(from, to) ? 0 : LastErrorOr(ERROR_GEN_FAILURE);
}

std::uint32_t DeleteAtRestart(const char* path) {
  return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 0 : LastErrorOr(ERROR_GEN_FAILURE);
}

bool RemoveEmptyDirectory(const char* path) { return RemoveDirectoryA(path) != FALSE; }

// The copy style keeps an installed file that is newer than ours; Setup asks
// about it only where it compares versions itself (and Wine without a
// callback fails there), so the answer is given here: keep it.
UINT CALLBACK KeepNewerTarget(PVOID, UINT notification, UINT_PTR, UINT_PTR) {
  return notification == SPFILENOTIFY_TARGETNEWER ? FALSE : TRUE;
}

void ReportInstall(const char* subject, std::uint32_t error) {
  os::ReportSystemError(kCouldNotFormat, subject, error);
}

}  // namespace

void ApplyRequestedScope() {
  char value[16];
  const DWORD n = GetEnvironmentVariableA(kScopeVariable, value, sizeof value);
  if (n == 0 || n >= sizeof value) return;
  if (const std::optional<std::int32_t> scope = RequestedScope(value)) installationScope = *scope;
}

std::string InstallationDirectory() {
  int folder = 0;
  if (installationScope == ScopeMachine) {
    folder = CSIDL_PROGRAM_FILES;
  } else if (installationScope == ScopeCurrentUser) {
    folder = CSIDL_LOCAL_APPDATA;
  } else {
    ShowInstallerMessage(kCannotCalculatePath, reader::MessageKind::Error, reader::MessageFlags::Plain);
    ExitProcess(static_cast<UINT>(-1));
  }
  char base[MAX_PATH + 1] = {};
  // No folder means no installation directory at all, never one relative to
  // whatever the current drive happens to be.
  if (FAILED(SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, base)) || base[0] == '\0') return {};
  return JoinPath(base, kInstallationFolderName, kMaxInstallationDirectory).value_or(std::string());
}

std::string TemporaryFolder() {
  char folder[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n > kMaxFilePath) return {};
  return std::string(folder, n);
}

const DisposalSteps& SystemDisposal() {
  static constexpr DisposalSteps kSteps{&ProcessId, &MoveWithoutReplacing, &DeleteAtRestart, &RemoveEmptyDirectory};
  return kSteps;
}

std::uint32_t InstallFile(const char* sourceDirectory, const char* targetDirectory, const char* name, bool& inUse) {
  if (sourceDirectory == nullptr || targetDirectory == nullptr || name == nullptr) return ERROR_INVALID_PARAMETER;
  const std::optional<std::string> source = JoinPath(sourceDirectory, name);
  const std::optional<std::string> target = JoinPath(targetDirectory, name);
  if (!source || !target) return ERROR_FILENAME_EXCED_RANGE;
  BOOL busy = FALSE;
  SetLastError(ERROR_SUCCESS);
  if (!SetupInstallFileExA(nullptr, nullptr, source->c_str(), nullptr, target->c_str(),
                           SP_COPY_NEWER | SP_COPY_SOURCE_ABSOLUTE | SP_COPY_NOSKIP | SP_COPY_FORCE_NEWER,
                           &KeepNewerTarget, nullptr, &busy)) {
    // FALSE without an error: the copy was skipped, the installed file kept.
    if (const DWORD error = GetLastError(); error != ERROR_SUCCESS) return error;
  }
  if (busy) inUse = true;
  return 0;
}

int CopyModuleFiles(const InstallationRequest* request, std::string& installedModule, bool& inUse) {
  inUse = false;
  if (request == nullptr || request->moduleDirectory == nullptr || request->moduleFileName == nullptr) {
    ReportInstall(kInstallSubject, ERROR_INVALID_PARAMETER);
    return -1;
  }
  const std::string directory = InstallationDirectory();
  if (directory.empty()) {
    ReportInstall(kCreateDirectorySubject, ERROR_PATH_NOT_FOUND);
    return -1;
  }
  if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    ReportInstall(kCreateDirectorySubject, LastErrorOr(ERROR_GEN_FAILURE));
    return -1;
  }
  if (request->runtimeDirectory != nullptr && request->runtimeFileCount >= 1) {
    const std::optional<std::string> runtime = JoinPath(directory, kRuntimeFolderName);
    if (!runtime) {
      ReportInstall(kCreateDirectorySubject, ERROR_FILENAME_EXCED_RANGE);
      return -1;
    }
    if (!CreateDirectoryA(runtime->c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      ReportInstall(kCreateDirectorySubject, LastErrorOr(ERROR_GEN_FAILURE));
      return -1;
    }
    if (request->runtimeFiles == nullptr) {
      ReportInstall(kInstallSubject, ERROR_INVALID_PARAMETER);
      return -1;
    }
    for (std::int32_t i = 0; i < request->runtimeFileCount; ++i) {
      const std::uint32_t error =
          InstallFile(request->runtimeDirectory, runtime->c_str(), request->runtimeFiles[i], inUse);
      if (error != 0) {
        ReportInstall(kInstallSubject, error);
        return -1;
      }
    }
  }
  if (const std::uint32_t error =
          InstallFile(request->moduleDirectory, directory.c_str(), request->moduleFileName, inUse);
      error != 0) {
    ReportInstall(kInstallSubject, error);
    return -1;
  }
  installedModule = JoinPath(directory, request->moduleFileName).value_or(std::string());
  return 0;
}

os::SweepResult RemoveTemporaryRoot(bool overwrite) {
  const std::string temporary = TemporaryFolder();
  if (temporary.empty()) return {};
  os::SweepResult swept = os::RemoveAbandonedFolders(temporary, overwrite);
  const std::string root = temporary + os::kTemporaryRootName;
  // Never through a link: Wine would remove an empty target instead.
  const DWORD attributes = GetFileAttributesA(root.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    RemoveDirectoryA(root.c_str());
  }
  return swept;
}

void RemoveInstallation() {
  const std::string directory = InstallationDirectory();
  if (directory.empty()) return;
  const std::string temporary = TemporaryFolder();
  if (temporary.empty()) {
    os::ReportSystemError(kDeleteFormat, directory.c_str(), ERROR_PATH_NOT_FOUND);
    return;
  }
  DisposeDirectoryTree(directory.c_str(), temporary.c_str(), SystemDisposal());
}

void RestartWindows() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  const bool enabled = LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid) &&
                       AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  CloseHandle(token);
  if (enabled) {
    ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG | EWX_RESTARTAPPS,
                  SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION);
  }
}

}  // namespace install
