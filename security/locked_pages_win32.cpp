#include <windows.h>

#include "security/locked_pages.h"

namespace security::detail {

namespace {

// Windows Error Reporting leaves registered blocks out of its dumps (Windows
// 10 and later); looked up at run time, absent elsewhere.
using ExcludeFn = HRESULT(WINAPI*)(PVOID, DWORD);

template <class Fn>
Fn Kernel32Function(const char* name) {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

}  // namespace

std::size_t PageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

void* MapLockedPages(std::size_t span) {
  void* pages = VirtualAlloc(nullptr, span, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (pages == nullptr) return nullptr;
  // Refused beyond the working set's minimum; the pages serve anyway.
  VirtualLock(pages, span);
  static const auto exclude = Kernel32Function<ExcludeFn>("WerRegisterExcludedMemoryBlock");
  if (exclude != nullptr) exclude(pages, static_cast<DWORD>(span));
  return pages;
}

void UnmapLockedPages(void* pages, std::size_t span) noexcept {
  using IncludeFn = HRESULT(WINAPI*)(PVOID);
  static const auto include = Kernel32Function<IncludeFn>("WerUnregisterExcludedMemoryBlock");
  if (include != nullptr) include(pages);
  VirtualUnlock(pages, span);
  VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace security::detail
