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

std::set<std::string> Entries(const std::string& directory) {
  std::set<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((directory + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.insert(name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return names;
}

encoder::PartSpec Part(const std::string& name, const std::string& text) {
  encoder::PartSpec part;
  part.name = name;
  part.content.assign(text.begin(), text.end());
  return part;
}

std::string DocumentWithParts(const ScratchFolder& scratch, const std::vector<std::string>& names) {
  encoder::DocumentSpec recipe;
  recipe.userName = "alice";
  recipe.password = "secret";
  for (const std::string& name : names) recipe.parts.push_back(Part(name, "content of " + name));
  const std::string path = scratch.path() + "doc.emc";
  std::string error;
  EXPECT_TRUE(encoder::EncodeDocumentToFile(recipe, path, &error)) << error;
  return path;
}

}  // namespace

// The viewer inherits neither the document nor a part file.
TEST(Win32OpenDocument, HostilePartNamesStayInsideTheDirectoryAndAreWiped) {
  ScratchFolder scratch;
  const std::string document = DocumentWithParts(
      scratch, {"main.txt", "CON", "nul.txt", "a:b.txt", "trail. . ", "Report.TXT", "report.txt",
                "..\\..\\evil.txt", "sub/evil.txt", "COM1.log"});
  RecordingWin32Os services(scratch.path());
  testing_support::FakeGui gui;
  gui.credentials.push_back({"alice", "secret"});
  std::set<std::string> during;
  std::string directory;
  std::pair<int, int> descriptors;
  gui.onWaitNotice = [&] {
    ASSERT_EQ(services.launched.size(), 1u);
    directory = services.launched[0].substr(0, services.launched[0].rfind('\\') + 1);
    during = Entries(directory);
    descriptors = OpenAndInheritable();
  };
  ASSERT_TRUE(gui.RunOpenDocument(document.c_str()));

  ASSERT_EQ(services.launched.size(), 1u);
  EXPECT_EQ(services.launched[0], directory + "main.txt");
  EXPECT_EQ(directory.rfind(scratch.path() + "vptemp\\", 0), 0u) << directory;
  EXPECT_EQ(during, (std::set<std::string>{"main.txt", "_CON", "_nul.txt", "a_b.txt", "trail", "Report.TXT",
                                           "report (2).txt", ".._.._evil.txt", "sub_evil.txt", "_COM1.log"}));
  EXPECT_EQ(Entries(scratch.path()), (std::set<std::string>{"doc.emc", "vptemp"}));  // nothing climbed out
  EXPECT_FALSE(win32test::Exists(directory));  // every part and the directory are gone
  EXPECT_TRUE(Entries(scratch.path() + "vptemp\\").empty());
  EXPECT_TRUE(gui.messages.empty());
  EXPECT_GE(descriptors.first, 10);  // the document and the parts (a ".txt" part stays open)
  EXPECT_EQ(descriptors.second, 0);
}

TEST(Win32OpenDocument, OverwrittenBeforeDeletionWhenAsked) {
  ScratchFolder scratch;
  const std::string document = DocumentWithParts(scratch, {"main.txt"});
  RecordingWin32Os services(scratch.path());
  testing_support::FakeGui gui;
  gui.credentials.push_back({"alice", "secret"});
  std::unique_ptr<win32test::HeldFile> watcher;
  gui.onWaitNotice = [&] {
    // Open alongside the reader, sharing deletion, to read what is left after the wipe.
    watcher = std::make_unique<win32test::HeldFile>(services.launched.at(0),
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  };
  // The runtime's copy of the environment is what the reader looks at; it
  // cannot hold an empty value ("NAME=" removes the variable).
  _putenv("VAULTPOST_WIPE_FILES=1");
  ASSERT_TRUE(gui.RunOpenDocument(document.c_str()));
  _putenv("VAULTPOST_WIPE_FILES=");
  ASSERT_TRUE(watcher != nullptr && watcher->held());
  EXPECT_EQ(watcher->Content(), std::string(std::string("content of main.txt").size(), '\xBE'));
  watcher.reset();
  EXPECT_FALSE(win32test::Exists(services.launched[0]));
}

// A link planted at the temporary root ("vptemp", made from outside Wine):
// refused, never followed, and the user is told why nothing opens.
TEST(Win32OpenDocument, ALinkAtTheTemporaryRootIsRefusedAndNamed) {
  ScratchFolder scratch;
  const std::string document = DocumentWithParts(scratch, {"main.txt"});
  const std::string elsewhere = scratch.path() + "elsewhere\\";
  ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
  if (!win32test::MakeUnixLink(elsewhere, scratch.path() + "vptemp")) GTEST_SKIP() << "no Unix links here";
  RecordingWin32Os services(scratch.path());
  testing_support::FakeGui gui;
  gui.credentials.push_back({"alice", "secret"});
  ASSERT_TRUE(gui.RunOpenDocument(document.c_str()));
  EXPECT_TRUE(services.launched.empty());
  EXPECT_TRUE(Entries(elsewhere).empty());
  ASSERT_EQ(gui.messages.size(), 1u);
  EXPECT_EQ(gui.messages[0].text, "Cannot write files to disk\n\nThe folder for decoded files, '" + scratch.path() +
                                      "vptemp', is a link to another place, and nothing is written through it. "
                                      "Remove the link and open the document again.");
}
