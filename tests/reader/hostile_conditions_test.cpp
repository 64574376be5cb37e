// The open-document flow when the machine is short of something or the
// attempt ends unusually: nothing of the document may stay on disk.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "codec/vp_codec_base.h"
#include "reader/file_decode_writer.h"
#include "reader/flow_testing.h"

using readertest::Flow;
using readertest::RecordingOs;
using readertest::SimpleSpec;
using readertest::TempFolder;
using readertest::TextPart;
using readertest::WriteDocument;
using testing_support::FakeGui;

namespace {

// Lowers the soft limit of open descriptors for the life of the object.
class SoftDescriptorLimit {
 public:
  explicit SoftDescriptorLimit(rlim_t soft) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  }
  ~SoftDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

}  // namespace

// Every part but a ".pdf" one keeps its descriptor until the wipe, so a
// document of more parts than the common soft limit needs it raised.
TEST(HostileConditions, ThreeThousandPartsOpenUnderASoftLimitOf1024) {
  encoder::DocumentSpec recipe = SimpleSpec();
  recipe.parts.clear();
  for (int i = 0; i < 3000; ++i) recipe.parts.push_back(TextPart("part" + std::to_string(i) + ".txt", "x"));
  Flow f;
  const std::string doc = WriteDocument(f.folder, recipe);
  const SoftDescriptorLimit limit(1024);
  f.gui.credentials.push_back({"alice", "secret"});
  EXPECT_TRUE(f.gui.RunOpenDocument(doc.c_str()));
  EXPECT_TRUE(f.gui.messages.empty()) << f.gui.messages.front().text;
  ASSERT_EQ(f.os.launched.size(), 1u);
  EXPECT_EQ(f.gui.positions.back(), 3001);
  EXPECT_EQ(f.folder.LeftInTemporaryRoot(), 0u);

  // Where even the hard limit is 1,024, finished parts give up their streams.
  const auto underHardLimit = [&] {
    rlimit hard{};
    hard.rlim_cur = hard.rlim_max = 1024;
    if (::setrlimit(RLIMIT_NOFILE, &hard) != 0) std::exit(2);
    f.gui.messages.clear();
    f.os.launched.clear();
    f.gui.credentials.push_back({"alice", "secret"});
    f.gui.RunOpenDocument(doc.c_str());
    std::exit(f.gui.messages.empty() && f.os.launched.size() == 1 && f.folder.LeftInTemporaryRoot() == 0 ? 0 : 1);
  };
  EXPECT_EXIT(underHardLimit(), testing::ExitedWithCode(0), "");
}

// A limit call that claims to have raised the limit when the system still
// refuses descriptors must not keep the writer trying for ever: the part
// fails as one that cannot be created (a spinning child is ended by the alarm).
TEST(HostileConditions, ALimitCallThatLiesEndsThePartInsteadOfSpinning) {
  TempFolder folder;
  const auto underALie = [&] {
    ::alarm(20);
    rlimit hard{};
    hard.rlim_cur = hard.rlim_max = 64;
    if (::setrlimit(RLIMIT_NOFILE, &hard) != 0) std::exit(2);
    std::vector<int> taken;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;) taken.push_back(fd);
    codec::FileWriter inner;
    const std::string directory = folder.path() + "/";
    reader::FileDecodeWriter writer(inner, directory.c_str(), /*keepOpen=*/true);
    writer.SetStreamLimitRaiser([] { return 4096L; });
    std::uint8_t block[256] = {};
    codec::VPCodecBase::EncodedHeader103 header;
    header.Attach(block, sizeof block);
    writer.BeginDocument(codec::DocumentHeader(), 1);
    const bool begun = writer.BeginPart("part.txt", header);
    for (const int fd : taken) ::close(fd);
    std::exit(begun ? 1 : 0);
  };
  EXPECT_EXIT(underALie(), testing::ExitedWithCode(0), "");
}

// Out of memory while the viewer is launched or while the notice waits: the
// exception reaches the flow's own handler, and the decrypted parts go first.
TEST(HostileConditions, AnExceptionAfterTheDecodingStillWipes) {
  for (const bool inLaunch : {false, true}) {
    SCOPED_TRACE(inLaunch ? "in the launch" : "at the notice");
    Flow f;
    (inLaunch ? f.os.onLaunch : f.gui.onWaitNotice) = [] { throw std::bad_alloc(); };
    EXPECT_TRUE(f.OpenRightly());
    EXPECT_EQ(f.os.launched.size(), inLaunch ? 0u : 1u);
    ASSERT_EQ(f.gui.messages.size(), 1u);
    EXPECT_EQ(f.gui.messages[0].text, "Not enough memory available");
    EXPECT_EQ(f.folder.LeftInTemporaryRoot(), 0u);
    EXPECT_FALSE(f.gui.State().IsOpen());
    EXPECT_EQ(f.gui.calls.back(), "hideOpening");
  }
}

// The document chooses the iterations: a long derivation shows that it works,
// and the window goes again when the key is wrong.
TEST(HostileConditions, ALongKeyDerivationShowsThatItIsWorking) {
  encoder::DocumentSpec recipe = SimpleSpec();
  recipe.iterationThousands = 40;
  Flow f;
  const std::string doc = WriteDocument(f.folder, recipe);
  f.gui.State().keyProgressAfterMs = 0;  // at once, instead of after about a second
  f.gui.credentials.push_back({"alice", "wrong"});
  f.gui.credentials.push_back({"alice", "secret"});
  EXPECT_TRUE(f.gui.RunOpenDocument(doc.c_str()));
  const std::string opening = "opening:Orlenta Reader|Opening your document.\n\nPlease wait...";
  ASSERT_GE(f.gui.calls.size(), 6u);
  EXPECT_EQ(f.gui.calls[1], opening);  // while the first attempt derives its key
  EXPECT_EQ(f.gui.calls[2], "forgetPassword");
  EXPECT_EQ(f.gui.calls[3], "hideOpening");
  EXPECT_EQ(f.gui.calls[4], "restorePrompt");
  EXPECT_EQ(f.gui.calls[5], opening);  // the second attempt's derivation
  ASSERT_EQ(f.gui.messages.size(), 1u);
  // The bar ran over 0..100 during each derivation, then over the parts.
  EXPECT_TRUE(std::any_of(f.gui.positions.begin(), f.gui.positions.end(), [](int p) { return p > 50 && p < 100; }));
  EXPECT_EQ(f.gui.range, 3);
  EXPECT_EQ(f.folder.LeftInTemporaryRoot(), 0u);
}

// A part file that cannot be created (a directory stands at its name) stops
// the attempt, and the parts written before it go.
TEST(HostileConditions, APartFileThatCannotBeCreatedStopsTheAttemptCleanly) {
  struct PlantingOs : RecordingOs {
    using RecordingOs::RecordingOs;
    const char* TemporaryDirectory() override {
      const char* dir = RecordingOs::TemporaryDirectory();
      if (dir != nullptr) std::filesystem::create_directories(std::string(dir) + "attachment.csv/inside");
      return dir;
    }
  };
  TempFolder folder;
  PlantingOs os{folder.path()};
  FakeGui gui;
  const std::string doc = WriteDocument(folder, SimpleSpec());
  gui.credentials.push_back({"alice", "secret"});
  EXPECT_TRUE(gui.RunOpenDocument(doc.c_str()));
  ASSERT_EQ(gui.messages.size(), 1u);
  EXPECT_EQ(gui.messages[0].text, "Cannot write files to disk");
  EXPECT_TRUE(os.launched.empty());
  EXPECT_EQ(folder.LeftInTemporaryRoot(), 0u);
}
