#pragma once
// The support library's process-wide objects, reached from the classes that
// use them. Defined together in xp_module.cpp so that they are created in a
// fixed order when the module loads.

#include "source/xp/global_pointer.h"
#include "source/xp/xp_thread.h"

namespace xp {

// Slot holding the calling thread's latest system message text.
const XPThread::Storage& SystemTextSlot();
// Slot holding the calling thread's XPThread object.
const XPThread::Storage& CurrentThreadSlot();
// The thread object of the thread that loaded the module.
XPThread::MainThread& MainThreadObject();
// This module's hold on the shared result-text container.
const GlobalPointerBase& ResultTextSourcesVariable();

}  // namespace xp
