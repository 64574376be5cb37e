// The Linux operating-system services: removal rules, the launch question and
// the accepted extensions, and the private temporary directories.

#include "os/system_error.h"
#include "reader/os_interface.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "os/accepted_extensions.h"
#include "os/posix/posix_os_interface.h"
#include "support/fake_gui.h"
#include "support/files.h"

namespace fs = std::filesystem;
constexpr reader::LaunchResult kStarted = reader::LaunchResult::Started;
using testing_support::FakeGui;

namespace {

class OsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vp-os-XXXXXX";
    base_ = ::mkdtemp(tmpl);
    ::setenv("XDG_CONFIG_HOME", (base_ + "/config").c_str(), 1);
    // The viewer records its argument; it runs instead of any desktop opener.
    viewer_ = base_ + "/viewer.sh";
    std::ofstream(viewer_) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " << base_ << "/launched\n";
    fs::permissions(viewer_, fs::perms::owner_all);
    ::setenv("VAULTPOST_VIEWER", viewer_.c_str(), 1);
    os::quietFlag = 0;
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("VAULTPOST_VIEWER");
    os::quietFlag = 0;
    fs::remove_all(base_);
  }
  std::string Launched() { return support::FileText(base_ + "/launched"); }
  std::string base_;
  std::string viewer_;
};

}  // namespace

TEST_F(OsTest, RemovalRules) {
  os::PosixOsInterface services(base_);
  EXPECT_TRUE(services.RemoveFile((base_ + "/never-existed").c_str()));
  const std::string file = base_ + "/plain";
  std::ofstream(file) << "x";
  EXPECT_TRUE(services.RemoveDirectoryTree(file.c_str()));  // not a directory: untouched
  EXPECT_TRUE(fs::exists(file));
  EXPECT_TRUE(services.RemoveDirectoryTree((base_ + "/missing").c_str()));
  EXPECT_TRUE(services.RemoveFile(file.c_str()));
  EXPECT_FALSE(fs::exists(file));
  fs::create_directories(base_ + "/tree/a/b");
  std::ofstream(base_ + "/tree/a/b/f") << "x";
  EXPECT_TRUE(services.RemoveDirectoryTree((base_ + "/tree/").c_str()));
  EXPECT_FALSE(fs::exists(base_ + "/tree"));
}

TEST_F(OsTest, LaunchAsksForUnknownTypesAndRemembersWhenTold) {
  os::PosixOsInterface services(base_);
  FakeGui gui;
  const std::string dir = services.TemporaryDirectory();

  EXPECT_EQ(kStarted, services.LaunchFile(gui, (dir + "report.PDF").c_str(), true));
  EXPECT_TRUE(gui.confirmedExtensions.empty());

  gui.confirmDontAsk = true;
  EXPECT_EQ(kStarted, services.LaunchFile(gui, (dir + "data.bin").c_str(), true));
  EXPECT_EQ(gui.confirmedExtensions, (std::vector<std::string>{".bin"}));
  EXPECT_TRUE(os::IsAcceptedExtension(".bin"));
  EXPECT_EQ(kStarted, services.LaunchFile(gui, (dir + "more.BIN").c_str(), true));
  EXPECT_EQ(gui.confirmedExtensions.size(), 1u);

  // Program types are asked about every time and never stored.
  EXPECT_EQ(kStarted, services.LaunchFile(gui, (dir + "run.sh").c_str(), true));
  EXPECT_EQ(kStarted, services.LaunchFile(gui, (dir + "run.sh").c_str(), true));
  EXPECT_EQ(gui.confirmedExtensions.size(), 3u);
  EXPECT_FALSE(os::IsAcceptedExtension(".sh"));

  // No extension: asked with none, nothing stored, the folder is opened.
  EXPECT_EQ(kStarted, services.LaunchFile(gui, (dir + "README").c_str(), true));
  EXPECT_EQ(gui.confirmedExtensions.back(), "<null>");

  // Declined: nothing launched. Unchecked: never asks.
  gui.confirmAnswer = false;
  gui.confirmDontAsk = false;
  EXPECT_EQ(reader::LaunchResult::Declined, services.LaunchFile(gui, (dir + "other.xyz").c_str(), true));
  const std::size_t asked = gui.confirmedExtensions.size();
  EXPECT_EQ(kStarted, services.LaunchFile(gui, (dir + "other.xyz").c_str(), false));
  EXPECT_EQ(gui.confirmedExtensions.size(), asked);
  EXPECT_FALSE(os::IsAcceptedExtension(".xyz"));

  const std::string folder = dir.substr(0, dir.size() - 1);
  EXPECT_EQ(Launched(), dir + "report.PDF\n" + dir + "data.bin\n" + dir + "more.BIN\n" + dir + "run.sh\n" + dir +
                            "run.sh\n" + folder + "\n" + dir + "other.xyz\n");
  EXPECT_TRUE(gui.messages.empty());
}

TEST_F(OsTest, FailedLaunchIsReportedOnce) {
  os::PosixOsInterface services(base_);
  FakeGui gui;
  ::setenv("VAULTPOST_VIEWER", (base_ + "/no-such-viewer").c_str(), 1);
  const std::string part = base_ + "/a.txt";
  EXPECT_EQ(reader::LaunchResult::Failed, services.LaunchFile(gui, part.c_str(), true));
  ASSERT_EQ(gui.messages.size(), 1u);
  EXPECT_EQ(gui.messages[0].text,
            "Could not open the program to read file named '" + part + "'.\nReason: The specified file was not found.");
  EXPECT_EQ(gui.messages[0].kind, 0);
  EXPECT_EQ(gui.messages[0].flags, 1);
}

TEST_F(OsTest, TemporaryDirectoriesArePrivateAndFresh) {
  os::PosixOsInterface services(base_);
  const std::string first = services.TemporaryDirectory();
  const std::string second = services.TemporaryDirectory();
  EXPECT_NE(first, second);
  EXPECT_EQ(first.back(), '/');
  const std::string root = os::TemporaryRoot(base_);
  EXPECT_EQ(fs::path(first).parent_path().parent_path(), root);
  struct stat st {};
  const auto mode = [&st](const std::string& path) { return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0; };
  EXPECT_EQ(mode(root), 0700u);
  EXPECT_EQ(st.st_uid, ::geteuid());
  EXPECT_EQ(mode(first), 0700u);

  // A root left readable by others is tightened; a removed root comes back.
  ::chmod(root.c_str(), 0755);
  ASSERT_NE(services.TemporaryDirectory(), nullptr);
  EXPECT_EQ(mode(root), 0700u);
  fs::remove_all(root);
  EXPECT_NE(services.TemporaryDirectory(), nullptr);

  // A symbolic link planted at the root's name is refused, not followed.
  fs::remove_all(root);
  fs::create_directory(base_ + "/elsewhere");
  fs::create_directory_symlink(base_ + "/elsewhere", root);
  EXPECT_EQ(services.TemporaryDirectory(), nullptr);
  EXPECT_TRUE(fs::is_empty(base_ + "/elsewhere"));
}

// Only dead readers' document directories go: nothing else in the root, and
// nothing outside it through a link, is touched.
TEST_F(OsTest, AbandonedDirectoriesAreWipedOthersAreLeftAlone) {
  const std::string root = os::TemporaryRoot(base_);
  fs::create_directories(root + "/dead/nested");
  for (const char* f : {"/dead/a.txt", "/dead/nested/b.txt", "/dead.lock", "/stale.lock", "/plain"}) {
    std::ofstream(root + f) << "secret";
  }
  fs::create_directories(base_ + "/outside");
  std::ofstream(base_ + "/outside/keep") << "precious";
  fs::create_symlink(base_ + "/outside/keep", root + "/dead/link");  // a link inside is removed, not followed
  fs::create_directory_symlink(base_ + "/outside", root + "/link");  // a link in the root is left alone
  std::ofstream(root + "/link.lock") << "";
  fs::create_directories(root + "/old");  // no lock at all: an earlier reader's leftover

  os::PosixOsInterface live(base_);
  const std::string liveDir = live.TemporaryDirectory();
  std::ofstream(liveDir + "part.txt") << "in use";

  ::setenv("VAULTPOST_WIPE_FILES", "1", 1);
  os::RemoveAbandonedDirectories(base_, /*overwrite=*/true);
  ::unsetenv("VAULTPOST_WIPE_FILES");
  std::set<std::string> left;
  for (const auto& e : fs::directory_iterator(root)) left.insert(e.path().filename());
  const std::string liveName = fs::path(liveDir).parent_path().filename();
  EXPECT_EQ(left, (std::set<std::string>{"plain", "link", "link.lock", liveName, liveName + ".lock"}));
  EXPECT_TRUE(fs::exists(liveDir + "part.txt"));
  std::ifstream keep(base_ + "/outside/keep");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(keep), {}), "precious");
}

TEST(SystemErrorText, ErrnoValuesGetTheSentenceOfTheirMeaningOrTheirNumber) {
  char out[256];
  // errno values: those with a sentence of the same meaning get it, any other
  // shows its own number, never the sentence of the Windows error that
  // happens to share it (EIO is 5, EPIPE 32).
  const struct {
    int error;
    const char* reason;
  } errnos[] = {
      {ENOENT, "The specified file was not found."},
      {ENOTDIR, "The specified path was not found."},
      {EACCES, "The operating system denied access to the specified file."},
      {EROFS, "The operating system denied access to the specified file."},
      {ENOMEM, "There was not enough memory to complete the operation."},
      {ETXTBSY, "A sharing violation occurred."},
      {EIO, "5"},
      {EPIPE, "32"},
      {ENOSPC, "28"},
      {ESRCH, "3"},
  };
  for (const auto& e : errnos) {
    os::SystemErrorReason(os::SystemErrorFromErrno(e.error), out, sizeof out);
    EXPECT_STREQ(out, e.reason) << e.error;
  }
}
