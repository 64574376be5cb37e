// The choice of interface: each entry works on the interface it asked for,
// whichever entry ran before it in the process.

#include <gtest/gtest.h>

#include "install/win32/choose_gui.h"
#include "install/win32/simple_installation_gui.h"
#include "reader/win32/mfc_gui.h"

namespace install {
namespace {

TEST(ChooseGuiTest, EachModeMakesItsOwnInterfaceCurrentEveryTime) {
  ChooseGui(GuiMessageBoxes);
  reader::GuiInterface* const messageBoxes = reader::GuiInterface::Current();
  EXPECT_NE(dynamic_cast<SimpleInstallationGui*>(messageBoxes), nullptr);
  ChooseGui(GuiDialogs);
  reader::GuiInterface* const dialogs = reader::GuiInterface::Current();
  EXPECT_NE(dynamic_cast<reader::MfcGui*>(dialogs), nullptr);
  // An installation entry after a document, then a document again: each
  // gets its own interface back, the same object as before.
  ChooseGui(GuiMessageBoxes);
  EXPECT_EQ(reader::GuiInterface::Current(), messageBoxes);
  ChooseGui(GuiDialogs);
  EXPECT_EQ(reader::GuiInterface::Current(), dialogs);
  ChooseGui(7);  // no such interface: nothing changes
  EXPECT_EQ(reader::GuiInterface::Current(), dialogs);
  ChooseGui(GuiMessageBoxes);
}

}  // namespace
}  // namespace install
