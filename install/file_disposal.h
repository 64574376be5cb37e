#pragma once
// Removing files that may be in use: each is moved into the temporary folder
// under a fresh name and, in machine scope, scheduled for deletion at the
// next restart. This is how the uninstaller removes even the module that is
// running it. Failures are reported (ReportSystemError), never returned.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace install {

// The operating system's part of the disposal; the Win32 one is
// SystemDisposal() (install/win32), tests supply their own.
struct DisposalSteps {
  // The id of this process, which names disposed files.
  std::uint32_t (*processId)();
  // Moves a file without replacing anything: 0, or the system error
  // (ERROR_ALREADY_EXISTS, 183, when the new name is taken).
  std::uint32_t (*moveFile)(const char* from, const char* to);
  // Schedules a file for deletion at the next restart: 0 or the system error.
  std::uint32_t (*deleteAtRestart)(const char* path);
  // Removes an empty directory; false when it cannot.
  bool (*removeDirectory)(const char* path);
};

// Names tried for one file before its disposal is reported as failed.
inline constexpr unsigned kDisposalAttempts = 1000;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorFileNameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE

// "<temporary folder>\vp<process id>-<serial>" (lowercase hexadecimal), at
// most 260 characters; nothing when longer. A folder that ends in a separator
// (as GetTempPathA's does) gets no second one.
std::optional<std::string> DisposalName(std::string_view temporaryFolder, std::uint32_t processId,
                                        std::uint32_t serial);

// Moves `path` to a fresh disposal name, trying the next serial while the
// name is taken, up to kDisposalAttempts names. The serial counts on across
// the process's disposals, so that every attempt has a name of its own
// however fast they come (a tick count stands still for 10-16 ms). Any
// other move error, and
// running out of names, is reported with "Could not delete '<path>'" and
// leaves the file in place. In machine scope the moved file is then
// scheduled for deletion at the next restart (a failure is reported with the
// disposal name); in user scope it stays in the temporary folder.
void DisposeFile(const char* path, const char* temporaryFolder, const DisposalSteps& steps);

// Disposes of every file below `directory` (a link is disposed of as itself,
// never followed), then removes the emptied directories; a directory that
// still holds something stays. Entries whose path would exceed 260
// characters are reported and kept.
void DisposeDirectoryTree(const char* directory, const char* temporaryFolder, const DisposalSteps& steps);

}  // namespace install
