#pragma once
// The choice between the two user interfaces of the module.

namespace install {

enum GuiMode : int {
  GuiDialogs = 0,       // MfcGui: the open-document entry
  GuiMessageBoxes = 1,  // SimpleInstallationGui: the installer's and uninstaller's entries
};

// Makes the interface of `mode` on its first call for that mode, and makes
// it the current GuiInterface on every call, so that each entry works on the
// interface it asked for whichever entry ran before it in the process. Each
// interface lives until the process ends. Other modes do nothing. Call it on the thread that shows
// the interface: MfcGui's windows and message hook belong to that thread.
void ChooseGui(int mode);

}  // namespace install
