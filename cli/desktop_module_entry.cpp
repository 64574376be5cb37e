// The desktop module's one export (see desktop_module.h): the GTK dialogs
// over the reader's flow, with the module's own platform services.

#include <cstdio>
#include <new>

#include "cli/desktop_module.h"
#include "os/posix/posix_os_interface.h"
#include "reader/gtk/gtk_gui.h"
#include "reader/interrupt_cleanup.h"

extern "C" __attribute__((visibility("default"))) int vp_open_on_desktop(const char* path) {
  if (!reader::GtkGui::OpenDisplay()) return cli::kDesktopNoDisplay;
  try {
    os::PosixOsInterface services;
    // Logging out sends SIGTERM (or SIGHUP): the part files go before the process.
    reader::InstallInterruptCleanup();
    reader::GtkGui gui;
    gui.RunOpenDocument(path);
    return gui.FailureReported() || gui.Cancelled() ? cli::kDesktopFailed : cli::kDesktopDone;
  } catch (const std::bad_alloc&) {
    // No exception crosses the module's C boundary.
    std::fprintf(stderr, "vaultpost: out of memory\n");
    return cli::kDesktopFailed;
  }
}
