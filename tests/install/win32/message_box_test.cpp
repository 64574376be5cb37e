// Both interfaces' message boxes as shown: the kind's icon, the flags'
// buttons, the title and the answer; silence while installing quietly.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "install/win32/install_testing.h"
#include "install/win32/simple_installation_gui.h"
#include "os/system_error.h"
#include "reader/message_catalogue.h"
#include "support/win32_dialogs.h"
#include "reader/win32/mfc_gui.h"

using namespace dlgtest;
using reader::MessageFlags;
using reader::MessageKind;

namespace {

HICON BoxIcon(HWND box) {
  HICON icon = nullptr;
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == "Static" && (::GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      icon = reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0));
    }
  }
  return icon;
}

struct Seen {
  std::string title;
  std::string text;
  HICON icon = nullptr;
  bool cancelButton = false;
};

// Shows a box through `gui` while another thread notes it and presses
// `button` (0: WM_CLOSE).
std::int32_t ShowAndAnswer(reader::GuiInterface& gui, std::int32_t kind, std::int32_t flags, int button,
                           Seen& seen) {
  std::thread user([&] {
    const HWND box = WaitForDialog(kMessageBoxTextId);
    ASSERT_NE(box, nullptr);
    seen.title = TextOf(box);
    seen.text = ItemText(box, kMessageBoxTextId);
    seen.icon = BoxIcon(box);
    seen.cancelButton = ::GetDlgItem(box, IDCANCEL) != nullptr;
    if (button == 0) {
      ::PostMessageA(box, WM_CLOSE, 0, 0);
    } else {
      Press(box, button);
    }
  });
  const std::int32_t answer = gui.ShowMessageBox("Box title", "Box text", kind, flags);
  user.join();
  return answer;
}

}  // namespace

TEST(MessageBoxTest, BothInterfacesShowTheKindsIconAndTheFlagsButtons) {
  reader::MfcGui dialogs;
  install::SimpleInstallationGui installer;
  const HICON stop = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32513));         // IDI_HAND
  const HICON information = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32516));  // IDI_ASTERISK
  const HICON exclamation = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32515));  // IDI_EXCLAMATION
  for (reader::GuiInterface* gui : {static_cast<reader::GuiInterface*>(&dialogs),
                                    static_cast<reader::GuiInterface*>(&installer)}) {
    Seen seen;
    EXPECT_EQ(ShowAndAnswer(*gui, MessageKind::Error, MessageFlags::Plain, IDOK, seen), 1);
    EXPECT_EQ(seen.title, "Box title");
    EXPECT_EQ(seen.text, "Box text");
    EXPECT_EQ(seen.icon, stop);
    EXPECT_FALSE(seen.cancelButton);
    EXPECT_EQ(ShowAndAnswer(*gui, MessageKind::Information, MessageFlags::Plain, IDOK, seen), 1);
    EXPECT_EQ(seen.icon, information);
    EXPECT_EQ(ShowAndAnswer(*gui, MessageKind::Warning, MessageFlags::Question, IDCANCEL, seen), 2);
    EXPECT_EQ(seen.icon, exclamation);
    EXPECT_TRUE(seen.cancelButton);
    // Closed by its close box: the answer of Cancel, which such a box gives.
    EXPECT_EQ(ShowAndAnswer(*gui, MessageKind::Warning, MessageFlags::Question, 0, seen), 2);
  }
}

TEST(MessageBoxTest, QuietInstallationShowsNothingAndAnswersOk) {
  install::SimpleInstallationGui installer;
  os::quietFlag = 1;
  {
    installtest::BoxWatcher watcher(IDCANCEL);  // any box shown is noted and closed: no hang
    EXPECT_EQ(installer.ShowMessage("Continue?", MessageKind::Warning, MessageFlags::Question), 1);
    EXPECT_EQ(installer.ShowMessage("Done.", MessageKind::Information, MessageFlags::Plain), 1);
    EXPECT_TRUE(watcher.Texts().empty());
  }
  os::quietFlag = 0;
  EXPECT_EQ(installer.PromptForCredentials(true), 0);
}
