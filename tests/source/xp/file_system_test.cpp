#include "source/xp/file_system.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "source/xp/directory_enumerator.h"

namespace xp {
namespace {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary folder, removed afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (fs::temp_directory_path() / "xp_fs_XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  const fs::path& root() const { return root_; }
  fs::path file(const fs::path& relative, const char* content = "x") const {
    const fs::path full = root_ / relative;
    fs::create_directories(full.parent_path());
    std::ofstream(full) << content;
    return full;
  }

 private:
  fs::path root_;
};

std::set<std::string> Names(const fs::path& directory, unsigned flags, const char* pattern) {
  std::set<std::string> names;
  for (auto e = Enumerate(Path(directory.string()), flags, pattern); !e.atEnd(); e.advance()) names.insert(e.name());
  return names;
}

// ---- WildcardMatch ----

TEST(WildcardMatch, ModesAndPatterns) {
  EXPECT_TRUE(WildcardMatch("Report.TXT", "*.txt", 0));
  EXPECT_TRUE(WildcardMatch("Report.TXT", "*.txt", 1));
  EXPECT_FALSE(WildcardMatch("Report.TXT", "*.txt", 2));
  EXPECT_TRUE(WildcardMatch("Report.TXT", "*.TXT", 2));

  EXPECT_TRUE(WildcardMatch("anything", "", 2));
  EXPECT_TRUE(WildcardMatch("", "*", 2));
  EXPECT_TRUE(WildcardMatch("", "**", 0));
  EXPECT_FALSE(WildcardMatch("", "?", 0));
  EXPECT_TRUE(WildcardMatch("abc", "a?c", 0));
  EXPECT_FALSE(WildcardMatch("abc", "a?", 0));
  EXPECT_FALSE(WildcardMatch("ab", "abc", 0));
  // Backtracking: the first "*" must not swallow the last ".txt".
  EXPECT_TRUE(WildcardMatch("a.txt.txt", "*.txt", 0));
  EXPECT_TRUE(WildcardMatch("abcbcd", "a*bcd", 0));
  EXPECT_TRUE(WildcardMatch("mississippi", "m*iss*ppi", 0));
  EXPECT_FALSE(WildcardMatch("mississippi", "m*iss*ppx", 0));
  // Bytes above 127 compare as they are.
  EXPECT_TRUE(WildcardMatch("\xE9t\xE9", "?t\xE9", 0));
}

// ---- Enumerate ----

TEST(Enumerate, EmptyDirectoryWithBothSkipFlagsYieldsNothing) {
  ScratchDirectory dir;
  EXPECT_TRUE(Names(dir.root(), kSkipDot | kSkipDotDot, "*").empty());
  EXPECT_EQ(Names(dir.root(), kSkipDot, "*"), std::set<std::string>{".."});
  EXPECT_EQ(Names(dir.root(), 0, "*"), (std::set<std::string>{".", ".."}));
}

TEST(Enumerate, FiltersEveryEntryByPatternAndReportsDirectories) {
  ScratchDirectory dir;
  dir.file("one.txt");
  dir.file("TWO.TXT");
  dir.file("three.dat");
  fs::create_directory(dir.root() / "sub.txt");
  EXPECT_EQ(Names(dir.root(), 3, "*.txt"), (std::set<std::string>{"one.txt", "TWO.TXT", "sub.txt"}));
  EXPECT_EQ(Names(dir.root(), 3, "*").size(), 4u);
  EXPECT_TRUE(Names(dir.root(), 3, "*.none").empty());

  for (auto e = Enumerate(Path(dir.root().string()), 3, "*"); !e.atEnd(); e.advance()) {
    EXPECT_EQ(e.isDirectory(), std::string(e.name()) == "sub.txt") << e.name();
  }
}

TEST(Enumerate, CopiesShareOnePosition) {
  ScratchDirectory dir;
  dir.file("a");
  dir.file("b");
  DirectoryEnumerator first = Enumerate(Path(dir.root().string()), 3, "*");
  ASSERT_FALSE(first.atEnd());
  DirectoryEnumerator second = first;
  const std::string before = first.name();
  second.advance();
  ASSERT_FALSE(first.atEnd());
  EXPECT_NE(before, first.name());
  first.advance();
  EXPECT_TRUE(second.atEnd());
  DirectoryEnumerator end;
  end = second;
  EXPECT_TRUE(end.atEnd());
}

TEST(Enumerate, MissingDirectoryIsAtTheEnd) {
  ScratchDirectory dir;
  EXPECT_TRUE(Enumerate(Path((dir.root() / "missing").string()), 0, "*").atEnd());
  EXPECT_TRUE(DirectoryEnumerator().atEnd());
}

// ---- IsDirectory, RemoveDirectory ----

TEST(FileSystem, IsDirectoryAndRemoveDirectory) {
  ScratchDirectory dir;
  const fs::path file = dir.file("f");
  fs::create_directory(dir.root() / "d");
  EXPECT_TRUE(IsDirectory(dir.root().c_str()));
  EXPECT_FALSE(IsDirectory(file.c_str()));
  EXPECT_FALSE(IsDirectory((dir.root() / "missing").c_str()));

  EXPECT_TRUE(RemoveDirectory((dir.root() / "d").c_str()));
  EXPECT_FALSE(RemoveDirectory((dir.root() / "d").c_str()));
  EXPECT_FALSE(RemoveDirectory(dir.root().c_str()));  // not empty
  EXPECT_TRUE(fs::exists(dir.root()));
}

// ---- RemoveFileWithRetry ----

struct ScriptedRemoval {
  static inline int failures = 0;     // attempts that fail before one succeeds (-1: all)
  static inline int error = 0;        // errno of a failing attempt
  static inline int attempts = 0;
  static inline int pauses = 0;

  static void Reset(int failuresBeforeSuccess, int errorValue) {
    failures = failuresBeforeSuccess;
    error = errorValue;
    attempts = 0;
    pauses = 0;
  }
  static bool Remove(const char*, int* out) {
    ++attempts;
    if (failures < 0 || attempts <= failures) {
      *out = error;
      return false;
    }
    return true;
  }
  static void Pause() { ++pauses; }
  static constexpr FileRemoval kSteps{Remove, Pause};
};

TEST(RemoveFileWithRetry, RetriesWhileInUse) {
  ScriptedRemoval::Reset(3, EACCES);
  EXPECT_EQ(RemoveFileWithRetry("f", ScriptedRemoval::kSteps), 0);
  EXPECT_EQ(ScriptedRemoval::attempts, 4);
  EXPECT_EQ(ScriptedRemoval::pauses, 3);

  ScriptedRemoval::Reset(-1, EACCES);
  EXPECT_EQ(RemoveFileWithRetry("f", ScriptedRemoval::kSteps), EACCES);
  EXPECT_EQ(ScriptedRemoval::attempts, 10);
  EXPECT_EQ(ScriptedRemoval::pauses, 9);
}

TEST(RemoveFileWithRetry, OtherErrorsReturnAtOnce) {
  ScriptedRemoval::Reset(-1, EPERM);
  EXPECT_EQ(RemoveFileWithRetry("f", ScriptedRemoval::kSteps), EPERM);
  EXPECT_EQ(ScriptedRemoval::attempts, 1);
  EXPECT_EQ(ScriptedRemoval::pauses, 0);
}

TEST(RemoveFileWithRetry, FileAlreadyGoneCountsAsRemoved) {
  ScriptedRemoval::Reset(-1, ENOENT);
  EXPECT_EQ(RemoveFileWithRetry("f", ScriptedRemoval::kSteps), 0);
  EXPECT_EQ(ScriptedRemoval::attempts, 1);

  ScratchDirectory dir;
  EXPECT_EQ(RemoveFileWithRetry((dir.root() / "never-there").c_str()), 0);
}

TEST(RemoveFileWithRetry, FailureWithoutErrnoIsNeverReportedAsSuccess) {
  ScriptedRemoval::Reset(-1, 0);
  EXPECT_EQ(RemoveFileWithRetry("f", ScriptedRemoval::kSteps), EIO);
  EXPECT_EQ(ScriptedRemoval::attempts, 10);
}

TEST(RemoveFileWithRetry, RemovesARealFile) {
  ScratchDirectory dir;
  const fs::path file = dir.file("doomed");
  EXPECT_EQ(RemoveFileWithRetry(file.c_str()), 0);
  EXPECT_FALSE(fs::exists(file));
}

// ---- RemoveDirectoryTree ----

TEST(RemoveDirectoryTree, RemovesEverything) {
  ScratchDirectory dir;
  const fs::path tree = dir.root() / "tree";
  dir.file("tree/a");
  dir.file("tree/b/c");
  dir.file("tree/b/d/e");
  fs::create_directories(tree / "empty");
  EXPECT_TRUE(RemoveDirectoryTree(Path(tree.string())));
  EXPECT_FALSE(fs::exists(tree));
}

// Fails for every file called "locked", like a file another program holds open.
int RemoveUnlessLocked(const char* name) {
  if (fs::path(name).filename() == "locked") return EBUSY;
  return RemoveFileWithRetry(name);
}
bool RemoveDirectoryForReal(const char* path) { return RemoveDirectory(path); }

TEST(RemoveDirectoryTree, KeepsAStuckEntryAndItsParentsAndRemovesTheRest) {
  ScratchDirectory dir;
  const fs::path tree = dir.root() / "tree";
  dir.file("tree/top");
  dir.file("tree/keep/deeper/locked");
  dir.file("tree/keep/deeper/sibling");
  dir.file("tree/keep/other");
  dir.file("tree/gone/x");
  EXPECT_FALSE(RemoveDirectoryTree(Path(tree.string()), TreeRemoval{RemoveUnlessLocked, RemoveDirectoryForReal}));

  EXPECT_TRUE(fs::exists(tree / "keep" / "deeper" / "locked"));
  std::set<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(tree)) left.insert(fs::relative(entry.path(), tree).string());
  EXPECT_EQ(left, (std::set<std::string>{"keep", "keep/deeper", "keep/deeper/locked"}));
}

TEST(RemoveDirectoryTree, RemovesLinksWithoutFollowingThem) {
  ScratchDirectory dir;
  const fs::path outside = dir.file("outside/precious").parent_path();
  const fs::path tree = dir.root() / "tree";
  fs::create_directories(tree);
  fs::create_directory_symlink(outside, tree / "link-to-dir");
  fs::create_symlink(outside / "precious", tree / "link-to-file");
  EXPECT_TRUE(RemoveDirectoryTree(Path(tree.string())));
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_TRUE(fs::exists(outside / "precious"));
}

TEST(RemoveDirectoryTree, MissingDirectoryFails) {
  ScratchDirectory dir;
  EXPECT_FALSE(RemoveDirectoryTree(Path((dir.root() / "missing").string())));
}

// ---- CurrentUserSid, SetMaxOpenStreams ----

TEST(FileSystem, CurrentUserSidIsTheEffectiveUser) {
  const auto sid = CurrentUserSid();
  ASSERT_TRUE(sid.has_value());
  const uid_t user = ::geteuid();
  EXPECT_EQ(*sid, SecurityIdentifier(&user, sizeof user));
}

TEST(FileSystem, SetMaxOpenStreamsWithinTheLimits) {
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);

  errno = 0;
  EXPECT_EQ(SetMaxOpenStreams(2049), -1);
  EXPECT_EQ(errno, EPERM);
  errno = 0;
  EXPECT_EQ(SetMaxOpenStreams(0), -1);
  EXPECT_EQ(errno, EINVAL);

  const int target = saved.rlim_max == RLIM_INFINITY || saved.rlim_max >= 2048 ? 2048 : static_cast<int>(saved.rlim_max);
  EXPECT_EQ(SetMaxOpenStreams(target), target);
  rlimit now{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
  EXPECT_EQ(now.rlim_cur, static_cast<rlim_t>(target));
  if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < 2048) {
    errno = 0;
    EXPECT_EQ(SetMaxOpenStreams(static_cast<int>(saved.rlim_max) + 1), -1);
    EXPECT_EQ(errno, EPERM);
  }
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
}

}  // namespace
}  // namespace xp
