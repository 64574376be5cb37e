#pragma once
// The Linux operating-system services of the reader.

#include <string>

#include "reader/os_interface.h"

namespace os {

// Launching: $VAULTPOST_VIEWER when set (run with the part's full path as its
// only argument, and waited for), else the desktop's opener (xdg-open) when a
// graphical session is present (the interface is kept alive for 5000 ms),
// else, for text parts, the user's pager in the foreground. Temporary
// directories live under a per-user root "vptemp-<uid>" in $TMPDIR (or /tmp)
// that is owned by the user, mode 0700 and no symbolic link.
class PosixOsInterface : public reader::OsInterface {
 public:
  PosixOsInterface();
  // Uses `temporaryBase` instead of $TMPDIR for the per-user root.
  explicit PosixOsInterface(std::string temporaryBase);

  reader::LaunchResult LaunchFile(reader::GuiInterface& gui, const char* path, bool checkType) override;
  const char* TemporaryDirectory() override;

 private:
  std::string temporaryBase_;
  std::string directory_;
};

// Creates (or verifies) the private per-user root under `base` and a fresh
// per-document directory inside it, named after the millisecond clock and
// made exclusively: an existing directory is never reused. On success `out`
// is the new directory's path ending in "/".
bool MakeDocumentDirectory(const std::string& base, std::string& out);

// The per-user root under `base`: "<base>/vptemp-<uid>".
std::string TemporaryRoot(const std::string& base);

// The Windows-style error number for an errno value (ENOENT -> 2, EACCES -> 5, ...).
std::uint32_t SystemErrorFromErrno(int error);

}  // namespace os
