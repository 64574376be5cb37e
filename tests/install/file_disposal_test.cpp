// Disposal of files that may be in use: fresh names in the temporary folder,
// retries, scheduling in machine scope only, every failure reported, and the
// walk over a tree that keeps what cannot be moved.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "install/file_disposal.h"
#include "install/installation_scope.h"
#include "os/system_error.h"
#include "support/fake_gui.h"
#include "source/xp/path.h"

namespace install {
namespace {

namespace fs = std::filesystem;

// The recorded side of the fake steps (function pointers cannot carry state).
struct Recorder {
  std::vector<std::uint32_t> moveAnswers;  // consumed front first; then `lastAnswer`
  std::uint32_t lastAnswer = 0;
  std::uint32_t scheduleAnswer = 0;
  bool moveForReal = false;  // rename on disk unless the answer is an error
  std::string refuse;        // a file name whose move fails with 32
  std::vector<std::pair<std::string, std::string>> moves;
  std::vector<std::string> scheduled;
  std::vector<std::string> removedDirectories;
};
Recorder* recorder = nullptr;

std::uint32_t FakeProcessId() { return 0x1a2b; }

std::uint32_t FakeMove(const char* from, const char* to) {
  recorder->moves.emplace_back(from, to);
  std::uint32_t answer = recorder->lastAnswer;
  if (!recorder->moveAnswers.empty()) {
    answer = recorder->moveAnswers.front();
    recorder->moveAnswers.erase(recorder->moveAnswers.begin());
  }
  if (!recorder->refuse.empty() && fs::path(from).filename() == recorder->refuse) return 32;
  if (answer == 0 && recorder->moveForReal) {
    if (fs::exists(to)) return kErrorAlreadyExists;
    if (std::rename(from, to) != 0) return 5;
  }
  return answer;
}

std::uint32_t FakeSchedule(const char* path) {
  recorder->scheduled.emplace_back(path);
  return recorder->scheduleAnswer;
}

bool FakeRemoveDirectory(const char* path) {
  recorder->removedDirectories.emplace_back(path);
  std::error_code error;
  return fs::remove(path, error);  // only an empty directory goes
}

constexpr DisposalSteps kFakeSteps{&FakeProcessId, &FakeMove, &FakeSchedule, &FakeRemoveDirectory};

class FileDisposalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recorder = &record_;
    savedScope_ = installationScope;
    os::quietFlag = 0;
  }
  void TearDown() override {
    installationScope = savedScope_;
    recorder = nullptr;
  }

  std::vector<std::string> Reports() const {
    std::vector<std::string> texts;
    for (const auto& message : gui_.messages) texts.push_back(message.text);
    return texts;
  }

  Recorder record_;
  testing_support::FakeGui gui_;
  std::int32_t savedScope_ = ScopeCurrentUser;
};

TEST_F(FileDisposalTest, DisposalNamesAreTheProcessAndASerialInTheTemporaryFolder) {
  EXPECT_EQ(DisposalName("C:\\Temp\\", 0x1a2b, 0x3c4), "C:\\Temp\\vp1a2b-3c4");
  EXPECT_EQ(DisposalName("C:\\Temp", 0, 0), "C:\\Temp\\vp0-0");
  // 260 characters at most: "vp", "-" and two times eight digits leave 241
  // for the folder.
  const std::string folder = std::string(240, 't');
  EXPECT_EQ(DisposalName(folder + "\\", 0xFFFFFFFFu, 0x10000000).value_or("").size(), 260u);
  EXPECT_FALSE(DisposalName(folder + "x\\", 0xFFFFFFFFu, 0x10000000));
}

bool DisposalNamed(const std::string& name) { return name.rfind("C:\\Temp\\vp1a2b-", 0) == 0; }

TEST_F(FileDisposalTest, TakenNamesAreRetriedAndMachineScopeSchedulesTheMovedFile) {
  installationScope = ScopeMachine;
  record_.moveAnswers = {kErrorAlreadyExists, kErrorAlreadyExists, 0};
  DisposeFile("C:\\P\\vaultpost.dll", "C:\\Temp\\", kFakeSteps);
  ASSERT_EQ(record_.moves.size(), 3u);
  EXPECT_TRUE(DisposalNamed(record_.moves[0].second)) << record_.moves[0].second;
  EXPECT_NE(record_.moves[0].second, record_.moves[1].second);
  EXPECT_EQ(record_.moves[2].first, "C:\\P\\vaultpost.dll");
  EXPECT_EQ(record_.scheduled, std::vector<std::string>{record_.moves[2].second});
  EXPECT_TRUE(Reports().empty());

  // In user scope the moved file stays in the temporary folder.
  installationScope = ScopeCurrentUser;
  record_.scheduled.clear();
  DisposeFile("C:\\P\\other.dll", "C:\\Temp\\", kFakeSteps);
  EXPECT_TRUE(record_.scheduled.empty());
  EXPECT_TRUE(Reports().empty());
}

TEST_F(FileDisposalTest, EveryFailureIsReportedAndLeavesTheFile) {
  installationScope = ScopeMachine;
  // A thousand taken names, each one distinct however fast they come (a fast
  // disk uses every attempt within one tick of the clock): reported like any
  // other failure.
  record_.lastAnswer = kErrorAlreadyExists;
  DisposeFile("C:\\P\\a.dll", "C:\\Temp\\", kFakeSteps);
  EXPECT_EQ(record_.moves.size(), kDisposalAttempts);
  std::set<std::string> names;
  for (const auto& move : record_.moves) names.insert(move.second);
  EXPECT_EQ(names.size(), kDisposalAttempts);
  EXPECT_EQ(Reports(), std::vector<std::string>{"Could not delete 'C:\\P\\a.dll'.  Reason: 183"});
  EXPECT_TRUE(record_.scheduled.empty());

  // Any other error ends at once.
  gui_.messages.clear();
  record_.moves.clear();
  record_.lastAnswer = 32;
  DisposeFile("C:\\P\\b.dll", "C:\\Temp\\", kFakeSteps);
  EXPECT_EQ(record_.moves.size(), 1u);
  EXPECT_EQ(Reports(), std::vector<std::string>{"Could not delete 'C:\\P\\b.dll'.  Reason: A sharing violation occurred."});

  // A scheduling failure names the disposal name.
  gui_.messages.clear();
  record_.lastAnswer = 0;
  record_.scheduleAnswer = 87;
  DisposeFile("C:\\P\\c.dll", "C:\\Temp\\", kFakeSteps);
  EXPECT_EQ(Reports(), std::vector<std::string>{"Could not delete '" + record_.moves.back().second + "'.  Reason: 87"});

  // A temporary folder too long for any disposal name: nothing is moved.
  gui_.messages.clear();
  record_.moves.clear();
  DisposeFile("C:\\P\\d.dll", (std::string(255, 't') + "\\").c_str(), kFakeSteps);
  EXPECT_TRUE(record_.moves.empty());
  EXPECT_EQ(Reports(), std::vector<std::string>{"Could not delete 'C:\\P\\d.dll'.  Reason: 206"});
}

TEST_F(FileDisposalTest, TreeWalkMovesWhatItCanAndKeepsTheFoldersOfWhatItCannot) {
  installationScope = ScopeCurrentUser;
  const fs::path base =
      fs::temp_directory_path() / ("vp-disposal-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  fs::remove_all(base);
  const fs::path tree = base / "Orlenta-Reader";
  const fs::path temporary = base / "temp";
  fs::create_directories(tree / "runtime" / "deeper");
  fs::create_directories(tree / "stuck");
  fs::create_directories(temporary);
  for (const fs::path& file : {tree / "vaultpost.dll", tree / "runtime" / "r1.dll", tree / "runtime" / "deeper" / "r2",
                               tree / "stuck" / "locked.dll", tree / "stuck" / "free.txt"}) {
    std::ofstream(file) << file.filename().string();
  }
  record_.moveForReal = true;
  record_.refuse = "locked.dll";
  const std::string temporaryText = temporary.string() + std::string(1, xp::kPathSeparator);
  DisposeDirectoryTree(tree.string().c_str(), temporaryText.c_str(), kFakeSteps);

  // Everything but the locked file went into the temporary folder ...
  std::size_t moved = 0;
  for (const auto& entry : fs::directory_iterator(temporary)) {
    EXPECT_EQ(entry.path().filename().string().rfind("vp", 0), 0u) << entry.path();
    ++moved;
  }
  EXPECT_EQ(moved, 4u);
  // ... the emptied folders are gone, the locked file's folder and the root stay.
  EXPECT_FALSE(fs::exists(tree / "runtime"));
  EXPECT_TRUE(fs::exists(tree / "stuck" / "locked.dll"));
  EXPECT_FALSE(fs::exists(tree / "stuck" / "free.txt"));
  EXPECT_TRUE(fs::exists(tree));
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("locked.dll'.  Reason: A sharing violation occurred."), std::string::npos);
  EXPECT_TRUE(record_.scheduled.empty());

  // A folder that is not there: nothing to do, nothing to report.
  gui_.messages.clear();
  DisposeDirectoryTree((base / "absent").string().c_str(), temporaryText.c_str(), kFakeSteps);
  EXPECT_TRUE(Reports().empty());
  fs::remove_all(base);
}

}  // namespace
}  // namespace install
