#pragma once
// Threads of the support library: the thread object, thread-local slots with
// release operations, and the object that stands for the module's loading
// thread.

#include <atomic>
#include <cstdint>

#include "source/xp/platform.h"
#include "source/xp/xp_exception.h"

namespace xp {

class XPThread {
 public:
  class Exception : public XPException {
   public:
    using XPException::XPException;
  };
  class Storage;
  class MainThread;

  // Life of a thread object.
  enum State : std::uint32_t {
    kIdle = 0,      // never started
    kJoined = 1,    // finished and joined, or nothing to wait for
    kFinished = 2,  // the body returned; waiting to be joined
    kDetached = 3,  // runs on its own; never joined
    kStarting = 4,  // start requested, body not yet running
    kRunning = 5,   // body running
  };

  explicit XPThread(std::uint32_t kind = 0);
  XPThread(const XPThread&) = delete;
  XPThread& operator=(const XPThread&) = delete;
  // Stops and joins a running thread (see finish()).
  virtual ~XPThread();

  // Starts a thread that runs run(). Throws Exception when it cannot be created.
  virtual void start();
  // Waits until the thread has ended and closes its handle; state kJoined.
  // Throws Exception ("WaitForSingleObject failed") when the wait fails.
  virtual void join();
  // The thread's body; does nothing unless overridden.
  virtual void run();
  // Whether a stop was requested; bodies poll it.
  virtual bool stopRequested() const;
  // Asks the body to stop (sets the stop-requested flag).
  virtual void requestStop();

  std::uint32_t flags() const { return flags_; }
  std::uint32_t state() const { return state_.load(std::memory_order_acquire); }
  std::uint32_t kind() const { return kind_; }
  std::uint64_t threadId() const { return threadId_.load(std::memory_order_acquire); }

  // The thread object of the calling thread: the main thread object for the
  // module's loading thread, the started object inside a started thread,
  // null elsewhere.
  static XPThread* Current();

 protected:
  // Ends the thread by its state: idle becomes joined, finished is joined,
  // detached is left alone, starting and running are asked to stop and then
  // joined. A class that overrides run() calls this from its own destructor,
  // so that the stop request reaches its own requestStop() while it exists.
  void finish();
  void setState(std::uint32_t state) { state_.store(state, std::memory_order_release); }
  void setThreadId(std::uint64_t id) { threadId_.store(id, std::memory_order_release); }

 private:
  static void Entry(void* self);

  std::uint32_t flags_ = 0x80000000u;
  std::atomic<std::uint32_t> state_{kIdle};
  std::uint32_t kind_;
  std::uint32_t reserved_ = 0;
  std::atomic<bool> stopRequested_{false};
  std::atomic<void*> handle_{nullptr};
  std::atomic<std::uint64_t> threadId_{0};
};

// A thread-local slot. Every slot of the module is on one list; at process
// exit (and when a slot is destroyed) the calling thread's value is taken
// out of each slot with a release operation and released. On POSIX the
// release operation also runs for a thread's value when that thread ends.
class XPThread::Storage {
 public:
  using Release = void (*)(void* value);

  // Throws XPException when no thread-local index is left.
  explicit Storage(Release release = nullptr);
  ~Storage();
  Storage(const Storage&) = delete;
  Storage& operator=(const Storage&) = delete;

  // The calling thread's value (null when never set). Throws Exception
  // ("Could not get TLS value") when the platform reports an error.
  void* get() const;
  // Sets the calling thread's value. Throws Exception ("Could not set TLS
  // value") on failure. The previous value is not released.
  void set(void* value) const;
  Release release() const { return release_; }

  // Releases the calling thread's values of every slot with a release
  // operation; failures are reported on the standard error stream and
  // swallowed. Registered to run at process exit.
  static void DestroyAll() noexcept;

 private:
  void releaseCurrent() const;

  Release release_;
  Storage* next_ = nullptr;
  platform::ThreadLocalIndex index_;
};

// The thread that loaded the module: kind 6, state 5 (running), its thread
// identifier, no handle. Never joins itself.
class XPThread::MainThread : public XPThread {
 public:
  static constexpr std::uint32_t kKind = 6;
  MainThread();
  ~MainThread() override;
};

}  // namespace xp
