#include "reader/os_interface.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cerrno>
#include <chrono>
#include <thread>

#include "reader/gui_interface.h"
#include "source/xp/file_system.h"
#include "source/xp/high_resolution_clock.h"
#include "source/xp/path.h"

namespace reader {

namespace {

OsInterface* g_current = nullptr;

}  // namespace

OsInterface::OsInterface() { g_current = this; }

OsInterface::~OsInterface() {
  if (g_current == this) g_current = nullptr;
}

OsInterface* OsInterface::Current() { return g_current; }

void OsInterface::Prepare() {}

bool OsInterface::RemoveFile(const char* path) {
  // Busy files are retried for a while; a file already gone counts as removed,
  // otherwise the wipe would retry it forever.
  return path != nullptr && xp::RemoveFileWithRetry(path) == 0;
}

bool OsInterface::RemoveDirectoryTree(const char* path) {
  if (path == nullptr) return true;
  const xp::Path normal(path);
  if (!xp::IsDirectory(normal.text())) return true;
  return xp::RemoveDirectoryTree(normal);
}

void OsInterface::Wait(std::uint32_t milliseconds) {
  const std::uint64_t start = xp::HighResolutionClock::now();
  for (;;) {
    const auto elapsed = static_cast<std::int64_t>(xp::HighResolutionClock::nanosecondsSince(start));
    if (elapsed / 1000000 >= static_cast<std::int64_t>(milliseconds)) return;
    if (GuiInterface* gui = GuiInterface::Current()) gui->PumpMessages(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool OsInterface::RetryRemoval(std::uint32_t, int) { return true; }

void OsInterface::ReportRemovalFailure(GuiInterface&, const char*, int) {}

const char* OsInterface::TemporaryDirectoryProblem() { return nullptr; }

void OsInterface::CopyDocumentOrigin(const char*, const char*) {}

xp::UniqueFile OsInterface::OpenForReading(const char* path) {
  // Not inherited by the programs the reader starts.
#ifdef _WIN32
  const int fd = path != nullptr ? ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT) : -1;
  std::FILE* file = fd >= 0 ? ::_fdopen(fd, "rb") : nullptr;
  if (fd >= 0 && file == nullptr) {
    const int error = errno;
    ::_close(fd);
    errno = error;
  }
  return xp::UniqueFile(file);
#else
  return xp::UniqueFile(std::fopen(path, "rbe"));
#endif
}

}  // namespace reader
