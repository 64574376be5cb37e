// Windows settings: values of the registry key "Software\Orlenta\Vaultpost"
// under HKEY_CURRENT_USER. Values are found by enumeration, compared ignoring
// case. Updates of one value are serialised between processes of the session
// by a named mutex; an update that cannot get it writes nothing.

#include <windows.h>

#include <string>
#include <vector>

#include "os/win32/registry_settings_store.h"

namespace os {

namespace {

constexpr DWORD kNameChars = 512;

// The stored spelling of the value `name` (compared ignoring case), found by
// enumerating the names into 512 characters. A longer name cannot be ours and
// is passed over rather than ending the search.
bool FindValueName(HKEY key, const char* name, std::string& stored) {
  std::vector<char> valueName(kNameChars);
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = kNameChars;
    const LONG rc = RegEnumValueA(key, index, valueName.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return false;
    if (lstrcmpiA(valueName.data(), name) == 0) {
      stored.assign(valueName.data(), nameLength);
      return true;
    }
  }
}

// The text of the string value `name`; false when it is absent, not a
// string, or holds more than `limit` bytes. The size is asked for first:
// a buffer of `limit` bytes handed to the enumeration is not a bound that
// every registry implementation honours (Wine cuts the data and succeeds).
bool ReadString(HKEY key, const char* name, std::size_t limit, std::string& out) {
  std::string stored;
  if (!FindValueName(key, name, stored)) return false;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, stored.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > limit) return false;
  std::vector<char> data(static_cast<std::size_t>(size) + 1, '\0');
  DWORD got = size;
  if (RegQueryValueExA(key, stored.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) !=
          ERROR_SUCCESS ||
      got > size || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return false;
  }
  // The stored bytes need not end with a terminator; the text ends at the first.
  std::size_t n = 0;
  while (n < got && data[n] != '\0') ++n;
  out.assign(data.data(), n);
  return true;
}

// Owns the settings mutex for one update, or reports that it could not.
class SettingsLock {
 public:
  explicit SettingsLock(DWORD timeoutMs) : mutex_(CreateMutexA(nullptr, FALSE, kSettingsMutex)) {
    if (mutex_ == nullptr) return;
    const DWORD wait = WaitForSingleObject(mutex_, timeoutMs);
    // An abandoned mutex is ours now; its last owner ended between two
    // whole-value writes, so the value is intact.
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  ~SettingsLock() {
    if (owned_) ReleaseMutex(mutex_);
    if (mutex_ != nullptr) CloseHandle(mutex_);
  }
  SettingsLock(const SettingsLock&) = delete;
  SettingsLock& operator=(const SettingsLock&) = delete;
  bool owned() const { return owned_; }

 private:
  HANDLE mutex_;
  bool owned_ = false;
};

class RegistrySettingsStore final : public SettingsStore {
 public:
  RegistrySettingsStore(const char* keyPath, std::uint32_t lockTimeoutMs)
      : keyPath_(keyPath), lockTimeoutMs_(lockTimeoutMs) {}

  bool ReadValue(const char* name, std::string& out, std::size_t limit) override {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
      return false;
    }
    const bool found = ReadString(key, name, limit, out);
    RegCloseKey(key);
    return found;
  }

  bool UpdateValue(const char* name, std::size_t readLimit, const Updater& update) override {
    // Without the lock another process's update could be lost between our
    // read and our write: then nothing is written at all.
    const SettingsLock lock(lockTimeoutMs_);
    if (!lock.owned()) return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | READ_CONTROL, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      return false;
    }
    bool written = false;
    std::string text;
    const bool present = ReadString(key, name, readLimit, text);
    if (!present) text.clear();
    if (update(text, present)) {
      written = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return written;
  }

 private:
  std::string keyPath_;
  std::uint32_t lockTimeoutMs_;
};

}  // namespace

std::unique_ptr<SettingsStore> OpenRegistrySettings(const char* keyPath, std::uint32_t lockTimeoutMs) {
  return std::make_unique<RegistrySettingsStore>(keyPath, lockTimeoutMs);
}

std::unique_ptr<SettingsStore> OpenUserSettings() {
  return OpenRegistrySettings(kSettingsKey, kSettingsLockTimeoutMs);
}

}  // namespace os
