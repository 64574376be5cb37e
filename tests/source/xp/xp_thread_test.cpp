#include "source/xp/xp_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "source/xp/platform.h"

namespace xp {
namespace {

// Release operation that records what it released.
std::atomic<int> releasedCount{0};
std::atomic<void*> releasedLast{nullptr};
void Release(void* value) {
  releasedCount.fetch_add(1);
  releasedLast.store(value);
}

TEST(XPThreadStorage, ValuesArePerThreadAndReleasedWhenTheThreadOrSlotEnds) {
  static int mine = 0;
  static int theirs = 0;
  const int before = releasedCount;
#ifdef _WIN32
  // Windows TLS has no hook at thread end: only the calling thread's value is
  // released, when the slot goes or at process exit.
  const int ended = 0;
#else
  const int ended = 1;
#endif
  {
    XPThread::Storage slot(Release);
    EXPECT_EQ(slot.get(), nullptr);
    slot.set(&mine);
    void* seenByOther = &mine;
    XPThread* currentThere = XPThread::Current();
    std::thread([&] {
      seenByOther = slot.get();
      currentThere = XPThread::Current();  // not an XPThread, nor the main thread
      slot.set(&theirs);
    }).join();
    EXPECT_EQ(seenByOther, nullptr);
    EXPECT_EQ(currentThere, nullptr);
#ifndef _WIN32
    EXPECT_EQ(releasedLast.load(), &theirs);  // the ended thread's value
#endif
    EXPECT_EQ(releasedCount, before + ended);
    EXPECT_EQ(slot.get(), &mine);
  }
  EXPECT_EQ(releasedCount, before + ended + 1);  // destroying the slot releases this thread's value
  EXPECT_EQ(releasedLast.load(), &mine);
}

TEST(XPThreadStorage, DestroyAllReleasesTheCallingThreadsValues) {
  XPThread::Storage releasing(Release);
  XPThread::Storage plain;
  int a = 0;
  int b = 0;
  releasing.set(&a);
  plain.set(&b);
  const int before = releasedCount;
  XPThread::Storage::DestroyAll();
  XPThread::Storage::DestroyAll();  // nothing left to release the second time
  EXPECT_EQ(releasedCount, before + 1);
  EXPECT_EQ(releasedLast.load(), &a);
  EXPECT_EQ(releasing.get(), nullptr);
  EXPECT_EQ(plain.get(), &b);  // no release operation: left alone
}

// Records where its body ran, then waits to be told to stop.
struct LoopingThread : XPThread {
  ~LoopingThread() override { finish(); }
  void run() override {
    id = platform::CurrentThreadId();
    current = XPThread::Current();
    while (!stopRequested()) platform::YieldThread();
    stopsSeen.fetch_add(1);
  }
  std::atomic<std::uint64_t> id{0};
  std::atomic<XPThread*> current{nullptr};
  static inline std::atomic<int> stopsSeen{0};
};

TEST(XPThread, StartJoinAndDestroyByState) {
  ASSERT_NE(XPThread::Current(), nullptr);  // the main thread stands for the loading thread
  EXPECT_EQ(XPThread::Current()->kind(), XPThread::MainThread::kKind);
  EXPECT_EQ(XPThread::Current()->threadId(), platform::CurrentThreadId());
  const int before = LoopingThread::stopsSeen;
  {
    LoopingThread thread;
    LoopingThread running;
    EXPECT_EQ(thread.state(), XPThread::kIdle);
    thread.start();
    running.start();
    while (thread.current == nullptr || running.current == nullptr) platform::YieldThread();
    EXPECT_EQ(thread.state(), XPThread::kRunning);
    EXPECT_EQ(thread.current.load(), &thread);
    EXPECT_EQ(thread.threadId(), thread.id.load());
    EXPECT_NE(thread.threadId(), platform::CurrentThreadId());
    thread.requestStop();
    thread.join();
    EXPECT_EQ(thread.state(), XPThread::kJoined);
    EXPECT_EQ(LoopingThread::stopsSeen, before + 1);
    thread.join();  // nothing left to wait for
    EXPECT_EQ(thread.state(), XPThread::kJoined);
  }  // destroying the running one stops and joins it
  EXPECT_EQ(LoopingThread::stopsSeen, before + 2);
  delete new LoopingThread;         // never started
  auto* early = new LoopingThread;  // destroyed possibly before the body runs
  early->start();
  delete early;
  EXPECT_EQ(LoopingThread::stopsSeen, before + 3);
}

}  // namespace
}  // namespace xp
