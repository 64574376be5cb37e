#include "os/win32/win32_os_interface.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/launch_confirmation.h"
#include "os/system_error.h"
#include "os/win32/zone_identifier.h"
#include "reader/gui_interface.h"
#include "source/xp/file_system.h"

namespace os {

Win32OsInterface::Win32OsInterface() : Win32OsInterface(nullptr, kKeepAliveMs) {}

Win32OsInterface::Win32OsInterface(const char* temporaryBase, std::uint32_t keepAliveMs) : keepAliveMs_(keepAliveMs) {
  if (temporaryBase != nullptr) std::snprintf(temporaryBase_, sizeof temporaryBase_, "%s", temporaryBase);
  xp::SetMaxOpenStreams(2048);
}

bool Win32OsInterface::RemoveFile(const char* path) {
  if (OsInterface::RemoveFile(path)) return true;
  if (path != nullptr) MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return false;
}

bool Win32OsInterface::RemoveDirectoryTree(const char* path) {
  if (OsInterface::RemoveDirectoryTree(path)) {
    // The mark has nothing left to guard; a folder that stays keeps it until
    // the reader ends, and is the next start's to sweep after that.
    if (path != nullptr && directory_[0] != '\0' && std::strcmp(path, directory_) == 0) mark_.Release();
    return true;
  }
  if (path != nullptr) MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return false;
}

reader::LaunchResult Win32OsInterface::LaunchFile(reader::GuiInterface& gui, const char* path, bool checkType) {
  if (path == nullptr) return reader::LaunchResult::Declined;
  if (checkType && !ConfirmLaunch(gui, path)) return reader::LaunchResult::Declined;

  std::string file = path;
  const char* verb = nullptr;
  if (checkType && PathExtension(path) == nullptr) {
    // A part without an extension: show its folder in the file manager.
    verb = "explore";
    const std::size_t slash = file.rfind('\\');
    if (slash != std::string::npos) file.resize(slash);
  }
  SHELLEXECUTEINFOA info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.nShow = SW_SHOWNORMAL;
  info.lpFile = file.c_str();
  info.lpVerb = verb;
  if (!ShellExecuteExA(&info)) {
    ReportSystemError("Could not open the program to read file named '%s'.\nReason: %s", path, GetLastError());
    return reader::LaunchResult::Failed;
  }
  // The viewer is not waited on; its handle is of no further use.
  if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < keepAliveMs_) gui.PumpMessages(false);
  return reader::LaunchResult::Started;
}

std::string Win32OsInterface::TemporaryBase() const {
  if (temporaryBase_[0] != '\0') return temporaryBase_;
  char base[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof base, base);
  if (n == 0 || n >= sizeof base) return {};
  return std::string(base, n);
}

void Win32OsInterface::Prepare() {
  const std::string base = TemporaryBase();
  if (!base.empty()) RemoveAbandonedFolders(base, std::getenv("VAULTPOST_WIPE_FILES") != nullptr);
}

const char* Win32OsInterface::TemporaryDirectory() {
  mark_.Release();
  directory_[0] = '\0';
  problem_.clear();
  const std::string base = TemporaryBase();
  RootState root = RootState::Ready;
  if (base.empty() || !MakeDocumentDirectory(base.c_str(), GetTickCount(), directory_, sizeof directory_, mark_,
                                             &root)) {
    directory_[0] = '\0';
    if (root == RootState::Link) {
      problem_ = "The folder for decoded files, '" + base + kTemporaryRootName +
                 "', is a link to another place, and nothing is written through it. Remove the link and open the "
                 "document again.";
    } else if (root == RootState::Foreign) {
      problem_ = "The folder for decoded files, '" + base + kTemporaryRootName +
                 "', belongs to another user, and nothing is written there. Have an administrator remove it, then "
                 "open the document again.";
    }
    return nullptr;
  }
  return directory_;
}

const char* Win32OsInterface::TemporaryDirectoryProblem() { return problem_.empty() ? nullptr : problem_.c_str(); }

void Win32OsInterface::CopyDocumentOrigin(const char* document, const char* part) {
  CopyZoneIdentifier(document, part);
}

void FormatUnsupportedInstallation(char* out, std::size_t size) {
  if (size == 0) return;
  std::snprintf(out, size,
                "This method of installation is no longer supported.  Please download the latest version from %s.",
                kDownloadPage);
}

void Win32OsInterface::ReportUnsupportedInstallation() {
  if (quietFlag == 0) {
    char message[256];
    FormatUnsupportedInstallation(message, sizeof message);
    if (reader::GuiInterface* gui = reader::GuiInterface::Current()) {
      gui->ShowMessage(message, reader::MessageKind::Stop, reader::MessageFlags::Plain);
    }
  }
  ExitProcess(static_cast<UINT>(-1));
}

}  // namespace os
