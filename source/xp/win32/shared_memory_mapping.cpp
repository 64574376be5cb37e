#include "source/xp/shared_memory_mapping.h"

#include <windows.h>

#include <atomic>

#include "source/xp/platform.h"
#include "source/xp/xp_exception.h"

namespace xp {
namespace {

// The size word, padded so that the caller's data is aligned for a pointer
// (4 bytes on 32-bit Windows, exactly the size word).
constexpr std::size_t kDataOffset = sizeof(void*) > sizeof(std::uint32_t) ? sizeof(void*) : sizeof(std::uint32_t);
constexpr int kSetupWaitRounds = 2000;

[[noreturn]] void Fail(DWORD error) { throw XPException("Could not create shared memory file mapping", error); }

class Win32Mapping : public SharedMemoryMapping {
 public:
  Win32Mapping(HANDLE handle, void* view, bool created) : handle_(handle), view_(view), created_(created) {}
  ~Win32Mapping() override {
    ::UnmapViewOfFile(view_);
    ::CloseHandle(handle_);
  }
  void* data() const override { return static_cast<unsigned char*>(view_) + kDataOffset; }
  std::uint32_t size() const override {
    return std::atomic_ref<std::uint32_t>(*static_cast<std::uint32_t*>(view_)).load(std::memory_order_acquire);
  }
  bool created() const override { return created_; }

 private:
  HANDLE handle_;
  void* view_;
  bool created_;
};

}  // namespace

std::unique_ptr<SharedMemoryMapping> SharedMemoryMapping::Open(std::uint32_t size, unsigned access, const char* name,
                                                               unsigned flags, const void* security) {
  const DWORD viewAccess = access == kReadWrite ? FILE_MAP_ALL_ACCESS : FILE_MAP_READ;
  const DWORD protection = access == kReadWrite ? PAGE_READWRITE : PAGE_READONLY;
  HANDLE handle = nullptr;
  bool created = false;
  if (flags & kCreate) {
    handle = ::CreateFileMappingA(INVALID_HANDLE_VALUE,
                                  static_cast<LPSECURITY_ATTRIBUTES>(const_cast<void*>(security)), protection, 0,
                                  static_cast<DWORD>(kDataOffset + size), name);
    if (handle == nullptr) Fail(::GetLastError());
    created = ::GetLastError() != ERROR_ALREADY_EXISTS;
    if (!created && !(flags & kOpenExisting)) {
      ::CloseHandle(handle);
      Fail(ERROR_ALREADY_EXISTS);
    }
  } else {
    handle = ::OpenFileMappingA(viewAccess, FALSE, name);
    if (handle == nullptr) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND) return nullptr;
      Fail(error);
    }
  }
  void* view = ::MapViewOfFile(handle, viewAccess, 0, 0, 0);
  if (view == nullptr) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    Fail(error);
  }
  std::atomic_ref<std::uint32_t> sizeWord(*static_cast<std::uint32_t*>(view));
  if (created) {
    sizeWord.store(size, std::memory_order_release);
  } else {
    // The creator writes the size right after mapping; wait for it briefly.
    for (int round = 0; sizeWord.load(std::memory_order_acquire) == 0 && round < kSetupWaitRounds; ++round) {
      ::Sleep(1);
    }
    if (sizeWord.load(std::memory_order_acquire) < size) {
      ::UnmapViewOfFile(view);
      ::CloseHandle(handle);
      Fail(ERROR_INVALID_DATA);
    }
  }
  return std::make_unique<Win32Mapping>(handle, view, created);
}

}  // namespace xp
