// The installer's entries of the module. Installation, registration and
// uninstallation are not built yet: each entry has its final signature and
// reports failure. (The shell's COM entries are in shell_extension.cpp.)

#include <windows.h>

#include "install/win32/installation_request.h"

extern "C" {

int WINAPI InstallDll(int /*quiet*/, int /*promptReboot*/, int /*skipFinish*/, int /*forceRestart*/,
                      const install::InstallationRequest* /*request*/) {
  return -1;
}

void CALLBACK RegisterDll(HWND, HINSTANCE, LPSTR, int) { SetLastError(ERROR_CALL_NOT_IMPLEMENTED); }

void CALLBACK DeregisterDll(HWND, HINSTANCE, LPSTR, int) { SetLastError(ERROR_CALL_NOT_IMPLEMENTED); }

void CALLBACK UninstallDll(HWND, HINSTANCE, LPSTR, int) { SetLastError(ERROR_CALL_NOT_IMPLEMENTED); }

}  // extern "C"
