#pragma once
// The reader's four dialogs: the credentials prompt, the progress window
// (which also serves as the wait notice), the warning before a part of an
// unknown type is opened, and the About box.

#include <string>

#include "reader/win32/dialog_framework.h"
#include "reader/win32/hyper_link.h"
#include "security/secret_text.h"

namespace reader {

class DocumentState;

// The system-menu command of the prompt's "&About..." entry.
inline constexpr UINT kAboutCommand = 0x10;

// The credentials prompt (template 102). Its OK button runs the decoding.
class CDocdecDlg : public Dialog {
 public:
  CDocdecDlg(DocumentState& state, bool askUserName);

  const std::string& UserName() const { return userName_; }
  bool AskUserName() const { return askUserName_; }
  const CHyperLink& Link() const { return link_; }
  // Wipes the copy of the password the prompt read.
  void ForgetPassword();

 protected:
  bool OnInitDialog() override;
  // Disables the fields, reads the password and empties its field, decodes,
  // and either ends the prompt or gives the fields back for another try
  // (the user name kept, the password to be typed again). No exception leaves it:
  // one that leaves the decoding is reported the way the flow reports it and
  // ends the prompt (the part files are wiped before).
  void OnOK() override;

 private:
  // The field the password is typed into (the first one when the document
  // asks for a password only).
  HWND PasswordField() const;

  std::string userName_;
  security::SecretText password_;
  DocumentState* state_;
  bool askUserName_;
  CHyperLink link_;
};

// The progress window (template 103), modeless for the whole process; as the
// wait notice its OK button takes the progress bar's place and ends a modal
// loop on it. When the session ends while part files exist, they are wiped
// before the process goes.
class COpeningDlg : public Dialog {
 public:
  explicit COpeningDlg(DocumentState& state);

  HWND Progress() const { return progress_; }

 protected:
  bool OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  DocumentState* state_;
  HWND progress_ = nullptr;
};

// The question before a part of an unrecognised type is opened (template 145).
class CUnknownFileDlg : public Dialog {
 public:
  CUnknownFileDlg();

  void SetExtension(const char* extension) { extension_ = extension != nullptr ? extension : ""; }
  bool Proceed() const { return proceed_; }
  bool DontAskAgain() const { return dontAskAgain_; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  bool proceed_ = false;
  bool dontAskAgain_ = false;
  std::string extension_;
  HICON warningIcon_;
};

// The About box (template 104): version, notice and the maker's address as a link.
class CAboutDlg : public Dialog {
 public:
  CAboutDlg();

 protected:
  bool OnInitDialog() override;

 private:
  CHyperLink link_;
};

}  // namespace reader
