#pragma once
// The sender's side stops cleanly when interrupted (Ctrl-C, SIGTERM, SIGHUP,
// SIGQUIT), says so and exits with status 1, leaving nothing behind. Before
// it has begun a file the handler ends the process at once (a password
// prompt, the key derivation); once it has, the signal sets a flag that the
// work checks, so that it can remove the file first, and a second signal
// removes the file and ends the process at once. The handler also turns the
// terminal's echo back on.

#include <signal.h>

namespace cli {

// Installs the handlers (once per process).
void InstallInterruptFlag();

// Whether an interrupting signal has arrived since a file was begun.
bool Interrupted();

// The file begun, to remove when interrupted. The path is copied; null
// forgets it.
void SetInterruptLeftover(const char* path);

// Holds the interrupting signals back while it lives (around creating a file
// and registering it, so that no signal falls between the two).
class InterruptsHeld {
 public:
  InterruptsHeld();
  ~InterruptsHeld();
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace cli
