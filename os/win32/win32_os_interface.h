#pragma once
// The Windows operating-system services of the module.

#include <cstddef>
#include <cstdint>

#include <string>

#include "os/win32/document_folders.h"
#include "reader/os_interface.h"
#include "version/version.h"

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

  // At the start of each document: the folders of readers that are gone
  // (ended from the Task Manager, crashed, a power cut) are wiped, their
  // files overwritten first when "VAULTPOST_WIPE_FILES" is set.
  void Prepare() override;
  // The base removal; when it fails, the file (directory) is scheduled for
  // deletion at the next restart and the result is false. Once the current
  // document's folder is gone, its owner's mark goes too.
  bool RemoveFile(const char* path) override;
  bool RemoveDirectoryTree(const char* path) override;

  // Asks first about unknown types (checkType), then hands `path` to the shell
  // (ShellExecuteExA, default verb; a part without extension opens its folder
  // with "explore") and pumps the interface's messages for kKeepAliveMs. A
  // shell failure is shown with ReportSystemError.
  reader::LaunchResult LaunchFile(reader::GuiInterface& gui, const char* path, bool checkType) override;

  // A new, empty directory "<temp>\vptemp\<tick count in hex>[-n]\" created
  // exclusively for this call (an existing directory is never reused) and
  // marked as this reader's until it is removed or the next call (see
  // os/win32/document_folders.h), or null when none could be made within
  // MAX_PATH or "vptemp" is not a plain directory. Valid until the next call.
  const char* TemporaryDirectory() override;
  // Why the last TemporaryDirectory gave none, when the user can act on it
  // (a link planted at "vptemp"); null otherwise.
  const char* TemporaryDirectoryProblem() override;
  // The document's "Zone.Identifier" stream, when it has one, copied to the
  // part (os/win32/zone_identifier.h).
  void CopyDocumentOrigin(const char* document, const char* part) override;

  // Tells the user (unless quiet) that this way of installing is no longer
  // supported and ends the process with exit code -1.
  [[noreturn]] virtual void ReportUnsupportedInstallation();

 private:
  // The folder the temporary root lies in, ending in "\"; empty when
  // Windows names none that fits.
  std::string TemporaryBase() const;

  char temporaryBase_[261] = {};  // empty: the Windows temporary folder
  std::uint32_t keepAliveMs_;
  char directory_[261] = {};
  OwnerMark mark_;
  std::string problem_;
};

// The page the unsupported-installation message sends users to.
inline constexpr const char* kDownloadPage = VP_DOWNLOAD_PAGE;

// The unsupported-installation message, cut to `size` bytes (NUL included).
void FormatUnsupportedInstallation(char* out, std::size_t size);

}  // namespace os
