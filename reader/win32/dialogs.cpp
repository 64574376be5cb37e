#include "reader/win32/dialogs.h"

#include <commctrl.h>

#include <string>
#include <string_view>
#include <vector>

#include "reader/decoder_file_writer.h"
#include "reader/document_state.h"
#include "reader/link_address.h"
#include "reader/message_catalogue.h"
#include "reader/win32/mfc_gui.h"
#include "resources/resource_ids.h"
#include "version/version.h"

namespace reader {

namespace {

// The text of an edit control, kept only in wiped memory.
void ReadSecretText(HWND edit, security::SecretText& out) {
  out.clear();
  if (edit == nullptr) return;
  const int length = ::GetWindowTextLengthA(edit);
  if (length <= 0) return;
  std::vector<char, security::LockedAllocator<char>> buffer(static_cast<std::size_t>(length) + 1, '\0');
  const int got = ::GetWindowTextA(edit, buffer.data(), length + 1);
  out.append(std::string_view(buffer.data(), got > 0 ? static_cast<std::size_t>(got) : 0));
}

// Empties a password field so that the control keeps no copy of what was
// typed: its text is overwritten in place with as many filler characters
// (same length, so the control reuses its buffer), then removed, and the
// undo buffer, which may hold deleted characters, is emptied.
void EmptySecretEdit(HWND edit) {
  if (edit == nullptr) return;
  const int length = ::GetWindowTextLengthA(edit);
  if (length > 0) ::SetWindowTextA(edit, std::string(static_cast<std::size_t>(length), '*').c_str());
  ::SetWindowTextA(edit, "");
  ::SendMessageA(edit, EM_EMPTYUNDOBUFFER, 0, 0);
}

// Widens a one-line static control of `dialog` to its text when the font in
// use draws the text wider than the template allows (fonts standing in for
// "MS Sans Serif" differ), up to the dialog's right margin; a control that
// fits keeps its size.
void WidenToText(HWND dialog, int id) {
  const HWND control = ::GetDlgItem(dialog, id);
  const std::string text = WindowText(control);
  if (text.empty()) return;
  SIZE extent{};
  HDC dc = ::GetDC(control);
  if (dc == nullptr) return;
  const auto font = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
  const HGDIOBJ old = font != nullptr ? ::SelectObject(dc, font) : nullptr;
  ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  if (old != nullptr) ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);

  RECT rect;
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  RECT margin{0, 0, 7, 0};
  ::MapDialogRect(dialog, &margin);
  RECT client;
  ::GetClientRect(dialog, &client);
  const LONG wanted = extent.cx + 2;
  const LONG room = client.right - margin.right - rect.left;
  if (wanted <= rect.right - rect.left || room <= rect.right - rect.left) return;
  ::SetWindowPos(control, nullptr, 0, 0, wanted < room ? wanted : room, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

// CDocdecDlg

CDocdecDlg::CDocdecDlg(DocumentState& state, bool askUserName)
    : Dialog(IDD_CREDENTIALS), state_(&state), askUserName_(askUserName) {}

bool CDocdecDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  MessageCatalogue& texts = state_->catalogue;

  if (HMENU menu = ::GetSystemMenu(hwnd_, FALSE)) {
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING, kAboutCommand, "&About...");
  }

  // The address comes from the document: one that could start a program
  // hides the link as if the document had none.
  const char* url = texts.Text(MessageCatalogue::HyperlinkUrl);
  if (url == nullptr || url[0] == '\0' || !IsOpenableLinkAddress(url)) {
    ShowItem(IDC_HYPERLINK, false);
  } else {
    link_.SubclassDlgItem(IDC_HYPERLINK, *this);
    const char* linkText = texts.Text(MessageCatalogue::HyperlinkText);
    SetItemText(IDC_HYPERLINK, linkText != nullptr && linkText[0] != '\0' ? linkText : url);
    link_.SetUrl(url);
  }

  if (MfcGui* gui = MfcGui::Current()) SetWindowIcons(hwnd_, gui->Icon());

  SetCaption(texts.Text(MessageCatalogue::Title));
  SetItemText(IDC_PROMPT_TEXT, texts.Text(MessageCatalogue::Prompt));
  SetItemText(IDC_PASSWORD_LABEL, texts.Text(MessageCatalogue::PasswordLabel));
  if (askUserName_) {
    SetItemText(IDC_USER_NAME_LABEL, texts.Text(MessageCatalogue::UserNameLabel));
  } else {
    SetItemText(IDC_USER_NAME_LABEL, texts.Text(MessageCatalogue::PasswordLabel));
    ShowItem(IDC_PASSWORD_LABEL, false);
    ShowItem(IDC_PASSWORD, false);
    ::SendMessageA(Item(IDC_USER_NAME), EM_SETPASSWORDCHAR, '*', 0);
  }
  ::SetFocus(Item(IDC_USER_NAME));
  return false;
}

void CDocdecDlg::OnOK() {
  EnableItem(IDC_USER_NAME, false);
  EnableItem(IDC_PASSWORD, false);
  ::EnableWindow(hwnd_, FALSE);

  MfcGui* gui = MfcGui::Current();
  bool finished = true;
  try {
    if (askUserName_) {
      userName_ = ItemText(IDC_USER_NAME);
    } else {
      userName_.clear();
    }
    ReadSecretText(PasswordField(), password_);
    EmptySecretEdit(PasswordField());
    DocumentState& state = gui != nullptr ? gui->State() : *state_;
    finished = state.Decode(userName_.c_str(), password_.c_str());
  } catch (...) {
    // This runs inside the prompt's window procedure: nothing may unwind
    // through it. Decode has wiped what it wrote before the exception left it;
    // the prompt closes as after any failure another try cannot cure.
    if (GuiInterface* current = GuiInterface::Current()) current->ReportException(std::current_exception());
    finished = true;
  }
  password_.clear();

  if (finished) {
    if (gui != nullptr) gui->RecordWindowAfterPrompt(::GetWindow(hwnd_, GW_HWNDNEXT));
    ::EnableWindow(hwnd_, TRUE);
    Dialog::OnOK();
    return;
  }
  EnableItem(IDC_USER_NAME, true);
  EnableItem(IDC_PASSWORD, true);
  ::EnableWindow(hwnd_, TRUE);
  // The user name stays; the password is typed again.
  ::SetFocus(PasswordField());
}

HWND CDocdecDlg::PasswordField() const { return Item(askUserName_ ? IDC_PASSWORD : IDC_USER_NAME); }

void CDocdecDlg::ForgetPassword() { password_.clear(); }

// COpeningDlg

COpeningDlg::COpeningDlg(DocumentState& state) : Dialog(IDD_OPENING), state_(&state) {}

bool COpeningDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  progress_ = Item(IDC_PROGRESS);
  if (HMENU menu = ::GetSystemMenu(hwnd_, FALSE)) ::DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
  if (MfcGui* gui = MfcGui::Current()) SetWindowIcons(hwnd_, gui->Icon());
  return true;
}

bool COpeningDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
  switch (message) {
    case WM_QUERYENDSESSION:
      // Never stand in the way of the session's end: the part files are wiped
      // when it really ends (WM_ENDSESSION).
      ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, TRUE);
      result = TRUE;
      return true;
    case WM_ENDSESSION:
      // The process may be ended as soon as this returns: decoded parts must
      // not outlive it. Files a viewer still holds are left to the system,
      // which deletes them at the next start.
      if (wParam != FALSE) {
        if (DecoderFileWriter* writer = DecoderFileWriter::Active()) writer->WipeFilesBeforeExit();
        EndDialog(IDOK);
      }
      ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, 0);
      result = TRUE;
      return true;
    default:
      return false;
  }
}

// CUnknownFileDlg

CUnknownFileDlg::CUnknownFileDlg()
    : Dialog(IDD_UNKNOWN_TYPE), warningIcon_(::LoadIconA(nullptr, MAKEINTRESOURCEA(32515))) {}  // IDI_WARNING

bool CUnknownFileDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  ::SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(warningIcon_));
  ::SendMessageA(Item(IDC_WARNING_ICON), STM_SETICON, reinterpret_cast<WPARAM>(warningIcon_), 0);
  ::CheckDlgButton(hwnd_, IDC_ALWAYS_ASK, BST_CHECKED);
  SetItemText(IDC_EXTENSION, extension_.c_str());
  WidenToText(hwnd_, IDC_EXTENSION_LABEL);
  WidenToText(hwnd_, IDC_EXTENSION);
  proceed_ = false;
  dontAskAgain_ = false;
  return true;
}

void CUnknownFileDlg::OnOK() {
  proceed_ = true;
  dontAskAgain_ = ::IsDlgButtonChecked(hwnd_, IDC_ALWAYS_ASK) != BST_CHECKED;
  Dialog::OnOK();
}

// CAboutDlg

CAboutDlg::CAboutDlg() : Dialog(IDD_ABOUT) {}

bool CAboutDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  SetItemText(IDC_VERSION, VP_VERSION_TEXT);
  char notice[256];
  Application* app = Application::Current();
  const HINSTANCE resources = app != nullptr ? app->ResourceInstance() : ThisModule();
  if (::LoadStringA(resources, IDS_NOTICE, notice, static_cast<int>(sizeof notice)) > 0) {
    SetItemText(IDC_NOTICE, notice);
  }
  link_.SubclassDlgItem(IDC_HYPERLINK, *this);
  return true;
}

}  // namespace reader
