// GuiInterface: the current interface, the base behaviours and ShowMessage
// through a fake message box.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/tag_list_testing.h"
#include "reader/gui_interface.h"

namespace reader {
namespace {

class FakeGui final : public GuiInterface {
 public:
  explicit FakeGui(bool afterDocument = true) : GuiInterface(afterDocument) {}
  int PromptForCredentials(bool) override { return 0; }
  void RestorePrompt() override {}
  std::int32_t ShowMessageBox(const char* title, const char* body, std::int32_t kind,
                              std::int32_t flags) override {
    boxes.push_back({title != nullptr ? title : "<none>", body, kind, flags});
    return answer;
  }
  struct Box {
    std::string title, body;
    std::int32_t kind, flags;
  };
  std::vector<Box> boxes;
  std::int32_t answer = 1;
};

TEST(GuiInterfaceTest, MostRecentlyConstructedIsCurrent) {
  EXPECT_EQ(GuiInterface::Current(), nullptr);
  {
    FakeGui first;
    EXPECT_EQ(GuiInterface::Current(), &first);
    {
      FakeGui second(false);
      EXPECT_EQ(GuiInterface::Current(), &second);
      EXPECT_FALSE(second.AfterDocumentFlag());
    }
    EXPECT_EQ(GuiInterface::Current(), nullptr);  // never left pointing at a destroyed object
  }
  {
    auto older = std::make_unique<FakeGui>();
    FakeGui newer;
    older.reset();  // an older interface going away leaves the newer one current
    EXPECT_EQ(GuiInterface::Current(), &newer);
  }
  EXPECT_EQ(GuiInterface::Current(), nullptr);
}

TEST(GuiInterfaceTest, ShowMessageTakesTheTitleOfTheKind) {
  FakeGui gui;
  auto list = std::vector<std::uint8_t>{};
  tagtest::AppendEntry(list, "StopTitle", "Halt");
  tagtest::AppendEntry(list, "ErrorTitle", "Oops");
  tagtest::AppendEntry(list, "InfoTitle", "Note");
  tagtest::AppendEnd(list);
  EXPECT_EQ(gui.ShowMessage("a", MessageKind::Stop, MessageFlags::Plain), 1);
  ASSERT_TRUE(tagtest::LoadTags(gui.State().tagTable, list));
  gui.ShowMessage("b", MessageKind::Stop, MessageFlags::Plain);
  gui.ShowMessage("c", MessageKind::Information, MessageFlags::Plain);
  gui.ShowMessage("d", MessageKind::Error, MessageFlags::Plain);
  gui.ShowMessage("e", MessageKind::Warning, MessageFlags::Question);
  gui.ShowMessage("f", 4, MessageFlags::Plain);
  ASSERT_EQ(gui.boxes.size(), 6u);
  EXPECT_EQ(gui.boxes[0].title, "Orlenta Reader");
  EXPECT_EQ(gui.boxes[1].title, "Halt");
  EXPECT_EQ(gui.boxes[2].title, "Note");
  EXPECT_EQ(gui.boxes[3].title, "Oops");
  EXPECT_EQ(gui.boxes[4].title, "Note");
  EXPECT_EQ(gui.boxes[4].body, "e");
  EXPECT_EQ(gui.boxes[4].kind, MessageKind::Warning);
  EXPECT_EQ(gui.boxes[4].flags, MessageFlags::Question);
  EXPECT_EQ(gui.boxes[5].title, "<none>");
}

TEST(GuiInterfaceTest, ShowMessageReturnsTheBoxResult) {
  FakeGui gui;
  for (std::int32_t answer : {1, 2, -1}) {
    gui.answer = answer;
    EXPECT_EQ(gui.ShowMessage("Continue?", MessageKind::Warning, MessageFlags::Question), answer);
  }
}

TEST(GuiInterfaceTest, BaseBehaviours) {
  FakeGui gui;
  EXPECT_TRUE(gui.RunWithoutDocument());
  EXPECT_FALSE(gui.ShowOpening("t", "b"));
  bool dontAskAgain = true;
  EXPECT_FALSE(gui.ConfirmUnknownFileType(".xyz", dontAskAgain));
  EXPECT_FALSE(dontAskAgain);
  dontAskAgain = true;
  EXPECT_FALSE(gui.ConfirmUnknownFileType(nullptr, dontAskAgain));
  EXPECT_FALSE(dontAskAgain);
  EXPECT_TRUE(gui.boxes.empty());

  gui.ShowWaitNotice("ignored title", "Done?");
  ASSERT_EQ(gui.boxes.size(), 1u);
  EXPECT_EQ(gui.boxes[0].title, "Orlenta Reader");
  EXPECT_EQ(gui.boxes[0].body, "Done?");
  EXPECT_EQ(gui.boxes[0].kind, MessageKind::Information);
  EXPECT_EQ(gui.boxes[0].flags, MessageFlags::Plain);
}

TEST(GuiInterfaceTest, StartsEmptyWithDefaults) {
  FakeGui gui;
  EXPECT_EQ(gui.State().tagTable.Count(), 0u);
  EXPECT_EQ(gui.State().file, nullptr);
  EXPECT_EQ(gui.State().failedAttempts, 0u);
  EXPECT_FALSE(gui.Catalogue().OverridesPending());
  EXPECT_STREQ(gui.Catalogue().Text(MessageCatalogue::Title), "Open Encrypted Document");
}

TEST(MessageBoxStyleTest, IconAndButtonsFollowKindAndFlags) {
  EXPECT_EQ(MessageBoxStyle(MessageKind::Stop, MessageFlags::Plain), 0x10u);
  EXPECT_EQ(MessageBoxStyle(MessageKind::Information, MessageFlags::Plain), 0x40u);
  EXPECT_EQ(MessageBoxStyle(MessageKind::Error, MessageFlags::Plain), 0x10u);
  EXPECT_EQ(MessageBoxStyle(MessageKind::Warning, MessageFlags::Question), 0x31u);
  EXPECT_EQ(MessageBoxStyle(MessageKind::Stop, MessageFlags::OkCancel), 0x11u);
  EXPECT_EQ(MessageBoxStyle(MessageKind::Information, 4), 0x40u);  // other bits have no effect
}

}  // namespace
}  // namespace reader
