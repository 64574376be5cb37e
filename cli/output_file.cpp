#include "cli/output_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "cli/interrupt_flag.h"

namespace cli {
namespace {

std::string Reason(int error) { return std::strerror(error); }

// The mode a newly created file gets: 0666 less the process's umask.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

OutputFile::OutputFile(std::string path, bool replace) : path_(std::move(path)), replace_(replace) {}

OutputFile::~OutputFile() {
  if (!committed_) Abandon();
}

std::string OutputFile::Folder() const {
  const std::size_t slash = path_.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path_.substr(0, slash);
}

bool OutputFile::Check(std::string& error) const {
  struct stat st {};
  if (path_.empty() || path_.back() == '/') {
    error = "the output needs a file name";
    return false;
  }
  if (::lstat(path_.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      error = path_ + " exists and is not a regular file";
      return false;
    }
    if (!replace_) {
      error = path_ + " exists; give --force to replace it";
      return false;
    }
  }
  const std::string folder = Folder();
  std::string why;
  if (::stat(folder.c_str(), &st) != 0) {
    why = Reason(errno);
  } else if (!S_ISDIR(st.st_mode)) {
    why = "not a folder";
  } else if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    why = Reason(errno);
  }
  if (!why.empty()) error = "cannot write into " + folder + ": " + why;
  return why.empty();
}

bool OutputFile::Create(std::string& error) {
  const std::size_t slash = path_.find_last_of('/');
  const std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  std::string pattern = Folder() + "/." + base + ".part-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  // mkostemp creates the file with mode 0600, whatever the umask. An
  // interrupt waits until the file is known to the handler.
  const InterruptsHeld held;
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) {
    error = "cannot create a file in " + Folder() + ": " + Reason(errno);
    return false;
  }
  temporary_ = name.data();
  SetInterruptLeftover(temporary_.c_str());
  return true;
}

bool OutputFile::Write(const void* data, std::uint32_t length) {
  if (fd_ < 0 && !Create(createError_)) {
    writeErrno_ = errno;
    return false;
  }
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (length > 0) {
    const ssize_t n = ::write(fd_, p, length);
    if (n < 0 && errno == EINTR && !Interrupted()) continue;
    if (n <= 0) {
      writeErrno_ = n == 0 ? EIO : errno;
      return false;
    }
    p += n;
    length -= static_cast<std::uint32_t>(n);
  }
  return true;
}

std::string OutputFile::Error() const {
  if (!createError_.empty()) return createError_;
  if (writeErrno_ == EINTR) return "interrupted";
  return Reason(writeErrno_ != 0 ? writeErrno_ : EIO);
}

bool OutputFile::Commit(std::string& error) {
  const auto fail = [&](const std::string& what) {
    error = what + ": " + Reason(errno);
    Abandon();
    return false;
  };
  if (::fsync(fd_) != 0) return fail("cannot write " + path_);
  if (::fchmod(fd_, NewFileMode()) != 0) return fail("cannot set the mode of " + path_);
  if (::close(fd_) != 0) {
    fd_ = -1;
    return fail("cannot write " + path_);
  }
  fd_ = -1;
  if (replace_) {
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) return fail("cannot rename the output to " + path_);
  } else if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno == EEXIST) return fail(path_ + " appeared meanwhile; not replaced");
    // Without RENAME_NOREPLACE on this file system, a hard link never
    // replaces either.
    if (errno != EINVAL || ::link(temporary_.c_str(), path_.c_str()) != 0) {
      return fail("cannot rename the output to " + path_);
    }
    ::unlink(temporary_.c_str());
  }
  committed_ = true;
  SetInterruptLeftover(nullptr);
  const int folder = ::open(Folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

void OutputFile::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  SetInterruptLeftover(nullptr);
}

}  // namespace cli
