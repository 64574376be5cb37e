// The installer's own sentences and the way they are shown: through the
// current interface, or not at all while the installation is quiet.

#include <gtest/gtest.h>

#include <string>

#include "install/installer_messages.h"
#include "os/system_error.h"
#include "support/fake_gui.h"

namespace install {
namespace {

const std::string kArch = sizeof(void*) == 8 ? "64-bit" : "32-bit";

TEST(InstallerMessagesTest, SentencesNameTheDownloadPageAndTheArchitecture) {
  EXPECT_EQ(ForeignArchitectureQuestion(),
            "This version of the Orlenta Reader is not optimal for your operating system, all functionality may "
            "not be available. A better-suited version is available from "
            "https://www.orlenta.example/reader/download\n\nDo you want to continue?\n");
  EXPECT_EQ(ShellExtensionPermissionNotice(true),
            "Unable to activate Shell Extensions due to a permissions error.\n\nAdvanced functionality will not be "
            "available\nTo rectify the problem, please reinstall the application as Administrator");
  EXPECT_EQ(ShellExtensionPermissionNotice(false),
            "Unable to activate Shell Extensions due to a permissions error.\n\nAdvanced functionality will not be "
            "available\nTo rectify the problem, please reinstall the application as an Administrator");
  EXPECT_EQ(UninstallSubject(), "uninstall Orlenta Reader (" + kArch + ")");
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
