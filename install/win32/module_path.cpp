#include "install/win32/module_path.h"

#include <windows.h>

namespace install {

const char* ModulePath() {
  // Found on first use and kept: the module cannot move while it is loaded.
  static const struct Cached {
    Cached() {
      HMODULE self = nullptr;
      if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(&ModulePath), &self)) {
        return;
      }
      const DWORD n = GetModuleFileNameA(self, path, sizeof path);
      // A name cut to the buffer is no name at all.
      if (n == 0 || n >= sizeof path) path[0] = '\0';
    }
    char path[261] = {};
  } cached;
  return cached.path;
}

}  // namespace install
