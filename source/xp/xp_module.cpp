// The support library's static objects, in the order the module creates them
// when it loads (and destroys them in reverse when it unloads): the clock,
// the slot for system message texts, the result-text container, the
// current-thread slot, the main thread object, the debug-log state and one
// spare slot. Keeping them in one file fixes that order.

#include "source/xp/xp_module.h"

#include "source/xp/debugengine/base/debug_engine_state.h"
#include "source/xp/global_pointer.h"
#include "source/xp/high_resolution_clock.h"
#include "source/xp/platform.h"
#include "source/xp/result/generic_result.h"

namespace xp {
namespace {

const HighResolutionClock::Implementation* const platformClock = HighResolutionClock::CreatePlatformClock();

const XPThread::Storage systemTextSlot(platform::ReleaseSystemText);

const GlobalPointer<GenericResult::TextSourceContainer> resultTextSources("source/xp/result",
                                                                          "GenericResult::TextSourceContainer",
                                                                          "container");

const XPThread::Storage currentThreadSlot;

struct MainThreadHolder {
  MainThreadHolder() { currentThreadSlot.set(&thread); }
  ~MainThreadHolder() {
    if (currentThreadSlot.get() == &thread) currentThreadSlot.set(nullptr);
  }
  XPThread::MainThread thread;
};
MainThreadHolder mainThread;

const GlobalPointer<DebugEngineState> debugEngineState("source/xp/debugengine/base", "DebugEngineState", "state");

const XPThread::Storage spareSlot;

}  // namespace

const HighResolutionClock::Implementation& HighResolutionClock::instance() { return *platformClock; }

const XPThread::Storage& SystemTextSlot() { return systemTextSlot; }

const XPThread::Storage& CurrentThreadSlot() { return currentThreadSlot; }

XPThread::MainThread& MainThreadObject() { return mainThread.thread; }

const GlobalPointerBase& ResultTextSourcesVariable() { return resultTextSources; }

const GenericResult::TextSourceContainer& GenericResult::Sources() { return *resultTextSources; }

DebugEngineState& DebugEngineState::Instance() { return *debugEngineState; }

}  // namespace xp
