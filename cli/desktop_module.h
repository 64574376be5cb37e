#pragma once
// The desktop dialogs live in a module of their own, vaultpost-gtk.so, which
// vaultpost loads only to open a document on the desktop: the toolkit and the
// seventy-odd libraries under it then stay out of every other command (pack
// and verify on large inputs, the terminal reader, thumbnails). The module
// exports one function and carries its own copy of the reader's flow and of
// the platform services, which it alone uses.

#include <string>

namespace cli {

// The one function the module exports: opens the document at `path` in the
// desktop's dialogs and answers one of the DesktopResult values.
inline constexpr const char* kDesktopEntryName = "vp_open_on_desktop";
using DesktopEntry = int (*)(const char* path);

enum DesktopResult : int {
  kDesktopDone = 0,        // the document was shown (or there was nothing to show)
  kDesktopFailed = 1,      // a failure was reported in a window, or the user cancelled
  kDesktopNoDisplay = -1,  // the toolkit found no display to connect to
  kDesktopMissing = -2,    // the module could not be loaded (`whyNot` says why)
};

// The module's place relative to the folder of the running vaultpost, the
// same in the build tree and once installed (bin/ beside lib/vaultpost/).
inline constexpr const char* kDesktopModulePath = "../lib/vaultpost/vaultpost-gtk.so";

// Loads the module beside the running program (never from a search path)
// and opens `path` with it.
int OpenWithDesktopModule(const char* path, std::string& whyNot);

}  // namespace cli
