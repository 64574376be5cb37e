#pragma once
// Helpers of the installer's Windows tests: message boxes answered, registry
// values read back exactly as stored, the shell's folders.

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/win32_system.h"
#include "support/win32_dialogs.h"

namespace installtest {

struct Box {
  std::string title;
  std::string text;
};

// Answers every message box of process `pid` (default: this one) with
// `answer` while it lives, noting each box's title and text.
class BoxWatcher {
 public:
  explicit BoxWatcher(int answer = IDOK, DWORD pid = ::GetCurrentProcessId())
      : answer_(answer), pid_(pid), thread_([this] { Run(); }) {}
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  std::vector<Box> Seen() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const Box& box : Seen()) texts.push_back(box.text);
    return texts;
  }

 private:
  void Run() {
    while (!stop_) {
      if (const HWND box = dlgtest::FindDialog(dlgtest::kMessageBoxTextId, nullptr, pid_)) {
        {
          const std::lock_guard<std::mutex> lock(mutex_);
          seen_.push_back({dlgtest::TextOf(box), dlgtest::ItemText(box, dlgtest::kMessageBoxTextId)});
        }
        dlgtest::Press(box, ::GetDlgItem(box, answer_) != nullptr ? answer_ : IDOK);
        dlgtest::WaitUntil([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, 10000);
      }
      ::Sleep(10);
    }
  }

  int answer_;
  DWORD pid_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Box> seen_;
  std::thread thread_;
};

// Sets the access list of the file or folder `path` to the one of `sddl`
// ("D:..."). Under Wine the list follows the file's Unix mode, so only what
// the mode can say survives (everyone's write access, say).
inline void SetAccess(const std::string& path, const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr));
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  EXPECT_EQ(::SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, dacl, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
  ::LocalFree(descriptor);
}

inline std::string SzBytes(const std::string& text) { return text + std::string(1, '\0'); }
inline std::string DwordBytes(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

// A text value as stored: "<type>:<bytes>", or "<absent>".
inline std::string Stored(HKEY root, const std::string& key, const char* name = nullptr) {
  const win32test::RawValue value = win32test::ReadRaw(root, key, name);
  if (!value.present) return "<absent>";
  return std::to_string(value.type) + ":" + value.bytes;
}
inline std::string StoredSz(const std::string& text) { return std::to_string(REG_SZ) + ":" + SzBytes(text); }
inline std::string StoredDword(DWORD value) { return std::to_string(REG_DWORD) + ":" + DwordBytes(value); }

inline const std::string kArch = sizeof(void*) == 8 ? "64-bit" : "32-bit";

// The program the registered commands start: plain "rundll32.exe" where the
// shell runs the module's own architecture, the 32-bit one by its full path
// under WoW64 (the 64-bit shell's own could not load the module).
inline std::string Rundll32() {
  if (!win32test::UnderWow64()) return "rundll32.exe";
  char folder[MAX_PATH];
  const UINT n = ::GetSystemWow64DirectoryA(folder, MAX_PATH);
  return "\"" + std::string(folder, n) + "\\rundll32.exe\"";
}

inline std::string ShellFolder(int csidl) {
  char path[MAX_PATH];
  ::SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
  return path;
}
inline std::string ProgramFiles() { return ShellFolder(CSIDL_PROGRAM_FILES); }
inline std::string LocalAppData() { return ShellFolder(CSIDL_LOCAL_APPDATA); }
inline std::string TempFolder() {
  char path[MAX_PATH + 1];
  ::GetTempPathA(sizeof path, path);
  return path;
}

}  // namespace installtest
