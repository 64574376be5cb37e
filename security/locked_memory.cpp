// The block layout both platforms share: the pages of one block begin with a
// 16-byte header that records how many bytes the pages span.

#include "security/locked_memory.h"

#include <new>

#include "security/locked_pages.h"
#include "security/secure_wipe.h"

namespace security {

namespace {

constexpr std::size_t kHeader = 16;

}  // namespace

void* AllocateLocked(std::size_t size) {
  const std::size_t page = detail::PageSize();
  if (size > SIZE_MAX - kHeader - page) throw std::bad_alloc();
  const std::size_t span = (size + kHeader + page - 1) / page * page;
  void* pages = detail::MapLockedPages(span);
  if (pages == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(pages) = span;
  return static_cast<std::uint8_t*>(pages) + kHeader;
}

void ReleaseLocked(void* block) noexcept {
  if (block == nullptr) return;
  void* pages = static_cast<std::uint8_t*>(block) - kHeader;
  const std::size_t span = *static_cast<std::size_t*>(pages);
  SecureWipe(pages, span);
  detail::UnmapLockedPages(pages, span);
}

}  // namespace security
