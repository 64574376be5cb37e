#pragma once
// The one overwrite of a part file, shared by the wipe and by the interrupt
// handler.

#include <array>
#include <cstddef>

namespace reader {

// What an overwrite writes, a chunk at a time; built at compile time, since
// the interrupt handler may not call memset.
inline constexpr std::size_t kOverwriteChunk = 2048;
inline constexpr std::array<unsigned char, kOverwriteChunk> kOverwritePattern = [] {
  std::array<unsigned char, kOverwriteChunk> a{};
  for (auto& b : a) b = 0xBE;
  return a;
}();

// Overwrites every byte of the regular file open as `fd` with 0xBE (one
// pass, no random data) and makes the new bytes reach the disk before it
// returns, so that the following removal does not leave the old ones behind
// in a cache. Stops at the first short write. False when the file could not
// be measured, written or synced. Async-signal-safe on POSIX.
bool OverwriteFileContents(int fd);

// Opens an existing part file for overwriting without following a link;
// -1 on failure.
int OpenPartForOverwrite(const char* path);

// Closes a descriptor of OpenPartForOverwrite.
void ClosePartDescriptor(int fd);

}  // namespace reader
