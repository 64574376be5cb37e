#pragma once
// Part files and a display that goes away.

namespace reader::gtkui {

// When the X server goes away (the session ends without a signal, the server
// stops), the toolkit ends the process at once, without exit handlers: from
// here on the guarded part folder is wiped first (see interrupt_cleanup.h).
// Does nothing on other displays, which end a session with a signal.
void WipeWhenDisplayIsLost();

}  // namespace reader::gtkui
