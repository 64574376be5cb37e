#pragma once
// Long work on the sender's side stops cleanly when interrupted: Ctrl-C,
// SIGTERM, SIGHUP and SIGQUIT set a flag that the work checks, so that it can
// remove what it began, say so and exit with status 1. The handler also
// turns the terminal's echo back on (a password may be being asked for); the
// signal interrupts a read from the terminal.

namespace cli {

// Installs the handlers (once per process).
void InstallInterruptFlag();

// Whether an interrupting signal has arrived.
bool Interrupted();

// A file to remove should a second signal come before the work noticed the
// first one: the process then removes it and exits with status 1 at once.
// The path is copied; null forgets it.
void SetInterruptLeftover(const char* path);

}  // namespace cli
