#pragma once
// The record an installer hands to InstallDll, in the installer's memory.

#include <cstddef>
#include <cstdint>

namespace install {

// Texts are NUL-terminated in the ANSI code page. The 32-bit module sees the
// installer's 20-byte layout; the 64-bit twin the natural layout of the same
// fields (the count at offset 32).
struct InstallationRequest {
  const char* moduleDirectory;
  const char* moduleFileName;
  const char* runtimeDirectory;       // null when there are no runtime files
  const char* const* runtimeFiles;
  std::int32_t runtimeFileCount;
};

static_assert(offsetof(InstallationRequest, runtimeFileCount) == 4 * sizeof(void*));
static_assert(sizeof(void*) != 4 || sizeof(InstallationRequest) == 20);

}  // namespace install
