// The part files of one decoding attempt. Names, .pdf parts and many parts are
// covered end to end by the command tests.

#include "reader/decoder_file_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "codec/vp_codec_base.h"
#include "reader/reader_testing.h"
#include "support/fake_gui.h"

namespace fs = std::filesystem;
using testing_support::FakeGui;

namespace {

// A Linux OsInterface over a private temporary base whose RemoveFile can be
// told to refuse a path a number of times.
class TestOs : public os::PosixOsInterface {
 public:
  explicit TestOs(const std::string& base) : PosixOsInterface(base) {}
  std::string stuckPath;
  int stuckPasses = 0;
  int stuckError = EBUSY;     // the errno a refused removal leaves
  bool keepDirectory = false;  // the directory removal fails too
  std::vector<std::string> removals;
  bool RemoveFile(const char* path) override {
    removals.push_back(path);
    if (path == stuckPath && stuckPasses != 0) {
      if (stuckPasses > 0) --stuckPasses;
      errno = stuckError;
      return false;
    }
    return PosixOsInterface::RemoveFile(path);
  }
  bool RemoveDirectoryTree(const char* path) override {
    return !keepDirectory && PosixOsInterface::RemoveDirectoryTree(path);
  }
};

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override { ::unsetenv("VAULTPOST_WIPE_FILES"); }
  void TearDown() override { ::unsetenv("VAULTPOST_WIPE_FILES"); }
  // Writes one part through the writer.
  static bool Part(reader::DecoderFileWriter& w, const char* name, const std::string& content, bool end = true) {
    std::uint8_t block[256] = {};
    codec::VPCodecBase::EncodedHeader103 header;
    header.Attach(block, sizeof block);
    if (!w.BeginPart(name, header)) return false;
    if (!content.empty() && !w.Write(content.data(), static_cast<std::uint32_t>(content.size()))) return false;
    return !end || w.EndPart();
  }
  // A writer over `dir` that has written "x" to each of a.txt, b.txt and c.txt.
  std::unique_ptr<reader::DecoderFileWriter> ThreeParts(const std::string& dir) {
    auto w = std::make_unique<reader::DecoderFileWriter>(gui_, inner_, dir.c_str(), gui_.State(), false);
    w->SetPause([this](std::uint32_t ms) { pauses_.push_back(ms); });
    EXPECT_TRUE(w->BeginDocument(header_, 3));
    for (const char* n : {"a.txt", "b.txt", "c.txt"}) EXPECT_TRUE(Part(*w, n, "x"));
    return w;
  }

  readertest::TempFolder folder_;
  std::unique_ptr<TestOs> os_ = std::make_unique<TestOs>(folder_.path());
  std::string dir_ = os_->TemporaryDirectory();
  std::vector<std::uint32_t> pauses_;  // the wipe's pauses between passes, recorded instead of slept
  FakeGui gui_;
  codec::FileWriter inner_;
  codec::DocumentHeader header_;
};

}  // namespace

TEST_F(WriterTest, ProgressRunsOverPartsPlusOne) {
  const auto w = ThreeParts(dir_);
  ASSERT_TRUE(w->EndDocument());
  EXPECT_EQ(gui_.range, 4);
  EXPECT_EQ(gui_.positions, (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
  // The prompt is hidden and the progress window shown once, before the first part.
  EXPECT_EQ(gui_.calls.at(0), "hidePrompt");
  EXPECT_EQ(gui_.calls.at(1), "opening:Orlenta Reader|Opening your document.\n\nPlease wait...");
  EXPECT_EQ(gui_.calls.size(), 2u);
  EXPECT_TRUE(w->OpeningShown());
  w->WipeFiles();

  // An unstated part count (0xFFFFFFFF) gives the range 0..0; no prompt, nothing hidden.
  FakeGui other;
  const std::string dir2 = os_->TemporaryDirectory();
  reader::DecoderFileWriter w2(other, inner_, dir2.c_str(), other.State(), true);
  ASSERT_TRUE(w2.BeginDocument(header_, 0xFFFFFFFFu));
  EXPECT_EQ(other.range, 0);
  ASSERT_TRUE(Part(w2, "a.txt", "x"));
  EXPECT_EQ(other.calls.at(0).rfind("opening:", 0), 0u);
}

TEST_F(WriterTest, WipeOverwritesWithBEWhenAskedAndOnlyDeletesOtherwise) {
  for (bool overwrite : {true, false}) {
    if (overwrite) ::setenv("VAULTPOST_WIPE_FILES", "", 1);
    const std::string dir = os_->TemporaryDirectory();
    reader::DecoderFileWriter w(gui_, inner_, dir.c_str(), gui_.State(), false);
    EXPECT_EQ(w.OverwriteOnWipe(), overwrite);
    ASSERT_TRUE(w.BeginDocument(header_, 2));
    const std::string content(5000, 'S');
    ASSERT_TRUE(Part(w, "secret.txt", content));
    ASSERT_TRUE(Part(w, "doc.pdf", "PDFDATA"));
    // Someone keeps the first part open across the wipe.
    const int fd = ::open(w.PartPath(0), O_RDONLY);
    ASSERT_GE(fd, 0);
    w.WipeFiles();
    EXPECT_FALSE(fs::exists(dir));
    std::string seen(6000, '\0');
    const ssize_t n = ::pread(fd, seen.data(), seen.size(), 0);
    ::close(fd);
    ASSERT_EQ(n, 5000);
    seen.resize(5000);
    EXPECT_EQ(seen, overwrite ? std::string(5000, '\xBE') : content);
    ::unsetenv("VAULTPOST_WIPE_FILES");
  }
}

TEST_F(WriterTest, FailureInsideSecondPartStillWipesBoth) {
  reader::DecoderFileWriter w(gui_, inner_, dir_.c_str(), gui_.State(), false);
  ASSERT_TRUE(w.BeginDocument(header_, 3));
  ASSERT_TRUE(Part(w, "one.txt", "first"));
  ASSERT_TRUE(Part(w, "two.txt", "half", /*end=*/false));
  ASSERT_EQ(w.PartCount(), 2u);
  w.WipeFiles();
  EXPECT_FALSE(fs::exists(dir_));
}

TEST_F(WriterTest, LockedPartIsRetriedUntilItGoes) {
  const auto w = ThreeParts(dir_);
  os_->stuckPath = w->PartPath(1);
  os_->stuckPasses = 3;
  EXPECT_TRUE(w->WipeFiles());
  // First pass a, b, c; then b alone until it goes.
  std::vector<std::string> names;
  for (const auto& r : os_->removals) names.push_back(fs::path(r).filename());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "b.txt", "b.txt", "b.txt"}));
  EXPECT_EQ(pauses_, (std::vector<std::uint32_t>{5000, 5000, 5000}));
  EXPECT_FALSE(fs::exists(dir_));
  EXPECT_TRUE(gui_.messages.empty());
}

// On Linux only a busy file is worth waiting for, and not forever: a part
// that stays is named to the user once, and the wipe ends.
TEST_F(WriterTest, APartThatCannotBeRemovedIsReportedAndTheWipeEnds) {
  const struct {
    int error;
    std::size_t tries;  // removals of the stuck part: the passes and the check after the directory
    const char* reason;
  } cases[] = {
      {EROFS, 2, "The operating system denied access to the specified file."},
      {EBUSY, 6, "A sharing violation occurred."},
      {EIO, 2, "5"},  // unmapped: its number, never a Windows sentence
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    const std::string dir = os_->TemporaryDirectory();
    const auto w = ThreeParts(dir);
    const std::string stuck = w->PartPath(1);
    os_->stuckPath = stuck;
    os_->stuckPasses = -1;  // for ever
    os_->stuckError = c.error;
    os_->keepDirectory = true;
    os_->removals.clear();
    gui_.messages.clear();
    pauses_.clear();
    EXPECT_FALSE(w->WipeFiles());
    EXPECT_EQ(pauses_, std::vector<std::uint32_t>(c.tries - 2, 5000));  // between passes only
    EXPECT_EQ(std::count(os_->removals.begin(), os_->removals.end(), stuck), static_cast<long>(c.tries));
    EXPECT_FALSE(fs::exists(w->PartPath(0)));
    EXPECT_TRUE(fs::exists(stuck));
    EXPECT_FALSE(fs::exists(w->PartPath(2)));  // the last part is not skipped
    ASSERT_EQ(gui_.messages.size(), 1u);
    EXPECT_EQ(gui_.messages[0].text, "Could not delete '" + stuck + "'.  Reason: " + c.reason);
    EXPECT_EQ(gui_.messages[0].kind, 0);
    os_->keepDirectory = false;  // the writer's own end may wipe again
    os_->stuckPasses = 0;
  }
}


// A small document can inflate to gigabytes: a part stops before free space
// falls below the reserve (64 MiB, or a tenth of a small filesystem).
TEST_F(WriterTest, APartStopsBeforeTheDiskFillsUp) {
  reader::DecoderFileWriter w(gui_, inner_, dir_.c_str(), gui_.State(), false);
  std::uint64_t free = 100u << 20;
  w.SetSpaceProbe([&](const char*, std::uint64_t& available, std::uint64_t& total) {
    available = free;
    total = 1u << 30;
    return true;
  });
  ASSERT_TRUE(w.BeginDocument(header_, 2));
  const std::string mib(1u << 20, 'x');
  ASSERT_TRUE(Part(w, "fits.txt", mib));  // 100 MiB free: fine
  ASSERT_TRUE(w.BeginPart("big.txt", *std::make_unique<codec::VPCodecBase::EncodedHeader103>()));
  int written = 0;
  while (w.Write(mib.data(), static_cast<std::uint32_t>(mib.size()))) {
    free -= mib.size();  // as the disk would see it
    if (++written > 100) break;
  }
  EXPECT_EQ(written, 35);  // stopped while the reserve and the MiB written before the next look still fit
  EXPECT_GE(free, 64u << 20);
  EXPECT_TRUE(w.StoppedForSpace());
  EXPECT_TRUE(w.WipeFiles());
  EXPECT_FALSE(fs::exists(dir_));
}

TEST_F(WriterTest, BeforeExitOnePassThenTheDirectoryAndTheFlowMayWipeAgain) {
  EXPECT_EQ(reader::DecoderFileWriter::Active(), nullptr);
  {
    reader::DecoderFileWriter w(gui_, inner_, dir_.c_str(), gui_.State(), false);
    EXPECT_EQ(reader::DecoderFileWriter::Active(), &w);
    w.SetPause([this](std::uint32_t ms) { pauses_.push_back(ms); });
    ASSERT_TRUE(w.BeginDocument(header_, 2));
    for (const char* n : {"a.txt", "b.txt"}) ASSERT_TRUE(Part(w, n, "secret"));
    const std::string a = w.PartPath(0);
    const std::string b = w.PartPath(1);
    os_->stuckPath = b;
    os_->stuckPasses = 1;
    w.WipeFilesBeforeExit();  // one pass, no wait: the refused part goes with the directory
    EXPECT_EQ(os_->removals.size(), 2u);
    EXPECT_TRUE(pauses_.empty());
    EXPECT_FALSE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_FALSE(fs::exists(dir_));
    // The flow's own wipe afterwards finds nothing left and does not hang.
    w.WipeFiles();
    EXPECT_EQ(os_->removals.size(), 4u);
  }
  EXPECT_EQ(reader::DecoderFileWriter::Active(), nullptr);
}
