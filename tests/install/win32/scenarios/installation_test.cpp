// Installation as an installer and a user meet it, each scenario in a clean
// prefix of its own (CMake runs the suites separately): the built module is
// put in a source folder, loaded, and its exported entries called; the
// registry is read back value by value, files are looked for where they must
// be, and the registered open command is run through the shell on a real
// document. The machine-scope scenario ends with a restart of the Wine
// session; AfterRestart then checks the deletions it scheduled.
//
// The same scenarios run for the x86-64 build in a 64-bit prefix and for the
// i686 build in a 32-bit prefix and under WoW64, where the module is a 32-bit
// guest on 64-bit Windows: it installs under "Program Files (x86)", its
// machine-wide uninstall entry lands in the registry's 32-bit view while the
// file types (shared between the views) are what the 64-bit shell reads, it
// registers no icon handler (the 64-bit shell could not load it), and its
// commands name the 32-bit rundll32, which the 64-bit shell would not pick.

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "install/win32/install_testing.h"
#include "install/win32/installation_request.h"
#include "reader/win32/dialog_testing.h"
#include "resources/resource_ids.h"
#include "tools/encoder/document_encoder.h"

namespace {

using installtest::Stored;
using installtest::StoredDword;
using installtest::StoredSz;

using InstallEntry = int(WINAPI*)(int, int, int, int, const install::InstallationRequest*);
using RundllEntry = void(CALLBACK*)(HWND, HINSTANCE, LPSTR, int);

const std::string kClsid = "{5b0f2a4e-9c37-4d81-a6e2-3f7c19d0b845}";
const std::string kClasses = "Software\\Classes\\";
const std::string kUninstallEntry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + kClsid;
const std::string kApproved = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char* const kSource = "C:\\vp-source";
const char* const kRuntimeSource = "C:\\vp-source\\runtime";
const char* const kRuntimeFiles[] = {"helper.dll", "notes.txt"};
// Where AfterRestart finds the names of the files disposed of.
const char* const kDisposedList = "C:\\vp-disposed.txt";
using installtest::kArch;
using installtest::ProgramFiles;
using installtest::Rundll32;
using win32test::UnderWow64;

std::string WindowsPath(const char* unixPath) {
  std::string path = std::string("Z:") + unixPath;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// The files in the temporary folder named as disposals ("vp<hex>").
std::vector<std::string> DisposedFiles() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  const std::string temp = installtest::TempFolder();
  const HANDLE search = ::FindFirstFileA((temp + "vp*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name.find_first_not_of("0123456789abcdef", 2) == std::string::npos) names.push_back(temp + name);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return names;
}

// A document left behind in "vptemp" by a reader that crashed.
void LeaveCrashedDocument() {
  const std::string root = installtest::TempFolder() + "vptemp";
  ::CreateDirectoryA(root.c_str(), nullptr);
  ::CreateDirectoryA((root + "\\1234").c_str(), nullptr);
  std::ofstream(root + "\\1234\\part.txt") << "left over";
}
bool CrashedDocumentLeft() { return Exists(installtest::TempFolder() + "vptemp"); }

class Installation : public ::testing::Test {
 protected:
  // The built module, and the runtime files, in a source folder as an
  // installer would unpack them.
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

  // Calls a rundll32 entry of `module` while message boxes are answered OK;
  // returns their texts.
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

// Every value of the file types (`icon` is the type's DefaultIcon), under `root`.
void ExpectFileTypes(HKEY root, const std::string& module, const std::string& icon) {
  EXPECT_EQ(Stored(root, kClasses + "emcClass"), StoredSz("Orlenta Encrypted Document"));
  EXPECT_EQ(Stored(root, kClasses + "emcClass\\shell\\open\\command"),
            StoredSz(Rundll32() + " \"" + module + "\",OpenDocument %1"));
  EXPECT_EQ(Stored(root, kClasses + "emcClass\\DefaultIcon"), StoredSz(icon));
  for (const char* extension : {".emc", ".emd", ".oed"}) {
    EXPECT_EQ(Stored(root, kClasses + extension), StoredSz("emcClass")) << extension;
  }
  // What a 32-bit guest registers for the machine is what the 64-bit shell reads.
  if (UnderWow64() && root == HKEY_LOCAL_MACHINE) {
    EXPECT_EQ(win32test::ReadRaw(root, kClasses + ".emc", nullptr, KEY_WOW64_64KEY).bytes, installtest::SzBytes("emcClass"));
    EXPECT_EQ(win32test::ReadRaw(root, kClasses + "emcClass\\shell\\open\\command", nullptr, KEY_WOW64_64KEY).bytes,
              installtest::SzBytes(Rundll32() + " \"" + module + "\",OpenDocument %1"));
  }
}

// The document icon the file type names: each document's own (through the
// icon handler), or under WoW64 the module's first icon for all of them.
std::string DocumentIcon(const std::string& module) { return UnderWow64() ? module + ",0" : "%1"; }

// The icon handler's registration (Wine's HKEY_CLASSES_ROOT is the machine's);
// under WoW64 none, in either view of the registry.
void ExpectIconHandler(const std::string& module) {
  const std::string clsid = kClasses + "CLSID\\" + kClsid;
  if (UnderWow64()) {
    EXPECT_FALSE(win32test::KeyExists(HKEY_LOCAL_MACHINE, clsid, KEY_WOW64_32KEY));
    EXPECT_FALSE(win32test::KeyExists(HKEY_LOCAL_MACHINE, clsid, KEY_WOW64_64KEY));
    EXPECT_FALSE(win32test::KeyExists(HKEY_LOCAL_MACHINE, kClasses + "emcClass\\shellex"));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kApproved, kClsid.c_str()), "<absent>");
    return;
  }
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, clsid), StoredSz("Orlenta Encrypted Document"));
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, clsid + "\\InProcServer32"), StoredSz(module));
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, clsid + "\\InProcServer32", "ThreadingModel"), StoredSz("Apartment"));
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kClasses + "emcClass\\shellex\\IconHandler"), StoredSz(kClsid));
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kApproved, kClsid.c_str()), StoredSz("Orlenta Encrypted Document"));
}

// The entry of the list of installed programs; its command removes the
// installation of the scope it was made in (IsUserAnAdmin is true under Wine
// whichever scope that was).
void ExpectUninstallEntry(HKEY root, const std::string& module, const std::string& displayName) {
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  ASSERT_TRUE(::GetFileAttributesExA(module.c_str(), GetFileExInfoStandard, &attributes));
  const auto value = [&](const char* name) { return Stored(root, kUninstallEntry, name); };
  const std::string switches = root == HKEY_LOCAL_MACHINE ? " --local-machine" : "";
  EXPECT_EQ(value("UninstallString"), StoredSz(Rundll32() + " \"" + module + "\",UninstallDll" + switches));
  EXPECT_EQ(value("DisplayName"), StoredSz(displayName));
  EXPECT_EQ(value("URLInfoAbout"), StoredSz("https://www.orlenta.example/"));
  EXPECT_EQ(value("Publisher"), StoredSz("Orlenta"));
  EXPECT_EQ(value("DisplayVersion"), StoredSz("2.27-3"));
  EXPECT_EQ(value("DisplayIcon"), StoredSz(module + ",1"));
  EXPECT_EQ(value("NoModify"), StoredDword(1));
  EXPECT_EQ(value("NoRepair"), StoredDword(1));
  EXPECT_EQ(value("EstimatedSize"), StoredDword(attributes.nFileSizeLow >> 10));
  // A 32-bit guest's machine-wide entry is in the registry's 32-bit view,
  // which the list of installed programs reads beside the 64-bit one.
  if (UnderWow64() && root == HKEY_LOCAL_MACHINE) {
    EXPECT_FALSE(win32test::KeyExists(root, kUninstallEntry, KEY_WOW64_64KEY));
  }
}

void ExpectNothingRegistered(HKEY root) {
  for (const std::string key : {"emcClass", ".emc", ".emd", ".oed"}) {
    EXPECT_FALSE(win32test::KeyExists(root, kClasses + key)) << key;
  }
  EXPECT_FALSE(win32test::KeyExists(HKEY_LOCAL_MACHINE, kClasses + "CLSID\\" + kClsid));
  EXPECT_FALSE(win32test::KeyExists(root, kUninstallEntry));
}

// Opens `document` as the shell does (its registered open command) and plays
// the user: the credentials, then the notice once the viewer has the part.
void OpenThroughTheShell(const std::string& document, const std::string& viewerLog) {
  SHELLEXECUTEINFOA execute{};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOCLOSEPROCESS;
  execute.lpVerb = "open";
  execute.lpFile = document.c_str();
  execute.nShow = SW_SHOWNORMAL;
  ASSERT_TRUE(::ShellExecuteExA(&execute));
  ASSERT_NE(execute.hProcess, nullptr);
  const DWORD pid = ::GetProcessId(execute.hProcess);
  const HWND prompt = dlgtest::WaitForDialog(IDC_USER_NAME, "Open Encrypted Document", pid);
  EXPECT_NE(prompt, nullptr);
  if (prompt != nullptr) {
    dlgtest::Type(prompt, IDC_USER_NAME, "demo");
    dlgtest::Type(prompt, IDC_PASSWORD, "orlenta");
    dlgtest::Press(prompt, IDOK);
    HWND notice = nullptr;
    EXPECT_TRUE(dlgtest::WaitUntil(
        [&] {
          notice = dlgtest::FindDialog(IDC_PROGRESS, nullptr, pid);
          return notice != nullptr && dlgtest::ItemVisible(notice, IDOK) &&
                 ReadFile(viewerLog).find("\tinstalled and opened\n") != std::string::npos;
        },
        30000));
    if (notice != nullptr) dlgtest::Press(notice, IDOK);
  }
  EXPECT_EQ(::WaitForSingleObject(execute.hProcess, 20000), WAIT_OBJECT_0);
  ::TerminateProcess(execute.hProcess, 99);
  ::CloseHandle(execute.hProcess);
}

TEST_F(Installation, MachineScopeInstallsOpensReregistersAndUninstallsEverything) {
  const std::string directory = ProgramFiles() + "\\Orlenta-Reader";
  const std::string module = directory + "\\vaultpost.dll";
  LeaveCrashedDocument();
  // What Explorer remembered of the types is forgotten.
  const std::string remembered = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.emd";
  ASSERT_TRUE(win32test::WriteRaw(HKEY_CURRENT_USER, remembered + "\\OpenWithList", "a", REG_SZ,
                                  installtest::SzBytes("x.exe")));
  const install::InstallationRequest request = Request();
  ASSERT_EQ(Find<InstallEntry>(sourceModule_, "InstallDll")(1, 1, 0, 0, &request), 0);
  EXPECT_FALSE(win32test::KeyExists(HKEY_CURRENT_USER, remembered));

  EXPECT_EQ(ReadFile(module), ReadFile(std::string(kSource) + "\\vaultpost.dll"));
  EXPECT_EQ(ReadFile(directory + "\\orlenta-reader.runtime\\notes.txt"), "runtime notes");
  EXPECT_TRUE(Exists(directory + "\\orlenta-reader.runtime\\helper.dll"));
  ExpectFileTypes(HKEY_LOCAL_MACHINE, module, DocumentIcon(module));
  ExpectIconHandler(module);
  ExpectUninstallEntry(HKEY_LOCAL_MACHINE, module, "Orlenta Reader (" + kArch + ")");
  EXPECT_FALSE(CrashedDocumentLeft());

  // The registered command opens a real document through the shell; the
  // part goes to the test viewer, registered for its made-up type.
  const std::string viewerLog = "C:\\vp-viewer.log";
  ::SetEnvironmentVariableA("VP_TEST_VIEWER_LOG", viewerLog.c_str());
  ASSERT_TRUE(win32test::WriteRaw(HKEY_LOCAL_MACHINE, kClasses + ".vptest", nullptr, REG_SZ,
                                  installtest::SzBytes("VpTestViewer")));
  ASSERT_TRUE(win32test::WriteRaw(HKEY_LOCAL_MACHINE, kClasses + "VpTestViewer\\shell\\open\\command", nullptr,
                                  REG_SZ, installtest::SzBytes("\"" + WindowsPath(VP_VIEWER_PATH) + "\" \"%1\"")));
  ASSERT_TRUE(win32test::WriteRaw(HKEY_CURRENT_USER, "Software\\Orlenta\\Vaultpost", "AcceptedExtensions", REG_SZ,
                                  installtest::SzBytes("*.vptest")));
  encoder::DocumentSpec recipe;
  recipe.userName = "demo";
  recipe.password = "orlenta";
  encoder::PartSpec part;
  part.name = "report.vptest";
  const std::string text = "installed and opened\n";
  part.content.assign(text.begin(), text.end());
  recipe.parts = {part};
  const std::string document = "C:\\vp-source\\report.emc";
  ASSERT_TRUE(encoder::EncodeDocumentToFile(recipe, document));
  OpenThroughTheShell(document, viewerLog);

  // The installed module, loaded as the uninstaller loads it.
  const HMODULE installed = ::LoadLibraryA(module.c_str());
  ASSERT_NE(installed, nullptr);
  // Deregistering leaves the files; registering again names the module where it lies.
  EXPECT_TRUE(Run(installed, "DeregisterDll", nullptr).empty());
  ExpectNothingRegistered(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(Exists(module));
  EXPECT_TRUE(Run(installed, "RegisterDll", nullptr).empty());
  ExpectFileTypes(HKEY_LOCAL_MACHINE, module, DocumentIcon(module));
  ExpectIconHandler(module);

  LeaveCrashedDocument();
  const std::vector<std::string> before = DisposedFiles();
  EXPECT_EQ(Run(installed, "UninstallDll", "--local-machine"),
            std::vector<std::string>{"Orlenta Reader successfully uninstalled"});
  ExpectNothingRegistered(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(win32test::KeyExists(HKEY_CURRENT_USER, "Software\\Orlenta"));
  // What the approval list holds stays (under WoW64 it never held anything).
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kApproved, kClsid.c_str()),
            UnderWow64() ? "<absent>" : StoredSz("Orlenta Encrypted Document"));
  EXPECT_FALSE(Exists(directory)) << "the running module too is moved out";
  EXPECT_FALSE(CrashedDocumentLeft());
  // The three files of the installation and the crashed document's part,
  // each moved into the temporary folder and scheduled for deletion.
  const std::vector<std::string> disposed = DisposedFiles();
  EXPECT_EQ(disposed.size(), before.size() + 4);
  const std::string pending = installtest::PendingDeletions();
  std::ofstream list(kDisposedList);
  for (const std::string& path : disposed) {
    EXPECT_NE(pending.find("\\??\\" + path + "\n"), std::string::npos) << path;
    list << path << "\n";
  }

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
  EXPECT_EQ(installtest::PendingDeletions().find("\\vp"), std::string::npos);
}

TEST_F(Installation, UserScopeKeepsANewerTargetAndUninstallsThatUsersInstallation) {
  // Uninstalling without the switch sets the scope to the current user, which
  // the installation that follows in this process keeps.
  EXPECT_EQ(Run(sourceModule_, "UninstallDll", nullptr),
            std::vector<std::string>{"Orlenta Reader successfully uninstalled"});
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
  EXPECT_EQ(ReadFile(runtime + "\\helper.dll"), ReadFile(newer)) << "the newer target is kept";
  EXPECT_EQ(ReadFile(runtime + "\\notes.txt"), "runtime notes");
  EXPECT_EQ(ReadFile(module), ReadFile(std::string(kSource) + "\\vaultpost.dll"));
  ExpectFileTypes(HKEY_CURRENT_USER, module, module + ",0");
  ExpectUninstallEntry(HKEY_CURRENT_USER, module, "Orlenta Reader - Current user install  (" + kArch + ")");
  EXPECT_FALSE(win32test::KeyExists(HKEY_LOCAL_MACHINE, kClasses + ".emc"));
  EXPECT_FALSE(win32test::KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));

  const std::vector<std::string> before = DisposedFiles();
  // Only the exact switch means the machine; the quiet installation before it
  // in this process keeps the uninstallation quiet too.
  EXPECT_TRUE(Run(sourceModule_, "UninstallDll", "--LOCAL-MACHINE").empty());
  ExpectNothingRegistered(HKEY_CURRENT_USER);
  EXPECT_FALSE(Exists(directory));
  // In user scope the moved files stay in the temporary folder, unscheduled.
  const std::vector<std::string> disposed = DisposedFiles();
  EXPECT_EQ(disposed.size(), before.size() + 3);
  EXPECT_EQ(installtest::PendingDeletions().find("\\vp"), std::string::npos);
}

}  // namespace
