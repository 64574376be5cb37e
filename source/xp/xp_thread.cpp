#include "source/xp/xp_thread.h"

#include <cstdio>
#include <mutex>

#include "source/xp/xp_module.h"

namespace xp {

// ---- XPThread ----

XPThread::XPThread(std::uint32_t kind) : kind_(kind) {}

XPThread::~XPThread() { finish(); }

void XPThread::finish() {
  switch (state()) {
    case kIdle:
      setState(kJoined);
      break;
    case kFinished:
      join();
      break;
    case kStarting:
    case kRunning:
      stopRequested_.store(true, std::memory_order_release);
      requestStop();
      join();
      break;
    default:  // joined, detached or unknown: nothing to do
      break;
  }
}

void XPThread::start() {
  setState(kStarting);
  std::uint64_t id = 0;
  std::uint32_t error = 0;
  void* handle = platform::StartThread(Entry, this, &id, &error);
  if (handle == nullptr) {
    setState(kIdle);
    throw Exception("Could not start thread", error);
  }
  if (id != 0) setThreadId(id);
  handle_.store(handle, std::memory_order_release);
}

void XPThread::Entry(void* raw) {
  auto* self = static_cast<XPThread*>(raw);
  self->setThreadId(platform::CurrentThreadId());
  CurrentThreadSlot().set(self);
  self->setState(kRunning);
  self->run();
  self->setState(kFinished);
}

void XPThread::join() {
  while (state() == kStarting && handle_.load(std::memory_order_acquire) == nullptr) platform::YieldThread();
  void* handle = handle_.exchange(nullptr, std::memory_order_acq_rel);
  if (handle != nullptr) {
    const std::uint32_t error = platform::WaitForThread(handle);
    if (error != 0) {
      handle_.store(handle, std::memory_order_release);
      throw Exception("WaitForSingleObject failed", error);
    }
    platform::CloseThread(handle);
  }
  setState(kJoined);
}

void XPThread::run() {}

bool XPThread::stopRequested() const { return stopRequested_.load(std::memory_order_acquire); }

void XPThread::requestStop() { stopRequested_.store(true, std::memory_order_release); }

XPThread* XPThread::Current() { return static_cast<XPThread*>(CurrentThreadSlot().get()); }

// ---- XPThread::MainThread ----

XPThread::MainThread::MainThread() : XPThread(kKind) {
  setThreadId(platform::CurrentThreadId());
  setState(kRunning);
}

XPThread::MainThread::~MainThread() {
  // The loading thread is never joined: it is the one running this.
  setState(kJoined);
}

// ---- XPThread::Storage ----

namespace {

// The module's slots. The mutex is constant-initialised, so slots may be
// created by any static initialiser.
std::mutex slotListMutex;
XPThread::Storage* slotList = nullptr;

// Runs DestroyAll when the module ends. A static object rather than atexit,
// so that the run belongs to this module and happens when it is unloaded
// (atexit from a shared library is not tied to the library everywhere).
struct DestroyAllAtExit {
  ~DestroyAllAtExit() { XPThread::Storage::DestroyAll(); }
};

}  // namespace

XPThread::Storage::Storage(Release onRelease) : release_(onRelease), index_(onRelease) {
  static const DestroyAllAtExit registeredOnce;
  std::lock_guard<std::mutex> lock(slotListMutex);
  next_ = slotList;
  slotList = this;
}

XPThread::Storage::~Storage() {
  if (release_ != nullptr) {
    try {
      releaseCurrent();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "XPThread::Storage::~Storage(): %s\n", e.what());
    }
  }
  std::lock_guard<std::mutex> lock(slotListMutex);
  for (Storage** link = &slotList; *link != nullptr; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      break;
    }
  }
}

void* XPThread::Storage::get() const {
  void* value = nullptr;
  std::uint32_t error = 0;
  if (!index_.get(&value, &error)) throw Exception("Could not get TLS value", error);
  return value;
}

void XPThread::Storage::set(void* value) const {
  std::uint32_t error = 0;
  if (!index_.set(value, &error)) throw Exception("Could not set TLS value", error);
}

void XPThread::Storage::releaseCurrent() const {
  void* value = get();
  set(nullptr);
  if (value != nullptr) release_(value);
}

void XPThread::Storage::DestroyAll() noexcept {
  std::lock_guard<std::mutex> lock(slotListMutex);
  for (Storage* slot = slotList; slot != nullptr; slot = slot->next_) {
    if (slot->release_ == nullptr) continue;
    try {
      slot->releaseCurrent();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "XPThread::Storage::DestroyAll(): %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "XPThread::Storage::DestroyAll(): unknown exception\n");
    }
  }
}

}  // namespace xp
