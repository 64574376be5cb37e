#include "reader/part_overwrite.h"

#include <fcntl.h>
#include <io.h>

#include <cstddef>
#include <cstdio>

namespace reader {

bool OverwriteFileContents(int fd) {
  const long long size = ::_filelengthi64(fd);
  if (size < 0 || ::_lseeki64(fd, 0, SEEK_SET) != 0) return false;
  long long done = 0;
  while (done < size) {
    const long long left = size - done;
    constexpr auto chunk = static_cast<long long>(kOverwriteChunk);
    const auto n = static_cast<unsigned>(left < chunk ? left : chunk);
    if (::_write(fd, kOverwritePattern.data(), n) != static_cast<int>(n)) return false;
    done += n;
  }
  return ::_commit(fd) == 0;
}

int OpenPartForOverwrite(const char* path) { return ::_open(path, _O_WRONLY | _O_BINARY | _O_NOINHERIT); }

void ClosePartDescriptor(int fd) { ::_close(fd); }

}  // namespace reader
