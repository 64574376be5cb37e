#pragma once
// File-system helpers: directory test and removal, recursive removal, file
// removal with retries, the current user's identity and the open-stream limit.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "source/xp/path.h"

// <windows.h> makes RemoveDirectory a macro for RemoveDirectoryA; ours is a
// function of its own.
#ifdef RemoveDirectory
#undef RemoveDirectory
#endif

namespace xp {

// Whether path names a directory (_stat32 / stat; links are followed).
bool IsDirectory(const char* path);

// Removes the empty directory path (RemoveDirectoryA / rmdir).
bool RemoveDirectory(const char* path);

// The steps of RemoveFileWithRetry, replaceable for tests.
struct FileRemoval {
  // Removes the file; false with the errno value in *error on failure.
  bool (*removeFile)(const char* fileName, int* error);
  // The pause between attempts (250 ms).
  void (*pause)();
};

// Removes fileName, retrying while it is in use: on EACCES (or a failure
// without errno) it waits 250 ms and tries again, 10 attempts in all. A file
// that is already gone counts as removed. Returns 0, or the errno value of
// the last attempt (EIO when the platform gave none).
int RemoveFileWithRetry(const char* fileName);
int RemoveFileWithRetry(const char* fileName, const FileRemoval& steps);

// The removals of RemoveDirectoryTree, replaceable for tests.
struct TreeRemoval {
  // Removes a file; 0 or an errno value (as RemoveFileWithRetry).
  int (*removeFile)(const char* fileName);
  // Removes an empty directory, or a link to a directory.
  bool (*removeDirectory)(const char* path);
};

// Removes path with everything below it. Links inside are removed, never
// followed. An entry that cannot be removed is kept with its parent
// directories, the rest is removed, and the result is false.
bool RemoveDirectoryTree(const Path& path);
bool RemoveDirectoryTree(const Path& path, const TreeRemoval& removal);

// An owned copy of a user's security identifier: the SID on Windows, the
// user id on POSIX.
class SecurityIdentifier {
 public:
  SecurityIdentifier(const void* bytes, std::size_t size)
      : bytes_(static_cast<const unsigned char*>(bytes), static_cast<const unsigned char*>(bytes) + size) {}
  const void* data() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  bool operator==(const SecurityIdentifier& other) const = default;

 private:
  std::vector<unsigned char> bytes_;
};

// The identifier of the user the process runs as (on POSIX: the effective
// user id); none when it cannot be found.
std::optional<SecurityIdentifier> CurrentUserSid();

// Sets the limit of open streams. Counts above 2048 are refused with EPERM; a
// limit that is already higher is kept. Returns count, or -1 with errno set.
int SetMaxOpenStreams(int count);

// The space left to an unprivileged writer on the filesystem that holds
// path, and its size, in bytes. False when the system cannot tell.
bool DiskSpace(const char* path, std::uint64_t& available, std::uint64_t& total);

// Raises the limit of open streams as far as the system allows (at least
// doubling it); for a process that needs more than SetMaxOpenStreams gives.
// Returns the new limit, or -1 when it cannot grow.
long RaiseOpenStreamLimit();

}  // namespace xp
