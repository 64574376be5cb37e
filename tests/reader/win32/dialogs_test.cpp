// The reader's dialogs on a real Windows user interface (Wine): MfcGui runs
// the open-document flow on the test's thread while a second thread plays
// the user, finding each window by its controls, typing and pressing buttons.
// A recording OsInterface stands in for the system's services, so that
// launches are immediate; the module's own services are exercised by the
// module tests. Screenshots of every window go to the screenshot folder.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "codec/document_header.h"
#include "os/launch_confirmation.h"
#include "reader/decoder_file_writer.h"
#include "reader/os_interface.h"
#include "reader/win32/dialogs.h"
#include "reader/win32/mfc_gui.h"
#include "support/win32_dialogs.h"
#include "support/win32_system.h"
#include "resources/resource_ids.h"
#include "support/files.h"
#include "support/icon_files.h"
#include "tools/encoder/document_encoder.h"
#include "version/version.h"

using namespace dlgtest;
using H = codec::DocumentHeader;
using win32test::Exists;

namespace {

const char* const kCantDecode =
    "Unable to decode this document.  You may have entered your user authentication details incorrectly.\n\n"
    "Please remember that all authentication details are case sensitive.";

std::string ScreenshotFolder() {
  if (const char* chosen = std::getenv("VP_SCREENSHOT_DIR")) return chosen;
  return std::string("Z:") + VP_BINARY_DIR + "/screenshots";
}

// The system's services for the flow, recording instead of launching: part
// directories under a private folder, launches noted with the part's content.
class RecordingWinOs : public reader::OsInterface {
 public:
  explicit RecordingWinOs(std::string root) : root_(std::move(root)) {}

  // Runs on the dialogs' thread at the moment a part is launched.
  std::function<void(const char* path)> onLaunch;
  bool throwOnLaunch = false;

  reader::LaunchResult LaunchFile(reader::GuiInterface& gui, const char* path, bool checkType) override {
    if (throwOnLaunch) throw std::bad_alloc();
    if (checkType && !os::ConfirmLaunch(gui, path)) return reader::LaunchResult::Declined;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      launches_.push_back({path, support::FileText(path), checkType});
    }
    if (checkType && onLaunch) onLaunch(path);
    return reader::LaunchResult::Started;
  }

  const char* TemporaryDirectory() override {
    ::CreateDirectoryA(root_.c_str(), nullptr);
    current_ = root_ + "\\" + std::to_string(++made_) + "\\";
    if (!::CreateDirectoryA(current_.c_str(), nullptr)) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    directories_.push_back(current_);
    return current_.c_str();
  }

  struct Launch {
    std::string path;
    std::string content;
    bool checkType;
  };
  std::vector<Launch> Launches() {
    std::lock_guard<std::mutex> lock(mutex_);
    return launches_;
  }
  std::vector<std::string> Directories() {
    std::lock_guard<std::mutex> lock(mutex_);
    return directories_;
  }

 private:
  std::mutex mutex_;
  std::string root_;
  std::string current_;
  int made_ = 0;
  std::vector<Launch> launches_;
  std::vector<std::string> directories_;
};


encoder::PartSpec TextPart(const std::string& name, const std::string& text) {
  encoder::PartSpec part;
  part.name = name;
  part.content.assign(text.begin(), text.end());
  return part;
}

encoder::TagSpec TextTag(const std::string& key, const std::string& value) {
  return {key, std::vector<std::uint8_t>(value.begin(), value.end()), false};
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os_ = std::make_unique<RecordingWinOs>(scratch_.path() + "parts");
    gui_ = std::make_unique<reader::MfcGui>();
  }

  // A small document for "alice" / "secret" with a main part main.txt.
  static encoder::DocumentSpec SampleRecipe() {
    encoder::DocumentSpec recipe;
    recipe.userName = "alice";
    recipe.password = "secret";
    recipe.parts.push_back(TextPart("main.txt", "the main part\n"));
    // Long enough that a wrong key's garbage part header never runs past the
    // end of the file (which the decoder reports as damage, not as wrong
    // credentials).
    recipe.parts.push_back(TextPart("appendix.txt", std::string(2048, 'x')));
    return recipe;
  }

  std::string Write(const encoder::DocumentSpec& recipe) {
    const std::string path = scratch_.path() + "doc.emc";
    std::string error;
    EXPECT_TRUE(encoder::EncodeDocumentToFile(recipe, path, &error)) << error;
    return path;
  }

  // Opens `path` on this thread while `user` plays the user on another.
  void Open(const std::string& path, const std::function<void()>& user) {
    EXPECT_TRUE(PlayTheUser([&] { Gui().RunOpenDocument(path.c_str()); }, user))
        << "the flow did not end after the user was done; what was left was cancelled";
  }

  // No part file or part directory is left.
  void ExpectWiped() {
    for (const std::string& directory : os_->Directories()) EXPECT_FALSE(Exists(directory)) << directory;
  }

  static void SignIn() {
    const HWND prompt = WaitForDialog(IDC_USER_NAME);
    ASSERT_NE(prompt, nullptr);
    Type(prompt, IDC_USER_NAME, "alice");
    Type(prompt, IDC_PASSWORD, "secret");
    Press(prompt, IDOK);
  }

  // The visible progress window, as the wait notice (OK shown, bar hidden).
  static HWND WaitForNotice() {
    HWND notice = nullptr;
    WaitUntil([&] {
      notice = FindDialog(IDC_PROGRESS);
      return notice != nullptr && ItemVisible(notice, IDOK) && !ItemVisible(notice, IDC_PROGRESS);
    });
    return notice;
  }

  reader::MfcGui& Gui() { return *gui_; }

  win32test::ScratchFolder scratch_;
  std::unique_ptr<RecordingWinOs> os_;
  // One per test, made and destroyed on this thread: the windows and the
  // message hook belong to it.
  std::unique_ptr<reader::MfcGui> gui_;
};

}  // namespace

TEST_F(DialogTest, PromptShowsTheDocumentsTextsLinkAndIconThenViewsAndWipes) {
  auto recipe = SampleRecipe();
  recipe.tags = {TextTag("Title", "Quarterly figures"), TextTag("Prompt", "Ask the sender for your password."),
                 TextTag("UserNameLabel", "&Account"), TextTag("PasswordLabel", "&Secret word"),
                 TextTag("HyperlinkUrl", "https://orlenta.example/help"), TextTag("HyperlinkText", "Need help?"),
                 TextTag("OpeningTitle", "Opening figures"), TextTag("OkToDeleteTitle", "Done with the figures?")};
  recipe.tags.push_back({"ImageWin32", support::SquaresIconFile({{16, 0x00A000}}), true});
  // A large last part: the progress window counts its MiB.
  encoder::PartSpec big;
  big.name = "figures.csv";
  big.generatedLength = 3 * 1024 * 1024 + 12345;
  big.generatorSeed = 7;
  recipe.parts.push_back(big);
  const std::string doc = Write(recipe);

  std::string progressText;
  bool progressBarShown = false;
  os_->onLaunch = [&](const char*) {
    const HWND progress = Gui().Opening()->Handle();
    progressText = ItemText(progress, IDC_OPENING_TEXT);
    progressBarShown = ItemVisible(progress, IDC_PROGRESS) && !ItemVisible(progress, IDOK);
    EXPECT_EQ(TextOf(progress), "Opening figures");
    EXPECT_TRUE(Screenshot(progress, ScreenshotFolder(), "progress"));
  };

  Open(doc, [&] {
    const HWND prompt = WaitForDialog(IDC_USER_NAME, "Quarterly figures");
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(ItemText(prompt, IDC_PROMPT_TEXT), "Ask the sender for your password.");
    EXPECT_EQ(ItemText(prompt, IDC_USER_NAME_LABEL), "&Account");
    EXPECT_EQ(ItemText(prompt, IDC_PASSWORD_LABEL), "&Secret word");
    EXPECT_TRUE(ItemVisible(prompt, IDC_PASSWORD));
    EXPECT_EQ(ItemText(prompt, IDC_HYPERLINK), "Need help?");
    EXPECT_TRUE(ItemVisible(prompt, IDC_HYPERLINK));
    // The document's own icon, big and small.
    for (WPARAM size : {ICON_SMALL, ICON_BIG}) {
      const auto icon = reinterpret_cast<HICON>(::SendMessageA(prompt, WM_GETICON, size, 0));
      EXPECT_EQ(IconCentreColour(icon), RGB(0, 160, 0));
    }
    // The centred link shrank around its text and kept its centre.
    RECT area{7, 79, 7 + 185, 79 + 8};
    ::MapDialogRect(prompt, &area);
    RECT link;
    ::GetWindowRect(::GetDlgItem(prompt, IDC_HYPERLINK), &link);
    ::MapWindowPoints(nullptr, prompt, reinterpret_cast<POINT*>(&link), 2);
    EXPECT_LT(link.right - link.left, area.right - area.left);
    EXPECT_NEAR((link.left + link.right) / 2.0, (area.left + area.right) / 2.0, 1.5);
    // The keyboard focus starts in the first field.
    EXPECT_EQ(FocusedControl(prompt), ::GetDlgItem(prompt, IDC_USER_NAME));
    EXPECT_TRUE(Screenshot(prompt, ScreenshotFolder(), "prompt_user"));

    // A click on the link opens its address, unchecked for type, and shows it visited.
    ClickItem(prompt, IDC_HYPERLINK);
    EXPECT_TRUE(WaitUntil([&] { return os_->Launches().size() == 1; }));
    if (os_->Launches().size() == 1) {
      EXPECT_EQ(os_->Launches()[0].path, "https://orlenta.example/help");
      EXPECT_FALSE(os_->Launches()[0].checkType);
    }

    Type(prompt, IDC_USER_NAME, "alice");
    Type(prompt, IDC_PASSWORD, "secret");
    Press(prompt, IDOK);

    const HWND notice = WaitForNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(TextOf(notice), "Done with the figures?");
    EXPECT_EQ(ItemText(notice, IDC_OPENING_TEXT),
              "Click Ok when you have finished viewing the document, so that temporary files may be deleted");
    EXPECT_FALSE(::IsWindowVisible(prompt));
    EXPECT_TRUE(::IsWindowEnabled(notice));
    const auto launches = os_->Launches();
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_TRUE(Exists(launches[1].path));  // the part stays until the user is done
    EXPECT_TRUE(Screenshot(notice, ScreenshotFolder(), "wait_notice"));
    Press(notice, IDOK);
  });

  const auto launches = os_->Launches();
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_TRUE(launches[1].checkType);
  EXPECT_EQ(launches[1].content, "the main part\n");
  EXPECT_EQ(progressText, "Opening your document.\n\nPlease wait...\n3 MiB");
  EXPECT_TRUE(progressBarShown);
  EXPECT_FALSE(::IsWindowVisible(Gui().Opening()->Handle()));
  EXPECT_EQ(Gui().Prompt()->Handle(), nullptr);  // the prompt is gone
  ExpectWiped();
}

// The password field gives up the password as soon as it was read: its text
// and its undo buffer are emptied; the user name stays for the retry.
TEST_F(DialogTest, WrongPasswordKeepsTheUserNameEmptiesThePasswordFieldAndARetrySucceeds) {
  const std::string doc = Write(SampleRecipe());
  Open(doc, [&] {
    const HWND prompt = WaitForDialog(IDC_USER_NAME, "Open Encrypted Document");
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(ItemText(prompt, IDC_USER_NAME_LABEL), "Username");
    EXPECT_EQ(ItemText(prompt, IDC_PASSWORD_LABEL), "Password");
    EXPECT_FALSE(ItemVisible(prompt, IDC_HYPERLINK));  // the document has no link
    Type(prompt, IDC_USER_NAME, "alice");
    // Typed as a user types, so that the undo buffer has something to undo.
    ::SendMessageA(::GetDlgItem(prompt, IDC_PASSWORD), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("wrong"));
    ASSERT_NE(::SendMessageA(::GetDlgItem(prompt, IDC_PASSWORD), EM_CANUNDO, 0, 0), 0);
    Press(prompt, IDOK);

    const HWND box = WaitForDialog(kMessageBoxTextId, "Orlenta Reader");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ItemText(box, kMessageBoxTextId), kCantDecode);
    EXPECT_FALSE(::IsWindowEnabled(prompt));  // nothing to type into while the message is up
    Press(box, IDOK);

    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(prompt) && ::IsWindowVisible(prompt); }));
    EXPECT_EQ(ItemText(prompt, IDC_USER_NAME), "alice");
    EXPECT_EQ(ItemText(prompt, IDC_PASSWORD), "");
    EXPECT_EQ(::SendMessageA(::GetDlgItem(prompt, IDC_PASSWORD), EM_CANUNDO, 0, 0), 0);
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(prompt, IDC_PASSWORD)));
    EXPECT_EQ(FocusedControl(prompt), ::GetDlgItem(prompt, IDC_PASSWORD));  // the field to type into again
    EXPECT_TRUE(Screenshot(prompt, ScreenshotFolder(), "prompt_retry"));
    Type(prompt, IDC_PASSWORD, "secret");
    // Enter in a field is the default button, as in any dialog.
    ::PostMessageA(::GetDlgItem(prompt, IDC_PASSWORD), WM_KEYDOWN, VK_RETURN, 1);

    const HWND notice = WaitForNotice();
    ASSERT_NE(notice, nullptr);
    Press(notice, IDOK);
  });
  ASSERT_EQ(os_->Launches().size(), 1u);
  EXPECT_EQ(os_->Launches()[0].content, "the main part\n");
  ExpectWiped();
}

TEST_F(DialogTest, PasswordOnlyPromptHasOneMaskedFieldAndACancelledUnknownTypeOpensNothing) {
  auto recipe = SampleRecipe();
  recipe.flags = H::FlagPasswordOnly;
  recipe.userName.clear();
  recipe.parts = {TextPart("data.bin", "binary data")};
  const std::string doc = Write(recipe);

  // The warning cancelled: nothing is opened, the notice still comes and the
  // part is wiped after it. (Accepting and remembering a type is the module
  // test's, with the real store.)
  Open(doc, [&] {
    const HWND prompt = WaitForDialog(IDC_USER_NAME, "Open Encrypted Document");
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(ItemText(prompt, IDC_USER_NAME_LABEL), "Password");
    EXPECT_FALSE(ItemVisible(prompt, IDC_PASSWORD_LABEL));
    EXPECT_FALSE(ItemVisible(prompt, IDC_PASSWORD));
    EXPECT_EQ(::SendMessageA(::GetDlgItem(prompt, IDC_USER_NAME), EM_GETPASSWORDCHAR, 0, 0), '*');
    Type(prompt, IDC_USER_NAME, "secret");
    EXPECT_TRUE(Screenshot(prompt, ScreenshotFolder(), "prompt_password"));
    Press(prompt, IDOK);

    const HWND warning = WaitForDialog(IDC_ALWAYS_ASK, "Opening Unknown File Type");
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(ItemText(warning, IDC_EXTENSION), ".bin");
    EXPECT_TRUE(TextFits(warning, IDC_EXTENSION_LABEL)) << ItemText(warning, IDC_EXTENSION_LABEL);
    EXPECT_EQ(::SendMessageA(::GetDlgItem(warning, IDC_ALWAYS_ASK), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_NE(::SendMessageA(::GetDlgItem(warning, IDC_WARNING_ICON), STM_GETICON, 0, 0), 0);
    EXPECT_TRUE(Screenshot(warning, ScreenshotFolder(), "unknown_type"));
    Press(warning, IDCANCEL);

    const HWND notice = WaitForNotice();
    ASSERT_NE(notice, nullptr);
    Press(notice, IDOK);
  });
  EXPECT_TRUE(os_->Launches().empty());
  ExpectWiped();
}

TEST_F(DialogTest, DocumentWithoutCredentialsShowsNoPrompt) {
  auto recipe = SampleRecipe();
  recipe.flags = H::FlagNoCredentials;
  recipe.userName.clear();
  recipe.password.clear();
  const std::string doc = Write(recipe);
  Open(doc, [&] {
    bool promptSeen = false;
    HWND notice = nullptr;
    WaitUntil([&] {
      promptSeen = promptSeen || FindDialog(IDC_USER_NAME) != nullptr;
      notice = FindDialog(IDC_PROGRESS);
      return notice != nullptr && ItemVisible(notice, IDOK);
    });
    EXPECT_FALSE(promptSeen);
    ASSERT_NE(notice, nullptr);
    Press(notice, IDOK);
  });
  ASSERT_EQ(os_->Launches().size(), 1u);
  ExpectWiped();
}

TEST_F(DialogTest, LinksThatCouldStartAProgramAreHidden) {
  for (const char* url : {"javascript:alert(1)", "file:///C:/windows/system32/calc.exe", "C:\\windows\\notepad.exe"}) {
    auto recipe = SampleRecipe();
    recipe.tags = {TextTag("HyperlinkUrl", url), TextTag("HyperlinkText", "Click me")};
    const std::string doc = Write(recipe);
    Open(doc, [&] {
      const HWND prompt = WaitForDialog(IDC_USER_NAME);
      ASSERT_NE(prompt, nullptr);
      EXPECT_FALSE(ItemVisible(prompt, IDC_HYPERLINK)) << url;
      Press(prompt, IDCANCEL);
    });
    EXPECT_TRUE(os_->Launches().empty()) << url;
    EXPECT_TRUE(os_->Directories().empty());  // cancelling decodes nothing
  }
}

TEST_F(DialogTest, SystemMenuOpensTheAboutBoxOverThePrompt) {
  const std::string doc = Write(SampleRecipe());
  Open(doc, [&] {
    const HWND prompt = WaitForDialog(IDC_USER_NAME);
    ASSERT_NE(prompt, nullptr);
    const HMENU menu = ::GetSystemMenu(prompt, FALSE);
    const int count = ::GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(::GetMenuItemID(menu, count - 1), reader::kAboutCommand);
    EXPECT_NE(::GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR, 0u);
    char label[32] = {};
    ::GetMenuStringA(menu, static_cast<UINT>(count - 1), label, sizeof label, MF_BYPOSITION);
    EXPECT_STREQ(label, "&About...");

    ::PostMessageA(prompt, WM_SYSCOMMAND, reader::kAboutCommand, 0);
    const HWND about = WaitForDialog(IDC_VERSION, "About Orlenta Reader");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(ItemText(about, IDC_VERSION), "2.27-3");
    EXPECT_EQ(ItemText(about, IDC_NOTICE), "Copyright (C) 2026 Orlenta. All rights reserved.");
    EXPECT_EQ(ItemText(about, IDC_HYPERLINK), VP_MAKER_WEB_ADDRESS);
    EXPECT_FALSE(::IsWindowEnabled(prompt));  // the About box is modal over the prompt
    // The left-aligned link keeps its left edge and shrinks to its text.
    RECT area{37, 57, 37 + 76, 57 + 8};
    ::MapDialogRect(about, &area);
    RECT link;
    ::GetWindowRect(::GetDlgItem(about, IDC_HYPERLINK), &link);
    ::MapWindowPoints(nullptr, about, reinterpret_cast<POINT*>(&link), 2);
    EXPECT_EQ(link.left, area.left);
    EXPECT_TRUE(Screenshot(about, ScreenshotFolder(), "about"));
    Press(about, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return FindDialog(IDC_VERSION) == nullptr && ::IsWindowEnabled(prompt); }));
    Press(prompt, IDCANCEL);
  });
  EXPECT_TRUE(os_->Launches().empty());
}

TEST_F(DialogTest, ExceptionInsideTheOkHandlerIsReportedAndThePartsAreWiped) {
  const std::string doc = Write(SampleRecipe());
  os_->throwOnLaunch = true;
  Open(doc, [&] {
    SignIn();
    const HWND box = WaitForDialog(kMessageBoxTextId);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ItemText(box, kMessageBoxTextId), "Not enough memory available");
    // Wiped before the message, not after.
    for (const std::string& directory : os_->Directories()) EXPECT_FALSE(Exists(directory)) << directory;
    Press(box, IDOK);
  });
  EXPECT_EQ(Gui().Prompt()->Handle(), nullptr);
  ASSERT_EQ(os_->Directories().size(), 1u);
  ExpectWiped();
}

TEST_F(DialogTest, EndingTheSessionWhileTheNoticeIsUpWipesThePartsAtOnce) {
  const std::string doc = Write(SampleRecipe());
  Open(doc, [&] {
    SignIn();
    const HWND notice = WaitForNotice();
    ASSERT_NE(notice, nullptr);
    ASSERT_EQ(os_->Directories().size(), 1u);
    const std::string directory = os_->Directories()[0];
    EXPECT_TRUE(Exists(directory + "main.txt"));
    EXPECT_EQ(::SendMessageA(notice, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_TRUE(Exists(directory + "main.txt"));  // asking is not ending
    ::SendMessageA(notice, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    // The process may go as soon as the message is answered: the parts are gone by then.
    EXPECT_FALSE(Exists(directory + "main.txt"));
    EXPECT_FALSE(Exists(directory));
  });
  ExpectWiped();
}

TEST_F(DialogTest, AboutCommandReachesTheApplicationFromTheSystemsOwnLoop) {
  // A message box runs the system's modal loop, not ours: the command comes
  // through the message-filter hook.
  std::thread user([] {
    const HWND box = WaitForDialog(kMessageBoxTextId);
    ASSERT_NE(box, nullptr);
    ::PostMessageA(box, WM_SYSCOMMAND, reader::kAboutCommand, 0);
    const HWND about = WaitForDialog(IDC_VERSION, "About Orlenta Reader");
    EXPECT_NE(about, nullptr);
    if (about != nullptr) Press(about, IDOK);
    EXPECT_TRUE(WaitUntil([] { return FindDialog(IDC_VERSION) == nullptr; }));
    Press(box, IDOK);
  });
  EXPECT_EQ(Gui().ShowMessageBox("Orlenta Reader", "A message", 1, 1), 1);
  user.join();
}
