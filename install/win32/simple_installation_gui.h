#pragma once
// The user interface of the installer's and the uninstaller's entries: system
// message boxes and nothing else. Private to the installation code.

#include <cstdint>

#include "reader/gui_interface.h"

namespace install {

class SimpleInstallationGui : public reader::GuiInterface {
 public:
  SimpleInstallationGui();

  // The installer opens no documents: nothing is asked, 0 is returned.
  int PromptForCredentials(bool askUserName) override;
  void RestorePrompt() override;
  // A system message box with no owner window: the kind's icon, OK or OK and
  // Cancel; 1 for OK, 2 for Cancel, -1 otherwise. While the installation is
  // quiet nothing is shown and every question is answered OK (1).
  std::int32_t ShowMessageBox(const char* title, const char* body, std::int32_t kind,
                              std::int32_t flags) override;
};

}  // namespace install
