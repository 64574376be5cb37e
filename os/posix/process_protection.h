#pragma once
// What the reader's process does first: nothing of it may reach a crash dump
// or another process of the same user, and an output that goes away may not
// end it before it has wiped its part files.

namespace os {

// Makes the process non-dumpable (no core file; its /proc entries, memory
// among them, belong to root, and other processes of the user can neither
// read its memory nor attach a debugger) with a core-file limit of zero, and
// ignores SIGPIPE, so that a write to a vanished pipe fails with EPIPE
// instead of ending the process. Programs the reader starts get SIGPIPE's
// default action back (see PosixOsInterface).
void ProtectProcess();

}  // namespace os
