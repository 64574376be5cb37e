#pragma once
// The removal of a per-document directory that the interrupt handler and the
// clean-up after a reader that could not clean up share. Everything here is
// async-signal-safe.

namespace reader {

// The owner of a per-document directory "<dir>" holds an exclusive lock on
// the file "<dir>.lock" beside it for as long as it runs. The lock goes with
// the process however it ends, so a lock that can be taken means the
// directory's reader is gone; it names no path, so it cannot point a
// clean-up anywhere else.
inline constexpr const char* kOwnerLockSuffix = ".lock";

// Removes the directory `name` inside the directory open as `parent` (AT_FDCWD
// for a path) with everything in it: files are overwritten with 0xBE first
// when `overwrite`; links are removed, never followed; nested directories
// are emptied the same way, a few levels deep.
void WipeDirectoryAt(int parent, const char* name, bool overwrite);

}  // namespace reader
