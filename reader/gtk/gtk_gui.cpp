#include "reader/gtk/gtk_gui.h"

#include <gtk/gtk.h>

#include <exception>
#include <string>

#include "desktop/icons.h"
#include "reader/gtk/display_watch.h"
#include "reader/gtk/gtk_windows.h"
#include "reader/interrupt_cleanup.h"
#include "reader/os_interface.h"
#include "source/xp/high_resolution_clock.h"
#include "version/version.h"

namespace reader {

namespace {

constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr std::uint32_t kPromptIconSize = 48;
// Decoding does not wait for events: they are fetched this often.
constexpr std::uint64_t kPumpEveryNs = 15'000'000;

using gtkui::Answer;

}  // namespace

bool GtkGui::OpenDisplay() {
  g_set_prgname("vaultpost");
  g_set_application_name(VP_PRODUCT_NAME);
  if (!gtk_init_check()) return false;
  gtk_window_set_default_icon_name("orlenta-reader");
  gtkui::WipeWhenDisplayIsLost();
  return true;
}

GtkGui::GtkGui() : GuiInterface(/*afterDocument=*/true) {}

GtkGui::~GtkGui() {
  prompt_.reset();
  opening_.reset();
  gtkui::DispatchPending();  // let the windows go from the screen
}

const desktop::Bitmap& GtkGui::Icon() {
  if (iconStale_) {
    if (!desktop::DocumentIcon(State().tagTable, kPromptIconSize, icon_)) icon_ = desktop::ProductIcon(kPromptIconSize);
    iconStale_ = false;
  }
  return icon_;
}

gtkui::OpeningWindow& GtkGui::Opening() {
  if (opening_ == nullptr) {
    opening_ = std::make_unique<gtkui::OpeningWindow>();
    // Its Cancel (and its close button) stops the opening under way.
    opening_->OnAnswer([this](Answer answer) {
      if (answer == Answer::Cancel) cancelRequested_ = cancelled_ = true;
    });
  }
  return *opening_;
}

GtkWindow* GtkGui::Owner() const {
  if (opening_ != nullptr && opening_->Visible()) return opening_->Gtk();
  if (prompt_ != nullptr && prompt_->Visible()) return prompt_->Gtk();
  return nullptr;
}

void GtkGui::Pump() {
  const std::uint64_t now = xp::HighResolutionClock::now();
  if (lastPump_ != 0 && now - lastPump_ < kPumpEveryNs) return;
  lastPump_ = now;
  gtkui::DispatchPending();
}

void GtkGui::OpenLink(const char* address) {
  if (OsInterface* os = OsInterface::Current()) os->LaunchFile(*this, address, /*checkType=*/false);
}

void GtkGui::BeginRun() {
  cancelRequested_ = failureReported_ = cancelled_ = false;
}

int GtkGui::PromptForCredentials(bool askUserName) {
  prompt_ = std::make_unique<gtkui::PromptWindow>(
      Catalogue(), askUserName, Icon(), [this](const char* address) { OpenLink(address); },
      [this] {
        gtkui::AboutWindow about([this](const char* address) { OpenLink(address); });
        about.SetParent(prompt_->Gtk());
        about.Run();
      });
  for (;;) {
    prompt_->SetWorking(false);
    prompt_->FocusFirstEmpty();
    if (prompt_->Run() != Answer::Ok) {
      cancelled_ = true;
      prompt_.reset();
      return kCancel;
    }
    prompt_->SetWorking(true);
    std::string userName;
    prompt_->TakeCredentials(userName, password_);
    cancelRequested_ = cancelled_ = failureReported_ = false;
    bool finished = true;
    try {
      finished = State().Decode(userName.c_str(), password_.c_str());
    } catch (...) {
      // Decode has wiped what it wrote; the prompt closes as after any
      // failure another try cannot cure.
      ReportException(std::current_exception());
    }
    password_.clear();
    if (finished) {
      prompt_.reset();
      return kOk;
    }
  }
}

bool GtkGui::ShowOpening(const char* title, const char* body) {
  Opening().ShowProgress(title, body);
  opening_->SetParent(prompt_ != nullptr && prompt_->Visible() ? prompt_->Gtk() : nullptr);
  Opening().SetBusy(true);
  gtkui::DispatchPending();
  return true;
}

void GtkGui::HideOpening() {
  if (opening_ != nullptr) opening_->Hide();
}

void GtkGui::SetProgressRange(std::int32_t upper) {
  upper_ = upper;
  Opening().SetProgress(0, upper_);
}

void GtkGui::SetProgressPosition(std::int32_t position) {
  Opening().SetProgress(position, upper_);
  Pump();
}

void GtkGui::ReportBytesWritten(std::uint64_t partBytes) {
  if (opening_ != nullptr) opening_->SetBytes(partBytes);
  Pump();
}

bool GtkGui::CancelRequested() {
  Pump();
  return cancelRequested_;
}

void GtkGui::ForgetPassword() { password_.clear(); }

void GtkGui::ShowWaitNotice(const char* title, const char* body) {
  gtkui::OpeningWindow& notice = Opening();
  notice.SetParent(nullptr);
  notice.ShowNotice(title, body);
  notice.Run();  // OK or its close button: the user is done either way
  notice.Hide();
}

void GtkGui::RestorePrompt() {
  if (prompt_ != nullptr) prompt_->Show();
}

void GtkGui::HidePrompt() {
  if (prompt_ != nullptr) prompt_->Hide();
}

void GtkGui::PumpMessages(bool) { gtkui::DispatchPending(); }

std::int32_t GtkGui::ShowMessageBox(const char* title, const char* body, std::int32_t kind, std::int32_t flags) {
  if (kind == MessageKind::Stop || kind == MessageKind::Error) failureReported_ = true;
  gtkui::MessageWindow box(title, body, kind, (flags & MessageFlags::OkCancel) != 0);
  box.SetParent(Owner());
  switch (box.Run()) {
    case Answer::Ok: return 1;
    case Answer::Cancel: return 2;
    default: return -1;
  }
}

void GtkGui::SetBusy(bool busy) {
  if (prompt_ != nullptr) prompt_->SetBusy(busy);
  if (opening_ != nullptr) opening_->SetBusy(busy);
}

bool GtkGui::ConfirmUnknownFileType(const char* extension, bool& dontAskAgain) {
  gtkui::UnknownTypeWindow question(extension != nullptr ? extension : "");
  question.SetParent(Owner());
  const bool proceed = question.Run() == Answer::Ok;
  dontAskAgain = proceed && !question.AlwaysAsk();
  return proceed;
}

void GtkGui::AfterDocument() { iconStale_ = true; }

}  // namespace reader
