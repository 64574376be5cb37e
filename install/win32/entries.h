#pragma once
// What the module's exports do (module/win32/exports.cpp defines the exports
// themselves, beside the module's .def file). Each runs on its caller's
// thread, chooses its interface first, and lets nothing unwind into the
// caller: the shell, rundll32 or an installer.

#include <windows.h>

#include "install/win32/installation_request.h"

namespace install {

// rundll32 "<module>",OpenDocument <path>: opens the document with the dialogs.
void OpenDocument(const char* commandLine);

// An installer's call: copies and registers the module (see README); 0, or
// -1 when the files could not be copied.
int InstallDll(int quiet, int promptReboot, int skipFinish, int forceRestart, const InstallationRequest* request);

// rundll32 entries: registration where the module lies, its undoing, and the
// removal of an installation ("--local-machine" exactly: the machine-wide one).
void RegisterDll();
void DeregisterDll();
void UninstallDll(const char* commandLine);

// The shell's COM entries for the icon handler class.
HRESULT GetClassObject(REFCLSID classId, REFIID interfaceId, void** object);
HRESULT CanUnloadNow();

}  // namespace install
