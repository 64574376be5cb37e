// The accepted-extensions list itself, the same on every platform; the
// stores behind it are tested per platform (posix/, win32/).

#include "os/accepted_extensions.h"

#include <gtest/gtest.h>

#include <string>

using namespace os;

TEST(AcceptedExtensionList, MatchesLowerCasedWithTerminator) {
  EXPECT_TRUE(ListHoldsExtension("*.bin;*.dat", ".bin"));
  EXPECT_TRUE(ListHoldsExtension("*.bin;*.dat", ".DAT"));
  EXPECT_FALSE(ListHoldsExtension("*.ab", ".b"));
  EXPECT_FALSE(ListHoldsExtension("*.binx", ".bin"));
  EXPECT_FALSE(ListHoldsExtension("", ".bin"));
  EXPECT_FALSE(ListHoldsExtension("*.bin", ""));

  std::string list;
  ASSERT_TRUE(AppendExtension(list, ".bin"));
  ASSERT_TRUE(AppendExtension(list, ".DAT"));
  EXPECT_EQ(list, "*.bin;*.dat");
}

TEST(AcceptedExtensionList, NeverGrowsPastItsLimit) {
  std::string list;
  while (AppendExtension(list, ".abcdefgh", 100)) {
  }
  EXPECT_LE(list.size() + 1, 100u);
  const std::string before = list;
  EXPECT_FALSE(AppendExtension(list, ".abcdefgh", 100));
  EXPECT_EQ(list, before);
}

TEST(AcceptedExtensionList, ExecutableAndMalformedTypesAreNotStorable) {
  for (const char* ext : {".exe", ".EXE", ".bat", ".cmd", ".js", ".vbs", ".ps1", ".lnk", ".sh", ".desktop",
                          ".AppImage", ".jar", ".hta", ".msi", ".scr", ".chm", ".iso", ".VHDX",
                          ".settingcontent-ms", ".appref-ms", ".library-ms", ".xll", ".MHTML", ".sct",
                          ".msix", ".appinstaller", ".jnlp"}) {
    EXPECT_TRUE(IsExecutableExtension(ext)) << ext;
    EXPECT_FALSE(IsStorableExtension(ext)) << ext;
  }
  for (const char* ext : {".b;in", ".*", "bin", ".", "", ".a\nb"}) EXPECT_FALSE(IsStorableExtension(ext)) << ext;
  EXPECT_TRUE(IsStorableExtension(".bin"));
  EXPECT_TRUE(IsStorableExtension(".tar.gz"));
}
