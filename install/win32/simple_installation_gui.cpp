#include "install/win32/simple_installation_gui.h"

#include <windows.h>

#include "os/system_error.h"

namespace install {

SimpleInstallationGui::SimpleInstallationGui() : GuiInterface(/*afterDocument=*/true) {}

int SimpleInstallationGui::PromptForCredentials(bool) { return 0; }

void SimpleInstallationGui::RestorePrompt() {}

std::int32_t SimpleInstallationGui::ShowMessageBox(const char* title, const char* body, std::int32_t kind,
                                                   std::int32_t flags) {
  if (os::quietFlag != 0) return 1;
  const int answer = ::MessageBoxA(nullptr, body != nullptr ? body : "", title, reader::MessageBoxStyle(kind, flags));
  if (answer == IDOK) return 1;
  if (answer == IDCANCEL) return 2;
  return -1;
}

}  // namespace install
