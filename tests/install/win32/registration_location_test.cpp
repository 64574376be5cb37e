// Registering for every user only from where only administrators can change
// the module. (Under Wine an access list follows the file's Unix mode.)

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "install/installation_scope.h"
#include "install/win32/install_testing.h"
#include "install/win32/registration_location.h"
#include "support/fake_gui.h"

namespace install {
namespace {

TEST(RegistrationLocation, MachineScopeOnlyFromWhereOnlyAdministratorsCanChangeTheModule) {
  win32test::ScratchFolder scratch;
  const std::string folder = scratch.path() + "module";
  const std::string module = folder + "\\vaultpost.dll";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  std::ofstream(module) << "module";
  testing_support::FakeGui gui;

  // Administrators, the system and this (administrating) user alone.
  installtest::SetAccess(folder, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;WD)");
  EXPECT_TRUE(OnlyAdministratorsCanChange(folder.c_str()));
  EXPECT_TRUE(OnlyAdministratorsCanChange(module.c_str()));
  EXPECT_TRUE(MayRegisterFrom(module.c_str(), ScopeMachine));
  EXPECT_TRUE(gui.messages.empty());

  // Everyone may add or replace files there.
  installtest::SetAccess(folder, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)");
  EXPECT_FALSE(OnlyAdministratorsCanChange(folder.c_str()));
  EXPECT_FALSE(MayRegisterFrom(module.c_str(), ScopeMachine));
  ASSERT_EQ(gui.messages.size(), 1u);
  EXPECT_EQ(gui.messages[0].kind, reader::MessageKind::Stop);
  EXPECT_NE(gui.messages[0].text.find("not registered for all users"), std::string::npos);
  EXPECT_NE(gui.messages[0].text.find("\n" + folder + "\n"), std::string::npos) << gui.messages[0].text;
  EXPECT_NE(gui.messages[0].text.find("Program Files"), std::string::npos);
  // For the current user alone it stays allowed.
  EXPECT_TRUE(MayRegisterFrom(module.c_str(), ScopeCurrentUser));
  EXPECT_EQ(gui.messages.size(), 1u);

  // A module nowhere to be found is refused too.
  EXPECT_FALSE(OnlyAdministratorsCanChange((folder + "\\absent").c_str()));
  EXPECT_FALSE(MayRegisterFrom("", ScopeMachine));
}

}  // namespace
}  // namespace install
