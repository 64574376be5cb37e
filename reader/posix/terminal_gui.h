#pragma once
// The reader's user interface on a terminal: credentials asked on the
// controlling terminal (password not echoed), a progress bar and messages on
// standard error, and the wait notice and the unknown-type question as
// prompts. For scripts the answers come from a stream instead: the first line
// of standard input is the password and the following lines answer the wait
// notice and the questions.

#include <cstdint>
#include <cstdio>
#include <string>

#include "reader/gui_interface.h"
#include "security/secret_text.h"

namespace reader {

class TerminalGui : public GuiInterface {
 public:
  struct Options {
    // Scripted use: credentials are given, answers are read from `answers`
    // (an empty line is OK / proceed; end of input is OK for the notice and
    // Cancel for a question). Exactly one decoding attempt is made.
    bool scripted = false;
    // Scripted use with credentials (--password-stdin / --password-file);
    // without them a document that needs credentials cannot be opened.
    bool credentialsGiven = false;
    std::string userName;
    security::SecretText password;
    std::FILE* answers = nullptr;
    // Where messages and progress go (standard error).
    std::FILE* out = stderr;
    // Interactive use: the controlling terminal (default /dev/tty).
    const char* terminal = "/dev/tty";
  };

  explicit TerminalGui(Options options);
  ~TerminalGui() override;

  int PromptForCredentials(bool askUserName) override;
  bool ShowOpening(const char* title, const char* body) override;
  void HideOpening() override;
  void SetProgressRange(std::int32_t upper) override;
  void SetProgressPosition(std::int32_t position) override;
  void ShowWaitNotice(const char* title, const char* body) override;
  void RestorePrompt() override;
  std::int32_t ShowMessageBox(const char* title, const char* body, std::int32_t kind,
                              std::int32_t flags) override;
  bool ConfirmUnknownFileType(const char* extension, bool& dontAskAgain) override;
  void ReportBytesWritten(std::uint64_t partBytes) override;
  // Wipes the password given in the options and the one typed last.
  void ForgetPassword() override;

  // Asks on the controlling terminal for the document's credentials, outside
  // an opening (a check of the document uses it): the prompt's title and
  // text, then the user name when `askUserName`, then the password, not
  // echoed. False when the input ended or there is no terminal.
  bool AskCredentials(bool askUserName, std::string& userName, security::SecretText& password);
  // Asks on the controlling terminal for one secret line after `label`, not
  // echoed. False when the input ended or there is no terminal.
  bool AskSecret(const char* label, security::SecretText& secret);

  // Whether a Stop or Error message was shown since the last credentials
  // attempt began (the command then exits 1).
  bool FailureReported() const { return failureReported_; }
  // Whether the user cancelled the credentials prompt.
  bool Cancelled() const { return cancelled_; }
  // Whether credentials were needed with neither a terminal nor given ones.
  bool NoCredentialsSource() const { return noCredentialsSource_; }

 private:
  // Reads one answer line; false at the end of input.
  bool ReadAnswer(std::string& line);
  // Opens the controlling terminal once; false when there is none.
  bool OpenTerminal();
  // Reads a line from the terminal after "<label>: "; false at end of input.
  bool ReadTerminalLine(const char* label, std::string& line);
  // The same without echo (ReadHiddenLine).
  bool ReadPassword(const char* label, security::SecretText& line);
  void DrawProgress();
  void EndProgressLine();

  Options options_;
  security::SecretText typed_;  // the password of the attempt under way
  std::FILE* tty_ = nullptr;
  std::int32_t upper_ = 0;
  std::int32_t position_ = 0;
  std::uint64_t partBytes_ = 0;
  bool progressShown_ = false;
  bool progressLineOpen_ = false;
  bool failureReported_ = false;
  bool cancelled_ = false;
  bool attempted_ = false;
  bool noCredentialsSource_ = false;
};

// Reads one line from `in` without its line end ("\n" or "\r\n"); false at
// the end of input with nothing read.
bool ReadLine(std::FILE* in, std::string& line);
// The same for a secret line; the stream should be unbuffered (setvbuf
// _IONBF) so that the line's bytes are nowhere but in `line`.
bool ReadLine(std::FILE* in, security::SecretText& line);

// Reads one line without echo from the terminal `in`, after writing `label`
// to `out`: echo goes off before the label shows and comes back when the
// line ends, when the reader is interrupted (with RestoreTerminalEcho as the
// interrupt hook) and while job control stops the reader (Ctrl-Z), which
// turns it off again and shows the label anew once the reader is back in the
// foreground. Reads byte by byte, so the line is nowhere but in `line`.
// When `in` is no terminal the line is read as it is. False at the end of
// input with nothing read.
bool ReadHiddenLine(int in, int out, const char* label, security::SecretText& line);

// Restores the terminal's echo if a password prompt had turned it off; safe
// to call from a signal handler.
void RestoreTerminalEcho();

}  // namespace reader
