// The handler runs at any moment: it only sets a flag, restores the
// terminal, unlinks a path held in a fixed buffer and exits; all of that is
// async-signal-safe.

#include "cli/interrupt_flag.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "reader/posix/terminal_gui.h"

namespace cli {
namespace {

volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_haveLeftover = 0;
char g_leftover[4096];
std::atomic<bool> g_installed{false};

void OnInterrupt(int) {
  reader::RestoreTerminalEcho();
  // With a file begun, the work stops at its next step and removes it.
  if (g_haveLeftover != 0 && g_interrupted == 0) {
    g_interrupted = 1;
    return;
  }
  // Nothing begun yet (a prompt, the key derivation), or a second signal:
  // end here, as a read that has not started yet would never notice.
  if (g_haveLeftover != 0) ::unlink(g_leftover);
  static const char kMessage[] = "vaultpost pack: interrupted; nothing was written\n";
  const ssize_t ignored = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  static_cast<void>(ignored);
  ::_exit(1);
}

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

}  // namespace

void InstallInterruptFlag() {
  if (g_installed.exchange(true)) return;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  ::sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a read from the terminal returns
  for (const int s : kSignals) ::sigaction(s, &action, nullptr);
}

InterruptsHeld::InterruptsHeld() {
  sigset_t held;
  ::sigemptyset(&held);
  for (const int s : kSignals) ::sigaddset(&held, s);
  ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

InterruptsHeld::~InterruptsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

bool Interrupted() { return g_interrupted != 0; }

void SetInterruptLeftover(const char* path) {
  g_haveLeftover = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (path == nullptr || std::strlen(path) >= sizeof g_leftover) return;
  std::strcpy(g_leftover, path);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_haveLeftover = 1;
}

}  // namespace cli
