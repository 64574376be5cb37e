// The handler may run at any moment, so everything it does is
// async-signal-safe: the guarded path lives in a fixed buffer, the directory
// is read with getdents64 and cleaned with openat/write/unlinkat/rmdir.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "reader/interrupt_cleanup.h"
#include "reader/part_overwrite.h"

namespace reader {

namespace {

char g_directory[4096];
volatile sig_atomic_t g_guarded = 0;
volatile sig_atomic_t g_overwrite = 0;
void (*volatile g_hook)() = nullptr;
std::atomic<bool> g_installed{false};

struct LinuxDirent64 {
  ino64_t d_ino;
  off64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[1];
};

void OverwriteAt(int dir, const char* name) {
  const int fd = ::openat(dir, name, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  OverwriteFileContents(fd);
  ::close(fd);
}

// Removes every entry of `path` (one level; part directories hold only files)
// and then the directory.
void WipeDirectory(const char* path, bool overwrite) {
  const int dir = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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
          const char* name = entry->d_name;
          if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
          if (overwrite) OverwriteAt(dir, name);
          if (::unlinkat(dir, name, 0) == 0 || ::unlinkat(dir, name, AT_REMOVEDIR) == 0) removedAny = true;
        }
      }
      if (!removedAny) break;
    }
    ::close(dir);
  }
  ::rmdir(path);
}

void OnInterrupt(int signal) {
  if (void (*hook)() = g_hook) hook();
  if (g_guarded != 0) {
    g_guarded = 0;
    WipeDirectory(g_directory, g_overwrite != 0);
  }
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  ::sigemptyset(&plain.sa_mask);
  ::sigaction(signal, &plain, nullptr);
  ::raise(signal);
}

}  // namespace

void InstallInterruptCleanup(void (*hook)()) {
  g_hook = hook;
  if (g_installed.exchange(true)) return;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  ::sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaddset(&action.sa_mask, s);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(s, &action, nullptr);
}

void GuardDirectory(const char* directory, bool overwrite) {
  g_guarded = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (directory == nullptr || std::strlen(directory) >= sizeof g_directory) return;
  std::strcpy(g_directory, directory);
  g_overwrite = overwrite ? 1 : 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_guarded = 1;
}

void ReleaseDirectory(const char* directory) {
  if (directory != nullptr && g_guarded != 0 && std::strcmp(directory, g_directory) == 0) g_guarded = 0;
}

}  // namespace reader
