// What the reader gives away around its secrets: to another process of the
// same user, to a crash dump, to a terminal, to the viewer it starts and to a
// vanished output pipe.

#include <grp.h>
#include <sys/stat.h>

#include <thread>

#include "cli/command_testing.h"

using namespace clitest;
using readertest::SimpleSpec;
using readertest::TextPart;
using readertest::WriteDocument;

namespace {

constexpr const char* kPassword = "Zq8-sekret";
constexpr uid_t kThrowawayUid = 54321;  // a user that owns nothing on the machine

encoder::DocumentSpec WithPassword(encoder::DocumentSpec recipe) {
  recipe.password = kPassword;
  return recipe;
}

// 0 when a process of `uid` can open `pid`'s memory, else the errno.
int OpenMemoryAs(uid_t uid, pid_t pid) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0) {
      ::_exit(255);
    }
    const int mem = ::open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY);
    ::_exit(mem >= 0 ? 0 : errno);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ProcessProtection : public VaultpostCommand {
 protected:
  std::unique_ptr<Terminal> AtTerminal(const std::string& doc, std::vector<std::string> options = {},
                                       bool terminalStdio = true) {
    std::vector<std::string> argv = {kVaultpost, "open"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(doc);
    return std::make_unique<Terminal>(argv, Env(), terminalStdio);
  }
  // The viewer keeps the part on show until Release().
  void HoldingViewer() {
    WriteViewer("printf '%s\\n' \"$1\" >> \"$RECORD\"\nwhile [ ! -e \"$RECORD.go\" ]; do sleep 0.05; done\n");
  }
  void Release() { std::ofstream(record_ + ".go") << "go"; }
};

}  // namespace

TEST_F(ProcessProtection, TheTerminalIsRestoredAfterEveryWayOutOfThePrompt) {
  const std::string doc = WriteDocument(folder_, SimpleSpec());
  const struct {
    const char* way;
    std::string keys;
    int signal;
    int status;
  } ways[] = {
      {"Ctrl-C", "\x03", 0, 128 + SIGINT},    {"Ctrl-\\", "\x1c", 0, 128 + SIGQUIT},
      {"Ctrl-D", "\x04", 0, 1},               {"SIGTERM", "", SIGTERM, 128 + SIGTERM},
      {"SIGHUP", "", SIGHUP, 128 + SIGHUP},   {"wrong password", "wrong\n\x04", 0, 1},
      {"viewed", "secret\n", 0, 0},
  };
  for (const auto& w : ways) {
    SCOPED_TRACE(w.way);
    const auto t = AtTerminal(doc);
    ASSERT_TRUE(t->Answer("Username: ", "alice\n"));
    ASSERT_TRUE(t->WaitFor("Password: ")) << t->screen;
    EXPECT_FALSE(t->Echoing());
    t->Type(w.keys);
    if (w.signal != 0) t->Signal(w.signal);
    if (w.status == 0) {
      ASSERT_TRUE(t->Answer("Press Enter when you are done", "\n"));
    }
    const Outcome r = t->Finish();
    EXPECT_EQ(r.status, w.status) << t->screen;
    EXPECT_FALSE(r.coreDumped);
    EXPECT_TRUE(t->Echoing());
    EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
  }
  EXPECT_TRUE(fs::exists(record_));  // the last way did show the part
}

TEST_F(ProcessProtection, PasswordStdinOnATerminalIsNotShown) {
  const auto t = AtTerminal(WriteDocument(folder_, WithPassword(SimpleSpec())), {"--user", "alice", "--password-stdin"});
  ASSERT_TRUE(t->WaitFor("Password: ")) << t->screen;
  EXPECT_FALSE(t->Echoing());
  t->Type(std::string(kPassword) + "\n");
  ASSERT_TRUE(t->Answer("Click Ok when you have finished", "\n"));
  EXPECT_EQ(t->Finish().status, 0) << t->screen;
  EXPECT_TRUE(t->Echoing());
  EXPECT_EQ(t->screen.find("Zq8"), std::string::npos) << t->screen;
  EXPECT_NE(support::FileText(record_).find("the main part"), std::string::npos);
}

// Job control at the prompt: the shell gets an echoing terminal while the
// reader is stopped; brought back, the reader takes echo away and asks anew.
TEST_F(ProcessProtection, CtrlZAndFgAtThePromptNeverShowThePassword) {
  const std::string doc = WriteDocument(folder_, WithPassword(SimpleSpec()));
  Terminal shell({"/bin/bash", "--norc", "--noprofile", "-i"}, Env({"PS1=$ ", "TERM=dumb"}));
  ASSERT_TRUE(shell.Answer("$ ", kVaultpost + " open " + doc + "\n"));
  ASSERT_TRUE(shell.Answer("Username: ", "alice\n"));
  ASSERT_TRUE(shell.Answer("Password: ", "Zq8"));
  shell.Type("\x1a");  // Ctrl-Z
  ASSERT_TRUE(shell.Answer("Stopped", "fg\n"));
  ASSERT_TRUE(shell.WaitFor("Password: ", 2)) << shell.screen;
  EXPECT_FALSE(shell.Echoing());
  shell.Type(std::string(kPassword) + "\n");
  ASSERT_TRUE(shell.Answer("Press Enter when you are done", "\n"));
  ASSERT_TRUE(shell.Answer("$ ", "exit\n", 3));
  shell.Finish();
  EXPECT_EQ(shell.screen.find("Zq8"), std::string::npos) << shell.screen;
  EXPECT_NE(support::FileText(record_).find("the main part"), std::string::npos);
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
}

TEST_F(ProcessProtection, APasswordFileOthersCanReadIsWarnedAboutByEveryCommand) {
  const std::string doc = WriteDocument(folder_, SimpleSpec());
  const std::string file = folder_.path() + "/password";
  std::ofstream(file) << "secret\n";
  int made = 0;
  for (const std::string command : {"open", "verify", "pack"}) {
    for (const auto mode : {fs::perms::owner_read | fs::perms::group_read, fs::perms::owner_read}) {
      SCOPED_TRACE(command);
      fs::permissions(file, mode);
      std::vector<std::string> args = {command, "--user", "alice", "--password-file", file, doc};
      if (command == "pack") {
        const std::string out = folder_.path() + "/made" + std::to_string(++made) + ".emc";
        args.insert(args.begin() + 1, {"-o", out, "--iterations", "1"});
      }
      Process p(args, Env());
      // Only open reads on (its notice); the others may be gone already.
      if (command == "open") p.Send("\n");
      const Outcome r = p.Finish();
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.err.find("can be read by other users") != std::string::npos, mode != fs::perms::owner_read)
          << r.err;
    }
  }
}

// Run as a throwaway uid, the reader cannot be read by another process of
// that user, and SIGQUIT while the part is shown leaves no core and no part.
TEST_F(ProcessProtection, AnotherProcessOfTheUserCannotReadTheReaderAndSigquitLeavesNoCore) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the reader as another user";
  const std::string doc = WriteDocument(folder_, SimpleSpec());
  for (const auto& entry : fs::recursive_directory_iterator(folder_.path())) {
    ASSERT_EQ(::lchown(entry.path().c_str(), kThrowawayUid, kThrowawayUid), 0);
  }
  ASSERT_EQ(::chown(folder_.path().c_str(), kThrowawayUid, kThrowawayUid), 0);
  const std::string uid = std::to_string(kThrowawayUid);
  const auto p = Start(doc, {}, {"prlimit", "--core=unlimited", "--", "setpriv", "--reuid=" + uid,
                                 "--regid=" + uid, "--clear-groups", "--"});
  p->Send("secret\n");
  ASSERT_TRUE(p->WaitForError("Click Ok when you have finished")) << p->err;
  struct stat mem {};
  ASSERT_EQ(::stat(("/proc/" + std::to_string(p->Pid()) + "/mem").c_str(), &mem), 0);
  EXPECT_EQ(mem.st_uid, 0u);
  EXPECT_EQ(OpenMemoryAs(kThrowawayUid, p->Pid()), EACCES);

  p->Signal(SIGQUIT);
  const Outcome r = p->Finish();
  EXPECT_EQ(r.status, 128 + SIGQUIT);
  EXPECT_FALSE(r.coreDumped);
  for (const auto& entry : fs::directory_iterator(folder_.path())) {
    EXPECT_EQ(entry.path().filename().string().rfind("core", 0), std::string::npos) << entry.path();
  }
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
}

// `vaultpost open ... 2>&1 | head -1`: standard error's reader goes away
// while the part is shown; the next line written must not end the reader.
TEST_F(ProcessProtection, AVanishedErrorPipeDoesNotStopTheWipe) {
  HoldingViewer();
  const auto p = Start(WriteDocument(folder_, SimpleSpec()));
  p->Send("secret\n");
  ASSERT_TRUE(WaitForRecord());
  p->CloseError();
  Release();
  p->Send("\n");
  EXPECT_EQ(p->Finish().status, 0);
  EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
}

TEST_F(ProcessProtection, TheViewerInheritsNoDescriptorOfTheReader) {
  WriteViewer("ls -l /proc/$$/fd/ > \"$RECORD\"\n");
  const std::string doc = WriteDocument(folder_, SimpleSpec());
  const auto t = AtTerminal(doc, {}, /*terminalStdio=*/false);
  ASSERT_TRUE(t->Answer("Username: ", "alice\n"));
  ASSERT_TRUE(t->Answer("Password: ", "secret\n"));
  ASSERT_TRUE(t->Answer("Press Enter when you are done", "\n"));
  EXPECT_EQ(t->Finish().status, 0);
  const std::string descriptors = support::FileText(record_);
  ASSERT_NE(descriptors.find("/dev/null"), std::string::npos) << descriptors;  // the viewer's standard input
  for (const std::string& held : {doc, std::string("/dev/pts"), std::string("/dev/tty"), std::string("/dev/ptmx"),
                                  os::TemporaryRoot(folder_.path())}) {
    EXPECT_EQ(descriptors.find(held), std::string::npos) << held << " in\n" << descriptors;
  }
}

// A debugger's snapshot while a part is shown and just before the end holds
// neither the password nor the parts' text, through either inflater and both
// the direct and the helper-thread digest.
TEST_F(ProcessProtection, MemoryHoldsNeitherPasswordNorPartsWhileShowingAndAtExit) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory makes snapshots huge; the Release build runs this";
#endif
  if (std::system("command -v gdb >/dev/null") != 0) GTEST_SKIP() << "gdb is missing (scripts/deps.sh installs it)";
  const std::string marker = "MARKER-of-a-part-4c1e";
  std::string text;
  while (text.size() < (3u << 19)) text += marker + " " + std::to_string(text.size()) + "\n";
  auto recipe = WithPassword(SimpleSpec());
  recipe.parts = {TextPart("main.txt", text, /*compressed=*/true), TextPart("stored.txt", text),
                  TextPart("small.txt", marker + "\n", true)};
  const std::string doc = WriteDocument(folder_, recipe);
  HoldingViewer();
  for (const char* inflater : {"0", "1"}) {
    SCOPED_TRACE(std::string("VAULTPOST_ZLIB_INFLATE=") + inflater);
    fs::remove(record_);
    fs::remove(record_ + ".go");
    const std::string showing = folder_.path() + "/showing.core";
    const std::string atExit = folder_.path() + "/at-exit.core";
    const std::string log = folder_.path() + "/gdb.log";
    const auto p = Start(doc, {std::string("VAULTPOST_ZLIB_INFLATE=") + inflater});
    p->Send(std::string(kPassword) + "\n");
    ASSERT_TRUE(WaitForRecord());
    const std::string gdb = "gdb -nx -batch -p " + std::to_string(p->Pid()) + " -ex 'gcore " + showing +
                            "' -ex 'catch syscall exit_group' -ex continue -ex 'gcore " + atExit + "' -ex kill >" +
                            log + " 2>&1";
    std::thread debugger([&gdb] { EXPECT_EQ(std::system(gdb.c_str()), 0); });
    const bool saved = [&] {
      std::string seen;
      for (int i = 0; i < 1200 && seen.find("Saved corefile") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        seen = support::FileText(log);
      }
      return seen.find("Saved corefile") != std::string::npos;
    }();
    Release();
    p->Send("\n");
    debugger.join();
    p->Finish();
    ASSERT_TRUE(saved) << support::FileText(log);
    for (const std::string& core : {showing, atExit}) {
      SCOPED_TRACE(core);
      const std::string memory = support::FileText(core);
      ASSERT_NE(memory.find("--password-stdin"), std::string::npos) << support::FileText(log);  // the snapshot holds the reader
      EXPECT_EQ(Occurrences(memory, kPassword), 0u);
      EXPECT_EQ(Occurrences(memory, marker), 0u);
      fs::remove(core);
    }
    EXPECT_NE(support::FileText(record_).find("main.txt"), std::string::npos);
    EXPECT_EQ(folder_.LeftInTemporaryRoot(), 0u);
  }
}
