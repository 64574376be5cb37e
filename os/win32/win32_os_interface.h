#pragma once
// The Windows operating-system services of the module.

#include <cstddef>
#include <cstdint>

#include "reader/os_interface.h"

namespace os {

class Win32OsInterface : public reader::OsInterface {
 public:
  // How long LaunchFile keeps the interface alive after the viewer started.
  static constexpr std::uint32_t kKeepAliveMs = 5000;

  // Raises the limit of open streams to 2048 (result ignored) and becomes the
  // current OsInterface. `temporaryBase` (ending in "\") replaces the Windows
  // temporary folder and `keepAliveMs` the launch keep-alive; both for tests.
  Win32OsInterface();
  Win32OsInterface(const char* temporaryBase, std::uint32_t keepAliveMs);

  // The base removal; when it fails, the file (directory) is scheduled for
  // deletion at the next restart and the result is false.
  bool RemoveFile(const char* path) override;
  bool RemoveDirectoryTree(const char* path) override;

  // Asks first about unknown types (checkType), then hands `path` to the shell
  // (ShellExecuteExA, default verb; a part without extension opens its folder
  // with "explore") and pumps the interface's messages for kKeepAliveMs. A
  // shell failure is shown with ReportSystemError.
  reader::LaunchResult LaunchFile(reader::GuiInterface& gui, const char* path, bool checkType) override;

  // A new, empty directory "<temp>\vptemp\<tick count in hex>[-n]\" created
  // exclusively for this call (an existing directory is never reused), or
  // null when none could be made within MAX_PATH. Valid until the next call.
  const char* TemporaryDirectory() override;

  // Tells the user (unless quiet) that this way of installing is no longer
  // supported and ends the process with exit code -1.
  [[noreturn]] virtual void ReportUnsupportedInstallation();

 private:
  char temporaryBase_[261] = {};  // empty: the Windows temporary folder
  std::uint32_t keepAliveMs_;
  char directory_[261] = {};
};

// The page the unsupported-installation message sends users to.
inline constexpr const char* kDownloadPage = "https://www.orlenta.com/reader/";

// The unsupported-installation message, cut to `size` bytes (NUL included).
void FormatUnsupportedInstallation(char* out, std::size_t size);

// The temporary root "<base>vptemp\" and the exclusive per-document directory
// in it, as TemporaryDirectory makes them: `out` (of `size` bytes) receives
// the directory's path ending in "\". False when the root is not a plain
// directory, no fresh name could be created, or the path would not fit.
bool MakeDocumentDirectory(const char* base, std::uint32_t tickCount, char* out, std::size_t size);

}  // namespace os
