// OpenDocument as the shell uses it: called in this process (while a second
// thread plays the user) and through rundll32. The services tests' viewer,
// registered for ".vptest", receives part 0; the module's services are real.

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "install/win32/scenarios/scenario_testing.h"
#include "resources/resource_ids.h"
#include "support/files.h"
#include "tools/encoder/document_encoder.h"

using namespace dlgtest;

namespace {

using RundllEntry = void(CALLBACK*)(HWND, HINSTANCE, LPSTR, int);

const char* const kStoreKey = "Software\\Orlenta\\Vaultpost";
const char* const kCantDecode =
    "Unable to decode this document.  You may have entered your user authentication details incorrectly.\n\n"
    "Please remember that all authentication details are case sensitive.";

using win32test::Exists;

// A rundll32 entry of `module` (through void(*)(): its type differs from FARPROC's).
RundllEntry Entry(HMODULE module, const char* name) {
  return reinterpret_cast<RundllEntry>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// The part and its folder are gone.
void ExpectWiped(const std::string& part) {
  EXPECT_FALSE(Exists(part)) << part;
  EXPECT_FALSE(Exists(part.substr(0, part.find_last_of('\\')))) << part;
}

// rundll32.exe "<module>",OpenDocument <path>, as the shell runs it.
HANDLE StartRundll(const std::string& document) {
  char system[MAX_PATH];
  ::GetSystemDirectoryA(system, MAX_PATH);
  return win32test::Start(std::string(system) + "\\rundll32.exe \"" + installtest::WindowsPath(VP_MODULE_PATH) +
                          "\",OpenDocument " + document);
}

void SetDefaultValue(HKEY root, const std::string& key, const std::string& value) {
  ASSERT_TRUE(win32test::WriteRaw(root, key, nullptr, REG_SZ, value + std::string(1, '\0')));
}

void SetAcceptedExtensions(const char* list) {
  if (list != nullptr) {
    ASSERT_TRUE(win32test::WriteRaw(HKEY_CURRENT_USER, kStoreKey, "AcceptedExtensions", REG_SZ,
                                    std::string(list) + std::string(1, '\0')));
  } else {
    ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kStoreKey, "AcceptedExtensions");
  }
}

class OpenDocumentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The viewer for ".vptest" (Wine reads classes from the machine's hive only).
    SetDefaultValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\.vptest", "VpTestViewer");
    SetDefaultValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\VpTestViewer\\shell\\open\\command",
                    "\"" + installtest::WindowsPath(VP_VIEWER_PATH) + "\" \"%1\"");
  }

  // Inherited by what the module starts, in this process or in rundll32.
  void SetUp() override { ::SetEnvironmentVariableA("VP_TEST_VIEWER_LOG", log_.c_str()); }

  std::string Write(const encoder::DocumentSpec& recipe, const std::string& name = "doc.emc") {
    const std::string path = folder_ + "\\" + name;
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

  // The path in the viewer's record ("<path>\t<content>\n") of `content`, or "".
  std::string ViewedPath(const std::string& content) {
    std::string path;
    WaitUntil(
        [&] {
          const std::string log = support::FileText(log_);
          const std::size_t end = log.find("\t" + content + "\n");
          if (end == std::string::npos) return false;
          const std::size_t start = log.rfind('\n', end);
          path = log.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1));
          return true;
        },
        20000);
    return path;
  }

  static bool AnswerThePrompt(DWORD pid) {
    const HWND prompt = WaitForDialog(IDC_USER_NAME, "Open Encrypted Document", pid);
    EXPECT_NE(prompt, nullptr);
    if (prompt == nullptr) return false;
    Type(prompt, IDC_USER_NAME, "demo");
    Type(prompt, IDC_PASSWORD, "orlenta");
    Press(prompt, IDOK);
    return true;
  }

  // Plays the user up to the wait notice, which is left up; returns it and,
  // in `viewed`, the path of the part the viewer got.
  HWND WaitForTheNotice(DWORD pid, const std::string& content, bool expectQuestion, std::string& viewed) {
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
    viewed = ViewedPath(content);
    EXPECT_NE(viewed.find("\\vptemp\\"), std::string::npos) << viewed;
    EXPECT_TRUE(Exists(viewed)) << "the part stays while the notice is up";
    EXPECT_NE(notice, nullptr);
    return notice;
  }

  // Plays the user from the prompt to the end of the notice; returns the part's path.
  std::string ViewDocument(DWORD pid, const std::string& content, bool expectQuestion) {
    std::string viewed;
    if (!AnswerThePrompt(pid)) return viewed;
    if (const HWND notice = WaitForTheNotice(pid, content, expectQuestion, viewed)) Press(notice, IDOK);
    return viewed;
  }

  static void WithUser(const std::function<void()>& call, const std::function<void()>& user) {
    EXPECT_TRUE(PlayTheUser(call, user)) << "OpenDocument did not return after the user was done";
  }

  win32test::ScratchFolder scratch_;
  std::string folder_ = scratch_.path().substr(0, scratch_.path().size() - 1);
  std::string log_ = folder_ + "\\viewer.log";
};

}  // namespace

TEST_F(OpenDocumentTest, InProcessTheViewerGetsPartZeroAndEverythingIsWipedAfterTheNotice) {
  SetAcceptedExtensions(nullptr);
  const HMODULE module = ::LoadLibraryA(installtest::WindowsPath(VP_MODULE_PATH).c_str());
  ASSERT_NE(module, nullptr);
  const RundllEntry open = Entry(module, "OpenDocument");
  ASSERT_NE(open, nullptr);

  // First document: the unknown type is asked about and accepted for good.
  std::string doc = Write(SampleRecipe("first document\n"));
  std::string viewed;
  WithUser([&] { open(nullptr, nullptr, doc.data(), SW_SHOWNORMAL); },
           [&] { viewed = ViewDocument(::GetCurrentProcessId(), "first document\n", true); });
  EXPECT_EQ(std::string(win32test::ReadRaw(HKEY_CURRENT_USER, kStoreKey, "AcceptedExtensions").bytes.c_str()),
            "*.vptest");
  ExpectWiped(viewed);

  // Second document of the same type in the same process: not asked again.
  ::DeleteFileA(log_.c_str());
  doc = Write(SampleRecipe("second document\n"));
  WithUser([&] { open(nullptr, nullptr, doc.data(), SW_SHOWNORMAL); },
           [&] { viewed = ViewDocument(::GetCurrentProcessId(), "second document\n", false); });
  ExpectWiped(viewed);
}

// The document came from the internet: the viewer's part carries the same
// mark of origin, and nothing of it is left afterwards.
TEST_F(OpenDocumentTest, RundllOpensTheDocumentAfterAWrongPasswordAndEndsCleanly) {
  SetAcceptedExtensions("*.vptest");
  const std::string doc = Write(SampleRecipe("through rundll32\n"));
  const std::string mark = "[ZoneTransfer]\r\nZoneId=3\r\n";
  ASSERT_TRUE(win32test::WriteFile(doc + ":Zone.Identifier", mark));
  const HANDLE process = StartRundll(doc);
  ASSERT_NE(process, nullptr);
  const DWORD pid = ::GetProcessId(process);

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
    EXPECT_EQ(::WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(support::FileText(log_ + ".zone"), mark);
    ExpectWiped(viewed);  // the folder: the mark's file under Wine too
  }
  EXPECT_EQ(win32test::Finish(process, 0), 0);
}

// Readers ended with TerminateProcess during the wait notice leave their
// folders; the next OpenDocument wipes them, schedules the part a viewer still
// holds for the next restart instead of waiting on it, and leaves the folder
// of a reader that is still waiting alone. One of the readers is opened
// through the shell from a module in a folder named "100%1 sure", whose
// registered command must still name that module.
TEST_F(OpenDocumentTest, KilledReadersAreSweptByTheNextOpenAndLiveOnesAreNot) {
  SetAcceptedExtensions("*.vptest");
  const std::string percent = "C:\\100%1 sure";
  ::CreateDirectoryA(percent.c_str(), nullptr);
  ASSERT_TRUE(::CopyFileA(installtest::WindowsPath(VP_MODULE_PATH).c_str(), (percent + "\\vaultpost.dll").c_str(), FALSE));
  const HMODULE registered = ::LoadLibraryA((percent + "\\vaultpost.dll").c_str());
  ASSERT_NE(registered, nullptr);
  Entry(registered, "RegisterDll")(nullptr, nullptr, nullptr, SW_SHOWNORMAL);

  // Three readers, each with a document of its own, all at their notices:
  // one started by the shell, two by rundll32 as the shell would.
  struct Reader {
    HANDLE process;
    std::string content, part, folder;
  };
  std::vector<Reader> readers;
  // Whatever happens, no reader outlives the test (they hold its output).
  const std::unique_ptr<std::vector<Reader>, void (*)(std::vector<Reader>*)> ending(&readers, [](auto* all) {
    for (const Reader& reader : *all) win32test::Finish(reader.process, 0);
  });
  for (const char* content : {"killed reader\n", "held reader\n", "waiting reader\n"}) {
    const std::string doc = Write(SampleRecipe(content), std::string(content, 4) + ".emc");
    const HANDLE process = readers.empty() ? installtest::ShellOpen(doc) : StartRundll(doc);
    ASSERT_NE(process, nullptr);
    readers.push_back({process, content, "", ""});
  }
  for (const Reader& reader : readers) ASSERT_TRUE(AnswerThePrompt(::GetProcessId(reader.process)));
  std::vector<HWND> notices;
  for (Reader& reader : readers) {
    notices.push_back(WaitForTheNotice(::GetProcessId(reader.process), reader.content, false, reader.part));
    reader.folder = reader.part.substr(0, reader.part.rfind('\\'));
  }
  // A viewer keeps the second reader's appendix open (sharing reading and
  // writing, as the reader keeps it open for writing); the first two readers
  // are ended as the Task Manager ends them. Their folders stay.
  const std::string held = readers[1].folder + "\\appendix.txt";
  win32test::HeldFile viewer(held, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(viewer.held());
  for (int i : {0, 1}) {
    ::TerminateProcess(readers[i].process, 1);
    EXPECT_EQ(::WaitForSingleObject(readers[i].process, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(Exists(readers[i].part));
  }

  // The next document, opened in this process.
  const HMODULE module = ::LoadLibraryA(installtest::WindowsPath(VP_MODULE_PATH).c_str());
  ASSERT_NE(module, nullptr);
  const RundllEntry open = Entry(module, "OpenDocument");
  std::string doc = Write(SampleRecipe("next document\n"));
  WithUser([&] { open(nullptr, nullptr, doc.data(), SW_SHOWNORMAL); },
           [&] { ViewDocument(::GetCurrentProcessId(), "next document\n", false); });
  EXPECT_FALSE(Exists(readers[0].folder));
  EXPECT_FALSE(Exists(readers[1].part));
  EXPECT_TRUE(Exists(held));
  EXPECT_TRUE(win32test::Pending(held));
  EXPECT_TRUE(win32test::Pending(readers[1].folder));
  EXPECT_TRUE(Exists(readers[2].part)) << "a live reader's folder is never touched";

  // The waiting reader ends as usual and leaves nothing.
  Press(notices[2], IDOK);
  EXPECT_EQ(::WaitForSingleObject(readers[2].process, 20000), WAIT_OBJECT_0);
  EXPECT_FALSE(Exists(readers[2].folder));
  Entry(registered, "DeregisterDll")(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
}
