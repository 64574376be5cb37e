#include <sys/mman.h>
#include <unistd.h>

#include "security/locked_pages.h"

namespace security::detail {

std::size_t PageSize() {
  static const std::size_t size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

void* MapLockedPages(std::size_t span) {
  void* pages = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) return nullptr;
  // Both may be refused (RLIMIT_MEMLOCK, an old kernel); the pages serve anyway.
  ::mlock(pages, span);
#ifdef MADV_DONTDUMP
  ::madvise(pages, span, MADV_DONTDUMP);
#endif
  return pages;
}

void UnmapLockedPages(void* pages, std::size_t span) noexcept {
  ::munlock(pages, span);
  ::munmap(pages, span);
}

}  // namespace security::detail
