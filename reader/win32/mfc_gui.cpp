#include "reader/win32/mfc_gui.h"

#include <commctrl.h>

#include "codec/icon_directory.h"
#include "resources/resource_ids.h"

namespace reader {

namespace {

constexpr DWORD kIconFormatVersion = 0x00030000;
constexpr DWORD kPumpWaitMs = 1000;

}  // namespace

MfcGui::MfcGui() : GuiInterface(/*afterDocument=*/true) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_PROGRESS_CLASS | ICC_BAR_CLASSES;
  ::InitCommonControlsEx(&controls);
}

MfcGui::~MfcGui() {
  unknownType_.reset();
  prompt_.reset();
  opening_.reset();
  SetMainWindow(nullptr);
  if (ownIcon_ && icon_ != nullptr) ::DestroyIcon(icon_);
}

MfcGui* MfcGui::Current() { return dynamic_cast<MfcGui*>(Application::Current()); }

bool MfcGui::InitInstance() { return true; }

void MfcGui::EnsureWindows() {
  if (icon_ == nullptr || iconStale_) {
    const HICON previous = icon_;
    const bool ownedPrevious = ownIcon_;
    icon_ = nullptr;
    ownIcon_ = false;
    codec::IconImage wanted;
    wanted.width = 16;
    wanted.height = 16;
    wanted.bitCount = 8;
    codec::IconImage image;
    if (codec::ExtractDocumentIcon(State().tagTable, wanted, image) && !image.bytes.empty()) {
      icon_ = ::CreateIconFromResourceEx(image.bytes.data(), image.byteCount, TRUE, kIconFormatVersion,
                                         static_cast<int>(image.width), static_cast<int>(image.height),
                                         LR_DEFAULTCOLOR);
      if (icon_ == nullptr && image.bitCount != 16) {
        icon_ = ::CreateIconFromResource(image.bytes.data(), image.byteCount, TRUE, kIconFormatVersion);
      }
      ownIcon_ = icon_ != nullptr;
    }
    if (icon_ == nullptr) icon_ = ::LoadIconA(ResourceInstance(), MAKEINTRESOURCEA(IDI_DOCUMENT));
    iconStale_ = false;
    // The progress window outlives documents: it takes the new icon before
    // the old one goes.
    if (opening_ != nullptr) SetWindowIcons(opening_->Handle(), icon_);
    if (ownedPrevious && previous != nullptr) ::DestroyIcon(previous);
  }
  if (opening_ == nullptr) {
    opening_ = std::make_unique<COpeningDlg>(State());
    if (opening_->Create(nullptr)) SetMainWindow(opening_->Handle());
  }
}

int MfcGui::PromptForCredentials(bool askUserName) {
  EnsureWindows();
  prompt_ = std::make_unique<CDocdecDlg>(State(), askUserName);
  return prompt_->DoModal();
}

bool MfcGui::ShowOpening(const char* title, const char* body) {
  EnsureWindows();
  const HWND window = opening_->Handle();
  if (window == nullptr) return false;
  opening_->SetCaption(title);
  openingText_ = body != nullptr ? body : "";
  shownMiB_ = 0;
  ShowProgressText();
  // The window may have been the wait notice of an earlier document.
  opening_->ShowItem(IDOK, false);
  if (opening_->Progress() != nullptr) ::ShowWindow(opening_->Progress(), SW_SHOW);
  ::ShowWindow(window, SW_SHOW);
  PumpMessages(false);
  return true;
}

void MfcGui::HideOpening() {
  if (opening_ != nullptr && opening_->Handle() != nullptr) ::ShowWindow(opening_->Handle(), SW_HIDE);
}

void MfcGui::SetProgressRange(std::int32_t upper) {
  EnsureWindows();
  if (opening_->Progress() != nullptr) ::SendMessageA(opening_->Progress(), PBM_SETRANGE32, 0, upper);
}

void MfcGui::SetProgressPosition(std::int32_t position) {
  if (opening_ == nullptr || opening_->Progress() == nullptr) return;
  ::SendMessageA(opening_->Progress(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
  // Decoding does not pump messages: paint the bar now, or it would stand
  // still until the viewer starts.
  ::UpdateWindow(opening_->Progress());
}

void MfcGui::ReportBytesWritten(std::uint64_t partBytes) {
  const std::uint64_t mib = partBytes >> 20;
  if (mib == shownMiB_) return;
  shownMiB_ = mib;
  ShowProgressText();
}

void MfcGui::ShowProgressText() {
  if (opening_ == nullptr || opening_->Handle() == nullptr) return;
  if (shownMiB_ == 0) {
    opening_->SetItemText(IDC_OPENING_TEXT, openingText_.c_str());
  } else {
    const std::string text = openingText_ + "\n" + std::to_string(shownMiB_) + " MiB";
    opening_->SetItemText(IDC_OPENING_TEXT, text.c_str());
  }
  if (HWND item = opening_->Item(IDC_OPENING_TEXT)) ::UpdateWindow(item);
}

void MfcGui::ShowWaitNotice(const char* title, const char* body) {
  EnsureWindows();
  const HWND window = opening_->Handle();
  if (window == nullptr) {
    // Without the window the notice is still a question the user answers.
    GuiInterface::ShowWaitNotice(title, body);
    return;
  }
  if (prompt_ != nullptr && prompt_->Handle() != nullptr) {
    HWND after = HWND_BOTTOM;
    if (recordedWindow_ != nullptr) {
      if (const HWND previous = ::GetWindow(recordedWindow_, GW_HWNDPREV)) after = previous;
    }
    ::SetWindowPos(prompt_->Handle(), after, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  }
  opening_->SetCaption(title);
  openingText_ = body != nullptr ? body : "";
  shownMiB_ = 0;
  ShowProgressText();
  if (opening_->Progress() != nullptr) ::ShowWindow(opening_->Progress(), SW_HIDE);
  opening_->ShowItem(IDOK, true);
  ::EnableWindow(window, TRUE);
  ::ShowWindow(window, SW_SHOW);
  ::SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(opening_->Item(IDOK)), TRUE);
  opening_->RunModalLoop();
}

void MfcGui::RestorePrompt() {
  if (prompt_ != nullptr && prompt_->Handle() != nullptr) ::ShowWindow(prompt_->Handle(), SW_SHOW);
}

void MfcGui::HidePrompt() {
  if (prompt_ != nullptr && prompt_->Handle() != nullptr) ::ShowWindow(prompt_->Handle(), SW_HIDE);
}

void MfcGui::ForgetPassword() {
  if (prompt_) prompt_->ForgetPassword();
}

void MfcGui::PumpMessages(bool oneOnly) {
  MSG msg;
  if (oneOnly && ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    PumpMessage();
    return;
  }
  if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, kPumpWaitMs, QS_ALLINPUT) == WAIT_TIMEOUT) return;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (!PumpMessage()) return;  // WM_QUIT stays queued for the outer loops
  }
}

std::int32_t MfcGui::ShowMessageBox(const char* title, const char* body, std::int32_t kind, std::int32_t flags) {
  const int answer = ::MessageBoxA(nullptr, body != nullptr ? body : "", title, MessageBoxStyle(kind, flags));
  if (answer == IDOK) return 1;
  if (answer == IDCANCEL) return 2;
  return -1;
}

void MfcGui::SetBusy(bool busy) {
  if (busy) {
    const HCURSOR replaced = ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
    if (savedCursor_ == nullptr) savedCursor_ = replaced;
  } else if (savedCursor_ != nullptr) {
    ::SetCursor(savedCursor_);
    savedCursor_ = nullptr;
  }
}

bool MfcGui::ConfirmUnknownFileType(const char* extension, bool& dontAskAgain) {
  if (unknownType_ == nullptr) unknownType_ = std::make_unique<CUnknownFileDlg>();
  unknownType_->SetExtension(extension);
  dontAskAgain = false;
  // A dialog that could not be shown opens nothing.
  if (unknownType_->DoModal() == -1) return false;
  dontAskAgain = unknownType_->DontAskAgain();
  return unknownType_->Proceed();
}

void MfcGui::AfterDocument() { iconStale_ = true; }

bool MfcGui::PreTranslateMessage(MSG& msg) {
  if (msg.message == WM_SYSCOMMAND && (msg.wParam & 0xFFF0) == kAboutCommand) {
    CAboutDlg about;
    about.DoModal(prompt_ != nullptr ? prompt_->Handle() : nullptr);
    return true;
  }
  return Application::PreTranslateMessage(msg);
}

void MfcGui::OnCallbackException(const std::exception_ptr& error) noexcept { ReportException(error); }

}  // namespace reader
