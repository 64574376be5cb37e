#pragma once
// Where the module is installed, how its files get there, and how files
// that may be in use are got rid of.

#include <cstdint>
#include <string>

#include "install/file_disposal.h"
#include "install/win32/installation_request.h"
#include "os/win32/document_folders.h"

namespace install {

// Takes the scope the calling installer names in VAULTPOST_INSTALL_SCOPE
// ("machine" or "user"); without a valid one the scope stays as the load
// fixed it.
void ApplyRequestedScope();

// "<Program Files>\Orlenta-Reader" in machine scope, "<local application
// data>\Orlenta-Reader" in user scope; empty when Windows names no such
// folder or the path would exceed 263 characters. In any other scope the
// user is told that the path cannot be calculated and the process ends with
// exit code -1.
std::string InstallationDirectory();

// GetTempPathA's folder (ending in "\"), or empty when it has none that fits
// 260 characters.
std::string TemporaryFolder();

// GetCurrentProcessId, MoveFileA, MoveFileExA(MOVEFILE_DELAY_UNTIL_REBOOT) and
// RemoveDirectoryA.
const DisposalSteps& SystemDisposal();

// Copies the module and the request's runtime files into the installation
// directory ("orlenta-reader.runtime" for the runtime files). A failure is
// reported and gives -1; on success `installedModule` is the installed
// module's path and `inUse` tells whether a copy waits for the next restart.
int CopyModuleFiles(const InstallationRequest* request, std::string& installedModule, bool& inUse);

// Installs `name` from `sourceDirectory` into `targetDirectory` unless the
// installed copy is newer (which counts as success); 0 or the system error.
// Sets `inUse` when the copy waits for the next restart.
std::uint32_t InstallFile(const char* sourceDirectory, const char* targetDirectory, const char* name, bool& inUse);

// Wipes the per-document folders under "<temporary folder>vptemp" whose
// reader is gone, their files overwritten first when `overwrite` (see
// os/win32/document_folders.h; a live reader's folder stays), then removes
// the root itself once nothing is left in it.
os::SweepResult RemoveTemporaryRoot(bool overwrite);

// Disposes of the installation directory of the current scope.
void RemoveInstallation();

// Restarts Windows (forcing hung programs, restarting registered ones) when
// the process may enable the shutdown privilege; silent otherwise.
void RestartWindows();

}  // namespace install
