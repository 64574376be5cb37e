#pragma once
// The per-user settings of the reader: named text values under the maker's and
// the product's name (the registry key "Software\Orlenta\Vaultpost" under
// HKEY_CURRENT_USER on Windows, a small settings file under $XDG_CONFIG_HOME
// on Linux). Every failure is silent: a value that cannot be read is absent,
// an update that cannot be written leaves the stored value as it was.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace os {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // Reads the value `name` (compared ignoring case) into `out`. False when the
  // value is absent, unreadable, or longer than `limit` bytes including its
  // terminating NUL.
  virtual bool ReadValue(const char* name, std::string& out, std::size_t limit) = 0;

  // Read-modify-write of the value `name` as one step that concurrent
  // updaters of the same store cannot interleave with. `update` receives the
  // current text (empty when absent; `present` says which) and returns false
  // to leave the value unchanged. A stored text longer than `readLimit` bytes
  // (including the NUL) is treated as absent. Returns whether a new value
  // was written.
  using Updater = std::function<bool(std::string& text, bool present)>;
  virtual bool UpdateValue(const char* name, std::size_t readLimit, const Updater& update) = 0;
};

// The current user's settings store of this platform.
std::unique_ptr<SettingsStore> OpenUserSettings();

}  // namespace os
