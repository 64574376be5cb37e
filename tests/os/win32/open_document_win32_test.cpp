// The open-document flow on the Windows services: part names from a hostile
// document become plain files of the private directory under Windows rules,
// and the wipe leaves nothing behind.

#include <gtest/gtest.h>
#include <windows.h>

#include <io.h>
#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "os/win32/win32_os_interface.h"
#include "support/win32_system.h"
#include "support/fake_gui.h"
#include "tools/encoder/document_encoder.h"

namespace {

using win32test::Entries;
using win32test::ScratchFolder;

// The Windows services with the viewer and the waits recorded instead.
class RecordingWin32Os : public os::Win32OsInterface {
 public:
  explicit RecordingWin32Os(const std::string& base) : Win32OsInterface(base.c_str(), 0) {}
  std::vector<std::string> launched;
  void Wait(std::uint32_t) override {}
  reader::LaunchResult LaunchFile(reader::GuiInterface&, const char* path, bool) override {
    launched.push_back(path);
    return reader::LaunchResult::Started;
  }
};

// The runtime's descriptors above the standard ones: how many are open, and
// how many of them a started program would inherit.
std::pair<int, int> OpenAndInheritable() {
  int open = 0, inheritable = 0;
  for (int fd = 3; fd < 256; ++fd) {
    const intptr_t handle = _get_osfhandle(fd);
    DWORD flags = 0;
    if (handle == -1 || !GetHandleInformation(reinterpret_cast<HANDLE>(handle), &flags)) continue;
    ++open;
    if ((flags & HANDLE_FLAG_INHERIT) != 0) ++inheritable;
  }
  return {open, inheritable};
}

// A document of text parts for "alice" / "secret", and the flow over the
// recording services, ready to be answered rightly.
struct Flow {
  explicit Flow(const std::vector<std::string>& names) {
    encoder::DocumentSpec recipe;
    recipe.userName = "alice";
    recipe.password = "secret";
    for (const std::string& name : names) {
      const std::string text = "content of " + name;
      recipe.parts.emplace_back().name = name;
      recipe.parts.back().content.assign(text.begin(), text.end());
    }
    std::string error;
    EXPECT_TRUE(encoder::EncodeDocumentToFile(recipe, document, &error)) << error;
    gui.credentials.push_back({"alice", "secret"});
  }
  bool Run() { return gui.RunOpenDocument(document.c_str()); }
  ScratchFolder scratch;
  const std::string document = scratch.path() + "doc.emc";
  RecordingWin32Os services{scratch.path()};
  testing_support::FakeGui gui;
};

}  // namespace

// The viewer inherits neither the document nor a part file.
TEST(Win32OpenDocument, HostilePartNamesStayInsideTheDirectoryAndAreWiped) {
  Flow f({"main.txt", "CON", "nul.txt", "a:b.txt", "trail. . ", "Report.TXT", "report.txt", "..\\..\\evil.txt",
          "sub/evil.txt", "COM1.log"});
  std::set<std::string> during;
  std::string directory;
  std::pair<int, int> descriptors;
  f.gui.onWaitNotice = [&] {
    ASSERT_EQ(f.services.launched.size(), 1u);
    directory = f.services.launched[0].substr(0, f.services.launched[0].rfind('\\') + 1);
    during = Entries(directory);
    descriptors = OpenAndInheritable();
  };
  ASSERT_TRUE(f.Run());

  ASSERT_EQ(f.services.launched.size(), 1u);
  EXPECT_EQ(f.services.launched[0], directory + "main.txt");
  EXPECT_EQ(directory.rfind(f.scratch.path() + "vptemp\\", 0), 0u) << directory;
  EXPECT_EQ(during, (std::set<std::string>{"main.txt", "_CON", "_nul.txt", "a_b.txt", "trail", "Report.TXT",
                                           "report (2).txt", ".._.._evil.txt", "sub_evil.txt", "_COM1.log"}));
  EXPECT_EQ(Entries(f.scratch.path()), (std::set<std::string>{"doc.emc", "vptemp"}));  // nothing climbed out
  EXPECT_FALSE(win32test::Exists(directory));  // every part and the directory are gone
  EXPECT_TRUE(Entries(f.scratch.path() + "vptemp\\").empty());
  EXPECT_TRUE(f.gui.messages.empty());
  EXPECT_GE(descriptors.first, 10);  // the document and the parts (a ".txt" part stays open)
  EXPECT_EQ(descriptors.second, 0);
}

TEST(Win32OpenDocument, OverwrittenBeforeDeletionWhenAsked) {
  Flow f({"main.txt"});
  std::unique_ptr<win32test::HeldFile> watcher;
  f.gui.onWaitNotice = [&] {
    // Open alongside the reader, sharing deletion, to read what is left after the wipe.
    watcher = std::make_unique<win32test::HeldFile>(f.services.launched.at(0),
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  };
  // The runtime's copy of the environment is what the reader looks at; it
  // cannot hold an empty value ("NAME=" removes the variable).
  _putenv("VAULTPOST_WIPE_FILES=1");
  ASSERT_TRUE(f.Run());
  _putenv("VAULTPOST_WIPE_FILES=");
  ASSERT_TRUE(watcher != nullptr && watcher->held());
  EXPECT_EQ(watcher->Content(), std::string(std::string("content of main.txt").size(), '\xBE'));
  watcher.reset();
  EXPECT_FALSE(win32test::Exists(f.services.launched[0]));
}

// A link planted at the temporary root ("vptemp", made from outside Wine):
// refused, never followed, and the user is told why nothing opens.
TEST(Win32OpenDocument, ALinkAtTheTemporaryRootIsRefusedAndNamed) {
  Flow f({"main.txt"});
  const std::string elsewhere = f.scratch.path() + "elsewhere\\";
  ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
  if (!win32test::MakeUnixLink(elsewhere, f.scratch.path() + "vptemp")) GTEST_SKIP() << "no Unix links here";
  ASSERT_TRUE(f.Run());
  EXPECT_TRUE(f.services.launched.empty());
  EXPECT_TRUE(Entries(elsewhere).empty());
  ASSERT_EQ(f.gui.messages.size(), 1u);
  EXPECT_EQ(f.gui.messages[0].text, "Cannot write files to disk\n\nThe folder for decoded files, '" +
                                        f.scratch.path() +
                                        "vptemp', is a link to another place, and nothing is written through it. "
                                        "Remove the link and open the document again.");
}
