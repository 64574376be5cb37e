#include "reader/part_overwrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>

namespace reader {

bool OverwriteFileContents(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  off_t done = 0;
  while (done < st.st_size) {
    const off_t left = st.st_size - done;
    const std::size_t n = left < static_cast<off_t>(kOverwriteChunk) ? static_cast<std::size_t>(left) : kOverwriteChunk;
    const ssize_t written = ::pwrite(fd, kOverwritePattern.data(), n, done);
    if (written != static_cast<ssize_t>(n)) return false;
    done += written;
  }
  return ::fsync(fd) == 0;
}

int OpenPartForOverwrite(const char* path) { return ::open(path, O_WRONLY | O_NOFOLLOW | O_CLOEXEC); }

void ClosePartDescriptor(int fd) { ::close(fd); }

}  // namespace reader
