#pragma once
// The operating-system primitives the support library stands on. One
// implementation per platform: posix/platform.cpp and win32/platform.cpp.

#include <cstdint>

namespace xp::platform {

// Identifier of the calling process.
std::uint64_t CurrentProcessId();
// Identifier of the calling thread.
std::uint64_t CurrentThreadId();
// Gives the rest of the time slice to another thread (SwitchToThread, or
// Sleep(0) when there is nothing to switch to; sched_yield on POSIX).
void YieldThread();
// The calling thread's last error: GetLastError on Windows, errno on POSIX.
std::uint32_t LastErrorCode();

// A thread-local storage index (TlsAlloc / pthread_key_create).
// threadExit, when not null, is run with a thread's non-null value when that
// thread ends (POSIX only; Windows TLS has no such hook).
class ThreadLocalIndex {
 public:
  using ThreadExit = void (*)(void* value);
  // Throws XPException when no index is left.
  explicit ThreadLocalIndex(ThreadExit threadExit);
  ~ThreadLocalIndex();
  ThreadLocalIndex(const ThreadLocalIndex&) = delete;
  ThreadLocalIndex& operator=(const ThreadLocalIndex&) = delete;

  // The calling thread's value. Returns false with the error code in *error
  // when the platform reports a failure.
  bool get(void** value, std::uint32_t* error) const;
  // Sets the calling thread's value; false with the error code on failure.
  bool set(void* value, std::uint32_t* error) const;

 private:
  std::uintptr_t index_;
};

// An operating-system thread running entry(argument).
using ThreadEntry = void (*)(void* argument);
// Starts a thread; returns its handle, or null with the error in *error.
void* StartThread(ThreadEntry entry, void* argument, std::uint64_t* threadId, std::uint32_t* error);
// Waits without time limit for the thread to end; 0 or the error code.
std::uint32_t WaitForThread(void* handle);
// Gives the handle back (CloseHandle; on POSIX the join already released it).
void CloseThread(void* handle);

}  // namespace xp::platform

namespace xp::platform {

// The platform's text for a system error value (FormatMessageA on Windows,
// strerror_r on POSIX) in a buffer the caller gives back with
// ReleaseSystemText; null when the platform has no text for it.
char* FormatSystemMessage(std::uint32_t value);
// Frees a text of FormatSystemMessage (LocalFree on Windows).
void ReleaseSystemText(void* text);

}  // namespace xp::platform

namespace xp::platform {

// Sets the limit of open streams to count (_setmaxstdio; on POSIX the soft
// limit of open files, within the hard limit, and never lowered: a higher
// limit is kept). Returns count, or -1 with errno set.
int SetOpenStreamLimit(int count);

// Raises the limit of open streams as far as the system allows, at least
// doubling it; returns the new limit, or -1 when it cannot grow.
long RaiseOpenStreamLimit();

}  // namespace xp::platform
