// vp_dialog_tour DOCUMENT USER PASSWORD SCREENSHOT_DIR
//
// Opens DOCUMENT as a double-click does and walks through the dialogs as a
// user would, saving a PNG of each window in SCREENSHOT_DIR (scripts/windows.sh
// runs it after installing with the setup program). Exit status: the reader's,
// or 3 when a window did not come.

#include <cstdio>
#include <string>

#include "support/win32_dialogs.h"
#include "resources/resource_ids.h"

#include <shellapi.h>

using namespace dlgtest;

namespace {

bool Shot(HWND hwnd, const std::string& folder, const char* name) {
  const bool saved = Screenshot(hwnd, folder, name);
  std::printf("%s %s\\%s.png\n", saved ? "saved" : "could not save", folder.c_str(), name);
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: vp_dialog_tour DOCUMENT USER PASSWORD SCREENSHOT_DIR\n");
    return 2;
  }
  const std::string folder = argv[4];
  SHELLEXECUTEINFOA open{};
  open.cbSize = sizeof open;
  open.fMask = SEE_MASK_NOCLOSEPROCESS;
  open.lpVerb = "open";
  open.lpFile = argv[1];
  open.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExA(&open) || open.hProcess == nullptr) {
    std::fprintf(stderr, "could not open %s: is the reader installed?\n", argv[1]);
    return 3;
  }
  const DWORD pid = ::GetProcessId(open.hProcess);
  int status = 0;

  const HWND prompt = WaitForDialog(IDC_USER_NAME, nullptr, pid, 30000);
  if (prompt == nullptr) {
    std::fprintf(stderr, "no credentials prompt appeared\n");
    status = 3;
  } else {
    Shot(prompt, folder, "prompt");
    ::PostMessageA(prompt, WM_SYSCOMMAND, 0x10, 0);  // the prompt's "&About..." entry
    if (const HWND about = WaitForDialog(IDC_VERSION, nullptr, pid)) {
      Shot(about, folder, "about");
      Press(about, IDOK);
      WaitUntil([&] { return ::IsWindowEnabled(prompt) != FALSE; });
    }
    Type(prompt, IDC_USER_NAME, argv[2]);
    Type(prompt, IDC_PASSWORD, argv[3]);
    Press(prompt, IDOK);

    // Then whatever comes: progress, an unknown type's question, a message, the notice.
    bool progressShot = false;
    bool done = false;
    WaitUntil(
        [&] {
          if (::WaitForSingleObject(open.hProcess, 0) == WAIT_OBJECT_0) return true;
          if (const HWND warning = FindDialog(IDC_ALWAYS_ASK, nullptr, pid)) {
            Shot(warning, folder, "unknown_type");
            Press(warning, IDOK);
            WaitUntil([&] { return FindDialog(IDC_ALWAYS_ASK, nullptr, pid) == nullptr; });
          }
          if (const HWND box = FindDialog(kMessageBoxTextId, nullptr, pid)) {
            Shot(box, folder, "message");
            std::printf("message: %s\n", ItemText(box, kMessageBoxTextId).c_str());
            Press(box, IDOK);
            WaitUntil([&] { return FindDialog(kMessageBoxTextId, nullptr, pid) == nullptr; });
          }
          if (const HWND window = FindDialog(IDC_PROGRESS, nullptr, pid)) {
            if (ItemVisible(window, IDOK)) {
              Shot(window, folder, "wait_notice");
              Press(window, IDOK);
              done = true;
              return true;
            }
            if (!progressShot) progressShot = Shot(window, folder, "progress");
          }
          return false;
        },
        60000);
    if (!done) std::fprintf(stderr, "no wait notice appeared\n");
  }

  if (::WaitForSingleObject(open.hProcess, 30000) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "the reader did not end; stopping it\n");
    ::TerminateProcess(open.hProcess, 3);
    ::WaitForSingleObject(open.hProcess, 5000);
    status = 3;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(open.hProcess, &code);
  ::CloseHandle(open.hProcess);
  return status != 0 ? status : static_cast<int>(code);
}
