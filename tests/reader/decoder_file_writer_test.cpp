// The part files of one decoding attempt: progress steps, the wipe with and
// without overwriting, and retries. Names, .pdf parts and many parts are
// covered end to end by the command tests.

#include "reader/decoder_file_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "codec/vp_codec_base.h"
#include "os/posix/posix_os_interface.h"
#include "reader/fake_gui.h"

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
  std::vector<std::string> removals;
  bool RemoveFile(const char* path) override {
    removals.push_back(path);
    if (path == stuckPath && stuckPasses > 0) {
      --stuckPasses;
      return false;
    }
    return PosixOsInterface::RemoveFile(path);
  }
};

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vp-writer-XXXXXX";
    base_ = ::mkdtemp(tmpl);
    os_ = std::make_unique<TestOs>(base_);
    dir_ = os_->TemporaryDirectory();
    ::unsetenv("VAULTPOST_WIPE_FILES");
  }
  void TearDown() override {
    ::unsetenv("VAULTPOST_WIPE_FILES");
    fs::remove_all(base_);
  }
  // Writes one part through the writer.
  static bool Part(reader::DecoderFileWriter& w, const char* name, const std::string& content, bool end = true) {
    std::uint8_t block[256] = {};
    codec::VPCodecBase::EncodedHeader103 header;
    header.Attach(block, sizeof block);
    if (!w.BeginPart(name, header)) return false;
    if (!content.empty() && !w.Write(content.data(), static_cast<std::uint32_t>(content.size()))) return false;
    return !end || w.EndPart();
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string base_;
  std::string dir_;
  std::unique_ptr<TestOs> os_;
  FakeGui gui_;
  codec::FileWriter inner_;
  codec::DocumentHeader header_;
};

}  // namespace

TEST_F(WriterTest, ProgressRunsOverPartsPlusOne) {
  reader::DecoderFileWriter w(gui_, inner_, dir_.c_str(), gui_.State(), false);
  ASSERT_TRUE(w.BeginDocument(header_, 3));
  for (const char* n : {"a.txt", "b.txt", "c.txt"}) ASSERT_TRUE(Part(w, n, "x"));
  ASSERT_TRUE(w.EndDocument());
  EXPECT_EQ(gui_.range, 4);
  EXPECT_EQ(gui_.positions, (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
  // The prompt is hidden and the progress window shown once, before the first part.
  EXPECT_EQ(gui_.calls.at(0), "hidePrompt");
  EXPECT_EQ(gui_.calls.at(1), "opening:Orlenta Reader|Opening your document.\n\nPlease wait...");
  EXPECT_EQ(gui_.calls.size(), 2u);
  EXPECT_TRUE(w.OpeningShown());
  w.WipeFiles();

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
  reader::DecoderFileWriter w(gui_, inner_, dir_.c_str(), gui_.State(), false);
  w.SetRetryDelay(1);
  ASSERT_TRUE(w.BeginDocument(header_, 3));
  for (const char* n : {"a.txt", "b.txt", "c.txt"}) ASSERT_TRUE(Part(w, n, "x"));
  os_->stuckPath = w.PartPath(1);
  os_->stuckPasses = 3;
  w.WipeFiles();
  // First pass a, b, c; then b alone until it goes.
  std::vector<std::string> names;
  for (const auto& r : os_->removals) names.push_back(fs::path(r).filename());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "b.txt", "b.txt", "b.txt"}));
  EXPECT_FALSE(fs::exists(dir_));
}


TEST_F(WriterTest, BeforeExitOnePassThenTheDirectoryAndTheFlowMayWipeAgain) {
  EXPECT_EQ(reader::DecoderFileWriter::Active(), nullptr);
  {
    reader::DecoderFileWriter w(gui_, inner_, dir_.c_str(), gui_.State(), false);
    EXPECT_EQ(reader::DecoderFileWriter::Active(), &w);
    w.SetRetryDelay(60000);  // a second pass would hang the test
    ASSERT_TRUE(w.BeginDocument(header_, 2));
    for (const char* n : {"a.txt", "b.txt"}) ASSERT_TRUE(Part(w, n, "secret"));
    const std::string a = w.PartPath(0);
    const std::string b = w.PartPath(1);
    os_->stuckPath = b;
    os_->stuckPasses = 1;
    w.WipeFilesBeforeExit();  // one pass, no wait: the refused part goes with the directory
    EXPECT_EQ(os_->removals.size(), 2u);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_FALSE(fs::exists(dir_));
    // The flow's own wipe afterwards finds nothing left and does not hang.
    w.WipeFiles();
    EXPECT_EQ(os_->removals.size(), 4u);
  }
  EXPECT_EQ(reader::DecoderFileWriter::Active(), nullptr);
}
