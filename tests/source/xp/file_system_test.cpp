#include "source/xp/file_system.h"

#ifdef _WIN32
#include <stdio.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

#include "security/kat_file.h"
#include "source/xp/directory_enumerator.h"
#include "source/xp/path.h"

namespace xp {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

// A fresh directory under the system's temporary folder, removed afterwards.
struct Scratch {
  Scratch() {
    std::random_device random;
    do {
      root = fs::temp_directory_path() / ("xp_fs_" + std::to_string(random()));
    } while (!fs::create_directory(root));
  }
  ~Scratch() { std::error_code ignored; fs::remove_all(root, ignored); }
  fs::path file(const fs::path& relative) const {
    fs::create_directories((root / relative).parent_path());
    std::ofstream(root / relative) << "x";
    return root / relative;
  }
  fs::path root;
};

Names Listed(const fs::path& directory, unsigned flags, const char* pattern = "*") {
  Names names;
  for (auto e = Enumerate(Path(directory.string()), flags, pattern); !e.atEnd(); e.advance())
    names.insert(std::string(e.name()) + (e.isDirectory() ? "/" : ""));
  return names;
}

TEST(NormalisePath, ByStyle) {
  const auto lines = kat::ReadFile("normalise_path.txt", "xp");
  ASSERT_EQ(lines.size(), 26u);
  for (const auto& line : lines) {
    const auto& f = line.fields;
    EXPECT_EQ(NormalisePath(f[1], f[0] == "posix" ? PathStyle::kPosix : PathStyle::kWindows), f[2])
        << "line " << line.number;
  }
  Path path("a//b/./c");  // normalised on construction and assignment
  EXPECT_EQ(path.str(), std::string("a") + kPathSeparator + "b" + kPathSeparator + "c");
  path = "";
  EXPECT_STREQ(path.text(), ".");
  EXPECT_EQ(path.length(), 1u);
}

TEST(WildcardMatch, ModesAndPatterns) {
  const auto text = [](const std::string& field) {
    const kat::Bytes bytes = kat::DecodeField(field);
    return std::string(bytes.begin(), bytes.end());
  };
  const auto lines = kat::ReadFile("wildcard_match.txt", "xp");
  ASSERT_EQ(lines.size(), 14u);
  for (const auto& line : lines) {
    const auto& f = line.fields;
    EXPECT_EQ(WildcardMatch(text(f[0]).c_str(), text(f[1]).c_str(), std::stoi(f[2])), f[3] == "1") << "line " << line.number;
  }
}

TEST(Enumerate, SkipFlagsPatternsDirectoriesAndMissingDirectories) {
  Scratch dir;
  EXPECT_TRUE(Listed(dir.root, 3).empty());  // empty directory, both skip flags
  EXPECT_EQ(Listed(dir.root, kSkipDot), Names{"../"});
  EXPECT_EQ(Listed(dir.root, 0), (Names{"./", "../"}));
  for (const char* name : {"one.txt", "TWO.TXT", "three.dat"}) dir.file(name);
  fs::create_directory(dir.root / "sub.txt");
  EXPECT_EQ(Listed(dir.root, 3, "*.txt"), (Names{"one.txt", "TWO.TXT", "sub.txt/"}));
  EXPECT_EQ(Listed(dir.root, 3).size(), 4u);
  EXPECT_TRUE(Listed(dir.root / "missing", 0).empty());
  DirectoryEnumerator first = Enumerate(Path(dir.root.string()), 3, "*");
  DirectoryEnumerator second = first;  // copies share one position
  const std::string before = first.name();
  second.advance();
  EXPECT_NE(before, first.name());
  while (!second.atEnd()) second.advance();
  DirectoryEnumerator end;
  end = first;
  EXPECT_TRUE(end.atEnd());
}

// Removal steps that fail `failures` times with errno `error`.
struct Scripted {
  static inline int failures, error, attempts, pauses;
  static constexpr FileRemoval kSteps{[](const char*, int* out) { return *out = error, ++attempts > failures; },
                                      [] { ++pauses; }};
};

TEST(RemoveFileWithRetry, RetriesOnlyWhileInUse) {
  const struct { int failures, error, result, attempts; } cases[] = {
      {3, EACCES, 0, 4},          // in use three times, then removed
      {99, EACCES, EACCES, 10},   // gives up after ten attempts
      {99, 0, EIO, 10},           // a failure without errno is never reported as success
      {99, EPERM, EPERM, 1},      // other errors return at once
      {99, ENOENT, 0, 1},         // already gone counts as removed
  };
  for (const auto& c : cases) {
    Scripted::failures = c.failures;
    Scripted::error = c.error;
    Scripted::attempts = Scripted::pauses = 0;
    EXPECT_EQ(RemoveFileWithRetry("f", Scripted::kSteps), c.result) << c.error;
    EXPECT_EQ(Scripted::attempts, c.attempts) << c.error;
    EXPECT_EQ(Scripted::pauses, c.attempts - 1) << c.error;
  }
  Scratch dir;
  const fs::path file = dir.file("doomed");
  EXPECT_EQ(RemoveFileWithRetry(file.string().c_str()), 0);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(RemoveFileWithRetry(file.string().c_str()), 0);  // a missing file counts as removed
}

TEST(RemoveDirectory, RemovesEmptyDirectoriesAndWholeTreesButFollowsNoLinks) {
  Scratch dir;
  const fs::path outside = dir.file("outside/precious").parent_path();
  const fs::path tree = dir.root / "tree";
  dir.file("tree/b/d/e");
  fs::create_directories(tree / "empty");
#ifdef _WIN32
  // Links need a privilege on Windows that a test may not hold: without
  // them the tree is removed all the same.
  std::error_code noLinks;
  fs::create_directory_symlink(outside, tree / "link-to-dir", noLinks);
  if (!noLinks) fs::create_symlink(outside / "precious", tree / "link-to-file", noLinks);
#else
  fs::create_directory_symlink(outside, tree / "link-to-dir");
  fs::create_symlink(outside / "precious", tree / "link-to-file");
#endif
  EXPECT_TRUE(IsDirectory(tree.string().c_str()));
  EXPECT_FALSE(IsDirectory((outside / "precious").string().c_str()));
  EXPECT_FALSE(RemoveDirectory(tree.string().c_str()));  // not empty
  EXPECT_TRUE(RemoveDirectory((tree / "empty").string().c_str()));
  EXPECT_FALSE(RemoveDirectory((tree / "empty").string().c_str()));
  EXPECT_TRUE(RemoveDirectoryTree(Path(tree.string())));
  EXPECT_FALSE(IsDirectory(tree.string().c_str()));
  EXPECT_TRUE(fs::exists(outside / "precious"));
  EXPECT_FALSE(RemoveDirectoryTree(Path(tree.string())));  // missing
}

TEST(RemoveDirectoryTree, KeepsAStuckEntryAndItsParentsAndRemovesTheRest) {
  Scratch dir;
  const fs::path tree = dir.root / "tree";
  for (const char* name : {"top", "keep/deeper/locked", "keep/deeper/sibling", "keep/other", "gone/x"})
    dir.file(fs::path("tree") / name);
  // Every file called "locked" fails, like a file another program holds open.
  const TreeRemoval removal{
      [](const char* name) { return fs::path(name).filename() == "locked" ? EBUSY : RemoveFileWithRetry(name); },
      RemoveDirectory};
  EXPECT_FALSE(RemoveDirectoryTree(Path(tree.string()), removal));
  Names left;
  for (const auto& entry : fs::recursive_directory_iterator(tree)) left.insert(fs::relative(entry.path(), tree).generic_string());
  EXPECT_EQ(left, (Names{"keep", "keep/deeper", "keep/deeper/locked"}));
}

#ifdef _WIN32
TEST(FileSystem, OpenStreamLimitIsRaisedWithinTheLimitsAndNeverLowered) {
  const int saved = _getmaxstdio();
  errno = 0;
  EXPECT_EQ(SetMaxOpenStreams(2049), -1);
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(SetMaxOpenStreams(0), -1);  // below the runtime's own minimum
  EXPECT_EQ(SetMaxOpenStreams(2048), 2048);
  EXPECT_EQ(_getmaxstdio(), 2048);
  EXPECT_EQ(SetMaxOpenStreams(100), 100);  // a lower count keeps the higher limit
  EXPECT_EQ(_getmaxstdio(), 2048);
  _setmaxstdio(saved);
}
#else
TEST(FileSystem, OpenStreamLimitIsRaisedWithinTheLimitsAndNeverLowered) {
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int target = saved.rlim_max == RLIM_INFINITY || saved.rlim_max >= 2048 ? 2048 : int(saved.rlim_max);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  const struct { int count, error; } refused[] = {{2049, EPERM}, {0, EINVAL}, {target + 1, EPERM}};
  for (const auto& c : refused) {
    errno = 0;
    EXPECT_EQ(SetMaxOpenStreams(c.count), -1) << c.count;
    EXPECT_EQ(errno, c.error) << c.count;
  }
  EXPECT_EQ(SetMaxOpenStreams(target), target);
  rlimit now{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
  EXPECT_EQ(now.rlim_cur, static_cast<rlim_t>(target));
  EXPECT_EQ(SetMaxOpenStreams(100), 100);  // a lower count keeps the higher limit
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
  EXPECT_EQ(now.rlim_cur, static_cast<rlim_t>(target));
  // Beyond SetMaxOpenStreams' cap only the hard limit counts.
  const long raised = RaiseOpenStreamLimit();
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
  if (now.rlim_max == RLIM_INFINITY || now.rlim_max > static_cast<rlim_t>(target)) {
    EXPECT_GE(raised, 2 * target);
    EXPECT_EQ(now.rlim_cur, static_cast<rlim_t>(raised));
  } else {
    EXPECT_EQ(raised, -1);
  }
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
}

#endif

}  // namespace
}  // namespace xp
