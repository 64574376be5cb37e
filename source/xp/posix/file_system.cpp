#include "source/xp/file_system.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "source/xp/platform.h"

namespace xp {

bool IsDirectory(const char* path) {
  struct stat info{};
  return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool RemoveDirectory(const char* path) { return ::rmdir(path) == 0; }

bool DiskSpace(const char* path, std::uint64_t& available, std::uint64_t& total) {
  struct statvfs fs {};
  if (::statvfs(path, &fs) != 0) return false;
  available = std::uint64_t{fs.f_bavail} * fs.f_frsize;
  total = std::uint64_t{fs.f_blocks} * fs.f_frsize;
  return true;
}

std::optional<SecurityIdentifier> CurrentUserSid() {
  const uid_t user = ::geteuid();
  return SecurityIdentifier(&user, sizeof user);
}

namespace platform {

int SetOpenStreamLimit(int count) {
  if (count < 1) {
    errno = EINVAL;
    return -1;
  }
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  const auto wanted = static_cast<rlim_t>(count);
  if (limit.rlim_max != RLIM_INFINITY && wanted > limit.rlim_max) {
    errno = EPERM;
    return -1;
  }
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
    limit.rlim_cur = wanted;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  }
  return count;
}

long RaiseOpenStreamLimit() {
  // Enough for any document without asking for an unbounded number.
  constexpr rlim_t kCeiling = 1 << 20;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  const rlim_t ceiling = limit.rlim_max == RLIM_INFINITY ? kCeiling : std::min(limit.rlim_max, kCeiling);
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= ceiling) return -1;
  limit.rlim_cur = std::min(ceiling, std::max<rlim_t>(2 * limit.rlim_cur, 4096));
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  return static_cast<long>(limit.rlim_cur);
}

}  // namespace platform
}  // namespace xp
