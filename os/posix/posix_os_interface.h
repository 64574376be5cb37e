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
  ~PosixOsInterface() override;

  // At the start of each document: the per-document directories of readers
  // that could not clean up (killed, crashed, a power cut) are wiped.
  void Prepare() override;
  // Also gives up the directory's owner lock once the directory is gone.
  bool RemoveDirectoryTree(const char* path) override;
  // On Linux a viewer's open file does not keep it from being removed, so
  // only a busy file (EBUSY, ETXTBSY) is tried again: up to 10 times, 250 ms
  // apart. A file already gone counts as removed. False leaves errno set.
  bool RemoveFile(const char* path) override;
  reader::LaunchResult LaunchFile(reader::GuiInterface& gui, const char* path, bool checkType) override;
  const char* TemporaryDirectory() override;
  // A busy file gets up to five passes; any other failure will not clear.
  bool RetryRemoval(std::uint32_t pass, int error) override;
  // "Could not delete '<path>'.  Reason: ..." as a Stop message.
  void ReportRemovalFailure(reader::GuiInterface& gui, const char* path, int error) override;

 private:
  // Closes the lock on the current directory (removing the lock file when
  // asked, that is when the directory is gone).
  void ReleaseOwnerLock(bool removeLock);

  std::string temporaryBase_;
  std::string directory_;
  int ownerLock_ = -1;
};

// Creates (or verifies) the private per-user root under `base` and a fresh
// per-document directory inside it, named after the millisecond clock and
// made exclusively: an existing directory is never reused. Beside it, the
// owner's lock file is created and locked first (reader::kOwnerLockSuffix);
// `ownerLock` is its descriptor, to keep open while the directory is in use.
// On success `out` is the new directory's path ending in "/".
bool MakeDocumentDirectory(const std::string& base, std::string& out, int& ownerLock);

// Wipes the per-document directories under `base`'s private root whose
// owner's lock can be taken (their reader has ended without cleaning up),
// and lone locks. Entries that are not directories of the user, and links,
// are left alone; nothing outside the root is touched.
void RemoveAbandonedDirectories(const std::string& base, bool overwrite);

// The per-user root under `base`: "<base>/vptemp-<uid>".
std::string TemporaryRoot(const std::string& base);

// The system error code for an errno value: the Windows number of the same
// meaning where the reason table has one (ENOENT -> 2, EACCES -> 5, ...), else
// the support library's runtime code for it, whose reason is its number.
std::uint32_t SystemErrorFromErrno(int error);

}  // namespace os
