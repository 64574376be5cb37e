// What exists from the moment the module is loaded until it is unloaded: the
// one Win32OsInterface (the current OsInterface) and the installation scope.
// The support library's process-wide objects (clock, thread slots, result
// texts, main thread) are created by source/xp/xp_module.cpp, which the
// module references below so that the linker keeps them.

#include <windows.h>
#include <shlobj.h>

#include "install/installation_scope.h"
#include "os/win32/win32_os_interface.h"
#include "source/xp/xp_module.h"

namespace {

struct ModuleObjects {
  ModuleObjects() {
    install::installationScope = IsUserAnAdmin() ? install::ScopeMachine : install::ScopeCurrentUser;
    // The main-thread object stands for the thread that loaded the module.
    static_cast<void>(xp::MainThreadObject());
  }
  os::Win32OsInterface osInterface;
};

ModuleObjects moduleObjects;

}  // namespace
