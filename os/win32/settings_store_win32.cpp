// Windows settings: values of the registry key "Software\Orlenta\Vaultpost"
// under HKEY_CURRENT_USER. Values are found by enumeration, compared ignoring
// case. Updates of one value are serialised between processes of the session
// by a named mutex.

#include <windows.h>

#include <string>
#include <vector>

#include "os/settings_store.h"

namespace os {

namespace {

constexpr const char* kKey = "Software\\Orlenta\\Vaultpost";
constexpr DWORD kNameChars = 512;

// Finds the value `name` by enumeration into `data` (at most `limit` bytes).
bool FindValue(HKEY key, const char* name, std::vector<char>& data, DWORD& size, std::size_t limit) {
  std::vector<char> valueName(kNameChars);
  data.assign(limit, '\0');
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = kNameChars;
    DWORD type = 0;
    size = static_cast<DWORD>(limit);
    const LONG rc = RegEnumValueA(key, index, valueName.data(), &nameLength, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc != ERROR_SUCCESS) return false;
    if (lstrcmpiA(valueName.data(), name) == 0) return true;
  }
}

std::string TextOf(const std::vector<char>& data, DWORD size) {
  std::size_t n = 0;
  while (n < size && data[n] != '\0') ++n;
  return std::string(data.data(), n);
}

class RegistrySettingsStore final : public SettingsStore {
 public:
  bool ReadValue(const char* name, std::string& out, std::size_t limit) override {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
      return false;
    }
    std::vector<char> data;
    DWORD size = 0;
    const bool found = FindValue(key, name, data, size, limit);
    RegCloseKey(key);
    if (!found) return false;
    out = TextOf(data, size);
    return true;
  }

  bool UpdateValue(const char* name, std::size_t readLimit, const Updater& update) override {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Local\\OrlentaReaderSettings");
    if (mutex != nullptr) WaitForSingleObject(mutex, 10000);
    bool written = false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | READ_CONTROL, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
      std::vector<char> data;
      DWORD size = 0;
      const bool present = FindValue(key, name, data, size, readLimit);
      std::string text = present && size > 0 ? TextOf(data, size) : std::string();
      if (update(text, present)) {
        written = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
      }
      RegCloseKey(key);
    }
    if (mutex != nullptr) {
      ReleaseMutex(mutex);
      CloseHandle(mutex);
    }
    return written;
  }
};

}  // namespace

std::unique_ptr<SettingsStore> OpenUserSettings() { return std::make_unique<RegistrySettingsStore>(); }

}  // namespace os
