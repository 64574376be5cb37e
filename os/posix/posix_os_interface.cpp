#include "os/posix/posix_os_interface.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <spawn.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "os/launch_confirmation.h"
#include "os/system_error.h"
#include "reader/gui_interface.h"
#include "reader/posix/directory_wipe.h"
#include "source/xp/file_system.h"
#include "source/xp/high_resolution_clock.h"
#include "source/xp/result/generic_result.h"

extern char** environ;

namespace os {

namespace {

constexpr std::uint64_t kKeepAliveMs = 5000;

bool NonEmptyEnv(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && v[0] != '\0';
}

bool IsTextType(const char* ext) {
  static constexpr const char* kText[] = {".txt", ".text", ".csv", ".xml", ".htm", ".html", ".json", ".md", ".log"};
  if (ext == nullptr) return false;
  for (const char* t : kText) {
    if (::strcasecmp(ext, t) == 0) return true;
  }
  return false;
}

bool ProgramOnPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string dirs(path);
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Starts argv[0] (searched on PATH) with standard input from `stdinPath`.
// The program gets the standard streams and nothing else of the reader (no
// descriptor above 2, whatever left it open), and SIGPIPE's default action,
// which the reader itself ignores. Returns 0 and the child's id, or an errno
// value.
int Spawn(const std::vector<const char*>& argv, const char* stdinPath, pid_t& pid) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdinPath != nullptr) posix_spawn_file_actions_addopen(&actions, 0, stdinPath, O_RDONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> args;
  for (const char* a : argv) args.push_back(const_cast<char*>(a));
  args.push_back(nullptr);
  const int rc = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return rc;
}

// Waits for the child while keeping the interface alive; with `atLeastMs`,
// also until that much time has passed since `start`.
void KeepAlive(reader::GuiInterface& gui, pid_t pid, std::uint64_t start, std::uint64_t atLeastMs) {
  // A descriptor that becomes readable when the child ends, so that the
  // pause between two pumps ends the moment the viewer does.
  const int exited = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  bool running = true;
  for (;;) {
    if (running) {
      int status = 0;
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid || (done < 0 && errno != EINTR)) running = false;
    }
    const std::uint64_t elapsedMs = xp::HighResolutionClock::nanosecondsSince(start) / 1000000u;
    if (!running && elapsedMs >= atLeastMs) break;
    gui.PumpMessages(false);
    if (running && exited >= 0) {
      pollfd child{exited, POLLIN, 0};
      ::poll(&child, 1, 20);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (exited >= 0) ::close(exited);
}

}  // namespace

std::uint32_t SystemErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return ErrorFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return ErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return ErrorAccessDenied;
    case ENOMEM: return ErrorNotEnoughMemory;
    case EBUSY:
    case ETXTBSY: return ErrorSharingViolation;
    case ENOEXEC: return ErrorNoAssociation;
    case ECANCELED: return ErrorCancelled;
    default:
      // Passing an errno on as a Windows number would give it the sentence of
      // an unrelated error (EIO is 5, "access denied").
      return xp::GenericResult::kRuntimeKey | (static_cast<std::uint32_t>(error) & 0x1FFFFFu);
  }
}

namespace {

constexpr std::uint32_t kBusyPasses = 5;
constexpr int kBusyAttempts = 10;

bool IsBusy(int error) { return error == EBUSY || error == ETXTBSY; }

}  // namespace

bool PosixOsInterface::RemoveFile(const char* path) {
  if (path == nullptr) return false;
  for (int attempt = 1;; ++attempt) {
    if (std::remove(path) == 0 || errno == ENOENT) return true;
    if (!IsBusy(errno) || attempt == kBusyAttempts) return false;
    const int error = errno;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    errno = error;
  }
}

bool PosixOsInterface::RetryRemoval(std::uint32_t pass, int error) { return IsBusy(error) && pass < kBusyPasses; }

void PosixOsInterface::ReportRemovalFailure(reader::GuiInterface&, const char* path, int error) {
  ReportSystemError("Could not delete '%s'.  Reason: %s", path, SystemErrorFromErrno(error));
}

bool AccessDeniedSuggestsAdministrator() { return false; }

std::string TemporaryRoot(const std::string& base) {
  return base + "/vptemp-" + std::to_string(static_cast<unsigned long>(::geteuid()));
}

namespace {

// The private per-user root, made when missing; false when what stands at
// its name is not a directory of ours (a planted link is refused, not
// followed).
bool PrivateRoot(const std::string& root) {
  if (::mkdir(root.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
  return (st.st_mode & 077) == 0 || ::chmod(root.c_str(), 0700) == 0;
}

}  // namespace

bool MakeDocumentDirectory(const std::string& base, std::string& out, int& ownerLock) {
  ownerLock = -1;
  const std::string root = TemporaryRoot(base);
  if (!PrivateRoot(root)) return false;

  const auto ms = static_cast<unsigned long long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
  char name[64];
  for (unsigned attempt = 1; attempt < 100000; ++attempt) {
    if (attempt == 1) {
      std::snprintf(name, sizeof name, "%llx", ms);
    } else {
      std::snprintf(name, sizeof name, "%llx-%u", ms, attempt);
    }
    // The owner's lock first, so that a directory never exists without it
    // while its reader runs.
    const std::string dir = root + "/" + name;
    const std::string lock = dir + reader::kOwnerLockSuffix;
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::mkdir(dir.c_str(), 0700) == 0) {
      out = dir + "/";
      ownerLock = fd;
      return true;
    }
    const int error = errno;
    ::unlink(lock.c_str());
    ::close(fd);
    if (error != EEXIST) return false;
  }
  return false;
}

void RemoveAbandonedDirectories(const std::string& base, bool overwrite) {
  const std::string root = TemporaryRoot(base);
  const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (rootFd < 0) return;
  struct stat st {};
  // Only the user's own private root is ever cleaned.
  if (::fstat(rootFd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
    ::close(rootFd);
    return;
  }
  std::vector<std::string> names;
  if (DIR* listing = ::fdopendir(::fcntl(rootFd, F_DUPFD_CLOEXEC, 0))) {
    while (const dirent* entry = ::readdir(listing)) names.emplace_back(entry->d_name);
    ::closedir(listing);
  }
  const std::string suffix = reader::kOwnerLockSuffix;
  for (const std::string& name : names) {
    if (name == "." || name == "..") continue;
    const bool isLock = name.size() > suffix.size() && name.ends_with(suffix);
    const std::string directory = isLock ? name.substr(0, name.size() - suffix.size()) : name;
    const std::string lock = directory + suffix;
    if (isLock && ::fstatat(rootFd, directory.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) continue;  // seen with it
    if (!isLock && (::fstatat(rootFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
                    st.st_uid != ::geteuid())) {
      continue;
    }
    // A lock that can be taken has no reader behind it any more.
    const int fd = ::openat(rootFd, lock.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      continue;
    }
    if (!isLock) reader::WipeDirectoryAt(rootFd, directory.c_str(), overwrite);
    if (fd >= 0) {
      ::unlinkat(rootFd, lock.c_str(), 0);
      ::close(fd);
    }
  }
  ::close(rootFd);
}

namespace {

std::string TemporaryBaseFromEnvironment() {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base;
}

}  // namespace

PosixOsInterface::PosixOsInterface() : PosixOsInterface(TemporaryBaseFromEnvironment()) {}

PosixOsInterface::PosixOsInterface(std::string temporaryBase) : temporaryBase_(std::move(temporaryBase)) {
  // Part files stay open until the wipe; the writer raises the limit further
  // when a document needs more.
  xp::SetMaxOpenStreams(2048);
}

PosixOsInterface::~PosixOsInterface() { ReleaseOwnerLock(/*removeLock=*/false); }

void PosixOsInterface::Prepare() {
  RemoveAbandonedDirectories(temporaryBase_, std::getenv("VAULTPOST_WIPE_FILES") != nullptr);
}

bool PosixOsInterface::RemoveDirectoryTree(const char* path) {
  const bool removed = OsInterface::RemoveDirectoryTree(path);
  // Once its directory is gone the lock has nothing left to guard.
  if (removed && path != nullptr && path == directory_) ReleaseOwnerLock(/*removeLock=*/true);
  return removed;
}

void PosixOsInterface::ReleaseOwnerLock(bool removeLock) {
  if (ownerLock_ < 0) return;
  if (removeLock) {
    std::string lock = directory_;
    while (lock.size() > 1 && lock.back() == '/') lock.pop_back();
    lock += reader::kOwnerLockSuffix;
    ::unlink(lock.c_str());
  }
  // Closing gives the lock up: a directory still there is then the next
  // start's to clean.
  ::close(ownerLock_);
  ownerLock_ = -1;
}

const char* PosixOsInterface::TemporaryDirectory() {
  ReleaseOwnerLock(/*removeLock=*/false);
  if (!MakeDocumentDirectory(temporaryBase_, directory_, ownerLock_)) return nullptr;
  return directory_.c_str();
}

reader::LaunchResult PosixOsInterface::LaunchFile(reader::GuiInterface& gui, const char* path, bool checkType) {
  if (checkType && !ConfirmLaunch(gui, path)) return reader::LaunchResult::Declined;

  // A part without an extension opens its folder, as a file manager would.
  std::string target = path;
  if (checkType && PathExtension(path) == nullptr) {
    const std::size_t slash = target.rfind('/');
    if (slash != std::string::npos && slash > 0) target.resize(slash);
  }

  const std::uint64_t start = xp::HighResolutionClock::now();
  pid_t pid = 0;
  int rc = 0;
  std::uint64_t keepAliveMs = 0;
  if (NonEmptyEnv("VAULTPOST_VIEWER")) {
    rc = Spawn({std::getenv("VAULTPOST_VIEWER"), target.c_str()}, "/dev/null", pid);
  } else if ((NonEmptyEnv("DISPLAY") || NonEmptyEnv("WAYLAND_DISPLAY")) && ProgramOnPath("xdg-open")) {
    // The opener hands the file to the desktop and returns at once.
    rc = Spawn({"xdg-open", target.c_str()}, "/dev/null", pid);
    keepAliveMs = kKeepAliveMs;
  } else if (IsTextType(PathExtension(target.c_str()))) {
    const char* pager = std::getenv("PAGER");
    if (pager != nullptr && pager[0] != '\0') {
      rc = Spawn({"/bin/sh", "-c", "exec $PAGER \"$1\"", "sh", target.c_str()}, nullptr, pid);
    } else {
      rc = Spawn({ProgramOnPath("less") ? "less" : "more", target.c_str()}, nullptr, pid);
    }
  } else {
    ReportSystemError("Could not open the program to read file named '%s'.\nReason: %s", path, ErrorNoAssociation);
    return reader::LaunchResult::Failed;
  }
  if (rc != 0) {
    ReportSystemError("Could not open the program to read file named '%s'.\nReason: %s", path,
                      SystemErrorFromErrno(rc));
    return reader::LaunchResult::Failed;
  }
  KeepAlive(gui, pid, start, keepAliveMs);
  return reader::LaunchResult::Started;
}

}  // namespace os
