#include "source/xp/file_system.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "source/xp/directory_enumerator.h"
#include "source/xp/platform.h"

namespace xp {
namespace {

constexpr int kRemoveAttempts = 10;
constexpr int kMaxOpenStreams = 2048;

bool RemoveWithRuntime(const char* fileName, int* error) {
  errno = 0;
  if (std::remove(fileName) == 0) return true;
  *error = errno;
  return false;
}

void PauseBeforeRetry() { std::this_thread::sleep_for(std::chrono::milliseconds(250)); }

int RemoveFileWithDefaultRetry(const char* fileName) { return RemoveFileWithRetry(fileName); }

}  // namespace

int RemoveFileWithRetry(const char* fileName) {
  return RemoveFileWithRetry(fileName, FileRemoval{RemoveWithRuntime, PauseBeforeRetry});
}

int RemoveFileWithRetry(const char* fileName, const FileRemoval& steps) {
  for (int attempt = 1;; ++attempt) {
    int error = 0;
    if (steps.removeFile(fileName, &error)) return 0;
    if (error == ENOENT) return 0;  // already gone
    const bool inUse = error == EACCES || error == 0;
    if (!inUse || attempt == kRemoveAttempts) return error != 0 ? error : EIO;
    steps.pause();
  }
}

bool RemoveDirectoryTree(const Path& path) {
  return RemoveDirectoryTree(path, TreeRemoval{RemoveFileWithDefaultRetry, RemoveDirectory});
}

bool RemoveDirectoryTree(const Path& path, const TreeRemoval& removal) {
  bool failed = false;
  for (DirectoryEnumerator entry = Enumerate(path, kSkipDot | kSkipDotDot, "*"); !entry.atEnd(); entry.advance()) {
    const std::string joined = path.str() + kPathSeparator + entry.name();
    bool removed;
    if (entry.isDirectory() && !entry.isLink()) {
      removed = RemoveDirectoryTree(Path(joined), removal);
    } else if (entry.isDirectory()) {
      removed = removal.removeDirectory(joined.c_str());  // a directory link: remove the link only
    } else {
      removed = removal.removeFile(joined.c_str()) == 0;
    }
    if (!removed) failed = true;  // keep going: remove whatever can be removed
  }
  if (failed) return false;
  return removal.removeDirectory(path.text());
}

long RaiseOpenStreamLimit() { return platform::RaiseOpenStreamLimit(); }

int SetMaxOpenStreams(int count) {
  if (count > kMaxOpenStreams) {
    errno = EPERM;
    return -1;
  }
  return platform::SetOpenStreamLimit(count);
}

}  // namespace xp
