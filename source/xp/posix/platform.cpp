#include "source/xp/platform.h"

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

#include "source/xp/xp_exception.h"

namespace xp::platform {

std::uint64_t CurrentProcessId() { return static_cast<std::uint64_t>(::getpid()); }

std::uint64_t CurrentThreadId() {
#ifdef SYS_gettid
  return static_cast<std::uint64_t>(::syscall(SYS_gettid));
#else
  return reinterpret_cast<std::uintptr_t>(reinterpret_cast<void*>(::pthread_self()));
#endif
}

void YieldThread() { ::sched_yield(); }

std::uint32_t LastErrorCode() { return static_cast<std::uint32_t>(errno); }

ThreadLocalIndex::ThreadLocalIndex(ThreadExit threadExit) : index_(0) {
  pthread_key_t key;
  const int rc = ::pthread_key_create(&key, threadExit);
  if (rc != 0) throw XPException("Could not allocate a thread-local storage index", static_cast<std::uint32_t>(rc));
  index_ = static_cast<std::uintptr_t>(key);
}

ThreadLocalIndex::~ThreadLocalIndex() { ::pthread_key_delete(static_cast<pthread_key_t>(index_)); }

bool ThreadLocalIndex::get(void** value, std::uint32_t* /*error*/) const {
  *value = ::pthread_getspecific(static_cast<pthread_key_t>(index_));
  return true;
}

bool ThreadLocalIndex::set(void* value, std::uint32_t* error) const {
  const int rc = ::pthread_setspecific(static_cast<pthread_key_t>(index_), value);
  if (rc == 0) return true;
  *error = static_cast<std::uint32_t>(rc);
  return false;
}

namespace {

struct Start {
  ThreadEntry entry;
  void* argument;
};

void* Trampoline(void* raw) {
  // The new thread owns its start record.
  const std::unique_ptr<Start> start(static_cast<Start*>(raw));
  start->entry(start->argument);
  return nullptr;
}

}  // namespace

void* StartThread(ThreadEntry entry, void* argument, std::uint64_t* threadId, std::uint32_t* error) {
  std::unique_ptr<pthread_t> handle(new (std::nothrow) pthread_t);
  std::unique_ptr<Start> start(new (std::nothrow) Start{entry, argument});
  if (handle == nullptr || start == nullptr) {
    *error = ENOMEM;
    return nullptr;
  }
  const int rc = ::pthread_create(handle.get(), nullptr, Trampoline, start.get());
  if (rc != 0) {
    *error = static_cast<std::uint32_t>(rc);
    return nullptr;
  }
  start.release();  // the thread has it now
  // The kernel's id of the new thread is only known inside it (gettid); the
  // thread records it itself when it starts.
  *threadId = 0;
  return handle.release();  // CloseThread deletes it
}

std::uint32_t WaitForThread(void* handle) {
  return static_cast<std::uint32_t>(::pthread_join(*static_cast<pthread_t*>(handle), nullptr));
}

void CloseThread(void* handle) { delete static_cast<pthread_t*>(handle); }

}  // namespace xp::platform
