// The installer's and the shell's entries of the module. Installation,
// registration, uninstallation and the icon handler are not built yet: each
// entry has its final signature and reports failure.

#include <windows.h>
#include <objbase.h>

#include "install/win32/installation_request.h"

extern "C" {

int WINAPI InstallDll(int /*quiet*/, int /*promptReboot*/, int /*skipFinish*/, int /*forceRestart*/,
                      const install::InstallationRequest* /*request*/) {
  return -1;
}

void CALLBACK RegisterDll(HWND, HINSTANCE, LPSTR, int) { SetLastError(ERROR_CALL_NOT_IMPLEMENTED); }

void CALLBACK DeregisterDll(HWND, HINSTANCE, LPSTR, int) { SetLastError(ERROR_CALL_NOT_IMPLEMENTED); }

void CALLBACK UninstallDll(HWND, HINSTANCE, LPSTR, int) { SetLastError(ERROR_CALL_NOT_IMPLEMENTED); }

STDAPI DllGetClassObject(REFCLSID /*rclsid*/, REFIID /*riid*/, LPVOID* ppv) {
  if (ppv != nullptr) *ppv = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return S_OK; }

}  // extern "C"
