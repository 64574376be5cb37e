// The handler may run at any moment, so everything it does is
// async-signal-safe: the guarded path lives in a fixed buffer and the
// directory goes through the shared directory wipe.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "reader/interrupt_cleanup.h"
#include "reader/posix/directory_wipe.h"

namespace reader {

namespace {

char g_directory[4096];
char g_lock[4096 + 8];  // the owner's lock beside the directory
volatile sig_atomic_t g_guarded = 0;
volatile sig_atomic_t g_overwrite = 0;
void (*volatile g_hook)() = nullptr;
std::atomic<bool> g_installed{false};

void OnInterrupt(int signal) {
  if (void (*hook)() = g_hook) hook();
  WipeGuardedDirectory();
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  ::sigemptyset(&plain.sa_mask);
  ::sigaction(signal, &plain, nullptr);
  ::raise(signal);
}

}  // namespace

void WipeGuardedDirectory() {
  if (g_guarded != 0) {
    g_guarded = 0;
    WipeDirectoryAt(AT_FDCWD, g_directory, g_overwrite != 0);
    ::unlink(g_lock);
  }
}

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
  // "<dir>/" has its owner's lock at "<dir>.lock".
  std::size_t n = std::strlen(directory);
  while (n > 1 && directory[n - 1] == '/') --n;
  std::memcpy(g_lock, directory, n);
  std::strcpy(g_lock + n, kOwnerLockSuffix);
  g_overwrite = overwrite ? 1 : 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_guarded = 1;
}

void ReleaseDirectory(const char* directory) {
  if (directory != nullptr && g_guarded != 0 && std::strcmp(directory, g_directory) == 0) g_guarded = 0;
}

}  // namespace reader
