#include <windows.h>

#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "source/xp/file_system.h"
#include "source/xp/platform.h"

namespace xp {

bool IsDirectory(const char* path) {
#if defined(_MSC_VER) || defined(_UCRT)
  struct _stat32 info;
  return ::_stat32(path, &info) == 0 && (info.st_mode & _S_IFDIR) != 0;
#else
  // The older msvcrt.dll (mingw-w64's default runtime) exports no _stat32;
  // its _stat is the same call with 32-bit times.
  struct _stat info;
  return ::_stat(path, &info) == 0 && (info.st_mode & _S_IFDIR) != 0;
#endif
}

bool RemoveDirectory(const char* path) { return ::RemoveDirectoryA(path) != FALSE; }

bool DiskSpace(const char* path, std::uint64_t& available, std::uint64_t& total) {
  ULARGE_INTEGER toCaller{}, size{}, free{};
  if (!::GetDiskFreeSpaceExA(path, &toCaller, &size, &free)) return false;
  available = toCaller.QuadPart;
  total = size.QuadPart;
  return true;
}

std::optional<SecurityIdentifier> CurrentUserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
  std::optional<SecurityIdentifier> result;
  DWORD size = 0;
  if (!::GetTokenInformation(token, TokenUser, nullptr, 0, &size) && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    void* buffer = ::LocalAlloc(LPTR, size);
    if (buffer != nullptr) {
      if (::GetTokenInformation(token, TokenUser, buffer, size, &size)) {
        PSID sid = static_cast<TOKEN_USER*>(buffer)->User.Sid;
        if (::IsValidSid(sid)) {
          const DWORD length = ::GetLengthSid(sid);
          std::vector<unsigned char> copy(length);
          if (::CopySid(length, copy.data(), sid)) result.emplace(copy.data(), copy.size());
        }
      }
      ::LocalFree(buffer);
    }
  }
  ::CloseHandle(token);
  return result;
}

namespace platform {

int SetOpenStreamLimit(int count) {
  if (count < 1) {
    errno = EINVAL;
    return -1;
  }
  // Never lower a limit that is already higher.
  if (::_getmaxstdio() >= count) return count;
  return ::_setmaxstdio(count);
}

long RaiseOpenStreamLimit() {
  // The C runtime takes at most 2048 streams (8192 in newer runtimes).
  for (const int wanted : {8192, 2048}) {
    if (::_getmaxstdio() >= wanted) continue;
    if (::_setmaxstdio(wanted) == wanted) return wanted;
  }
  return -1;
}

}  // namespace platform
}  // namespace xp
