#include "install/file_disposal.h"

#include <atomic>
#include <cstdio>

#include "install/installation_scope.h"
#include "install/installer_messages.h"
#include "install/registry_layout.h"
#include "os/system_error.h"
#include "source/xp/directory_enumerator.h"
#include "source/xp/path.h"

namespace install {

std::optional<std::string> DisposalName(std::string_view temporaryFolder, std::uint32_t processId,
                                        std::uint32_t serial) {
  char name[24];
  std::snprintf(name, sizeof name, "vp%lx-%lx", static_cast<unsigned long>(processId),
                static_cast<unsigned long>(serial));
  return JoinPath(temporaryFolder, name, kMaxFilePath);
}

void DisposeFile(const char* path, const char* temporaryFolder, const DisposalSteps& steps) {
  if (path == nullptr || temporaryFolder == nullptr) return;
  // Counts on across the process's disposals: each attempt has a name of its own.
  static std::atomic<std::uint32_t> serial{0};
  std::uint32_t error = kErrorAlreadyExists;
  std::string target;
  for (unsigned attempt = 0; attempt < kDisposalAttempts && error == kErrorAlreadyExists; ++attempt) {
    const std::optional<std::string> name = DisposalName(temporaryFolder, steps.processId(), serial++);
    if (!name) {
      error = kErrorFileNameTooLong;
      break;
    }
    target = *name;
    error = steps.moveFile(path, target.c_str());
  }
  // Running out of fresh names is a failure like any other: the file stays
  // where it was, and the user is told.
  if (error != 0) {
    os::ReportSystemError(kDeleteFormat, path, error);
    return;
  }
  if (installationScope != ScopeMachine) return;
  if (const std::uint32_t scheduled = steps.deleteAtRestart(target.c_str()); scheduled != 0) {
    os::ReportSystemError(kDeleteFormat, target.c_str(), scheduled);
  }
}

void DisposeDirectoryTree(const char* directory, const char* temporaryFolder, const DisposalSteps& steps) {
  if (directory == nullptr) return;
  const xp::Path root(directory);
  for (xp::DirectoryEnumerator entry = xp::Enumerate(root, xp::kSkipDot | xp::kSkipDotDot, "*"); !entry.atEnd();
       entry.advance()) {
    const std::string separator(1, xp::kPathSeparator);
    const std::optional<std::string> path =
        FormatBounded("%s%s%s", {root.str(), separator, entry.name()}, kMaxFilePath);
    if (!path) {
      os::ReportSystemError(kDeleteFormat, entry.name(), kErrorFileNameTooLong);
      continue;
    }
    // A link (a junction into someone else's folder) goes as itself: its
    // target is not ours to remove.
    if (entry.isDirectory() && !entry.isLink()) {
      DisposeDirectoryTree(path->c_str(), temporaryFolder, steps);
    } else {
      DisposeFile(path->c_str(), temporaryFolder, steps);
    }
  }
  steps.removeDirectory(root.text());
}

}  // namespace install
