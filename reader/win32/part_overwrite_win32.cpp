#include "reader/part_overwrite.h"

#include <fcntl.h>
#include <io.h>

#include <array>
#include <cstddef>
#include <cstdio>

namespace reader {

namespace {

constexpr unsigned kChunk = 2048;
constexpr std::array<unsigned char, kChunk> kPattern = [] {
  std::array<unsigned char, kChunk> a{};
  for (auto& b : a) b = 0xBE;
  return a;
}();

}  // namespace

bool OverwriteFileContents(int fd) {
  const long long size = ::_filelengthi64(fd);
  if (size < 0 || ::_lseeki64(fd, 0, SEEK_SET) != 0) return false;
  long long done = 0;
  while (done < size) {
    const long long left = size - done;
    const unsigned n = left < kChunk ? static_cast<unsigned>(left) : kChunk;
    if (::_write(fd, kPattern.data(), n) != static_cast<int>(n)) return false;
    done += n;
  }
  return ::_commit(fd) == 0;
}

int OpenPartForOverwrite(const char* path) { return ::_open(path, _O_WRONLY | _O_BINARY); }

void ClosePartDescriptor(int fd) { ::_close(fd); }

}  // namespace reader
