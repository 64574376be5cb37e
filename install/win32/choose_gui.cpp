#include "install/win32/choose_gui.h"

#include "install/win32/simple_installation_gui.h"
#include "reader/win32/mfc_gui.h"

namespace install {

void ChooseGui(int mode) {
  // Function statics: made on first use, in the order the entries ask for
  // them, and destroyed when the process ends.
  if (mode == GuiDialogs) {
    static reader::MfcGui dialogs;
    static_cast<void>(dialogs);
  } else if (mode == GuiMessageBoxes) {
    static SimpleInstallationGui messageBoxes;
    static_cast<void>(messageBoxes);
  }
}

}  // namespace install
