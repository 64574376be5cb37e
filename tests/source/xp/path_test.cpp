#include "source/xp/path.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace xp {
namespace {

using Cases = std::vector<std::pair<std::string, std::string>>;

TEST(NormalisePath, WindowsForms) {
  const Cases cases = {
      {"C:/x/./y//z", "C:/x\\y\\z"},  // the prefix keeps its own separator
      {"a\\b\\..\\c", "a\\c"},
      {"a\\b\\..\\..\\c", "a\\..\\c"},  // a relative path keeps a ".." it cannot fold
      {"\\..\\a", "\\a"},               // the first ".." of an absolute path goes
      {"\\a\\..\\..\\b", "\\..\\b"},    // later ones only fold into a name
      {"C:\\a\\b\\..\\..\\c", "C:\\a\\..\\c"},  // a written component stays
      {"\\\\server\\share\\..\\x", "\\\\server\\x"},
      {"..\\..\\a", "..\\..\\a"},
      {"a/b\\c", "a\\b\\c"},
      {".", "."},
      {"", "."},
      {"./.", "."},
      {"a\\..", "."},
      {"\\", "\\"},
      {"C:\\", "C:\\"},
      {"C:", "C:"},  // no separator after the drive: a plain name
      {"1:\\a", "1:\\a"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(NormalisePath(in, PathStyle::kWindows), out) << in;
}

TEST(NormalisePath, PosixForms) {
  const Cases cases = {
      {"/tmp//x/./y/", "/tmp/x/y"},
      {"a/b/../c", "a/c"},
      {"a/b/../../c", "a/../c"},
      {"/../a", "/a"},
      {"a\\..", "a\\.."},  // "\" is part of a POSIX name
      {"C:/x", "C:/x"},
      {"//x", "/x"},
      {"", "."},
      {".", "."},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(NormalisePath(in, PathStyle::kPosix), out) << in;
}

TEST(Path, NormalisesOnConstructionAndAssignment) {
  Path path("a//b/./c");
  const std::string expected = std::string("a") + kPathSeparator + "b" + kPathSeparator + "c";
  EXPECT_EQ(path.str(), expected);
  EXPECT_EQ(path.length(), expected.size());
  path = "";
  EXPECT_STREQ(path.text(), ".");
  EXPECT_EQ(path.length(), 1u);
  EXPECT_STREQ(Path().text(), ".");
}

}  // namespace
}  // namespace xp
