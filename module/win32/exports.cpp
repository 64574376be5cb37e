// The module's seven exports, all here beside vaultpost.def: each is a thin
// call of its body in the libraries (install/win32/entries.h), which chooses
// the interface and lets nothing unwind into the caller.

#include <windows.h>

#include "install/win32/entries.h"

extern "C" {

void CALLBACK OpenDocument(HWND, HINSTANCE, LPSTR commandLine, int) { install::OpenDocument(commandLine); }

int WINAPI InstallDll(int quiet, int promptReboot, int skipFinish, int forceRestart,
                      const install::InstallationRequest* request) {
  return install::InstallDll(quiet, promptReboot, skipFinish, forceRestart, request);
}

void CALLBACK RegisterDll(HWND, HINSTANCE, LPSTR, int) { install::RegisterDll(); }

void CALLBACK DeregisterDll(HWND, HINSTANCE, LPSTR, int) { install::DeregisterDll(); }

void CALLBACK UninstallDll(HWND, HINSTANCE, LPSTR commandLine, int) { install::UninstallDll(commandLine); }

STDAPI DllGetClassObject(REFCLSID classId, REFIID interfaceId, LPVOID* object) {
  return install::GetClassObject(classId, interfaceId, object);
}

STDAPI DllCanUnloadNow() { return install::CanUnloadNow(); }

}  // extern "C"
