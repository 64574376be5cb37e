#pragma once
// Shared by the installation and setup scenarios: what an installation
// registers, read back in the registry view where it must land, and a real
// document opened through the registration.

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "install/win32/install_testing.h"
#include "resources/resource_ids.h"
#include "support/files.h"
#include "support/win32_dialogs.h"
#include "tools/encoder/document_encoder.h"

namespace installtest {

inline const std::string kClsid = "{5b0f2a4e-9c37-4d81-a6e2-3f7c19d0b845}";
inline const std::string kClasses = "Software\\Classes\\";
inline const std::string kUninstallEntry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + kClsid;
inline const std::string kApproved = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Opens `path` with the shell's open verb: the process started, or null.
inline HANDLE ShellOpen(const std::string& path) {
  SHELLEXECUTEINFOA execute{};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOCLOSEPROCESS;
  execute.lpVerb = "open";
  execute.lpFile = path.c_str();
  execute.nShow = SW_SHOWNORMAL;
  return ::ShellExecuteExA(&execute) ? execute.hProcess : nullptr;
}

inline std::string WindowsPath(const char* unixPath) {
  std::string path = std::string("Z:") + unixPath;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// Every value of the file types under `root` (`icon`: the DefaultIcon).
inline void ExpectFileTypes(HKEY root, const std::string& module, const std::string& icon) {
  EXPECT_EQ(Stored(root, kClasses + "emcClass"), StoredSz("Orlenta Encrypted Document"));
  EXPECT_EQ(Stored(root, kClasses + "emcClass\\shell\\open\\command"),
            StoredSz(Rundll32() + " \"" + module + "\",OpenDocument %1"));
  EXPECT_EQ(Stored(root, kClasses + "emcClass\\DefaultIcon"), StoredSz(icon));
  for (const char* extension : {".emc", ".emd", ".oed"}) {
    EXPECT_EQ(Stored(root, kClasses + extension), StoredSz("emcClass")) << extension;
  }
  // What a 32-bit guest registers for the machine is what the 64-bit shell reads.
  if (win32test::UnderWow64() && root == HKEY_LOCAL_MACHINE) {
    EXPECT_EQ(win32test::ReadRaw(root, kClasses + ".emc", nullptr, KEY_WOW64_64KEY).bytes, SzBytes("emcClass"));
    EXPECT_EQ(win32test::ReadRaw(root, kClasses + "emcClass\\shell\\open\\command", nullptr, KEY_WOW64_64KEY).bytes,
              SzBytes(Rundll32() + " \"" + module + "\",OpenDocument %1"));
  }
}

// Each document's own icon (the handler's), or under WoW64 the module's first.
inline std::string DocumentIcon(const std::string& module) { return win32test::UnderWow64() ? module + ",0" : "%1"; }

// The icon handler in `root`'s classes, approved where the root has an
// approval list (a fresh machine has one, a fresh user none); under WoW64
// none, in either view and either root.
inline void ExpectIconHandler(HKEY root, const std::string& module) {
  const std::string clsid = kClasses + "CLSID\\" + kClsid;
  if (win32test::UnderWow64()) {
    for (const HKEY either : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      EXPECT_FALSE(win32test::KeyExists(either, clsid, KEY_WOW64_32KEY));
      EXPECT_FALSE(win32test::KeyExists(either, clsid, KEY_WOW64_64KEY));
      EXPECT_FALSE(win32test::KeyExists(either, kClasses + "emcClass\\shellex"));
      EXPECT_EQ(Stored(either, kApproved, kClsid.c_str()), "<absent>");
    }
    return;
  }
  EXPECT_EQ(Stored(root, clsid), StoredSz("Orlenta Encrypted Document"));
  EXPECT_EQ(Stored(root, clsid + "\\InProcServer32"), StoredSz(module));
  EXPECT_EQ(Stored(root, clsid + "\\InProcServer32", "ThreadingModel"), StoredSz("Apartment"));
  EXPECT_EQ(Stored(root, kClasses + "emcClass\\shellex\\IconHandler"), StoredSz(kClsid));
  EXPECT_EQ(Stored(root, kApproved, kClsid.c_str()),
            root == HKEY_LOCAL_MACHINE ? StoredSz("Orlenta Encrypted Document") : "<absent>");
}

// The entry of the list of installed programs; its command removes the
// installation of its own scope (under Wine everyone is an administrator).
inline void ExpectUninstallEntry(HKEY root, const std::string& module, const std::string& displayName) {
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
  // A 32-bit guest's machine-wide entry is in the 32-bit view (read beside the 64-bit one).
  if (win32test::UnderWow64() && root == HKEY_LOCAL_MACHINE) {
    EXPECT_FALSE(win32test::KeyExists(root, kUninstallEntry, KEY_WOW64_64KEY));
  }
}

inline void ExpectNothingRegistered() {
  for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (const std::string& key : {std::string("emcClass"), std::string(".emc"), std::string(".emd"),
                                   std::string(".oed"), "CLSID\\" + kClsid}) {
      EXPECT_FALSE(win32test::KeyExists(root, kClasses + key)) << key;
    }
    EXPECT_FALSE(win32test::KeyExists(root, kUninstallEntry));
  }
}

// The paths in the temporary folder matching `pattern`.
inline std::vector<std::string> TempFiles(const char* pattern) {
  std::vector<std::string> found;
  WIN32_FIND_DATAA entry;
  const std::string temp = TempFolder();
  const HANDLE search = ::FindFirstFileA((temp + pattern).c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do found.push_back(temp + entry.cFileName);
  while (::FindNextFileA(search, &entry));
  ::FindClose(search);
  return found;
}

// The files the module disposed of into the temporary folder
// ("vp<process>-<serial>", hexadecimal).
inline std::vector<std::string> DisposedFiles() {
  std::vector<std::string> names;
  for (const std::string& path : TempFiles("vp*")) {
    const std::size_t name = path.rfind('\\') + 1;
    if (path.find_first_not_of("0123456789abcdef-", name + 2) == std::string::npos) names.push_back(path);
  }
  return names;
}

// A document of one part, "report.vptest", for "demo" with password
// "orlenta". Its type is accepted for the user and registered (in the
// machine's classes, which Wine's shell reads) to `viewer`, which notes what
// it shows in `viewerLog`.
inline void WriteViewedDocument(const std::string& path, const std::string& viewer, const std::string& viewerLog) {
  ::SetEnvironmentVariableA("VP_TEST_VIEWER_LOG", viewerLog.c_str());
  ASSERT_TRUE(win32test::WriteRaw(HKEY_LOCAL_MACHINE, kClasses + ".vptest", nullptr, REG_SZ, SzBytes("VpTestViewer")));
  ASSERT_TRUE(win32test::WriteRaw(HKEY_LOCAL_MACHINE, kClasses + "VpTestViewer\\shell\\open\\command", nullptr,
                                  REG_SZ, SzBytes("\"" + viewer + "\" \"%1\"")));
  ASSERT_TRUE(win32test::WriteRaw(HKEY_CURRENT_USER, "Software\\Orlenta\\Vaultpost", "AcceptedExtensions", REG_SZ,
                                  SzBytes("*.vptest")));
  encoder::DocumentSpec recipe;
  recipe.userName = "demo";
  recipe.password = "orlenta";
  encoder::PartSpec part;
  part.name = "report.vptest";
  const std::string text = "installed and opened\n";
  part.content.assign(text.begin(), text.end());
  recipe.parts = {part};
  ASSERT_TRUE(encoder::EncodeDocumentToFile(recipe, path));
}

// Plays the user of the reader in process `pid` (0: whichever shows the
// prompt) until the viewer shows the part; waits for the reader to end.
inline void PlayTheReader(DWORD pid, const std::string& viewerLog) {
  const HWND prompt = dlgtest::WaitForDialog(IDC_USER_NAME, "Open Encrypted Document", pid, 30000);
  ASSERT_NE(prompt, nullptr) << "no credentials prompt";
  ::GetWindowThreadProcessId(prompt, &pid);
  const HANDLE reader = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  ASSERT_NE(reader, nullptr);
  dlgtest::Type(prompt, IDC_USER_NAME, "demo");
  dlgtest::Type(prompt, IDC_PASSWORD, "orlenta");
  dlgtest::Press(prompt, IDOK);
  HWND notice = nullptr;
  EXPECT_TRUE(dlgtest::WaitUntil(
      [&] {
        notice = dlgtest::FindDialog(IDC_PROGRESS, nullptr, pid);
        return notice != nullptr && dlgtest::ItemVisible(notice, IDOK) &&
               support::FileText(viewerLog).find("\tinstalled and opened\n") != std::string::npos;
      },
      30000));
  if (notice != nullptr) dlgtest::Press(notice, IDOK);
  EXPECT_EQ(::WaitForSingleObject(reader, 30000), WAIT_OBJECT_0) << "the reader did not end";
  ::CloseHandle(reader);
}

}  // namespace installtest
