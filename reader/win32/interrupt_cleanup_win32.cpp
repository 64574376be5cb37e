// Inside the Windows module the reader runs in the shell's rundll32 process,
// which has no console signals to catch: part files are wiped by the flow.

#include "reader/interrupt_cleanup.h"

namespace reader {

void InstallInterruptCleanup(void (*)()) {}
void GuardDirectory(const char*, bool) {}
void ReleaseDirectory(const char*) {}
void WipeGuardedDirectory() {}

}  // namespace reader
