// The Windows operating-system services: removal with deferral to the next
// restart, launching through the shell with a test viewer registered for
// made-up extensions, exclusive temporary directories, and the composed
// messages. test_os runs in a Wine prefix of its own.

#include "os/win32/win32_os_interface.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "os/accepted_extensions.h"
#include "os/system_error.h"
#include "os/win32/document_folders.h"
#include "support/win32_system.h"
#include "support/fake_gui.h"
#include "support/files.h"

namespace {

using testing_support::FakeGui;
using win32test::Exists;
using win32test::HeldFile;
using win32test::Pending;
using win32test::ScratchFolder;

constexpr reader::LaunchResult kStarted = reader::LaunchResult::Started;

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  const std::string result = text;
  LocalFree(text);
  return result;
}

std::string CurrentUser() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  alignas(TOKEN_USER) char buffer[256];
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
  CloseHandle(token);
  return SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

// The owner of `path` and the trustees its access list allows anything.
std::pair<std::string, std::set<std::string>> Security(const std::string& path) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::pair<std::string, std::set<std::string>> result;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return result;
  }
  result.first = SidText(owner);
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE) {
      result.second.insert(SidText(&ace->SidStart));
    }
  }
  LocalFree(descriptor);
  return result;
}
constexpr std::uint32_t kShortKeepAliveMs = 150;

// A GUI whose message pump counts its calls and yields a little, as a real
// pump waiting for input does.
class PumpingGui : public FakeGui {
 public:
  int pumps = 0;
  void PumpMessages(bool) override {
    ++pumps;
    Sleep(1);
  }
};

}  // namespace

TEST(Win32Removal, BusyFilesAreRetriedThenLeftForTheNextRestart) {
  ScratchFolder scratch;
  os::Win32OsInterface services(scratch.path().c_str(), kShortKeepAliveMs);
  EXPECT_TRUE(services.RemoveFile((scratch.path() + "never-existed").c_str()));

  // Held for a moment: gone on a later attempt.
  const std::string brief = scratch.path() + "brief.txt";
  ASSERT_TRUE(win32test::WriteFile(brief, "x"));
  auto holder = std::make_unique<HeldFile>(brief);
  ASSERT_TRUE(holder->held());
  std::thread release([&] {
    Sleep(400);
    holder->Release();
  });
  EXPECT_TRUE(services.RemoveFile(brief.c_str()));
  release.join();
  EXPECT_FALSE(Exists(brief));
  EXPECT_FALSE(Pending(brief));

  // Held throughout: false, still there, and its deletion is scheduled.
  const std::string stuck = scratch.path() + "tree\\stuck.txt";
  ASSERT_TRUE(CreateDirectoryA((scratch.path() + "tree").c_str(), nullptr));
  ASSERT_TRUE(win32test::WriteFile(stuck, "x"));
  ASSERT_TRUE(win32test::WriteFile(scratch.path() + "tree\\free.txt", "x"));
  HeldFile held(stuck);
  ASSERT_TRUE(held.held());
  EXPECT_FALSE(services.RemoveFile(stuck.c_str()));
  EXPECT_TRUE(Exists(stuck));
  EXPECT_TRUE(Pending(stuck));

  // A tree with that file: the rest goes, the tree stays and is scheduled too.
  EXPECT_FALSE(services.RemoveDirectoryTree((scratch.path() + "tree").c_str()));
  EXPECT_FALSE(Exists(scratch.path() + "tree\\free.txt"));
  EXPECT_TRUE(Pending(scratch.path() + "tree"));
  held.Release();
  EXPECT_TRUE(services.RemoveDirectoryTree((scratch.path() + "tree\\").c_str()));
  EXPECT_FALSE(Exists(scratch.path() + "tree"));

  // Not a directory, or nothing at all: true, untouched.
  const std::string plain = scratch.path() + "plain.txt";
  ASSERT_TRUE(win32test::WriteFile(plain, "x"));
  EXPECT_TRUE(services.RemoveDirectoryTree(plain.c_str()));
  EXPECT_TRUE(Exists(plain));
  EXPECT_TRUE(services.RemoveDirectoryTree((scratch.path() + "missing").c_str()));
}

TEST(Win32TemporaryDirectory, EachCallMakesAFreshPrivateDirectory) {
  ScratchFolder scratch;
  os::Win32OsInterface services(scratch.path().c_str(), kShortKeepAliveMs);
  const std::string first = services.TemporaryDirectory();
  const std::string second = services.TemporaryDirectory();  // very likely the same millisecond
  EXPECT_NE(first, second);
  for (const std::string& dir : {first, second}) {
    EXPECT_EQ(dir.rfind(scratch.path() + "vptemp\\", 0), 0u) << dir;
    EXPECT_EQ(dir.back(), '\\');
    EXPECT_TRUE(Exists(dir));
  }

  // A name that exists already is never used: a directory planted there, with
  // a file in it, stays as it was and the caller gets a new name.
  char out[261];
  const std::string planted = scratch.path() + "vptemp\\1a2b3c4\\";
  ASSERT_TRUE(CreateDirectoryA(planted.c_str(), nullptr));
  ASSERT_TRUE(win32test::WriteFile(planted + "theirs.txt", "theirs"));
  os::OwnerMark mark, other;
  ASSERT_TRUE(os::MakeDocumentDirectory(scratch.path().c_str(), 0x1a2b3c4, out, sizeof out, mark));
  EXPECT_EQ(std::string(out), scratch.path() + "vptemp\\1a2b3c4-2\\");
  ASSERT_TRUE(os::MakeDocumentDirectory(scratch.path().c_str(), 0x1a2b3c4, out, sizeof out, other));
  EXPECT_EQ(std::string(out), scratch.path() + "vptemp\\1a2b3c4-3\\");
  EXPECT_TRUE(Exists(planted + "theirs.txt"));
  // Beside each folder, never in it, its owner's mark while the owner lives.
  EXPECT_TRUE(Exists(scratch.path() + "vptemp\\1a2b3c4-2.lock"));
  mark.Release();
  EXPECT_FALSE(Exists(scratch.path() + "vptemp\\1a2b3c4-2.lock"));

  // Paths that would not fit MAX_PATH, or the caller's buffer, are refused.
  const std::string deep = scratch.path() + std::string(240 - scratch.path().size(), 'd') + "\\";
  EXPECT_FALSE(os::MakeDocumentDirectory(deep.c_str(), 0xffffffffu, out, sizeof out, mark));
  EXPECT_FALSE(os::MakeDocumentDirectory(scratch.path().c_str(), 1, out, 8, mark));
}

// The root and each document's folder are the user's and the system's alone,
// whatever the temporary folder above them allows, also a root that an
// earlier version made. (Wine keeps an access list as the Unix mode: there
// the difference is everyone's read access.)
TEST(Win32TemporaryDirectory, TheRootAndEachFolderAreTheUsersAndTheSystemsAlone) {
  ScratchFolder scratch;
  ASSERT_TRUE(CreateDirectoryA((scratch.path() + "vptemp").c_str(), nullptr));
  os::Win32OsInterface services(scratch.path().c_str(), kShortKeepAliveMs);
  const std::string folder = services.TemporaryDirectory();
  const std::set<std::string> alone = {"S-1-5-18", CurrentUser()};
  for (const std::string& path : {scratch.path() + "vptemp", folder.substr(0, folder.size() - 1)}) {
    EXPECT_EQ(Security(path), std::make_pair(CurrentUser(), alone)) << path;
  }
}

// A root that someone else owns (CTest's foreign_root_setup makes one owned
// by another Unix user, which Wine shows as another owner) is neither
// written to nor swept, and the user is told why.
TEST(Win32TemporaryDirectory, ARootOwnedBySomeoneElseIsRefused) {
  const char* base = std::getenv("VP_FOREIGN_ROOT_BASE");
  if (base == nullptr) GTEST_SKIP() << "no foreign root prepared";
  const std::string root = std::string(base) + "vptemp";
  if (Security(root).first == CurrentUser()) GTEST_SKIP() << "the root could not be given away (not run as root)";
  os::Win32OsInterface services(base, kShortKeepAliveMs);
  services.Prepare();
  EXPECT_EQ(services.TemporaryDirectory(), nullptr);
  const char* problem = services.TemporaryDirectoryProblem();
  ASSERT_NE(problem, nullptr);
  EXPECT_NE(std::string(problem).find("'" + root + "', belongs to another user"), std::string::npos) << problem;
  EXPECT_EQ(win32test::Entries(root + "\\"), std::set<std::string>{"1a2b"});  // their folder stays, nothing of ours is there
}

TEST(Win32TemporaryDirectory, NullWhenNoDirectoryCanBeMade) {
  ScratchFolder scratch;
  // The root's name taken by a file.
  ASSERT_TRUE(win32test::WriteFile(scratch.path() + "vptemp", "not a directory"));
  os::Win32OsInterface blocked(scratch.path().c_str(), kShortKeepAliveMs);
  EXPECT_EQ(blocked.TemporaryDirectory(), nullptr);
  // A base that does not exist.
  os::Win32OsInterface missing((scratch.path() + "missing\\").c_str(), kShortKeepAliveMs);
  EXPECT_EQ(missing.TemporaryDirectory(), nullptr);
  // The Windows temporary folder itself works.
  os::Win32OsInterface real;
  const char* dir = real.TemporaryDirectory();
  ASSERT_NE(dir, nullptr);
  char temp[MAX_PATH + 1];
  GetTempPathA(sizeof temp, temp);
  EXPECT_EQ(std::string(dir).rfind(std::string(temp) + "vptemp\\", 0), 0u) << dir;
  EXPECT_TRUE(RemoveDirectoryA(dir));
}

// The sweep at each start: folders whose reader is gone go, overwritten
// first when asked; a live reader's folder, and whatever does not carry the
// reader's names, stay.
TEST(Win32DocumentFolders, AbandonedFoldersAreWipedLiveOnesAndOthersStay) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "vptemp\\";
  os::Win32OsInterface live(scratch.path().c_str(), kShortKeepAliveMs);
  const std::string liveFolder = live.TemporaryDirectory();
  ASSERT_TRUE(win32test::WriteFile(liveFolder + "part.txt", "the live reader's part"));
  // A killed reader's folder (its mark went with it), with a folder inside;
  // a folder whose mark survived a power cut; a lone mark; and things that
  // are not the reader's.
  for (const char* folder : {"1a2b", "1a2b\\deeper", "1a2c-2", "notes", "1a2g", "1a2b-x"}) {
    ASSERT_TRUE(CreateDirectoryA((root + folder).c_str(), nullptr)) << folder;
  }
  for (const char* file : {"1a2b\\a.txt", "1a2b\\deeper\\b.txt", "1a2c-2\\c.txt", "1a2c-2.lock", "77.lock",
                           "notes\\n.txt", "1a2g\\d.txt", "1a2b-x\\e.txt", "3f.txt"}) {
    ASSERT_TRUE(win32test::WriteFile(root + file, "secret")) << file;
  }
  // Watched while it is wiped, sharing deletion, to see what is left in it.
  HeldFile watcher(root + "1a2c-2\\c.txt", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_TRUE(watcher.held());

  const os::SweepResult swept = os::RemoveAbandonedFolders(scratch.path(), /*overwrite=*/true);
  EXPECT_EQ(watcher.Content(), std::string(6, '\xBE'));
  watcher.Release();
  for (const char* gone : {"1a2b", "1a2c-2.lock", "77.lock"}) EXPECT_FALSE(Exists(root + gone)) << gone;
  EXPECT_TRUE(Exists(liveFolder + "part.txt"));
  for (const char* kept : {"notes\\n.txt", "1a2g\\d.txt", "1a2b-x\\e.txt", "3f.txt"}) {
    EXPECT_TRUE(Exists(root + kept)) << kept;
  }
  EXPECT_TRUE(swept.kept.empty());
  // Its folder goes once the last handle on its file is closed.
  os::RemoveAbandonedFolders(scratch.path(), false);
  EXPECT_FALSE(Exists(root + "1a2c-2"));

  // The live reader's folder goes with its own wipe, its mark with it; the
  // sweep of the next start has nothing to do.
  EXPECT_TRUE(live.RemoveFile((liveFolder + "part.txt").c_str()));
  EXPECT_TRUE(live.RemoveDirectoryTree(liveFolder.c_str()));
  EXPECT_FALSE(Exists(liveFolder.substr(0, liveFolder.size() - 1) + ".lock"));
}

// A part that a viewer still holds is scheduled for the next restart, as its
// folder is, and the sweep goes on without waiting; a later sweep finds it
// free.
TEST(Win32DocumentFolders, AHeldPartIsScheduledAndTheSweepGoesOn) {
  ScratchFolder scratch;
  const std::string folder = scratch.path() + "vptemp\\abc";
  ASSERT_TRUE(CreateDirectoryA((scratch.path() + "vptemp").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  for (const char* file : {"\\held.txt", "\\free.txt"}) ASSERT_TRUE(win32test::WriteFile(folder + file, "secret"));
  HeldFile viewer(folder + "\\held.txt");
  ASSERT_TRUE(viewer.held());
  const os::SweepResult swept = os::RemoveAbandonedFolders(scratch.path(), /*overwrite=*/false);
  EXPECT_EQ(swept.kept, std::vector<std::string>{folder + "\\held.txt"});
  EXPECT_EQ(swept.foldersRemoved, 0u);
  EXPECT_FALSE(Exists(folder + "\\free.txt"));
  EXPECT_TRUE(Pending(folder + "\\held.txt"));
  EXPECT_TRUE(Pending(folder));
  viewer.Release();
  EXPECT_EQ(os::RemoveAbandonedFolders(scratch.path(), false).foldersRemoved, 1u);
  EXPECT_FALSE(Exists(folder));
}

// Links in the temporary root, with the reader's names, and inside an
// abandoned folder: never followed. Windows removes a link as itself; Wine,
// whose every call on a link reaches the target, leaves it.
TEST(Win32DocumentFolders, LinksAreRemovedAsLinksAndNeverFollowed) {
  ScratchFolder scratch;
  const std::string root = scratch.path() + "vptemp\\";
  const std::string elsewhere = scratch.path() + "elsewhere";
  ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((elsewhere + "\\inner").c_str(), nullptr));
  for (const char* file : {"\\precious.txt", "\\inner\\deeper.txt"}) {
    ASSERT_TRUE(win32test::WriteFile(elsewhere + file, "precious"));
  }
  ASSERT_TRUE(CreateDirectoryA((root + "6b6b").c_str(), nullptr));
  // One link by its full path, one relative, one inside an abandoned folder.
  const std::string links[] = {root + "5a5a", root + "5a5b", root + "6b6b\\inner"};
  if (!win32test::MakeUnixLink(elsewhere, links[0])) GTEST_SKIP() << "no Unix links here";
  ASSERT_TRUE(win32test::MakeUnixLink("..\\elsewhere", links[1]));
  ASSERT_TRUE(win32test::MakeUnixLink(elsewhere, links[2]));
  os::RemoveAbandonedFolders(scratch.path(), /*overwrite=*/true);
  for (const char* file : {"\\precious.txt", "\\inner\\deeper.txt"}) {
    HeldFile left(elsewhere + file, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(left.Content(), "precious") << file;
  }
  for (const std::string& link : links) {
    const DWORD attributes = GetFileAttributesA(link.c_str());
    EXPECT_TRUE(attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) << link;
  }
}

// Launching: a test viewer is registered in this prefix's HKEY_CLASSES_ROOT
// (HKLM\Software\Classes) for .vplaunch and .pdf; it appends what it got to
// the file named by VP_TEST_VIEWER_LOG.
class Win32Launch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string command = "\"" + win32test::ProgramFolder() + "vp_test_viewer.exe\" \"%1\"";
    for (const char* ext : {".vplaunch", ".pdf"}) {
      ASSERT_TRUE(win32test::WriteRaw(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\") + ext, "", REG_SZ,
                                      std::string("vptestfile", 11)));
    }
    ASSERT_TRUE(win32test::WriteRaw(HKEY_LOCAL_MACHINE, "Software\\Classes\\vptestfile\\shell\\open\\command", "",
                                    REG_SZ, command + '\0'));
  }
  void SetUp() override {
    log_ = scratch_.path() + "viewer.log";
    SetEnvironmentVariableA("VP_TEST_VIEWER_LOG", log_.c_str());
    os::quietFlag = 0;
  }
  // What the viewer recorded, once it has written `records` lines (10 s at most).
  std::string Viewed(int records) {
    std::string text;
    for (int round = 0; round < 200; ++round) {
      text = support::FileText(log_);
      int lines = 0;
      for (char c : text) lines += c == '\n';
      if (lines >= records) break;
      Sleep(50);
    }
    return text;
  }
  ScratchFolder scratch_;
  std::string log_;
  os::Win32OsInterface services{scratch_.path().c_str(), kShortKeepAliveMs};
  PumpingGui gui;
};

TEST_F(Win32Launch, KnownTypesStartTheirViewerAndKeepTheInterfaceAlive) {
  const std::string part = scratch_.path() + "report.PDF";
  ASSERT_TRUE(win32test::WriteFile(part, "pdf bytes"));
  const DWORD start = GetTickCount();
  EXPECT_EQ(services.LaunchFile(gui, part.c_str(), true), kStarted);
  EXPECT_GE(GetTickCount() - start, kShortKeepAliveMs);
  EXPECT_GT(gui.pumps, 10);  // pumped all along, not once
  EXPECT_TRUE(gui.confirmedExtensions.empty());  // a built-in type, matched ignoring case
  EXPECT_EQ(Viewed(1), part + "\tpdf bytes\n");
  EXPECT_TRUE(gui.messages.empty());
}

TEST_F(Win32Launch, UnknownTypesAreAskedAboutAndRememberedWhenTold) {
  const std::string first = scratch_.path() + "data.vplaunch";
  const std::string second = scratch_.path() + "more.VPLAUNCH";
  ASSERT_TRUE(win32test::WriteFile(first, "one"));
  ASSERT_TRUE(win32test::WriteFile(second, "two"));

  gui.confirmAnswer = false;  // declined: nothing starts, nothing is stored
  EXPECT_EQ(services.LaunchFile(gui, first.c_str(), true), reader::LaunchResult::Declined);
  EXPECT_FALSE(os::IsAcceptedExtension(".vplaunch"));

  gui.confirmAnswer = true;
  gui.confirmDontAsk = true;
  EXPECT_EQ(services.LaunchFile(gui, first.c_str(), true), kStarted);
  EXPECT_TRUE(os::IsAcceptedExtension(".vplaunch"));
  EXPECT_EQ(services.LaunchFile(gui, second.c_str(), true), kStarted);  // not asked again
  EXPECT_EQ(gui.confirmedExtensions, (std::vector<std::string>{".vplaunch", ".vplaunch"}));

  // Unchecked launches never ask and never touch the store.
  EXPECT_EQ(services.LaunchFile(gui, first.c_str(), false), kStarted);
  EXPECT_EQ(gui.confirmedExtensions.size(), 2u);
  EXPECT_EQ(Viewed(3), first + "\tone\n" + second + "\ttwo\n" + first + "\tone\n");
}

TEST_F(Win32Launch, AFailedStartIsReportedOnceWithTheReason) {
  const std::string part = scratch_.path() + "orphan.vpnothing";  // no program for it
  ASSERT_TRUE(win32test::WriteFile(part, "x"));
  EXPECT_EQ(services.LaunchFile(gui, part.c_str(), true), reader::LaunchResult::Failed);
  ASSERT_EQ(gui.messages.size(), 1u);
  EXPECT_EQ(gui.messages[0].text.rfind("Could not open the program to read file named '" + part + "'.\nReason: ", 0),
            0u)
      << gui.messages[0].text;
  EXPECT_EQ(gui.messages[0].kind, 0);
  EXPECT_EQ(gui.messages[0].flags, 1);
  EXPECT_EQ(gui.pumps, 0);  // no keep-alive after a failure

  // A path longer than the message can hold is cut, not overrun.
  const std::string longName = scratch_.path() + std::string(200, 'n') + ".vpnothing";
  ASSERT_TRUE(win32test::WriteFile(longName, "x"));
  EXPECT_EQ(services.LaunchFile(gui, longName.c_str(), false), reader::LaunchResult::Failed);
  ASSERT_EQ(gui.messages.size(), 2u);
  EXPECT_EQ(gui.messages[1].text.size(), 255u);

  os::quietFlag = 1;  // quiet: still a failure, nothing shown
  EXPECT_EQ(services.LaunchFile(gui, part.c_str(), false), reader::LaunchResult::Failed);
  EXPECT_EQ(gui.messages.size(), 2u);
  os::quietFlag = 0;
}

TEST_F(Win32Launch, APartWithoutExtensionOpensItsFolder) {
  const std::string part = scratch_.path() + "README";
  ASSERT_TRUE(win32test::WriteFile(part, "x"));
  gui.confirmDontAsk = true;
  EXPECT_EQ(services.LaunchFile(gui, part.c_str(), true), kStarted);
  EXPECT_EQ(gui.confirmedExtensions, (std::vector<std::string>{"<null>"}));
  EXPECT_TRUE(gui.messages.empty());
  EXPECT_EQ(Viewed(0), "");  // the folder went to the file manager, not to a viewer
}

TEST(Win32Messages, UnsupportedInstallationTextIsCutToItsBufferAndEndsTheProcess) {
  char tiny[12];
  std::memset(tiny, 'z', sizeof tiny);
  os::FormatUnsupportedInstallation(tiny, 9);
  EXPECT_EQ(std::string(tiny), "This met");
  EXPECT_EQ(tiny[9], 'z');  // nothing written past the given size
  EXPECT_TRUE(os::AccessDeniedSuggestsAdministrator());  // Wine reports Windows 6.1

  EXPECT_EXIT(
      {
        FakeGui gui;
        os::Win32OsInterface services;
        services.ReportUnsupportedInstallation();
      },
      ::testing::ExitedWithCode(-1), "");
}
