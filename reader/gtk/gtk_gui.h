#pragma once
// The reader's desktop interface on GTK 4: the credentials prompt, the
// progress window that turns into the wait notice, the question before an
// unknown part type is opened, the About box and message boxes, over the same
// flow as the Windows dialogs and the terminal. Every call comes from the
// thread that opens documents; the windows stay responsive wherever the flow
// pumps messages, and the progress window's Cancel is seen between the key
// derivation's and the decoder's steps.

#include <cstdint>
#include <memory>

#include "desktop/bitmap.h"
#include "reader/gui_interface.h"
#include "security/secret_text.h"

// GTK's own declaration: the header needs no GTK include.
typedef struct _GtkWindow GtkWindow;

namespace reader {

namespace gtkui {
class PromptWindow;
class OpeningWindow;
}  // namespace gtkui

class GtkGui : public GuiInterface {
 public:
  // Connects to the desktop's display (GTK's own rules: $DISPLAY,
  // $WAYLAND_DISPLAY, $GDK_BACKEND); false when there is none. Needed once
  // before a GtkGui is made.
  static bool OpenDisplay();

  GtkGui();
  ~GtkGui() override;

  int PromptForCredentials(bool askUserName) override;
  bool ShowOpening(const char* title, const char* body) override;
  void HideOpening() override;
  void SetProgressRange(std::int32_t upper) override;
  void SetProgressPosition(std::int32_t position) override;
  void ShowWaitNotice(const char* title, const char* body) override;
  void RestorePrompt() override;
  void HidePrompt() override;
  void PumpMessages(bool oneOnly) override;
  std::int32_t ShowMessageBox(const char* title, const char* body, std::int32_t kind,
                              std::int32_t flags) override;
  void SetBusy(bool busy) override;
  bool ConfirmUnknownFileType(const char* extension, bool& dontAskAgain) override;
  void BeginRun() override;
  // The next document shows its own icon.
  void AfterDocument() override;
  void ReportBytesWritten(std::uint64_t partBytes) override;
  bool CancelRequested() override;
  // Wipes the password the prompt gave the attempt under way.
  void ForgetPassword() override;

  // Whether a Stop or Error message was shown since the last attempt began.
  bool FailureReported() const { return failureReported_; }
  // Whether the user cancelled the prompt or the opening.
  bool Cancelled() const { return cancelled_; }

 private:
  // The icon the prompt shows: the document's own, or the product's.
  const desktop::Bitmap& Icon();
  gtkui::OpeningWindow& Opening();
  // The window a message box belongs to: the visible progress window or prompt.
  GtkWindow* Owner() const;
  // Dispatches waiting events at most every few milliseconds.
  void Pump();
  void OpenLink(const char* address);

  std::unique_ptr<gtkui::PromptWindow> prompt_;
  security::SecretText password_;  // of the attempt under way, until the key is derived
  std::unique_ptr<gtkui::OpeningWindow> opening_;
  desktop::Bitmap icon_;
  bool iconStale_ = true;
  std::int32_t upper_ = 0;
  std::uint64_t lastPump_ = 0;
  bool cancelRequested_ = false;
  bool failureReported_ = false;
  bool cancelled_ = false;
};

}  // namespace reader
