// Kept apart from the windows: Xlib's header defines names (None, Status)
// that the rest of the interface uses.

#include "reader/gtk/display_watch.h"

#include <gtk/gtk.h>

#include "reader/interrupt_cleanup.h"

#if defined(VP_HAVE_XLIB) && defined(GDK_WINDOWING_X11)
#include <gdk/x11/gdkx.h>

namespace reader::gtkui {

namespace {

XIOErrorHandler g_toolkitHandler = nullptr;

int OnDisplayLost(Display* display) {
  WipeGuardedDirectory();
  return g_toolkitHandler != nullptr ? g_toolkitHandler(display) : 0;
}

}  // namespace

void WipeWhenDisplayIsLost() {
  GdkDisplay* display = gdk_display_get_default();
  if (g_toolkitHandler != nullptr || display == nullptr || !GDK_IS_X11_DISPLAY(display)) return;
  g_toolkitHandler = XSetIOErrorHandler(OnDisplayLost);
}

}  // namespace reader::gtkui

#else

namespace reader::gtkui {

void WipeWhenDisplayIsLost() {}

}  // namespace reader::gtkui

#endif
