#include "source/xp/file_system.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "source/xp/platform.h"

namespace xp {

bool IsDirectory(const char* path) {
  struct stat info{};
  return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool RemoveDirectory(const char* path) { return ::rmdir(path) == 0; }

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
  limit.rlim_cur = wanted;
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  return count;
}

}  // namespace platform
}  // namespace xp
