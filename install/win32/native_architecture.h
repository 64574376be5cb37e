#pragma once
// The machine's native processor architecture against the module's own.

#include <windows.h>

#include "install/architecture.h"

namespace install {

// True when Windows runs natively on another architecture than the module's
// (the 32-bit module on 64-bit Windows): the shell cannot load the module's
// icon handler there.
inline bool MachineIsForeign() {
  SYSTEM_INFO info;
  GetNativeSystemInfo(&info);
  return IsForeignArchitecture(info.wProcessorArchitecture);
}

}  // namespace install
