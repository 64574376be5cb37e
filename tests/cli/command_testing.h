#pragma once
// The built vaultpost run with pipes on its standard streams or on a
// pseudo-terminal, and a test viewer (VAULTPOST_VIEWER) that records its part.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "reader/reader_testing.h"
#include "support/files.h"

extern char** environ;

namespace clitest {

using readertest::TempFolder;
namespace fs = std::filesystem;

inline const std::string kVaultpost = std::string(VP_BINARY_DIR) + "/cli/vaultpost";

struct Outcome {
  int status = -1;  // exit code, or 128 + signal
  bool coreDumped = false;
  std::string out;
  std::string err;
};

inline std::size_t Occurrences(const std::string& haystack, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

// Reads `fd` into `into` until it holds `text` `times` times, the stream ends
// or 20 s pass; with `hangupsPass` a master side without a slave (EIO) is read again.
inline bool ReadUntil(int fd, std::string& into, const std::string& text, std::size_t times = 1,
                      bool hangupsPass = false) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Occurrences(into, text) < times && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EIO && hangupsPass) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    if (n <= 0) break;
    into.append(buf, static_cast<std::size_t>(n));
  }
  return Occurrences(into, text) >= times;
}

inline void DecodeStatus(int status, Outcome& r) {
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.coreDumped = WIFSIGNALED(status) && WCOREDUMP(status);
}

// `words` as a null-ended array.
inline std::vector<char*> Pointers(const std::vector<std::string>& words) {
  std::vector<char*> out;
  for (const auto& w : words) out.push_back(const_cast<char*>(w.c_str()));
  out.push_back(nullptr);
  return out;
}

// The test's own environment with `more` laid over it: a name that `more`
// sets (its last setting wins) replaces the inherited one, since a program
// sees only the first of two.
inline std::vector<char*> Environment(const std::vector<std::string>& more) {
  const auto name = [](std::string_view e) { return e.substr(0, e.find('=')); };
  const auto setLater = [&](std::string_view e, std::size_t from) {
    for (std::size_t i = from; i < more.size(); ++i) {
      if (name(more[i]) == name(e)) return true;
    }
    return false;
  };
  std::vector<char*> envp;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!setLater(*e, 0)) envp.push_back(*e);
  }
  for (std::size_t i = 0; i < more.size(); ++i) {
    if (!setLater(more[i], i + 1)) envp.push_back(const_cast<char*>(more[i].c_str()));
  }
  envp.push_back(nullptr);
  return envp;
}

// vaultpost (after the `launcher` words, say setpriv) with pipes on all three
// standard streams, in a session of its own without a terminal, as in CI.
class Process {
 public:
  Process(const std::vector<std::string>& args, const std::vector<std::string>& env,
          const std::vector<std::string>& launcher = {}, const std::string& cwd = {}) {
    int pipes[3][2];  // standard input, output and error
    for (auto& p : pipes) EXPECT_EQ(::pipe(p), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd < 3; ++fd) posix_spawn_file_actions_adddup2(&actions, pipes[fd][fd == 0 ? 0 : 1], fd);
    for (auto& p : pipes) {
      for (int fd : p) posix_spawn_file_actions_addclose(&actions, fd);
    }
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<std::string> words = launcher;
    words.push_back(kVaultpost);
    words.insert(words.end(), args.begin(), args.end());
    const std::vector<char*> argv = Pointers(words);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    EXPECT_EQ(::posix_spawnp(&pid_, argv[0], &actions, &attr, argv.data(), Environment(env).data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    for (int fd : {pipes[0][0], pipes[1][1], pipes[2][1]}) ::close(fd);
    in_ = pipes[0][1];
    out_ = pipes[1][0];
    err_ = pipes[2][0];
  }
  ~Process() {
    for (int fd : {in_, out_, err_}) {
      if (fd >= 0) ::close(fd);
    }
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // A program that ended without reading (a refusal, a password file) must
  // not end the test with SIGPIPE: the signal is held and dropped.
  void Send(const std::string& text) {
    sigset_t pipe, old;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, &old);
    const ssize_t n = ::write(in_, text.data(), text.size());
    const int error = errno;
    const timespec now{};
    ::sigtimedwait(&pipe, nullptr, &now);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    EXPECT_TRUE(n == static_cast<ssize_t>(text.size()) || (n < 0 && error == EPIPE)) << std::strerror(error);
  }
  void CloseInput() { Close(in_); }
  void CloseError() { Close(err_); }
  bool WaitForError(const std::string& text) { return ReadUntil(err_, err, text); }
  void Signal(int signal) { ::kill(pid_, signal); }
  pid_t Pid() const { return pid_; }
  Outcome Finish() {
    CloseInput();
    Outcome r;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(out_, buf, sizeof buf)) > 0) r.out.append(buf, static_cast<std::size_t>(n));
    while (err_ >= 0 && (n = ::read(err_, buf, sizeof buf)) > 0) err.append(buf, static_cast<std::size_t>(n));
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    DecodeStatus(status, r);
    r.err = err;
    return r;
  }
  std::string err;

 private:
  static void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
};

// A program whose controlling terminal is a pseudo-terminal. With
// `terminalStdio` its standard streams are the terminal; otherwise standard
// input reads /dev/null and its output goes to a pipe, so that only /dev/tty
// reaches the terminal.
class Terminal {
 public:
  Terminal(const std::vector<std::string>& argv, const std::vector<std::string>& env, bool terminalStdio = true) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(master_, 0);
    EXPECT_EQ(::grantpt(master_), 0);
    EXPECT_EQ(::unlockpt(master_), 0);
    const std::string slaveName = ::ptsname(master_);
    int pipeFds[2];
    EXPECT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    const std::vector<char*> args = Pointers(argv);
    std::vector<char*> envp = Environment(env);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setsid();
      const int slave = ::open(slaveName.c_str(), O_RDWR);  // becomes the controlling terminal
      const int nul = ::open("/dev/null", O_RDWR);
      if (slave < 0 || nul < 0) ::_exit(90);
      ::dup2(terminalStdio ? slave : nul, 0);
      ::dup2(terminalStdio ? slave : pipeFds[1], 1);
      ::dup2(terminalStdio ? slave : pipeFds[1], 2);
      if (slave > 2) ::close(slave);
      if (nul > 2) ::close(nul);
      ::execve(args[0], args.data(), envp.data());
      ::_exit(91);
    }
    ::close(pipeFds[1]);
    output_ = pipeFds[0];
  }
  ~Terminal() {
    ::close(master_);
    ::close(output_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool WaitFor(const std::string& text, std::size_t times = 1) {
    return ReadUntil(master_, screen, text, times, /*hangupsPass=*/pid_ > 0);
  }
  void Type(const std::string& keys) { ASSERT_EQ(::write(master_, keys.data(), keys.size()), (ssize_t)keys.size()); }
  // Waits for `prompt` (`times` times in all), then types `keys`.
  ::testing::AssertionResult Answer(const std::string& prompt, const std::string& keys, std::size_t times = 1) {
    if (!WaitFor(prompt, times)) return ::testing::AssertionFailure() << "no \"" << prompt << "\" in\n" << screen;
    Type(keys);
    return ::testing::AssertionSuccess();
  }
  bool Echoing() const {
    termios t{};
    return ::tcgetattr(master_, &t) == 0 && (t.c_lflag & ECHO) != 0;
  }
  void Signal(int signal) { ::kill(pid_, signal); }
  pid_t Pid() const { return pid_; }
  Outcome Finish() {
    int status = 0;
    EXPECT_EQ(::waitpid(pid_, &status, 0), pid_);
    pid_ = -1;
    WaitFor("\x01never");  // what is left on the screen
    Outcome r;
    DecodeStatus(status, r);
    return r;
  }
  std::string screen;

 private:
  int master_ = -1;
  int output_ = -1;
  pid_t pid_ = -1;
};

class VaultpostCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    viewer_ = folder_.path() + "/viewer.sh";
    record_ = folder_.path() + "/record";
    WriteViewer("printf '%s\\n' \"$1\" >> \"$RECORD\"\ncat \"$1\" >> \"$RECORD\"\n");
  }
  void WriteViewer(const std::string& script) {
    std::ofstream(viewer_) << "#!/bin/sh\n" << script;
    fs::permissions(viewer_, fs::perms::owner_all);
  }
  std::vector<std::string> Env(const std::vector<std::string>& more = {}) {
    // No display: without a terminal the reader would ask in windows.
    std::vector<std::string> env = {"TMPDIR=" + folder_.path(), "XDG_CONFIG_HOME=" + folder_.path() + "/config",
                                    "VAULTPOST_VIEWER=" + viewer_, "RECORD=" + record_, "DISPLAY=",
                                    "WAYLAND_DISPLAY="};
    env.insert(env.end(), more.begin(), more.end());
    return env;
  }
  Outcome Run(const std::vector<std::string>& args) { return Process(args, Env()).Finish(); }
  // A reader of `doc` for alice, the password and answers to come on standard input.
  std::unique_ptr<Process> Start(const std::string& doc, const std::vector<std::string>& env = {},
                                 const std::vector<std::string>& launcher = {}) {
    return std::make_unique<Process>(std::vector<std::string>{"open", "--user", "alice", "--password-stdin", doc},
                                     Env(env), launcher, folder_.path());
  }
  Outcome Open(const std::string& doc, const std::string& input, const std::vector<std::string>& env = {}) {
    const auto p = Start(doc, env);
    p->Send(input);
    return p->Finish();
  }
  // Opens `doc` with the right password in a mount namespace of its own, after
  // `mount` (a shell command; "$0" is `arg0`). Output goes to <folder>/out.
  int OpenAfterMount(const std::string& mount, const std::string& arg0, const std::string& doc,
                     const std::vector<std::string>& env = {}) {
    std::ofstream(folder_.path() + "/input") << "secret\n\n";
    std::string command = "unshare -m sh -c '" + mount + " && exec \"$@\"' " + arg0 + " env ";
    for (const std::string& e : Env(env)) command += "'" + e + "' ";
    command += kVaultpost + " open --user alice --password-stdin " + doc + " < " + folder_.path() + "/input > " +
               folder_.path() + "/out 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  bool WaitForRecord() {
    for (int i = 0; i < 200 && !fs::exists(record_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return fs::exists(record_);
  }
  TempFolder folder_;
  std::string viewer_;
  std::string record_;
};

}  // namespace clitest
