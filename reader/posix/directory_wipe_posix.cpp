// Reads directories with getdents64 and cleans them with openat, unlinkat and
// the shared overwrite, all async-signal-safe.

#include "reader/posix/directory_wipe.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "reader/part_overwrite.h"

namespace reader {

namespace {

constexpr int kNestingLevels = 4;

struct LinuxDirent64 {
  std::uint64_t d_ino;
  std::int64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[1];
};

void OverwriteAt(int dir, const char* name) {
  const int fd = ::openat(dir, name, O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  OverwriteFileContents(fd);  // refuses anything but a regular file
  ::close(fd);
}

void Wipe(int parent, const char* name, bool overwrite, int levels) {
  const int dir = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir >= 0) {
    alignas(8) char buffer[4096];
    for (int pass = 0; pass < 64; ++pass) {
      bool removedAny = false;
      ::lseek(dir, 0, SEEK_SET);
      for (;;) {
        const long n = ::syscall(SYS_getdents64, dir, buffer, sizeof buffer);
        if (n <= 0) break;
        for (long offset = 0; offset < n;) {
          auto* entry = reinterpret_cast<LinuxDirent64*>(buffer + offset);
          offset += entry->d_reclen;
          const char* entryName = entry->d_name;
          if (std::strcmp(entryName, ".") == 0 || std::strcmp(entryName, "..") == 0) continue;
          if (overwrite) OverwriteAt(dir, entryName);
          if (::unlinkat(dir, entryName, 0) == 0) {
            removedAny = true;
          } else if (levels > 0) {
            Wipe(dir, entryName, overwrite, levels - 1);
            removedAny = ::faccessat(dir, entryName, F_OK, AT_SYMLINK_NOFOLLOW) != 0 || removedAny;
          }
        }
      }
      if (!removedAny) break;
    }
    ::close(dir);
  }
  ::unlinkat(parent, name, AT_REMOVEDIR);
}

}  // namespace

void WipeDirectoryAt(int parent, const char* name, bool overwrite) { Wipe(parent, name, overwrite, kNestingLevels); }

}  // namespace reader
