#include "install/win32/choose_gui.h"

#include "install/win32/simple_installation_gui.h"
#include "reader/win32/mfc_gui.h"

namespace install {

void ChooseGui(int mode) {
  // Function statics: made on first use, in the order the entries ask for
  // them, and destroyed when the process ends. Each call makes its own
  // interface current again: an OpenDocument after an installation entry in
  // the same process must not ask for credentials through message boxes
  // (which cannot ask), nor the installer speak through the dialogs.
  if (mode == GuiDialogs) {
    static reader::MfcGui dialogs;
    dialogs.MakeCurrent();
  } else if (mode == GuiMessageBoxes) {
    static SimpleInstallationGui messageBoxes;
    messageBoxes.MakeCurrent();
  }
}

}  // namespace install
