// The open-document flow on recording interfaces.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "codec/document_header.h"
#include "reader/flow_testing.h"
#include "source/xp/xp_exception.h"

using readertest::Flow;
using readertest::SimpleSpec;
using readertest::WriteDocument;
using testing_support::FakeGui;
using H = codec::DocumentHeader;
using C = reader::MessageCatalogue;

namespace {

// The texts themselves are the catalogue test's; here, which one is shown.
const std::string kCantDecode = C::DefaultText(C::CantDecodeFile);
const std::string kWaitNotice = std::string("wait:Orlenta Reader|") + C::DefaultText(C::OkToDelete);

bool ShowedTheNotice(const Flow& f) {
  return std::any_of(f.gui.calls.begin(), f.gui.calls.end(), [](const std::string& c) { return c.rfind("wait:", 0) == 0; });
}

}  // namespace

TEST(OpenDocumentFlow, ViewsMainPartThenWipesEverything) {
  Flow f;
  std::size_t marked = 0;
  f.os.onLaunch = [&] { marked = f.os.origins.size(); };
  EXPECT_TRUE(f.OpenRightly());
  ASSERT_EQ(f.os.launched.size(), 1u);
  EXPECT_EQ(f.os.launchedContent[0], "the main part\n");
  // Both parts carry the document's mark of origin before the first is shown.
  EXPECT_EQ(marked, 2u);
  EXPECT_EQ(f.os.origins[0], f.folder.path() + "/doc.emc > " + f.os.launched[0]);
  // The password is let go as soon as the key is derived, before anything is written.
  EXPECT_EQ(f.gui.calls, (std::vector<std::string>{"prompt(user)", "forgetPassword", "hidePrompt",
                                                    "opening:Orlenta Reader|Opening your document.\n\nPlease wait...",
                                                    kWaitNotice, "hideOpening"}));
  EXPECT_TRUE(f.gui.messages.empty());
  EXPECT_EQ(f.folder.LeftInTemporaryRoot(), 0u);
  EXPECT_FALSE(f.gui.State().IsOpen());
}

TEST(OpenDocumentFlow, WrongPasswordsWaitLongerEachTimeUpToFifteenSeconds) {
  Flow f;
  const std::string doc = WriteDocument(f.folder, SimpleSpec());
  for (int i = 0; i < 7; ++i) f.gui.credentials.push_back({"alice", "wrong"});
  f.gui.credentials.push_back({"alice", "secret"});
  EXPECT_TRUE(f.gui.RunOpenDocument(doc.c_str()));
  EXPECT_EQ(f.os.waits, (std::vector<std::uint32_t>{0, 3000, 6000, 9000, 12000, 15000, 15000}));
  ASSERT_EQ(f.gui.messages.size(), 7u);
  for (const auto& m : f.gui.messages) {
    EXPECT_EQ(m.text, kCantDecode);
    EXPECT_EQ(m.kind, 0);
  }
  EXPECT_EQ(f.os.launched.size(), 1u);
  EXPECT_EQ(f.folder.LeftInTemporaryRoot(), 0u);

  // The next document starts again at no delay; the user name is case-sensitive.
  f.os.waits.clear();
  f.gui.credentials.push_back({"Alice", "secret"});
  EXPECT_TRUE(f.gui.RunOpenDocument(doc.c_str()));
  EXPECT_EQ(f.os.waits, (std::vector<std::uint32_t>{0}));
}

TEST(OpenDocumentFlow, CancelledPromptDecodesNothing) {
  Flow f;
  const std::string doc = WriteDocument(f.folder, SimpleSpec());
  EXPECT_TRUE(f.gui.RunOpenDocument(doc.c_str()));
  EXPECT_EQ(f.gui.calls, (std::vector<std::string>{"prompt(user)"}));
  EXPECT_TRUE(f.os.launched.empty());
  EXPECT_EQ(f.folder.LeftInTemporaryRoot(), 0u);
}

// The progress window's Cancel during the key derivation, during the
// decoding and while the viewer starts: each closes the prompt, wipes what
// was written and shows nothing more.
TEST(OpenDocumentFlow, CancelInTheProgressWindowStopsWipesAndShowsNothing) {
  struct Case {
    const char* when;
    std::function<bool(Flow&)> cancel;
    std::size_t launches;
  };
  const Case cases[] = {
      {"key derivation", [](Flow& f) { return !f.gui.positions.empty() && f.gui.range == 100; }, 0},
      {"decoding", [](Flow& f) { return f.gui.positions.size() >= 2 && f.gui.range == 3; }, 0},
      {"viewer", [](Flow& f) { return !f.os.launched.empty(); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.when);
    Flow f;
    f.gui.State().keyProgressAfterMs = 0;
    auto recipe = SimpleSpec();
    recipe.iterationThousands = 20;  // long enough to report progress
    f.gui.cancel = [&] { return c.cancel(f); };
    f.gui.credentials.push_back({"alice", "secret"});
    EXPECT_TRUE(f.gui.RunOpenDocument(WriteDocument(f.folder, recipe).c_str()));
    EXPECT_EQ(f.gui.prompts, 1);
    EXPECT_EQ(f.os.launched.size(), c.launches);
    EXPECT_FALSE(ShowedTheNotice(f));
    EXPECT_TRUE(f.gui.messages.empty());
    EXPECT_EQ(f.gui.calls.back(), "hideOpening");
    EXPECT_EQ(f.folder.LeftInTemporaryRoot(), 0u);
  }
}

TEST(OpenDocumentFlow, FlagsSteerPromptAndNotice) {
  {  // No credentials: decoded at once with empty user and password; no notice.
    Flow f;
    auto recipe = SimpleSpec();
    recipe.userName.clear();
    recipe.password.clear();
    recipe.flags = H::FlagNoCredentials | H::FlagNoWaitNotice;
    EXPECT_TRUE(f.gui.RunOpenDocument(WriteDocument(f.folder, recipe).c_str()));
    EXPECT_EQ(f.gui.prompts, 0);
    EXPECT_EQ(f.os.launched.size(), 1u);
    EXPECT_FALSE(ShowedTheNotice(f));
    EXPECT_EQ(f.folder.LeftInTemporaryRoot(), 0u);
  }
  {  // Password only: one field, and the user name typed is ignored.
    Flow f;
    auto recipe = SimpleSpec();
    recipe.userName.clear();
    recipe.flags = H::FlagPasswordOnly;
    f.gui.credentials.push_back({"ignored", "secret"});
    EXPECT_TRUE(f.gui.RunOpenDocument(WriteDocument(f.folder, recipe).c_str()));
    EXPECT_EQ(f.gui.calls.at(0), "prompt(password)");
    EXPECT_EQ(f.os.launched.size(), 1u);
  }
  {  // No credentials and a failure: reported once, never retried.
    Flow f;
    auto recipe = SimpleSpec();
    recipe.userName = "someone";  // the reader decodes with an empty user name
    recipe.flags = H::FlagNoCredentials;
    EXPECT_TRUE(f.gui.RunOpenDocument(WriteDocument(f.folder, recipe).c_str()));
    ASSERT_EQ(f.gui.messages.size(), 1u);
    EXPECT_EQ(f.gui.messages[0].text, kCantDecode);
    EXPECT_TRUE(f.os.waits.empty());
  }
}

TEST(OpenDocumentFlow, DeclinedUnknownTypeStillShowsTheNoticeAndWipes) {
  Flow f;
  ::setenv("XDG_CONFIG_HOME", (f.folder.path() + "/config").c_str(), 1);
  auto recipe = SimpleSpec();
  recipe.parts[0].name = "data.unknowntype";
  f.gui.confirmAnswer = false;
  EXPECT_TRUE(f.OpenRightly(recipe));
  EXPECT_EQ(f.gui.confirmedExtensions, (std::vector<std::string>{".unknowntype"}));
  EXPECT_TRUE(f.os.launched.empty());
  EXPECT_NE(std::find(f.gui.calls.begin(), f.gui.calls.end(), kWaitNotice), f.gui.calls.end());
  EXPECT_EQ(f.folder.LeftInTemporaryRoot(), 0u);
  ::unsetenv("XDG_CONFIG_HOME");
}

TEST(OpenDocumentFlow, FailuresShowTheirCatalogueTextOrTheDocumentsOwn) {
  struct Case {
    const char* what;
    std::function<void(encoder::DocumentSpec&)> change;
    std::string text;
  };
  const Case cases[] = {
      {"corrupt digest", [](auto& s) { s.parts[1].corruptDigest = true; }, C::DefaultText(C::FileCorrupt)},
      {"expired", [](auto& s) { s.parts[1].expiry = 1000; }, C::DefaultText(C::Expired)},
      {"own expired text",
       [](auto& s) {
         s.parts[1].expiry = 1000;
         s.tags.push_back({"Expired", {'G', 'o', 'n', 'e', '\n', '!'}, false});
       },
       "Gone\n!"},
      {"unknown cipher", [](auto& s) { s.cipherId = 9; }, C::DefaultText(C::NotSupported)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Flow f;
    auto recipe = SimpleSpec();
    c.change(recipe);
    EXPECT_TRUE(f.OpenRightly(recipe));
    ASSERT_EQ(f.gui.messages.size(), 1u);
    EXPECT_EQ(f.gui.messages[0].text, c.text);
    EXPECT_EQ(f.gui.messages[0].title, "Orlenta Reader");
    EXPECT_EQ(f.gui.messages[0].kind, reader::MessageKind::Stop);  // the command's exit status follows it
    EXPECT_TRUE(f.os.launched.empty());
    EXPECT_EQ(f.folder.LeftInTemporaryRoot(), 0u);
    // The document's texts are gone with the document.
    EXPECT_STREQ(f.gui.Catalogue().TextForError(codec::DecodeResult::Expired), C::DefaultText(C::Expired));
  }
}

TEST(OpenDocumentFlow, UnreadableOrInvalidFilesAreReportedAndLeaveNothingOpen) {
  Flow f;
  EXPECT_TRUE(f.gui.RunOpenDocument(""));
  ASSERT_EQ(f.gui.messages.size(), 1u);
  EXPECT_EQ(f.gui.messages[0].text, "An unexpected error occurred: No such file or directory");

  const std::string junk = f.folder.path() + "/junk.emc";
  std::FILE* out = std::fopen(junk.c_str(), "wb");
  std::fputs("this is not a container at all", out);
  std::fclose(out);
  EXPECT_TRUE(f.gui.RunOpenDocument(junk.c_str()));
  ASSERT_EQ(f.gui.messages.size(), 2u);
  EXPECT_EQ(f.gui.messages[1].text, C::DefaultText(C::CantOpenFile));
  EXPECT_EQ(f.gui.prompts, 0);

  // A newer version carries its own text for the refusal.
  auto recipe = SimpleSpec();
  recipe.version = 260;
  recipe.tags.push_back({"IncorrectVersion", {'N', 'e', 'w', 'e', 'r'}, false});
  EXPECT_TRUE(f.gui.RunOpenDocument(WriteDocument(f.folder, recipe).c_str()));
  ASSERT_EQ(f.gui.messages.size(), 3u);
  EXPECT_EQ(f.gui.messages[2].text, "Newer");
  EXPECT_FALSE(f.gui.State().IsOpen());
  // Nothing is open, so a new run is accepted; a run without a path does nothing.
  EXPECT_TRUE(f.gui.RunOpenDocument(nullptr));
  EXPECT_EQ(f.gui.messages.size(), 3u);
}

TEST(OpenDocumentFlow, DocumentWithoutPartsSkipsLaunchAndNotice) {
  Flow f;
  auto recipe = SimpleSpec();
  recipe.parts.clear();
  recipe.partCountField = 0;
  recipe.endMarker = true;
  EXPECT_TRUE(f.OpenRightly(recipe));
  EXPECT_TRUE(f.os.launched.empty());
  EXPECT_FALSE(ShowedTheNotice(f));
  EXPECT_TRUE(f.gui.messages.empty());
  EXPECT_EQ(f.folder.LeftInTemporaryRoot(), 0u);
}

// The opening catches the support library's exception and running out of
// memory, each by its own handler; how each is shown is GuiInterface's test.
TEST(OpenDocumentFlow, ExceptionsLeavingTheOpeningAreShownAndCloseTheState) {
  struct ThrowingGui : FakeGui {
    bool outOfMemory = false;
    int PromptForCredentials(bool) override {
      if (outOfMemory) throw std::bad_alloc();
      throw xp::XPException("Could not create shared memory file mapping", 5);
    }
  };
  Flow f;
  const std::string doc = WriteDocument(f.folder, SimpleSpec());
  ThrowingGui gui;
  for (const bool outOfMemory : {false, true}) {
    gui.outOfMemory = outOfMemory;
    EXPECT_TRUE(gui.RunOpenDocument(doc.c_str()));
    ASSERT_EQ(gui.messages.size(), outOfMemory ? 2u : 1u);
    EXPECT_EQ(gui.messages.back().text,
              outOfMemory ? "Not enough memory available" : "Could not create shared memory file mapping");
    EXPECT_FALSE(gui.State().IsOpen());
  }
}

TEST(OpenDocumentFlow, OpeningWhileADocumentIsOpenTouchesNothing) {
  Flow f;
  const std::string doc = WriteDocument(f.folder, SimpleSpec());
  bool nestedResult = true;
  f.gui.onWaitNotice = [&] { nestedResult = f.gui.OpenDocumentPath(doc.c_str()); };
  f.gui.credentials.push_back({"alice", "secret"});
  EXPECT_TRUE(f.gui.RunOpenDocument(doc.c_str()));
  EXPECT_FALSE(nestedResult);
  EXPECT_EQ(f.os.launched.size(), 1u);
}
