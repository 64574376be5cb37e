// Installation as an installer and a user meet it, each scenario in a clean
// prefix (CMake runs the suites separately): the module's exported entries
// called from a source folder, the registry read back value by value, the
// registered open command run through the shell on a real document. The
// machine-scope scenario ends with a restart of the Wine session, after which
// AfterRestart checks the deletions it scheduled. Under WoW64 the i686 module
// installs under "Program Files (x86)", its machine-wide uninstall entry lands
// in the 32-bit view, it registers no icon handler and its commands name the
// 32-bit rundll32.

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "install/win32/installation_request.h"
#include "install/win32/scenarios/scenario_testing.h"
#include "support/files.h"

namespace {

using installtest::DocumentIcon;
using installtest::ExpectFileTypes;
using installtest::ExpectIconHandler;
using installtest::ExpectNothingRegistered;
using installtest::ExpectUninstallEntry;
using installtest::kApproved;
using installtest::kClasses;
using installtest::kClsid;
using installtest::kUninstallEntry;
using installtest::Stored;
using installtest::StoredSz;
using installtest::WindowsPath;
using win32test::Exists;

using InstallEntry = int(WINAPI*)(int, int, int, int, const install::InstallationRequest*);
using RundllEntry = void(CALLBACK*)(HWND, HINSTANCE, LPSTR, int);

const char* const kSource = "C:\\vp-source";
const char* const kRuntimeSource = "C:\\vp-source\\runtime";
const char* const kRuntimeFiles[] = {"helper.dll", "notes.txt"};
const char* const kDisposedList = "C:\\vp-disposed.txt";
using installtest::kArch;
using installtest::ProgramFiles;
using support::FileText;
using win32test::UnderWow64;

const std::string kPlaintext = "decrypted plaintext 7f3a91 that must not outlive the uninstall";

// A crashed reader's folder in "vptemp" with two parts. With `holder`, another
// program keeps the second open (sharing reading and writing, not deletion).
void LeaveCrashedDocument(std::unique_ptr<win32test::HeldFile>* holder = nullptr) {
  const std::string folder = installtest::TempFolder() + "vptemp\\1234";
  ::CreateDirectoryA((installtest::TempFolder() + "vptemp").c_str(), nullptr);
  ::CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* part : {"\\part.txt", "\\held.txt"}) std::ofstream(folder + part) << kPlaintext;
  if (holder != nullptr) {
    *holder = std::make_unique<win32test::HeldFile>(folder + "\\held.txt", FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE((*holder)->held());
  }
}
bool CrashedDocumentLeft() { return Exists(installtest::TempFolder() + "vptemp"); }

std::vector<std::string> FilesHoldingThePlaintext(const std::string& folder) {
  std::vector<std::string> found;
  WIN32_FIND_DATAA entry;
  const HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    const std::string name = entry.cFileName, path = folder + "\\" + name;
    if (name == "." || name == ".." || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      for (const std::string& inner : FilesHoldingThePlaintext(path)) found.push_back(inner);
    } else if (FileText(path).find(kPlaintext) != std::string::npos) {
      found.push_back(path);
    }
  } while (::FindNextFileA(search, &entry));
  ::FindClose(search);
  return found;
}


class Installation : public ::testing::Test {
 protected:
  // The module and the runtime files unpacked as an installer would.
  static void SetUpTestSuite() {
    ::CreateDirectoryA(kSource, nullptr);
    ::CreateDirectoryA(kRuntimeSource, nullptr);
    const std::string source = std::string(kSource) + "\\vaultpost.dll";
    ASSERT_TRUE(::CopyFileA(WindowsPath(VP_MODULE_PATH).c_str(), source.c_str(), FALSE));
    // A runtime file with a version (the module's own) and one without.
    ASSERT_TRUE(::CopyFileA(source.c_str(), (std::string(kRuntimeSource) + "\\helper.dll").c_str(), FALSE));
    std::ofstream(std::string(kRuntimeSource) + "\\notes.txt") << "runtime notes";
    sourceModule_ = ::LoadLibraryA(source.c_str());
    ASSERT_NE(sourceModule_, nullptr);
  }

  static install::InstallationRequest Request() {
    return {kSource, "vaultpost.dll", kRuntimeSource, kRuntimeFiles, 2};
  }

  template <class Entry>
  static Entry Find(HMODULE module, const char* name) {
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
  }

  // Calls a rundll32 entry of `module`; returns the texts of the boxes answered OK.
  static std::vector<std::string> Run(HMODULE module, const char* entry, const char* commandLine) {
    installtest::BoxWatcher watcher;
    std::string line = commandLine != nullptr ? commandLine : "";
    Find<RundllEntry>(module, entry)(nullptr, nullptr, commandLine != nullptr ? line.data() : nullptr,
                                     SW_SHOWNORMAL);
    return watcher.Texts();
  }

  static HMODULE sourceModule_;
};

HMODULE Installation::sourceModule_ = nullptr;

// Opens `document` through its registered open command and plays the user.
void OpenThroughTheShell(const std::string& document, const std::string& viewerLog) {
  const HANDLE process = installtest::ShellOpen(document);
  ASSERT_NE(process, nullptr);
  installtest::PlayTheReader(::GetProcessId(process), viewerLog);
  ::TerminateProcess(process, 99);
  ::CloseHandle(process);
}

TEST_F(Installation, MachineScopeInstallsOpensReregistersAndUninstallsEverything) {
  const std::string directory = ProgramFiles() + "\\Orlenta-Reader";
  const std::string module = directory + "\\vaultpost.dll";
  // Not for every user from a folder that everyone can change.
  installtest::SetAccess(kSource, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)");
  const std::vector<std::string> refused = Run(sourceModule_, "RegisterDll", nullptr);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].rfind("The Orlenta Reader was not registered for all users.", 0), 0u) << refused[0];
  ExpectNothingRegistered();
  installtest::SetAccess(kSource, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;WD)");
  LeaveCrashedDocument();
  // What Explorer remembered of the types is forgotten.
  const std::string remembered = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.emd";
  ASSERT_TRUE(win32test::WriteRaw(HKEY_CURRENT_USER, remembered + "\\OpenWithList", "a", REG_SZ,
                                  installtest::SzBytes("x.exe")));
  const install::InstallationRequest request = Request();
  ASSERT_EQ(Find<InstallEntry>(sourceModule_, "InstallDll")(1, 1, 0, 0, &request), 0);
  EXPECT_FALSE(win32test::KeyExists(HKEY_CURRENT_USER, remembered));

  EXPECT_EQ(FileText(module), FileText(std::string(kSource) + "\\vaultpost.dll"));
  EXPECT_EQ(FileText(directory + "\\orlenta-reader.runtime\\notes.txt"), "runtime notes");
  EXPECT_TRUE(Exists(directory + "\\orlenta-reader.runtime\\helper.dll"));
  ExpectFileTypes(HKEY_LOCAL_MACHINE, module, DocumentIcon(module));
  ExpectIconHandler(HKEY_LOCAL_MACHINE, module);
  ExpectUninstallEntry(HKEY_LOCAL_MACHINE, module, "Orlenta Reader (" + kArch + ")");
  EXPECT_FALSE(CrashedDocumentLeft());

  const std::string viewerLog = "C:\\vp-viewer.log";
  const std::string document = "C:\\vp-source\\report.emc";
  installtest::WriteViewedDocument(document, WindowsPath(VP_VIEWER_PATH), viewerLog);
  OpenThroughTheShell(document, viewerLog);

  const HMODULE installed = ::LoadLibraryA(module.c_str());
  ASSERT_NE(installed, nullptr);
  // Deregistering leaves the files; registering again names the module where it lies.
  EXPECT_TRUE(Run(installed, "DeregisterDll", nullptr).empty());
  ExpectNothingRegistered();
  EXPECT_TRUE(Exists(module));
  EXPECT_TRUE(Run(installed, "RegisterDll", nullptr).empty());
  ExpectFileTypes(HKEY_LOCAL_MACHINE, module, DocumentIcon(module));
  ExpectIconHandler(HKEY_LOCAL_MACHINE, module);

  std::unique_ptr<win32test::HeldFile> holder;
  LeaveCrashedDocument(&holder);
  const std::vector<std::string> before = installtest::DisposedFiles();
  EXPECT_EQ(Run(installed, "UninstallDll", "--local-machine"),
            std::vector<std::string>{"Orlenta Reader successfully uninstalled"});
  // The crashed parts are overwritten; the one still open is scheduled, with its folder.
  EXPECT_EQ(FilesHoldingThePlaintext(installtest::TempFolder()), std::vector<std::string>{});
  const std::string crashed = installtest::TempFolder() + "vptemp\\1234";
  EXPECT_FALSE(Exists(crashed + "\\part.txt"));
  EXPECT_TRUE(win32test::Pending(crashed + "\\held.txt"));
  EXPECT_TRUE(win32test::Pending(crashed));
  holder.reset();
  ExpectNothingRegistered();
  EXPECT_FALSE(win32test::KeyExists(HKEY_CURRENT_USER, "Software\\Orlenta"));
  // What the approval list holds stays (under WoW64 it never held anything).
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kApproved, kClsid.c_str()),
            UnderWow64() ? "<absent>" : StoredSz("Orlenta Encrypted Document"));
  EXPECT_FALSE(Exists(directory)) << "the running module too is moved out";
  // The installation's three files, moved into the temporary folder and scheduled.
  const std::vector<std::string> disposed = installtest::DisposedFiles();
  EXPECT_EQ(disposed.size(), before.size() + 3);
  std::ofstream list(kDisposedList);
  for (const std::string& path : disposed) {
    EXPECT_TRUE(win32test::Pending(path)) << path;
    list << path << "\n";
  }
  list << crashed << "\n";

  // Nothing left to remove is no failure.
  EXPECT_EQ(Run(installed, "UninstallDll", "--local-machine"),
            std::vector<std::string>{"Orlenta Reader successfully uninstalled"});
}

TEST(AfterRestart, TheDisposedFilesAreGone) {
  std::ifstream list(kDisposedList);
  ASSERT_TRUE(list.good());
  int count = 0;
  for (std::string path; std::getline(list, path); ++count) EXPECT_FALSE(Exists(path)) << path;
  EXPECT_GE(count, 4);
  for (const std::string& path : win32test::PendingDeletions()) {
    EXPECT_NE(path.rfind(installtest::TempFolder(), 0), 0u) << path << " is still scheduled";
  }
}

TEST_F(Installation, UserScopeKeepsANewerTargetAndUninstallsThatUsersInstallation) {
  // Uninstalling without the switch sets the user scope, which the
  // installation after it keeps. The crashed parts are overwritten; the one
  // still open stays for the next start, and the user is told.
  std::unique_ptr<win32test::HeldFile> holder;
  LeaveCrashedDocument(&holder);
  const std::string root = installtest::TempFolder() + "vptemp";
  EXPECT_EQ(Run(sourceModule_, "UninstallDll", nullptr),
            std::vector<std::string>{"Orlenta Reader successfully uninstalled\n\n1 decoded file is still open in "
                                     "another program and stays in '" + root + "' for now. It is removed when "
                                     "Orlenta Reader next starts; if you do not install it again, close that "
                                     "program and delete it yourself."});
  EXPECT_EQ(FilesHoldingThePlaintext(installtest::TempFolder()), std::vector<std::string>{});
  EXPECT_FALSE(Exists(root + "\\1234\\part.txt"));
  EXPECT_TRUE(Exists(root + "\\1234\\held.txt"));
  EXPECT_TRUE(installtest::DisposedFiles().empty()) << "nothing renamed";
  holder.reset();
  const std::string directory = installtest::LocalAppData() + "\\Orlenta-Reader";
  const std::string module = directory + "\\vaultpost.dll";
  const std::string runtime = directory + "\\orlenta-reader.runtime";
  // An installed helper of a newer version than the one installed now.
  ASSERT_TRUE(::CreateDirectoryA(directory.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(runtime.c_str(), nullptr));
  char system[MAX_PATH];
  ::GetSystemDirectoryA(system, MAX_PATH);
  const std::string newer = std::string(system) + "\\kernel32.dll";
  ASSERT_TRUE(::CopyFileA(newer.c_str(), (runtime + "\\helper.dll").c_str(), FALSE));

  // A module file that is not there: told, nothing registered, -1.
  install::InstallationRequest missing = Request();
  missing.moduleFileName = "absent.dll";
  {
    installtest::BoxWatcher watcher;
    EXPECT_EQ(Find<InstallEntry>(sourceModule_, "InstallDll")(0, 0, 0, 0, &missing), -1);
    std::vector<std::string> texts = watcher.Texts();
    // On 64-bit Windows the 32-bit module first asks whether to go on (OK).
    if (UnderWow64() && !texts.empty()) {
      EXPECT_EQ(texts[0].rfind("This version of the Orlenta Reader is not optimal", 0), 0u) << texts[0];
      texts.erase(texts.begin());
    }
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0],
              "The Orlenta Reader will be installed for the current user only.\n\n"
              "To rectify the problem, please reinstall the application as an Administrator");
    EXPECT_EQ(texts[1].rfind("Could not install application.  Reason: ", 0), 0u) << texts[1];
  }
  EXPECT_FALSE(win32test::KeyExists(HKEY_CURRENT_USER, kUninstallEntry));

  const install::InstallationRequest request = Request();
  ASSERT_EQ(Find<InstallEntry>(sourceModule_, "InstallDll")(1, 0, 1, 0, &request), 0);
  EXPECT_EQ(FileText(runtime + "\\helper.dll"), FileText(newer)) << "the newer target is kept";
  EXPECT_EQ(FileText(runtime + "\\notes.txt"), "runtime notes");
  EXPECT_EQ(FileText(module), FileText(std::string(kSource) + "\\vaultpost.dll"));
  ExpectFileTypes(HKEY_CURRENT_USER, module, DocumentIcon(module));
  ExpectIconHandler(HKEY_CURRENT_USER, module);
  ExpectUninstallEntry(HKEY_CURRENT_USER, module, "Orlenta Reader - Current user install  (" + kArch + ")");
  EXPECT_FALSE(win32test::KeyExists(HKEY_LOCAL_MACHINE, kClasses + ".emc"));
  EXPECT_FALSE(win32test::KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));

  const std::vector<std::string> before = installtest::DisposedFiles();
  // Only the exact switch means the machine; the quiet installation before it
  // in this process keeps the uninstallation quiet too.
  EXPECT_TRUE(Run(sourceModule_, "UninstallDll", "--LOCAL-MACHINE").empty());
  ExpectNothingRegistered();
  EXPECT_FALSE(Exists(directory));
  // In user scope the moved files stay in the temporary folder, unscheduled.
  const std::vector<std::string> disposed = installtest::DisposedFiles();
  EXPECT_EQ(disposed.size(), before.size() + 3);
  for (const std::string& path : disposed) EXPECT_FALSE(win32test::Pending(path)) << path;
}

}  // namespace
