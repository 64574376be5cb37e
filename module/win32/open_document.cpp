// The shell's entry for a document: rundll32.exe "<module>",OpenDocument <path>.
// Everything runs on the caller's thread; nothing is returned.

#include <windows.h>

#include <exception>

#include "install/win32/choose_gui.h"
#include "reader/gui_interface.h"
#include "reader/win32/dialog_framework.h"

extern "C" void CALLBACK OpenDocument(HWND, HINSTANCE, LPSTR commandLine, int) {
  reader::GuiInterface* gui = nullptr;
  try {
    install::ChooseGui(install::GuiDialogs);
    // The dialog framework's state for this call: templates and icons come
    // from this module, whichever program loaded it.
    if (reader::Application* app = reader::Application::Current()) app->SetResourceInstance(reader::ThisModule());
    gui = reader::GuiInterface::Current();
    if (gui == nullptr) return;
    // The command line is the path exactly as the shell passed it.
    gui->RunOpenDocument(commandLine);
  } catch (...) {
    // Nothing may unwind into rundll32. The flow wipes what it wrote before
    // an exception leaves it; what is left is to say what happened and to
    // leave no document open.
    if (gui != nullptr) {
      gui->ReportException(std::current_exception());
      gui->State().Close();
      if (gui->AfterDocumentFlag()) gui->AfterDocument();
    }
  }
}
