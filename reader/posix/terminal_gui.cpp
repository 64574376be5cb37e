#include "reader/posix/terminal_gui.h"

#include "reader/posix/terminal_text.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

namespace reader {

namespace {

// The terminal settings a password prompt replaced, restored when the prompt
// ends, when the reader is interrupted and while job control has stopped it.
struct termios g_savedTerminal;
volatile sig_atomic_t g_echoOff = 0;
volatile sig_atomic_t g_echoFd = -1;
// While a hidden line is read: where its label goes, so that it can be shown
// again when the reader comes back from a stop.
volatile sig_atomic_t g_prompting = 0;
volatile sig_atomic_t g_labelFd = -1;
char g_label[256];
std::size_t g_labelLength = 0;

// Turns echo off on the terminal `fd` (typed newlines still show). False when
// `fd` is no terminal or its settings cannot be changed. Async-signal-safe.
bool HideInput(int fd) {
  if (::tcgetattr(fd, &g_savedTerminal) != 0) return false;
  struct termios quiet = g_savedTerminal;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  quiet.c_lflag |= ECHONL;
  g_echoFd = fd;
  g_echoOff = 1;
  if (::tcsetattr(fd, TCSAFLUSH, &quiet) != 0) g_echoOff = 0;
  return g_echoOff != 0;
}

void WriteAll(int fd, const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(fd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    length -= static_cast<std::size_t>(n);
  }
}

// Ctrl-Z (and a background read or write) at a hidden prompt: the terminal
// gets its echo back for the shell, the process stops as it would have, and
// once it is continued in the foreground echo goes off again and the label
// is shown anew (typing before the stop was discarded by the terminal).
void OnStop(int signal) {
  const int savedErrno = errno;
  RestoreTerminalEcho();
  struct sigaction plain {}, mine {};
  plain.sa_handler = SIG_DFL;
  ::sigemptyset(&plain.sa_mask);
  ::sigaction(signal, &plain, &mine);
  sigset_t only;
  ::sigemptyset(&only);
  ::sigaddset(&only, signal);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signal);  // stopped here until continued
  ::sigprocmask(SIG_BLOCK, &only, nullptr);
  ::sigaction(signal, &mine, nullptr);
  const int fd = g_echoFd;
  if (g_prompting != 0 && fd >= 0 && ::tcgetpgrp(fd) == ::getpgrp() && HideInput(fd)) {
    WriteAll(g_labelFd, "\n", 1);
    WriteAll(g_labelFd, g_label, g_labelLength);
  }
  errno = savedErrno;
}

constexpr int kStopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

constexpr int kBarWidth = 30;

// A catalogue text (the document may have replaced it) as the terminal may show it.
std::string Shown(const char* text) { return TerminalText(text != nullptr ? text : ""); }

std::string Lowered(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// One line from `in` without its line end ("\n" or "\r\n"), appended in
// place: no copy of the line is made on the way.
template <class Text>
bool ReadLineInto(std::FILE* in, Text& line) {
  line.clear();
  if (in == nullptr) return false;
  int c;
  bool any = false;
  while ((c = std::fgetc(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  while (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

}  // namespace

bool ReadLine(std::FILE* in, std::string& line) { return ReadLineInto(in, line); }

bool ReadLine(std::FILE* in, security::SecretText& line) { return ReadLineInto(in, line); }

void RestoreTerminalEcho() {
  if (g_echoOff != 0 && g_echoFd >= 0) {
    ::tcsetattr(g_echoFd, TCSANOW, &g_savedTerminal);
    g_echoOff = 0;
  }
}

bool ReadHiddenLine(int in, int out, const char* label, security::SecretText& line) {
  line.clear();
  const std::size_t length = std::strlen(label);
  g_labelLength = length < sizeof g_label ? length : sizeof g_label;
  std::memcpy(g_label, label, g_labelLength);
  g_labelFd = out;
  g_echoFd = in;
  g_prompting = 1;
  struct sigaction onStop {}, previous[std::size(kStopSignals)];
  onStop.sa_handler = OnStop;
  onStop.sa_flags = SA_RESTART;
  ::sigemptyset(&onStop.sa_mask);
  for (int s : kStopSignals) ::sigaddset(&onStop.sa_mask, s);
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) ::sigaction(kStopSignals[i], &onStop, &previous[i]);
  // Echo goes off before the label appears, so that nothing typed at the
  // label is ever shown.
  HideInput(in);
  WriteAll(out, label, length);
  bool any = false;
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(in, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    any = true;
    if (c == '\n') break;
    line.push_back(c);
  }
  while (!line.empty() && line.back() == '\r') line.pop_back();
  RestoreTerminalEcho();
  g_prompting = 0;
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) ::sigaction(kStopSignals[i], &previous[i], nullptr);
  if (!any) WriteAll(out, "\n", 1);
  return any;
}

TerminalGui::TerminalGui(Options options) : GuiInterface(/*afterDocument=*/false), options_(std::move(options)) {}

TerminalGui::~TerminalGui() {
  RestoreTerminalEcho();
  if (tty_ != nullptr) std::fclose(tty_);
}

bool TerminalGui::ReadAnswer(std::string& line) { return ReadLine(options_.answers, line); }

bool TerminalGui::OpenTerminal() {
  if (tty_ == nullptr) {
    // Unbuffered, so that typed passwords never sit in a stdio buffer; not
    // inherited by the viewer.
    tty_ = std::fopen(options_.terminal, "r+e");
    if (tty_ != nullptr) std::setvbuf(tty_, nullptr, _IONBF, 0);
  }
  return tty_ != nullptr;
}

bool TerminalGui::ReadTerminalLine(const char* label, std::string& line) {
  if (!OpenTerminal()) return false;
  std::fprintf(tty_, "%s: ", Shown(label).c_str());
  std::fflush(tty_);
  const bool got = ReadLine(tty_, line);
  if (!got) std::fputc('\n', tty_);
  return got;
}

bool TerminalGui::ReadPassword(const char* label, security::SecretText& line) {
  if (!OpenTerminal()) return false;
  const int fd = ::fileno(tty_);
  return ReadHiddenLine(fd, fd, (Shown(label) + ": ").c_str(), line);
}

int TerminalGui::PromptForCredentials(bool askUserName) {
  constexpr int kOk = 1;
  constexpr int kCancel = 2;
  if (options_.scripted) {
    if (!options_.credentialsGiven) {
      noCredentialsSource_ = true;
      cancelled_ = true;
      return kCancel;
    }
    // Credentials given to a script make exactly one attempt.
    if (attempted_) return kCancel;
    attempted_ = true;
    const bool finished = State().Decode(askUserName ? options_.userName.c_str() : "", options_.password.c_str());
    options_.password.clear();
    if (!finished) cancelled_ = true;
    return finished ? kOk : kCancel;
  }
  for (;;) {
    std::string user;
    if (!AskCredentials(askUserName, user, typed_)) {
      cancelled_ = true;
      return kCancel;
    }
    failureReported_ = false;  // only the last attempt's outcome counts
    const bool finished = State().Decode(user.c_str(), typed_.c_str());
    typed_.clear();
    if (finished) return kOk;
  }
}

bool TerminalGui::AskCredentials(bool askUserName, std::string& userName, security::SecretText& password) {
  MessageCatalogue& texts = Catalogue();
  std::FILE* out = options_.out;
  std::fprintf(out, "\n%s\n", Shown(texts.Text(MessageCatalogue::Title)).c_str());
  const char* prompt = texts.Text(MessageCatalogue::Prompt);
  if (prompt != nullptr && prompt[0] != '\0') std::fprintf(out, "%s\n", Shown(prompt).c_str());
  std::fflush(out);
  if (askUserName && !ReadTerminalLine(texts.Text(MessageCatalogue::UserNameLabel), userName)) return false;
  return ReadPassword(texts.Text(MessageCatalogue::PasswordLabel), password);
}

bool TerminalGui::AskSecret(const char* label, security::SecretText& secret) { return ReadPassword(label, secret); }

bool TerminalGui::ShowOpening(const char* title, const char* body) {
  // Shown already while the key was derived: the bar goes on.
  if (progressShown_) {
    DrawProgress();
    return true;
  }
  std::fprintf(options_.out, "\n%s\n%s\n", Shown(title).c_str(), Shown(body).c_str());
  progressShown_ = true;
  DrawProgress();
  return true;
}

void TerminalGui::HideOpening() {
  EndProgressLine();
  progressShown_ = false;
}

void TerminalGui::SetProgressRange(std::int32_t upper) {
  upper_ = upper;
  position_ = 0;
  partBytes_ = 0;
}

void TerminalGui::SetProgressPosition(std::int32_t position) {
  position_ = position;
  partBytes_ = 0;
  if (progressShown_) DrawProgress();
}

void TerminalGui::ReportBytesWritten(std::uint64_t partBytes) {
  // Only large parts get a running byte count, refreshed once per MiB.
  constexpr std::uint64_t kStep = 1u << 20;
  const bool redraw = partBytes / kStep != partBytes_ / kStep;
  partBytes_ = partBytes;
  if (progressShown_ && redraw) DrawProgress();
}

void TerminalGui::DrawProgress() {
  std::FILE* out = options_.out;
  if (upper_ > 0) {
    const std::int32_t pos = position_ < 0 ? 0 : (position_ > upper_ ? upper_ : position_);
    const int filled = static_cast<int>(static_cast<std::int64_t>(pos) * kBarWidth / upper_);
    std::fprintf(out, "\r[%.*s%.*s] %d/%d", filled, "##############################", kBarWidth - filled,
                 "..............................", pos, upper_);
  } else {
    std::fprintf(out, "\r[step %d]", position_);
  }
  if (partBytes_ >= (1u << 20)) {
    std::fprintf(out, "  %.1f MiB", static_cast<double>(partBytes_) / (1024.0 * 1024.0));
  }
  std::fprintf(out, "   ");
  progressLineOpen_ = true;
  // A finished bar ends its line, so that a viewer in the same terminal starts clean.
  if (upper_ > 0 && position_ >= upper_) EndProgressLine();
  std::fflush(out);
}

void TerminalGui::EndProgressLine() {
  if (progressLineOpen_) {
    std::fputc('\n', options_.out);
    progressLineOpen_ = false;
  }
}

void TerminalGui::ShowWaitNotice(const char* title, const char* body) {
  EndProgressLine();
  std::FILE* out = options_.out;
  std::fprintf(out, "\n%s\n%s\n", Shown(title).c_str(), Shown(body).c_str());
  std::fflush(out);
  std::string line;
  if (options_.scripted) {
    ReadAnswer(line);  // any line, and the end of input, mean OK
    return;
  }
  ReadTerminalLine("Press Enter when you are done", line);
}

void TerminalGui::RestorePrompt() {}

void TerminalGui::ForgetPassword() {
  options_.password.clear();
  typed_.clear();
}

std::int32_t TerminalGui::ShowMessageBox(const char* title, const char* body, std::int32_t kind,
                                         std::int32_t flags) {
  EndProgressLine();
  if (kind == MessageKind::Stop || kind == MessageKind::Error) failureReported_ = true;
  std::FILE* out = options_.out;
  if (title != nullptr && title[0] != '\0') {
    std::fprintf(out, "%s: %s\n", Shown(title).c_str(), Shown(body).c_str());
  } else {
    std::fprintf(out, "%s\n", Shown(body).c_str());
  }
  std::fflush(out);
  if ((flags & MessageFlags::OkCancel) == 0) return 1;
  std::string line;
  const bool got = options_.scripted ? ReadAnswer(line) : ReadTerminalLine("OK or Cancel [O/c]", line);
  if (!got) return 2;
  const std::string a = Lowered(line);
  return (a == "c" || a == "cancel" || a == "n" || a == "no") ? 2 : 1;
}

bool TerminalGui::ConfirmUnknownFileType(const char* extension, bool& dontAskAgain) {
  dontAskAgain = false;
  EndProgressLine();
  std::FILE* out = options_.out;
  std::fprintf(out, "\n%s\n%s %s\n%s\n", kUnknownTypeTitle, kUnknownTypeLabel, Shown(extension).c_str(),
               kUnknownTypeWarning);
  std::fflush(out);
  std::string line;
  const bool got = options_.scripted
                       ? ReadAnswer(line)
                       : ReadTerminalLine("[o]pen, open and [a]lways for this type, [c]ancel", line);
  if (!got) return false;
  const std::string a = Lowered(line);
  if (a == "c" || a == "cancel" || a == "n" || a == "no") return false;
  if (a == "a" || a == "always") dontAskAgain = true;
  return true;
}

}  // namespace reader
