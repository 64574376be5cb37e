// vp_settings_helper: the other process of the settings store tests.
//   hold READY RELEASE   takes the settings mutex, signals the event READY,
//                        waits for the event RELEASE, then lets the mutex go
//   add KEY PREFIX N     adds the extensions .PREFIX0 ... .PREFIX<N-1> to the
//                        store at HKEY_CURRENT_USER\KEY
// Exit code 0 on success.

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "os/accepted_extensions.h"
#include "os/win32/registry_settings_store.h"

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "hold") == 0) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, os::kSettingsMutex);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (mutex == nullptr || ready == nullptr || release == nullptr) return 2;
    if (WaitForSingleObject(mutex, 10000) != WAIT_OBJECT_0) return 3;
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    ReleaseMutex(mutex);
    return 0;
  }
  if (argc == 5 && std::strcmp(argv[1], "add") == 0) {
    auto store = os::OpenRegistrySettings(argv[2], os::kSettingsLockTimeoutMs);
    const int count = std::atoi(argv[4]);
    for (int i = 0; i < count; ++i) {
      const std::string ext = std::string(".") + argv[3] + std::to_string(i);
      os::AddAcceptedExtension(*store, ext.c_str());
    }
    return 0;
  }
  return 1;
}
