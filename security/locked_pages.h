#pragma once
// The platform half of locked memory (security/locked_memory.h).

#include <cstddef>

namespace security::detail {

// The system's page size.
std::size_t PageSize();
// `span` bytes (a multiple of the page size) of fresh zeroed pages, locked
// and kept out of dumps as far as the system allows; null without memory.
void* MapLockedPages(std::size_t span);
// Unlocks and releases pages of MapLockedPages (already wiped).
void UnmapLockedPages(void* pages, std::size_t span) noexcept;

}  // namespace security::detail
