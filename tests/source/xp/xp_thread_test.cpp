#include "source/xp/xp_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "source/xp/platform.h"

namespace xp {
namespace {

// Release operation that records what it released.
struct Released {
  static inline std::atomic<int> count{0};
  static inline std::atomic<void*> last{nullptr};
  static void Release(void* value) {
    count.fetch_add(1);
    last.store(value);
  }
};

TEST(XPThreadStorage, ValuesArePerThread) {
  XPThread::Storage slot;
  int mine = 1;
  EXPECT_EQ(slot.get(), nullptr);
  slot.set(&mine);
  void* seenByOther = &mine;
  std::thread([&] {
    seenByOther = slot.get();
    int theirs = 2;
    slot.set(&theirs);
    slot.set(nullptr);
  }).join();
  EXPECT_EQ(seenByOther, nullptr);
  EXPECT_EQ(slot.get(), &mine);
  EXPECT_EQ(slot.release(), nullptr);
}

TEST(XPThreadStorage, DestroyAllReleasesTheCallingThreadsValues) {
  XPThread::Storage releasing(Released::Release);
  XPThread::Storage plain;
  int a = 0;
  int b = 0;
  releasing.set(&a);
  plain.set(&b);
  const int before = Released::count;
  XPThread::Storage::DestroyAll();
  EXPECT_EQ(Released::count, before + 1);
  EXPECT_EQ(Released::last.load(), &a);
  EXPECT_EQ(releasing.get(), nullptr);
  EXPECT_EQ(plain.get(), &b);  // no release operation: left alone
  XPThread::Storage::DestroyAll();
  EXPECT_EQ(Released::count, before + 1);  // nothing left to release
}

TEST(XPThreadStorage, DestroyingASlotReleasesItsValue) {
  int value = 0;
  const int before = Released::count;
  {
    XPThread::Storage slot(Released::Release);
    slot.set(&value);
  }
  EXPECT_EQ(Released::count, before + 1);
  EXPECT_EQ(Released::last.load(), &value);
}

TEST(XPThreadStorage, AThreadsValueIsReleasedWhenItEnds) {
  XPThread::Storage slot(Released::Release);
  static int value = 0;
  const int before = Released::count;
  std::thread([&] { slot.set(&value); }).join();
  EXPECT_EQ(Released::count, before + 1);
  EXPECT_EQ(Released::last.load(), &value);
}

TEST(XPThread, MainThreadStandsForTheLoadingThread) {
  XPThread* current = XPThread::Current();
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->kind(), XPThread::MainThread::kKind);
  EXPECT_EQ(current->state(), XPThread::kRunning);
  EXPECT_EQ(current->threadId(), platform::CurrentThreadId());
  EXPECT_EQ(current->flags(), 0x80000000u);

  XPThread* elsewhere = current;
  std::thread([&] { elsewhere = XPThread::Current(); }).join();
  EXPECT_EQ(elsewhere, nullptr);
}

class RecordingThread : public XPThread {
 public:
  ~RecordingThread() override { finish(); }
  void run() override {
    current = XPThread::Current();
    id = platform::CurrentThreadId();
  }
  std::atomic<XPThread*> current{nullptr};
  std::atomic<std::uint64_t> id{0};
};

TEST(XPThread, StartRunsTheBodyAndJoinEndsIt) {
  RecordingThread thread;
  EXPECT_EQ(thread.state(), XPThread::kIdle);
  thread.start();
  thread.join();
  EXPECT_EQ(thread.state(), XPThread::kJoined);
  EXPECT_EQ(thread.current.load(), &thread);
  EXPECT_EQ(thread.threadId(), thread.id.load());
  EXPECT_NE(thread.threadId(), platform::CurrentThreadId());
  thread.join();  // nothing left to wait for
  EXPECT_EQ(thread.state(), XPThread::kJoined);
}

class LoopingThread : public XPThread {
 public:
  ~LoopingThread() override { finish(); }
  void run() override {
    started = true;
    while (!stopRequested()) platform::YieldThread();
    stopsSeen.fetch_add(1);
  }
  std::atomic<bool> started{false};
  static inline std::atomic<int> stopsSeen{0};
};

TEST(XPThread, DestroyingARunningThreadStopsAndJoinsIt) {
  const int before = LoopingThread::stopsSeen;
  {
    LoopingThread thread;
    thread.start();
    while (!thread.started) platform::YieldThread();
    EXPECT_EQ(thread.state(), XPThread::kRunning);
  }
  EXPECT_EQ(LoopingThread::stopsSeen, before + 1);

  // Destroyed right after start, possibly before the body runs.
  auto* early = new LoopingThread;
  early->start();
  delete early;
  EXPECT_EQ(LoopingThread::stopsSeen, before + 2);
}

}  // namespace
}  // namespace xp
