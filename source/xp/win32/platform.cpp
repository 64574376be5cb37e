#include "source/xp/platform.h"

#include <windows.h>

#include <memory>
#include <new>

#include "source/xp/xp_exception.h"

namespace xp::platform {

std::uint64_t CurrentProcessId() { return ::GetCurrentProcessId(); }

std::uint64_t CurrentThreadId() { return ::GetCurrentThreadId(); }

void YieldThread() {
  if (!::SwitchToThread()) ::Sleep(0);
}

std::uint32_t LastErrorCode() { return ::GetLastError(); }

ThreadLocalIndex::ThreadLocalIndex(ThreadExit /*threadExit*/) : index_(0) {
  const DWORD index = ::TlsAlloc();
  if (index == TLS_OUT_OF_INDEXES) {
    throw XPException("Could not allocate a thread-local storage index", ::GetLastError());
  }
  index_ = index;
}

ThreadLocalIndex::~ThreadLocalIndex() { ::TlsFree(static_cast<DWORD>(index_)); }

bool ThreadLocalIndex::get(void** value, std::uint32_t* error) const {
  *value = ::TlsGetValue(static_cast<DWORD>(index_));
  if (*value == nullptr) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_SUCCESS) {
      *error = code;
      return false;
    }
  }
  return true;
}

bool ThreadLocalIndex::set(void* value, std::uint32_t* error) const {
  if (::TlsSetValue(static_cast<DWORD>(index_), value)) return true;
  *error = ::GetLastError();
  return false;
}

namespace {

struct Start {
  ThreadEntry entry;
  void* argument;
};

DWORD WINAPI Trampoline(LPVOID raw) {
  // The new thread owns its start record.
  const std::unique_ptr<Start> start(static_cast<Start*>(raw));
  start->entry(start->argument);
  return 0;
}

}  // namespace

void* StartThread(ThreadEntry entry, void* argument, std::uint64_t* threadId, std::uint32_t* error) {
  std::unique_ptr<Start> start(new (std::nothrow) Start{entry, argument});
  if (start == nullptr) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  DWORD id = 0;
  HANDLE handle = ::CreateThread(nullptr, 0, Trampoline, start.get(), 0, &id);
  if (handle == nullptr) {
    *error = ::GetLastError();
    return nullptr;
  }
  start.release();  // the thread has it now
  *threadId = id;
  return handle;
}

std::uint32_t WaitForThread(void* handle) {
  if (::WaitForSingleObject(static_cast<HANDLE>(handle), INFINITE) == WAIT_FAILED) return ::GetLastError();
  return 0;
}

void CloseThread(void* handle) { ::CloseHandle(static_cast<HANDLE>(handle)); }

}  // namespace xp::platform
