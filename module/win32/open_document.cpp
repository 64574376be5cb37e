// The shell's entry for a document: rundll32.exe "<module>",OpenDocument <path>.
// Placeholder until the dialogs exist: it opens nothing and says so.

#include <windows.h>

extern "C" void CALLBACK OpenDocument(HWND, HINSTANCE, LPSTR /*commandLine*/, int /*show*/) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
}
