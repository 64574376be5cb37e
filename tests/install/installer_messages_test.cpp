// The installer's own sentences and the way they are shown: through the
// current interface, or not at all while the installation is quiet.

#include <gtest/gtest.h>

#include <string>

#include "install/installer_messages.h"
#include "os/system_error.h"
#include "support/fake_gui.h"

namespace install {
namespace {

// What the sentences compose (their fixed words are the scenarios' to read).
TEST(InstallerMessagesTest, SentencesFollowTheirArguments) {
  EXPECT_TRUE(ShellExtensionPermissionNotice(true).ends_with("reinstall the application as Administrator"));
  EXPECT_TRUE(ShellExtensionPermissionNotice(false).ends_with("reinstall the application as an Administrator"));
  EXPECT_EQ(UninstalledWithFilesLeft(3, "C:\\T\\vptemp"),
            "Orlenta Reader successfully uninstalled\n\n3 decoded files are still open in another program and stay in "
            "'C:\\T\\vptemp' for now. They are removed when Orlenta Reader next starts; if you do not install it "
            "again, close that program and delete them yourself.");
}

TEST(InstallerMessagesTest, ShownThroughTheCurrentInterfaceUnlessQuiet) {
  // No interface at all (the last one current is gone): nothing to answer with.
  { testing_support::FakeGui gone; }
  os::quietFlag = 0;
  EXPECT_EQ(ShowInstallerMessage("lost", reader::MessageKind::Information, reader::MessageFlags::Plain), -1);

  testing_support::FakeGui gui;
  gui.answer = 2;
  EXPECT_EQ(ShowInstallerMessage("Continue?", reader::MessageKind::Warning, reader::MessageFlags::Question), 2);
  ASSERT_EQ(gui.messages.size(), 1u);
  EXPECT_EQ(gui.messages[0].text, "Continue?");
  EXPECT_EQ(gui.messages[0].kind, reader::MessageKind::Warning);
  EXPECT_EQ(gui.messages[0].flags, reader::MessageFlags::Question);

  os::quietFlag = 1;
  EXPECT_EQ(ShowInstallerMessage("Continue?", reader::MessageKind::Warning, reader::MessageFlags::Question), 1);
  os::ReportSystemError(kCouldNotFormat, kInstallSubject, 2);
  os::quietFlag = 0;
  EXPECT_EQ(gui.messages.size(), 1u);
}

}  // namespace
}  // namespace install
