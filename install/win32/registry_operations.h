#pragma once
// The installer's registry work: taking keys apart (after taking over their
// access rights), forgetting what Explorer remembers of the document types,
// registering the file types, the icon handler and the uninstall entry, and
// undoing the registration. Every root that depends on the installation
// scope is HKEY_LOCAL_MACHINE in machine scope, HKEY_CURRENT_USER otherwise.

#include <windows.h>

#include <cstdint>
#include <string>

namespace install {

// The registry root of the current installation scope.
HKEY ScopeRoot();

// Deletes `subkey` of `root` with all its values and subkeys, giving the
// current user full access to each key first, so that keys whose rights
// deny the user are deleted too. ERROR_BADKEY for an absent or empty
// subkey, ERROR_FILE_NOT_FOUND (2) when there is nothing to delete (and
// nothing changes), otherwise 0 or the first error.
LONG RemoveKeyTree(HKEY root, const char* subkey);
// RemoveKeyTree of `format` with its "%s" replaced by `argument`; a name
// longer than 511 characters is refused with ERROR_FILENAME_EXCED_RANGE.
LONG RemoveKeyTreeFormatted(HKEY root, const char* format, const char* argument);

// Deletes what Explorer remembers per user of ".emc", ".emd" and ".oed"
// (file-extension choices, recent documents, open-dialog history). Results
// are ignored.
void ForgetExplorerHistory();

// Deletes the three extensions and "emcClass" under the scope's
// "Software\Classes" (in machine scope the current user's first, whose result
// is ignored). Keys that are not there count as deleted; 0 or the error.
LONG RemoveFileTypeKeys();

// The rundll32 the registered commands name: "rundll32.exe", or where this
// 32-bit module runs on 64-bit Windows, the 32-bit rundll32 by its full path,
// quoted: the 64-bit shell would otherwise start its own, which cannot load
// this module.
std::string Rundll32Program();

// Registers the icon handler under the scope's "Software\Classes" and
// approves it in the scope's approval list, unless the machine's architecture
// is not the module's. A missing approval list means there is nothing to
// approve. 0 or the first error.
LONG RegisterIconHandler(const char* modulePath);

// Registers the three file types with the open command and icon of the
// module at `modulePath`, then the icon handler, and tells the shell. A
// file-type failure is reported ("Could not register .emc extension") and
// gives false; a handler failure only shows a notice.
bool RegisterFileTypes(const char* modulePath);

// Writes the entry of the list of installed programs for the module at
// `modulePath` (replacing one in the 64-bit view). Failures are silent.
void WriteUninstallEntry(const char* modulePath);

// Undoes the registration: file types, the handler's class (in machine scope
// the current user's too), Explorer's
// memory, the module's application key, the maker's per-user key (with the
// accepted-extensions store) and the uninstall entry. Only a failure of the
// file types is returned; the rest is done as far as it goes.
LONG Deregister();

}  // namespace install
