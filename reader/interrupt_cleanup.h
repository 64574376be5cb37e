#pragma once
// Decoded part files must not outlive an interrupted reader. While a
// directory is guarded, an interrupting signal (Ctrl-C, SIGTERM, SIGHUP from a
// closed terminal, SIGQUIT) first wipes and removes every file in it and the
// directory itself, then lets the signal end the process as it would have.

namespace reader {

// Installs the signal handlers (once per process; later calls do nothing).
// `hook`, when given, runs first inside the handler and must be
// async-signal-safe (it may, say, restore the terminal's echo).
void InstallInterruptCleanup(void (*hook)() = nullptr);

// Guards `directory` (its files are overwritten with 0xBE before removal when
// `overwrite`); one directory at a time, the latest wins.
void GuardDirectory(const char* directory, bool overwrite);

// Stops guarding `directory` (when it is the guarded one).
void ReleaseDirectory(const char* directory);

// Wipes and removes the guarded directory now, if there is one, and stops
// guarding it; async-signal-safe. For a process that is being ended another
// way than by a signal (the toolkit exits when the display goes away).
void WipeGuardedDirectory();

}  // namespace reader
