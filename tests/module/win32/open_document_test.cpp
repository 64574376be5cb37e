// The module as the shell uses it: the exported OpenDocument called in this
// process (the document opened on the test's thread while a second thread
// plays the user) and through rundll32 in a process of its own. The services
// tests' viewer (tests/os/win32/programs), registered for ".vptest", receives
// part 0; the module's own services (the
// temporary folder, the launch, the accepted-extensions store) are real.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "reader/win32/dialog_testing.h"
#include "resources/resource_ids.h"
#include "tools/encoder/document_encoder.h"

using namespace dlgtest;

namespace {

using OpenDocumentEntry = void(CALLBACK*)(HWND, HINSTANCE, LPSTR, int);

const char* const kStoreKey = "Software\\Orlenta\\Vaultpost";
const char* const kCantDecode =
    "Unable to decode this document.  You may have entered your user authentication details incorrectly.\n\n"
    "Please remember that all authentication details are case sensitive.";

// A path of the build machine as Wine sees it.
std::string WinePath(const char* unixPath) { return std::string("Z:") + unixPath; }

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFile(const std::string& path) {
  std::string content;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) content.append(buffer, n);
    std::fclose(f);
  }
  return content;
}

void SetDefaultValue(HKEY root, const std::string& key, const std::string& value) {
  HKEY handle = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
  ::RegCloseKey(handle);
}

// The accepted-extensions list as stored, or "<absent>".
std::string AcceptedExtensions() {
  char text[4096] = {};
  DWORD size = sizeof text;
  if (::RegGetValueA(HKEY_CURRENT_USER, kStoreKey, "AcceptedExtensions", RRF_RT_REG_SZ, nullptr, text, &size) !=
      ERROR_SUCCESS) {
    return "<absent>";
  }
  return text;
}

void SetAcceptedExtensions(const char* list) {
  HKEY key = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  if (list == nullptr) {
    ::RegDeleteValueA(key, "AcceptedExtensions");
  } else {
    ::RegSetValueExA(key, "AcceptedExtensions", 0, REG_SZ, reinterpret_cast<const BYTE*>(list),
                     static_cast<DWORD>(std::strlen(list) + 1));
  }
  ::RegCloseKey(key);
}

class OpenDocumentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The viewer for ".vptest" (Wine reads classes from the machine's hive only).
    SetDefaultValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\.vptest", "VpTestViewer");
    SetDefaultValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\VpTestViewer\\shell\\open\\command",
                    "\"" + WinePath(VP_VIEWER_PATH) + "\" \"%1\"");
  }

  void SetUp() override {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "vp-module-" + std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryA(folder_.c_str(), nullptr);
    log_ = folder_ + "\\viewer.log";
    ::DeleteFileA(log_.c_str());
    // Inherited by what the module starts, in this process or in rundll32.
    ::SetEnvironmentVariableA("VP_TEST_VIEWER_LOG", log_.c_str());
  }

  void TearDown() override {
    ::DeleteFileA(log_.c_str());
    ::DeleteFileA((folder_ + "\\doc.emc").c_str());
    ::RemoveDirectoryA(folder_.c_str());
  }

  std::string Write(const encoder::DocumentSpec& recipe) {
    const std::string path = folder_ + "\\doc.emc";
    std::string error;
    EXPECT_TRUE(encoder::EncodeDocumentToFile(recipe, path, &error)) << error;
    return path;
  }

  static encoder::DocumentSpec SampleRecipe(const std::string& mainText) {
    encoder::DocumentSpec recipe;
    recipe.userName = "demo";
    recipe.password = "orlenta";
    encoder::PartSpec main;
    main.name = "report.vptest";
    main.content.assign(mainText.begin(), mainText.end());
    encoder::PartSpec appendix;
    appendix.name = "appendix.txt";
    appendix.content.assign(2048, 'x');
    recipe.parts = {main, appendix};
    return recipe;
  }

  // Waits for the viewer's record ("<path>\t<content>\n") of a part holding
  // `content`; returns {path, content}, or empties when none came.
  std::pair<std::string, std::string> ViewerRecord(const std::string& content) {
    std::string record;
    WaitUntil(
        [&] {
          record = ReadFile(log_);
          return record.size() > content.size() + 1 && record.compare(record.size() - content.size() - 2,
                                                                      content.size() + 2, "\t" + content + "\n") == 0;
        },
        20000);
    const std::size_t tab = record.find('\t');
    if (tab == std::string::npos || record.empty()) return {};
    return {record.substr(0, tab), record.substr(tab + 1, record.size() - tab - 2)};
  }

  // Plays the user from the prompt to the end of the notice; returns the
  // part's path the viewer got. `pid` is the process showing the dialogs.
  std::string ViewDocument(DWORD pid, const std::string& expectedContent, bool expectQuestion) {
    const HWND prompt = WaitForDialog(IDC_USER_NAME, "Open Encrypted Document", pid);
    EXPECT_NE(prompt, nullptr);
    if (prompt == nullptr) return {};
    Type(prompt, IDC_USER_NAME, "demo");
    Type(prompt, IDC_PASSWORD, "orlenta");
    Press(prompt, IDOK);

    bool asked = false;
    HWND notice = nullptr;
    WaitUntil(
        [&] {
          if (const HWND warning = FindDialog(IDC_ALWAYS_ASK, nullptr, pid)) {
            asked = true;
            EXPECT_EQ(ItemText(warning, IDC_EXTENSION), ".vptest");
            // Cleared: do not ask again for this type.
            ::SendMessageA(::GetDlgItem(warning, IDC_ALWAYS_ASK), BM_SETCHECK, BST_UNCHECKED, 0);
            Press(warning, IDOK);
            WaitUntil([&] { return FindDialog(IDC_ALWAYS_ASK, nullptr, pid) == nullptr; });
          }
          notice = FindDialog(IDC_PROGRESS, nullptr, pid);
          return notice != nullptr && ItemVisible(notice, IDOK);
        },
        30000);
    EXPECT_EQ(asked, expectQuestion);
    const auto [path, content] = ViewerRecord(expectedContent);
    EXPECT_EQ(content, expectedContent);
    EXPECT_NE(path.find("\\vptemp\\"), std::string::npos) << path;
    EXPECT_TRUE(Exists(path)) << "the part stays while the notice is up";
    EXPECT_NE(notice, nullptr);
    if (notice != nullptr) Press(notice, IDOK);
    return path;
  }

  // Runs `call` (which shows dialogs on this thread) while `user` plays the
  // user on another. Once `user` is done, whatever dialog is still up after a
  // grace period is cancelled, so that a failed expectation never hangs.
  static void WithUser(const std::function<void()>& call, const std::function<void()>& user) {
    std::atomic<bool> done{false};
    std::thread driver([&] {
      user();
      if (WaitUntil([&] { return done.load(); }, 10000)) return;
      ADD_FAILURE() << "OpenDocument did not return after the user was done; cancelling what is left";
      WaitUntil(
          [&] {
            for (HWND hwnd : VisibleDialogs()) ::PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
            return done.load();
          },
          60000);
    });
    call();
    done = true;
    driver.join();
  }

  std::string folder_;
  std::string log_;
};

}  // namespace

TEST_F(OpenDocumentTest, InProcessTheViewerGetsPartZeroAndEverythingIsWipedAfterTheNotice) {
  SetAcceptedExtensions(nullptr);
  const HMODULE module = ::LoadLibraryA(WinePath(VP_MODULE_PATH).c_str());
  ASSERT_NE(module, nullptr);
  // Through void(*)() first: the entry's real type differs from FARPROC's.
  const auto open = reinterpret_cast<OpenDocumentEntry>(
      reinterpret_cast<void (*)()>(::GetProcAddress(module, "OpenDocument")));
  ASSERT_NE(open, nullptr);

  // First document: the unknown type is asked about and accepted for good.
  std::string doc = Write(SampleRecipe("first document\n"));
  std::string viewed;
  WithUser([&] { open(nullptr, nullptr, doc.data(), SW_SHOWNORMAL); },
           [&] { viewed = ViewDocument(::GetCurrentProcessId(), "first document\n", true); });
  EXPECT_EQ(AcceptedExtensions(), "*.vptest");
  EXPECT_FALSE(Exists(viewed));
  EXPECT_FALSE(Exists(viewed.substr(0, viewed.find_last_of('\\'))));

  // Second document of the same type in the same process: not asked again.
  ::DeleteFileA(log_.c_str());
  doc = Write(SampleRecipe("second document\n"));
  WithUser([&] { open(nullptr, nullptr, doc.data(), SW_SHOWNORMAL); },
           [&] { viewed = ViewDocument(::GetCurrentProcessId(), "second document\n", false); });
  EXPECT_FALSE(Exists(viewed));
  EXPECT_FALSE(Exists(viewed.substr(0, viewed.find_last_of('\\'))));
}

TEST_F(OpenDocumentTest, RundllOpensTheDocumentAfterAWrongPasswordAndEndsCleanly) {
  SetAcceptedExtensions("*.vptest");
  const std::string doc = Write(SampleRecipe("through rundll32\n"));
  char system[MAX_PATH];
  ::GetSystemDirectoryA(system, MAX_PATH);
  // The command the installation registers: rundll32.exe "<module>",OpenDocument <path>.
  std::string command =
      std::string(system) + "\\rundll32.exe \"" + WinePath(VP_MODULE_PATH) + "\",OpenDocument " + doc;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
  const DWORD pid = process.dwProcessId;

  const HWND prompt = WaitForDialog(IDC_USER_NAME, "Open Encrypted Document", pid);
  EXPECT_NE(prompt, nullptr);
  if (prompt != nullptr) {
    Type(prompt, IDC_USER_NAME, "demo");
    Type(prompt, IDC_PASSWORD, "wrong");
    Press(prompt, IDOK);
    const HWND box = WaitForDialog(kMessageBoxTextId, "Orlenta Reader", pid);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ItemText(box, kMessageBoxTextId), kCantDecode);
    Press(box, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(prompt) && ::IsWindowVisible(prompt); }));
    EXPECT_EQ(ItemText(prompt, IDC_USER_NAME), "demo");
    const std::string viewed = ViewDocument(pid, "through rundll32\n", false);
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    EXPECT_FALSE(Exists(viewed));
  }
  if (::WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 99);
  DWORD code = 99;
  ::GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(code, 0u);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
}
