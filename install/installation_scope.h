#pragma once
// Process-wide values of the installer that the module fixes when it loads.

#include <cstdint>

namespace install {

enum InstallationScope : std::int32_t {
  ScopeMachine = 1,      // HKEY_LOCAL_MACHINE, Program Files
  ScopeCurrentUser = 2,  // HKEY_CURRENT_USER, the user's local application data
};

// 1 when the module was loaded by an administrator (IsUserAnAdmin), else 2;
// UninstallDll may overwrite it. Every registry root of the installer follows it.
extern std::int32_t installationScope;

}  // namespace install
