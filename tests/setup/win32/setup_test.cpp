// The setup program as administrators and users run it, on 32-bit Windows or
// as a WoW64 guest. CMake runs each suite in a clean prefix of its own:
// ForEveryone (then AfterRestart, in the next Wine session), ForCurrentUser,
// and Failures then PageByPage (with a picture of each page). The desktop's
// programs are started as the desktop starts them: under WoW64 from the
// 64-bit system folder, so that nothing works only because this test is 32-bit.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "install/win32/scenarios/scenario_testing.h"

namespace {

using namespace installtest;
using support::FileText;
using win32test::Exists;
using win32test::UnderWow64;

const std::string kSetup = WindowsPath(VP_SETUP_PATH);
const std::string kBuiltModule = WindowsPath(VP_MODULE_PATH);
const char* const kDocument = "C:\\vp-documents\\report.emc";
const char* const kViewerLog = "C:\\vp-viewer.log";
const char* const kDisposedList = "C:\\vp-disposed.txt";
constexpr long kInstalled = 0, kCancelled = 1, kNotInstalled = 2, kUsage = 4;

std::string InstallationFolder(HKEY root) {
  return (root == HKEY_LOCAL_MACHINE ? ProgramFiles() : LocalAppData()) + "\\Orlenta-Reader";
}
std::string InstalledModule(HKEY root) { return InstallationFolder(root) + "\\vaultpost.dll"; }

long RunSetup(const std::string& arguments, const std::string& setup = kSetup) {
  const HANDLE process = win32test::Start("\"" + setup + "\" " + arguments);
  EXPECT_NE(process, nullptr);
  return process != nullptr ? win32test::Finish(process, 120000) : -1;
}

// Under WoW64 with the file-system redirection off, so that a bare program
// name finds the 64-bit system folder's program, as for the 64-bit shell.
HANDLE StartAsTheDesktop(const std::string& commandLine) {
  PVOID redirection = nullptr;
  const bool native = UnderWow64() && ::Wow64DisableWow64FsRedirection(&redirection);
  const HANDLE process = win32test::Start(commandLine);
  if (native) ::Wow64RevertWow64FsRedirection(redirection);
  return process;
}

// A completed installation in `root`'s scope, nothing left of the setup's
// private folders ("ns*.tmp").
void ExpectInstalled(HKEY root) {
  const std::string installed = InstalledModule(root);
  EXPECT_EQ(FileText(installed), FileText(kBuiltModule));
  ExpectFileTypes(root, installed, DocumentIcon(installed));
  ExpectIconHandler(root, installed);
  ExpectUninstallEntry(root, installed,
                       root == HKEY_LOCAL_MACHINE ? "Orlenta Reader (32-bit)"
                                                  : "Orlenta Reader - Current user install  (32-bit)");
  EXPECT_EQ(TempFiles("ns*.tmp"), std::vector<std::string>{});
}

// Writes and opens the test document as the desktop does, playing its user: for the
// machine through the shell; for the user by running the command the user's
// classes register (Wine's shell reads the machine's classes only).
void OpenAsTheDesktopDoes(HKEY root) {
  ::CreateDirectoryA("C:\\vp-documents", nullptr);
  WriteViewedDocument(kDocument, WindowsPath(VP_VIEWER_PATH), kViewerLog);
  std::string command = "cmd.exe /c start \"\" \"" + std::string(kDocument) + "\"";
  if (root == HKEY_CURRENT_USER) {
    const std::string stored = win32test::ReadRaw(root, kClasses + "emcClass\\shell\\open\\command", nullptr).bytes;
    command = stored.substr(0, stored.find('\0'));
    const std::size_t at = command.find("%1");
    ASSERT_NE(at, std::string::npos) << command;
    command.replace(at, 2, kDocument);
  }
  ::DeleteFileA(kViewerLog);
  const HANDLE started = StartAsTheDesktop(command);
  ASSERT_NE(started, nullptr) << command;
  if (root == HKEY_LOCAL_MACHINE) {
    BOOL guest = FALSE;
    EXPECT_TRUE(::IsWow64Process(started, &guest) && guest == FALSE) << "not the desktop's own shell";
  }
  PlayTheReader(0, kViewerLog);
  win32test::Finish(started);
}

// Runs the uninstall command of the entry in `root`, as the list of installed
// programs does; returns the messages it answered.
std::vector<std::string> UninstallFromTheList(HKEY root) {
  const std::string stored = win32test::ReadRaw(root, kUninstallEntry, "UninstallString").bytes;
  const std::string command = stored.substr(0, stored.find('\0'));
  const HANDLE process = StartAsTheDesktop(command);
  EXPECT_NE(process, nullptr) << command;
  if (process == nullptr) return {};
  BoxWatcher watcher(IDOK, ::GetProcessId(process));
  EXPECT_EQ(win32test::Finish(process), 0) << command;
  return watcher.Texts();
}

// Returns what the uninstallation moved out of the way.
std::vector<std::string> ExpectUninstalled(HKEY root) {
  ExpectNothingRegistered();
  EXPECT_FALSE(win32test::KeyExists(root, kUninstallEntry, KEY_WOW64_64KEY));
  EXPECT_FALSE(win32test::KeyExists(root, kUninstallEntry, KEY_WOW64_32KEY));
  EXPECT_FALSE(win32test::KeyExists(HKEY_CURRENT_USER, "Software\\Orlenta"));
  EXPECT_FALSE(Exists(InstallationFolder(root)));
  EXPECT_FALSE(Exists(TempFolder() + "vptemp"));
  EXPECT_EQ(TempFiles("ns*.tmp"), std::vector<std::string>{});
  return DisposedFiles();
}

// The built module with its fixed version block's file and product versions 3.0.0.0.
std::string NewerModule() {
  std::string bytes = FileText(kBuiltModule);
  const std::size_t at = bytes.find("\xBD\x04\xEF\xFE");
  EXPECT_NE(at, std::string::npos);
  if (at == std::string::npos) return bytes;
  for (const std::size_t field : {at + 8, at + 16}) {  // dwFileVersionMS, dwProductVersionMS
    const DWORD major3 = 3u << 16;
    bytes.replace(field, 4, reinterpret_cast<const char*>(&major3), 4);
    bytes.replace(field + 4, 4, std::string(4, '\0'));
  }
  return bytes;
}

TEST(ForEveryone, InstallsSilently) {
  ASSERT_EQ(RunSetup("/S /ALLUSERS"), kInstalled);
  ExpectInstalled(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(win32test::KeyExists(HKEY_CURRENT_USER, kClasses + "emcClass"));
}

TEST(ForEveryone, OpensADocumentAsADoubleClickDoes) { OpenAsTheDesktopDoes(HKEY_LOCAL_MACHINE); }

TEST(ForEveryone, RunningItAgainChangesNothing) {
  ASSERT_EQ(RunSetup("/S /ALLUSERS"), kInstalled);
  ExpectInstalled(HKEY_LOCAL_MACHINE);
}

TEST(ForEveryone, KeepsANewerModule) {
  const std::string module = InstalledModule(HKEY_LOCAL_MACHINE);
  const std::string newer = NewerModule();
  ASSERT_TRUE(win32test::WriteFile(module, newer));
  ASSERT_EQ(RunSetup("/S"), kInstalled);  // an administrator's default: everyone
  EXPECT_EQ(FileText(module), newer);
  ExpectFileTypes(HKEY_LOCAL_MACHINE, module, DocumentIcon(module));
}

TEST(ForEveryone, UninstallsFromTheList) {
  EXPECT_EQ(UninstallFromTheList(HKEY_LOCAL_MACHINE),
            std::vector<std::string>{"Orlenta Reader successfully uninstalled"});
  // The module that ran the uninstallation, moved out and deleted at the
  // next restart (AfterRestart).
  const std::vector<std::string> disposed = ExpectUninstalled(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(disposed.size(), 1u);
  std::ofstream list(kDisposedList);
  for (const std::string& path : disposed) {
    EXPECT_TRUE(win32test::Pending(path)) << path;
    list << path << "\n";
  }
}

TEST(AfterRestart, NothingIsLeft) {
  std::ifstream list(kDisposedList);
  ASSERT_TRUE(list.good());
  for (std::string path; std::getline(list, path);) EXPECT_FALSE(Exists(path)) << path;
  EXPECT_EQ(DisposedFiles(), std::vector<std::string>{});
  ExpectUninstalled(HKEY_LOCAL_MACHINE);
}

TEST(ForCurrentUser, InstallsOpensAndUninstallsFromTheList) {
  // Under Wine everyone is an administrator: the switch alone makes it per-user.
  ASSERT_EQ(RunSetup("/S /CURRENTUSER"), kInstalled);
  ExpectInstalled(HKEY_CURRENT_USER);
  EXPECT_FALSE(win32test::KeyExists(HKEY_LOCAL_MACHINE, kClasses + "emcClass"));
  EXPECT_FALSE(win32test::KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
  EXPECT_FALSE(Exists(InstallationFolder(HKEY_LOCAL_MACHINE)));
  OpenAsTheDesktopDoes(HKEY_CURRENT_USER);

  EXPECT_EQ(UninstallFromTheList(HKEY_CURRENT_USER),
            std::vector<std::string>{"Orlenta Reader successfully uninstalled"});
  // Without the right to schedule deletions, the module that ran the
  // uninstallation stays in the temporary folder, moved out of the way.
  const std::vector<std::string> disposed = ExpectUninstalled(HKEY_CURRENT_USER);
  ASSERT_EQ(disposed.size(), 1u);
  EXPECT_EQ(FileText(disposed[0]), FileText(kBuiltModule));
}

std::string ScreenshotFolder() {
  const char* chosen = std::getenv("VP_SCREENSHOT_DIR");
  return chosen != nullptr ? chosen : "C:\\";
}

void ExpectNothingInstalled() {
  for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    EXPECT_FALSE(win32test::KeyExists(root, kClasses + ".emc"));
    EXPECT_FALSE(win32test::KeyExists(root, kUninstallEntry));
    EXPECT_FALSE(Exists(InstallationFolder(root)));
  }
  EXPECT_EQ(TempFiles("ns*.tmp"), std::vector<std::string>{});
}

// The visible control of `window` (at any depth) whose text is `text`, or
// holds it; null when there is none.
HWND Control(HWND window, const std::string& text, bool part = false) {
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const std::string own = dlgtest::TextOf(child);
    if (::IsWindowVisible(child) && (part ? own.find(text) != std::string::npos : own == text)) return child;
    if (const HWND inner = Control(child, text, part)) return inner;
  }
  return nullptr;
}

HWND WaitForPage(DWORD pid, const std::string& text, bool part = false) {
  HWND page = nullptr;
  dlgtest::WaitUntil(
      [&] {
        for (const HWND window : dlgtest::VisibleDialogs(pid)) {
          if (Control(window, text, part) != nullptr) return (page = window) != nullptr;
        }
        return false;
      },
      30000);
  return page;
}

TEST(Failures, ADamagedSetupSaysSoAndInstallsNothing) {
  // One byte of the compressed payload changed.
  std::string bytes = FileText(kSetup);
  bytes[bytes.size() - 4096] = static_cast<char>(bytes[bytes.size() - 4096] ^ 0x20);
  const std::string damaged = "C:\\vp-damaged-setup.exe";
  ASSERT_TRUE(win32test::WriteFile(damaged, bytes));

  EXPECT_EQ(RunSetup("/S /ALLUSERS", damaged), kNotInstalled);
  ExpectNothingInstalled();

  const HANDLE process = win32test::Start("\"" + damaged + "\"");
  ASSERT_NE(process, nullptr);
  const HWND box = dlgtest::WaitForDialog(dlgtest::kMessageBoxTextId, nullptr, ::GetProcessId(process), 30000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(dlgtest::ItemText(box, dlgtest::kMessageBoxTextId).rfind("Installer integrity check has failed.", 0), 0u)
      << dlgtest::ItemText(box, dlgtest::kMessageBoxTextId);
  EXPECT_TRUE(dlgtest::Screenshot(box, ScreenshotFolder(), "setup_damaged"));
  dlgtest::Press(box, IDOK);
  EXPECT_EQ(win32test::Finish(process), kNotInstalled);
  ExpectNothingInstalled();
}

TEST(Failures, BothScopesAtOnceAreRefused) {
  EXPECT_EQ(RunSetup("/S /ALLUSERS /CURRENTUSER"), kUsage);
  ExpectNothingInstalled();
}

TEST(PageByPage, CancelledOnTheWelcomePageInstallsNothing) {
  const HANDLE process = win32test::Start("\"" + kSetup + "\"");
  ASSERT_NE(process, nullptr);
  const DWORD pid = ::GetProcessId(process);
  const HWND welcome = WaitForPage(pid, "Welcome to the Orlenta Reader", true);
  ASSERT_NE(welcome, nullptr);
  dlgtest::Press(welcome, IDCANCEL);
  const HWND question = dlgtest::WaitForDialog(dlgtest::kMessageBoxTextId, nullptr, pid);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(dlgtest::ItemText(question, dlgtest::kMessageBoxTextId),
            "Are you sure you want to quit Orlenta Reader Setup?");
  EXPECT_TRUE(dlgtest::Screenshot(question, ScreenshotFolder(), "setup_cancel"));
  dlgtest::Press(question, IDYES);
  EXPECT_EQ(win32test::Finish(process), kCancelled);
  ExpectNothingInstalled();
}

// Walks the pages as a user, "Only for me" on the scope page, photographing
// each under `shots` + "_<n>_<page>" when `shots` is given; returns the
// finish page's text.
std::string InstallPageByPage(const char* shots) {
  const HANDLE process = win32test::Start("\"" + kSetup + "\"");
  EXPECT_NE(process, nullptr);
  if (process == nullptr) return {};
  const DWORD pid = ::GetProcessId(process);
  const auto shoot = [&](HWND window, const char* page) {
    if (shots != nullptr) {
      EXPECT_TRUE(dlgtest::Screenshot(window, ScreenshotFolder(), std::string(shots) + page));
    }
  };
  std::string finished;
  [&] {
    const HWND welcome = WaitForPage(pid, "Welcome to the Orlenta Reader 2.27-3 Setup");
    ASSERT_NE(welcome, nullptr);
    EXPECT_EQ(dlgtest::TextOf(welcome), "Orlenta Reader 2.27-3 Setup");
    EXPECT_NE(Control(welcome, "This installs the Orlenta Reader", true), nullptr);
    shoot(welcome, "_1_welcome");
    dlgtest::Press(welcome, IDOK);

    const HWND scope = WaitForPage(pid, "Only for &me");
    ASSERT_NE(scope, nullptr);
    const HWND everyone = Control(scope, "&Anyone who uses this computer");
    const HWND me = Control(scope, "Only for &me");
    ASSERT_NE(everyone, nullptr);
    // An administrator is offered everyone first.
    EXPECT_EQ(::SendMessageA(everyone, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(dlgtest::ItemText(scope, IDOK), "&Install");
    shoot(scope, "_2_scope");
    ::PostMessageA(me, BM_CLICK, 0, 0);
    EXPECT_TRUE(dlgtest::WaitUntil([&] { return ::SendMessageA(me, BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    dlgtest::Press(scope, IDOK);

    const HWND progress = WaitForPage(pid, "Completed");
    ASSERT_NE(progress, nullptr);
    // The page is done once it offers to go on.
    EXPECT_TRUE(dlgtest::WaitUntil([&] {
      return ::IsWindowEnabled(::GetDlgItem(progress, IDOK)) && dlgtest::ItemText(progress, IDOK) == "&Next >";
    }));
    shoot(progress, "_3_progress");
    dlgtest::Press(progress, IDOK);

    const HWND finish = WaitForPage(pid, "Click Finish to close Setup.", true);
    ASSERT_NE(finish, nullptr);
    finished = dlgtest::TextOf(Control(finish, "Click Finish to close Setup.", true));
    shoot(finish, "_4_finish");
    dlgtest::Press(finish, IDOK);
  }();
  EXPECT_EQ(win32test::Finish(process), kInstalled);
  return finished;
}

TEST(PageByPage, EveryPageThenInstalledForTheUser) {
  EXPECT_EQ(InstallPageByPage("setup").rfind("Orlenta Reader Installed", 0), 0u);
  ExpectInstalled(HKEY_CURRENT_USER);
}

// The same version again: installed as before, and the user is told so.
TEST(PageByPage, ASecondRunSaysItIsAlreadyInstalled) {
  EXPECT_EQ(InstallPageByPage(nullptr).rfind("Orlenta Reader has already been installed", 0), 0u);
  ExpectInstalled(HKEY_CURRENT_USER);
}

}  // namespace
