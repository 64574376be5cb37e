// POSIX shared-memory objects stand in for Windows named file mappings. The
// object is private to one process (its name carries the process id) but
// names live in a system-wide namespace that outlives the process, so:
//  - No name is left behind, however the process ends: the creator removes
//    the name as soon as the object is set up and keeps its descriptor open
//    for as long as the module lives. A module loaded later finds the object
//    among the process's open descriptors ("/proc/self/fd", where it shows as
//    "/dev/shm/<name> (deleted)") and maps it from there.
//  - Leftovers (a process killed inside the short window before the name is
//    removed, whose id a later process reuses) are recognised by the token
//    of the creating process (id and start time) stamped into every object,
//    and replaced, never trusted.
// Modules attach while they load, which the dynamic loader serialises, so two
// modules never race to create the object.

#include "source/xp/shared_memory_mapping.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "source/xp/platform.h"
#include "source/xp/xp_exception.h"

namespace xp {
namespace {

struct Header {
  std::uint64_t token;  // creating process; written last
  std::uint32_t size;   // size of the caller's data
  std::uint32_t reserved;
};
static_assert(sizeof(Header) == 16);

constexpr const char* kFailure = "Could not create shared memory file mapping";
// How long an opener waits for a creator that is still setting the object up.
constexpr int kSetupWaitRounds = 2000;

[[noreturn]] void Fail(int error) { throw XPException(kFailure, static_cast<std::uint32_t>(error)); }

// Start time of this process in clock ticks since boot (field 22 of
// /proc/self/stat), or 0 where it cannot be read.
std::uint64_t ProcessStartTime() {
  std::FILE* file = std::fopen("/proc/self/stat", "r");
  if (file == nullptr) return 0;
  char buffer[1024];
  const std::size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
  std::fclose(file);
  buffer[length] = '\0';
  const char* p = std::strrchr(buffer, ')');
  if (p == nullptr) return 0;
  ++p;
  // Fields after the command name start with field 3; skip to field 22.
  for (int field = 3; field < 22; ++field) {
    while (*p == ' ') ++p;
    while (*p != ' ' && *p != '\0') ++p;
  }
  while (*p == ' ') ++p;
  std::uint64_t value = 0;
  while (*p >= '0' && *p <= '9') value = value * 10 + static_cast<std::uint64_t>(*p++ - '0');
  return value;
}

std::uint64_t ProcessToken() {
  const std::uint64_t parts[2] = {platform::CurrentProcessId(), ProcessStartTime()};
  std::uint64_t hash = 0xcbf29ce484222325ull;
  const auto* bytes = reinterpret_cast<const unsigned char*>(parts);
  for (std::size_t i = 0; i < sizeof parts; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001b3ull;
  }
  return hash | 1;  // never 0, which means "not set up yet"
}

// A duplicate of the descriptor this process holds on the unnamed object
// that was called objectName, or -1.
int FindUnnamedObject(const std::string& objectName) {
  const std::string wanted = "/dev/shm" + objectName + " (deleted)";
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int found = -1;
  while (dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string path = std::string("/proc/self/fd/") + entry->d_name;
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0) continue;
    target[length] = '\0';
    const int fd = std::atoi(entry->d_name);
    if (wanted == target && fd != ::dirfd(dir)) {
      found = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
      break;
    }
  }
  ::closedir(dir);
  return found;
}

class PosixMapping : public SharedMemoryMapping {
 public:
  // keptFd: the creator's descriptor, which keeps the object findable.
  PosixMapping(void* base, std::size_t length, bool created, int keptFd)
      : base_(base), length_(length), created_(created), keptFd_(keptFd) {}
  ~PosixMapping() override {
    ::munmap(base_, length_);
    if (keptFd_ >= 0) ::close(keptFd_);
  }
  void* data() const override { return static_cast<unsigned char*>(base_) + sizeof(Header); }
  std::uint32_t size() const override { return header()->size; }
  bool created() const override { return created_; }

 private:
  Header* header() const { return static_cast<Header*>(base_); }

  void* base_;
  std::size_t length_;
  bool created_;
  int keptFd_;
};

std::uint64_t LoadToken(void* base) {
  return std::atomic_ref<std::uint64_t>(static_cast<Header*>(base)->token).load(std::memory_order_acquire);
}

// Maps an object another module created. Returns null when it turns out to
// be stale (another process's, or never finished).
std::unique_ptr<SharedMemoryMapping> MapExisting(int fd, std::uint32_t size, std::uint64_t token) {
  struct stat info{};
  for (int round = 0;; ++round) {
    if (::fstat(fd, &info) != 0) Fail(errno);
    if (static_cast<std::size_t>(info.st_size) >= sizeof(Header)) break;
    if (round == kSetupWaitRounds) return nullptr;
    ::usleep(1000);
  }
  const auto length = static_cast<std::size_t>(info.st_size);
  void* base = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) Fail(errno);
  std::uint64_t found = LoadToken(base);
  for (int round = 0; found == 0 && round < kSetupWaitRounds; ++round) {
    ::usleep(1000);
    found = LoadToken(base);
  }
  if (found != token) {
    ::munmap(base, length);
    return nullptr;
  }
  if (length < sizeof(Header) + static_cast<Header*>(base)->size || static_cast<Header*>(base)->size < size) {
    ::munmap(base, length);
    Fail(EINVAL);
  }
  return std::make_unique<PosixMapping>(base, length, false, -1);
}

// MapExisting, closing `fd` afterwards whatever happens (the mapping keeps
// the object alive on its own).
std::unique_ptr<SharedMemoryMapping> MapAndClose(int fd, std::uint32_t size, std::uint64_t token) {
  std::unique_ptr<SharedMemoryMapping> mapping;
  try {
    mapping = MapExisting(fd, size, token);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
  return mapping;
}

}  // namespace

std::unique_ptr<SharedMemoryMapping> SharedMemoryMapping::Open(std::uint32_t size, unsigned /*access*/,
                                                               const char* name, unsigned flags,
                                                               const void* /*security*/) {
  std::string objectName;
  if (name[0] != '/') objectName.push_back('/');
  objectName.append(name);
  const std::uint64_t token = ProcessToken();
  const std::size_t length = sizeof(Header) + size;

  for (int attempt = 0; attempt < 4; ++attempt) {
    if (flags & kOpenExisting) {
      const int fd = FindUnnamedObject(objectName);
      if (fd >= 0) {
        if (auto mapping = MapAndClose(fd, size, token)) return mapping;
      }
    }
    if (flags & kCreate) {
      const int fd = ::shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
      if (fd >= 0) {
        if (::ftruncate(fd, static_cast<off_t>(length)) != 0) {
          const int error = errno;
          ::close(fd);
          ::shm_unlink(objectName.c_str());
          Fail(error);
        }
        void* base = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (base == MAP_FAILED) {
          const int error = errno;
          ::close(fd);
          ::shm_unlink(objectName.c_str());
          Fail(error);
        }
        static_cast<Header*>(base)->size = size;
        std::atomic_ref<std::uint64_t>(static_cast<Header*>(base)->token).store(token, std::memory_order_release);
        ::shm_unlink(objectName.c_str());  // from now on found through the descriptor only
        return std::make_unique<PosixMapping>(base, length, true, fd);
      }
      if (errno != EEXIST) Fail(errno);
    }
    if (!(flags & kOpenExisting)) Fail(EEXIST);
    const int fd = ::shm_open(objectName.c_str(), O_RDWR, 0);
    if (fd < 0) {
      if (errno == ENOENT) {
        if (flags & kCreate) continue;  // removed meanwhile: create it afresh
        return nullptr;
      }
      Fail(errno);
    }
    if (auto mapping = MapAndClose(fd, size, token)) return mapping;
    // A leftover of an earlier process with the same id: replace it.
    ::shm_unlink(objectName.c_str());
    if (!(flags & kCreate)) return nullptr;
  }
  Fail(EAGAIN);
}

}  // namespace xp
