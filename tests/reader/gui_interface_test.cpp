// GuiInterface: the current interface, the base behaviours and ShowMessage
// through a fake message box.

#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/tag_list_testing.h"
#include "support/fake_gui.h"
#include "reader/gui_interface.h"
#include "source/xp/xp_exception.h"

namespace reader {
namespace {

using testing_support::FakeGui;

TEST(GuiInterfaceTest, MostRecentlyConstructedIsCurrent) {
  EXPECT_EQ(GuiInterface::Current(), nullptr);
  {
    FakeGui first(true);
    EXPECT_EQ(GuiInterface::Current(), &first);
    {
      FakeGui second(false);
      EXPECT_EQ(GuiInterface::Current(), &second);
      EXPECT_FALSE(second.AfterDocumentFlag());
    }
    EXPECT_EQ(GuiInterface::Current(), nullptr);  // never left pointing at a destroyed object
  }
  {
    auto older = std::make_unique<FakeGui>(true);
    FakeGui newer;
    older.reset();  // an older interface going away leaves the newer one current
    EXPECT_EQ(GuiInterface::Current(), &newer);
  }
  EXPECT_EQ(GuiInterface::Current(), nullptr);
}

TEST(GuiInterfaceTest, ShowMessageTakesTheTitleOfTheKindAndReturnsTheBoxResult) {
  FakeGui gui;
  auto list = std::vector<std::uint8_t>{};
  tagtest::AppendEntry(list, "StopTitle", "Halt");
  tagtest::AppendEntry(list, "ErrorTitle", "Oops");
  tagtest::AppendEntry(list, "InfoTitle", "Note");
  tagtest::AppendEnd(list);
  EXPECT_EQ(gui.ShowMessage("a", MessageKind::Stop, MessageFlags::Plain), 1);
  ASSERT_TRUE(tagtest::LoadTags(gui.State().tagTable, list));
  const struct {
    std::int32_t kind;
    const char* title;
  } kinds[] = {{MessageKind::Stop, "Halt"}, {MessageKind::Information, "Note"}, {MessageKind::Error, "Oops"},
               {MessageKind::Warning, "Note"}, {4, "<null>"}};
  for (const auto& k : kinds) {
    gui.answer = 10 + k.kind;
    EXPECT_EQ(gui.ShowMessage("text", k.kind, MessageFlags::Question), 10 + k.kind) << k.kind;
    EXPECT_EQ(gui.messages.back().title, k.title) << k.kind;
    EXPECT_EQ(gui.messages.back().kind, k.kind);
    EXPECT_EQ(gui.messages.back().flags, MessageFlags::Question);
  }
  EXPECT_EQ(gui.messages[0].title, "Orlenta Reader");
}

TEST(GuiInterfaceTest, BaseBehaviours) {
  FakeGui gui;  // the base versions are called explicitly below
  EXPECT_TRUE(gui.GuiInterface::RunWithoutDocument());
  EXPECT_FALSE(gui.GuiInterface::ShowOpening("t", "b"));
  for (const char* ext : {".xyz", static_cast<const char*>(nullptr)}) {
    bool dontAskAgain = true;
    EXPECT_FALSE(gui.GuiInterface::ConfirmUnknownFileType(ext, dontAskAgain));
    EXPECT_FALSE(dontAskAgain);
  }
  EXPECT_TRUE(gui.messages.empty());

  gui.GuiInterface::ShowWaitNotice("ignored title", "Done?");
  ASSERT_EQ(gui.messages.size(), 1u);
  EXPECT_EQ(gui.messages[0].title, "Orlenta Reader");
  EXPECT_EQ(gui.messages[0].text, "Done?");
  EXPECT_EQ(gui.messages[0].kind, MessageKind::Information);
  EXPECT_EQ(gui.messages[0].flags, MessageFlags::Plain);
}

TEST(GuiInterfaceTest, ReportExceptionShowsEveryKindOnceAndNeverThrows) {
  FakeGui gui;
  gui.ReportException(nullptr);
  EXPECT_TRUE(gui.messages.empty());
  const std::exception_ptr errors[] = {
      std::make_exception_ptr(xp::XPException("Could not create shared memory file mapping", 5)),
      std::make_exception_ptr(std::bad_alloc()),
      std::make_exception_ptr(std::runtime_error("vector too long")),
      std::make_exception_ptr(42),
  };
  for (const auto& e : errors) gui.ReportException(e);
  ASSERT_EQ(gui.messages.size(), 4u);
  EXPECT_EQ(gui.messages[0].title, "");  // not the catalogue's ErrorTitle
  EXPECT_EQ(gui.messages[0].text, "Could not create shared memory file mapping");
  EXPECT_EQ(gui.messages[0].kind, MessageKind::Error);
  EXPECT_EQ(gui.messages[1].text, "Not enough memory available");
  EXPECT_EQ(gui.messages[1].kind, MessageKind::Stop);
  EXPECT_EQ(gui.messages[2].text, "An unexpected error occurred: vector too long");
  EXPECT_EQ(gui.messages[3].text, "An unexpected error occurred: ");
  for (const auto& m : gui.messages) EXPECT_EQ(m.flags, MessageFlags::Plain);

  // An interface that cannot show anything either swallows the second failure.
  class FailingGui : public FakeGui {
   public:
    std::int32_t ShowMessageBox(const char*, const char*, std::int32_t, std::int32_t) override {
      throw std::bad_alloc();
    }
  } failing;
  for (const auto& e : errors) EXPECT_NO_THROW(failing.ReportException(e));
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
