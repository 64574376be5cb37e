#pragma once
// Process-wide values of the installer that the module fixes when it loads.

#include <cstdint>
#include <optional>

namespace install {

enum InstallationScope : std::int32_t {
  ScopeMachine = 1,      // HKEY_LOCAL_MACHINE, Program Files
  ScopeCurrentUser = 2,  // HKEY_CURRENT_USER, the user's local application data
};

// 1 when the module was loaded by an administrator (IsUserAnAdmin), else 2;
// UninstallDll may overwrite it, and InstallDll does when its caller names a
// scope. Every registry root of the installer follows it.
extern std::int32_t installationScope;

// The environment variable through which an installer program names the
// scope it asked its user for ("machine" or "user"), so that an
// administrator's "only for me" is honoured; InstallDll reads it.
inline constexpr const char* kScopeVariable = "VAULTPOST_INSTALL_SCOPE";

// The scope a value of that variable names: exactly "machine" or "user";
// nothing for anything else (the rights then decide, as without it).
std::optional<std::int32_t> RequestedScope(const char* value);

}  // namespace install
