#include "cli/file_part_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cli {

FilePartSource::~FilePartSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool FilePartSource::Open(const std::string& path, std::string& error) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = "cannot pack " + path + ": " + (S_ISDIR(st.st_mode) ? "it is a folder" : "not a regular file");
    return false;
  }
  // Opened without blocking (a FIFO must not hang the check); regular files
  // read the same either way.
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  // A file that cannot be read fails here rather than halfway.
  char probe;
  if (::pread(fd_, &probe, 1, 0) < 0) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  length_ = static_cast<std::uint64_t>(st.st_size);
  device_ = st.st_dev;
  inode_ = st.st_ino;
  return true;
}

bool FilePartSource::Rewind() {
  if (::lseek(fd_, 0, SEEK_SET) == 0) return true;
  errno_ = errno;
  return false;
}

std::int64_t FilePartSource::Read(std::uint8_t* buffer, std::size_t capacity) {
  std::size_t got = 0;
  // Whole chunks where the file has them: fewer, larger pieces downstream.
  while (got < capacity) {
    const ssize_t n = ::read(fd_, buffer + got, capacity - got);
    if (n < 0 && errno == EINTR) {
      if (got > 0) break;
      errno_ = EINTR;
      return -1;
    }
    if (n < 0) {
      errno_ = errno;
      return -1;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(got);
}

}  // namespace cli
