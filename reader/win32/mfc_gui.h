#pragma once
// The dialog-based GuiInterface of the Windows module: the credentials
// prompt, the progress window that turns into the wait notice, the warning
// before an unknown part type is opened, and system message boxes. It is also
// the thread's application object, so that the dialogs find it (and through
// it the document's state and icon) as the current application.

#include <cstdint>
#include <memory>
#include <string>

#include "reader/gui_interface.h"
#include "reader/win32/dialog_framework.h"
#include "reader/win32/dialogs.h"

namespace reader {

class MfcGui : public GuiInterface, public Application {
 public:
  // Becomes the current GuiInterface and the current application object. The
  // common controls the dialogs use (progress bar, tooltips) are registered.
  MfcGui();
  // Destroys the three dialogs (with their windows) and the icon it made.
  ~MfcGui() override;

  // The current application object when it is an MfcGui, else null.
  static MfcGui* Current();

  // GuiInterface.
  int PromptForCredentials(bool askUserName) override;
  bool ShowOpening(const char* title, const char* body) override;
  void HideOpening() override;
  void SetProgressRange(std::int32_t upper) override;
  void SetProgressPosition(std::int32_t position) override;
  void ShowWaitNotice(const char* title, const char* body) override;
  void RestorePrompt() override;
  void HidePrompt() override;
  // The prompt wipes its copy of the password.
  void ForgetPassword() override;
  void PumpMessages(bool oneOnly) override;
  std::int32_t ShowMessageBox(const char* title, const char* body, std::int32_t kind,
                              std::int32_t flags) override;
  void SetBusy(bool busy) override;
  bool ConfirmUnknownFileType(const char* extension, bool& dontAskAgain) override;
  // After a document: its icon is forgotten, so the next document shows its own.
  void AfterDocument() override;
  // Large parts show how many MiB are written so far under the progress text.
  void ReportBytesWritten(std::uint64_t partBytes) override;

  // Application.
  bool InitInstance() override;
  // The prompt's "&About..." system command opens the About box over it.
  bool PreTranslateMessage(MSG& msg) override;
  // An exception that escaped a dialog's handler is shown as the flow shows it.
  void OnCallbackException(const std::exception_ptr& error) noexcept override;

  // The window icon of the prompt and the progress window: the document's own
  // icon, or the module's icon 141.
  HICON Icon() const { return icon_; }
  // Called by the prompt when it closes with success.
  void RecordWindowAfterPrompt(HWND hwnd) { recordedWindow_ = hwnd; }

  // For tests: the dialogs as they are now (null before their first use).
  CDocdecDlg* Prompt() const { return prompt_.get(); }
  COpeningDlg* Opening() const { return opening_.get(); }

 private:
  // Makes the icon and the progress window when they are missing; the
  // progress window becomes the main window, the owner of later dialogs.
  void EnsureWindows();
  void ShowProgressText();

  std::unique_ptr<CDocdecDlg> prompt_;
  std::unique_ptr<COpeningDlg> opening_;
  std::unique_ptr<CUnknownFileDlg> unknownType_;
  HICON icon_ = nullptr;
  bool ownIcon_ = false;
  bool iconStale_ = false;  // a document ended: the next one brings its own icon
  HCURSOR savedCursor_ = nullptr;
  HWND recordedWindow_ = nullptr;
  std::string openingText_;    // the progress window's text without the byte count
  std::uint64_t shownMiB_ = 0;  // the MiB count shown under it (0: none)
};

}  // namespace reader
