#include "os/win32/win32_os_interface.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "os/launch_confirmation.h"
#include "os/system_error.h"
#include "reader/gui_interface.h"
#include "source/xp/file_system.h"

namespace os {

namespace {

// Fresh names tried after the tick count's own before giving up.
constexpr unsigned kNameAttempts = 1000;

bool IsPlainDirectory(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  // A junction or link planted at the root's name is refused, not followed.
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

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
  if (OsInterface::RemoveDirectoryTree(path)) return true;
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

bool MakeDocumentDirectory(const char* base, std::uint32_t tickCount, char* out, std::size_t size) {
  char root[MAX_PATH + 1];
  const int rootLength = std::snprintf(root, sizeof root, "%svptemp\\", base);
  if (rootLength <= 0 || static_cast<std::size_t>(rootLength) >= sizeof root) return false;
  if (!CreateDirectoryA(root, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  if (!IsPlainDirectory(root)) return false;
  for (unsigned attempt = 1; attempt <= kNameAttempts; ++attempt) {
    char directory[MAX_PATH + 1];
    const int n = attempt == 1 ? std::snprintf(directory, sizeof directory, "%s%lx\\", root,
                                               static_cast<unsigned long>(tickCount))
                               : std::snprintf(directory, sizeof directory, "%s%lx-%u\\", root,
                                               static_cast<unsigned long>(tickCount), attempt);
    // The path with its terminator must fit MAX_PATH and the caller's buffer.
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof directory || static_cast<std::size_t>(n) >= size) {
      return false;
    }
    if (CreateDirectoryA(directory, nullptr)) {
      std::memcpy(out, directory, static_cast<std::size_t>(n) + 1);
      return true;
    }
    // Only a name that is taken is worth another try.
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

const char* Win32OsInterface::TemporaryDirectory() {
  char base[MAX_PATH + 1];
  if (temporaryBase_[0] != '\0') {
    std::snprintf(base, sizeof base, "%s", temporaryBase_);
  } else {
    const DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n >= sizeof base) return nullptr;
  }
  if (!MakeDocumentDirectory(base, GetTickCount(), directory_, sizeof directory_)) return nullptr;
  return directory_;
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
