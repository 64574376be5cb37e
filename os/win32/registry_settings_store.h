#pragma once
// The registry behind the Windows settings store (os/settings_store.h).

#include <cstdint>
#include <memory>

#include "os/settings_store.h"

namespace os {

// The reader's per-user key under HKEY_CURRENT_USER.
inline constexpr const char* kSettingsKey = "Software\\Orlenta\\Vaultpost";
// Serialises updates of the settings between the processes of a session.
inline constexpr const char* kSettingsMutex = "Local\\OrlentaReaderSettings";
// How long an update waits for another process's update to finish.
inline constexpr std::uint32_t kSettingsLockTimeoutMs = 10000;

// The values of `keyPath` under HKEY_CURRENT_USER (OpenUserSettings gives
// kSettingsKey with kSettingsLockTimeoutMs). An update that does not get the
// mutex within `lockTimeoutMs` writes nothing and returns false.
std::unique_ptr<SettingsStore> OpenRegistrySettings(const char* keyPath, std::uint32_t lockTimeoutMs);

}  // namespace os
