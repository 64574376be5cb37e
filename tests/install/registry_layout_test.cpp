// What installation writes, as data: bounded names, the cases of the
// uninstall entry the scenarios cannot reach, the architecture check.

#include <gtest/gtest.h>

#include <string>

#include "install/architecture.h"
#include "install/installation_scope.h"
#include "install/registry_layout.h"

namespace install {
namespace {

const char* const kModule = "C:\\Program Files\\Orlenta-Reader\\vaultpost.dll";
const std::string kArch = sizeof(void*) == 8 ? "64-bit" : "32-bit";

TEST(RegistryLayoutTest, ComposedNamesAreRefusedRatherThanCut) {
  EXPECT_EQ(FormatBounded("rundll32.exe \"%s\",OpenDocument %%1", {"C:\\v.dll"}, 100),
            "rundll32.exe \"C:\\v.dll\",OpenDocument %1");
  EXPECT_EQ(FormatBounded("%s\\%s", {"a"}, 10), "a\\");  // a missing argument is empty
  EXPECT_EQ(FormatBounded("100%", {}, 10), "100%");      // a lone percent stays
  // The key-path bound: 511 characters fit, 512 do not.
  const std::string prefix = "SOFTWARE\\";
  const std::string fits(kMaxKeyPath - prefix.size(), 'k');
  EXPECT_EQ(FormatBounded("SOFTWARE\\%s", {fits}, kMaxKeyPath).value_or("").size(), kMaxKeyPath);
  EXPECT_FALSE(FormatBounded("SOFTWARE\\%s", {fits + "k"}, kMaxKeyPath));

  EXPECT_EQ(JoinPath("C:\\Temp\\", "vp1a"), "C:\\Temp\\vp1a");  // no doubled separator
  EXPECT_EQ(JoinPath("C:\\src", "vaultpost.dll"), "C:\\src\\vaultpost.dll");
  EXPECT_FALSE(JoinPath("", "x"));
  EXPECT_FALSE(JoinPath("C:\\src", ""));
  const std::string directory = "C:\\" + std::string(kMaxFilePath - 5, 'd');
  EXPECT_EQ(JoinPath(directory, "x").value_or("").size(), kMaxFilePath);
  EXPECT_FALSE(JoinPath(directory, "xy"));
}

// The shell replaces %1 (%2, %*, ...) in the open command: a "%" in the
// module's path is doubled there. Icon locations are file names to the shell,
// so they name the module as it is.
TEST(RegistryLayoutTest, APercentSignInTheModulesPathIsNotTakenForTheDocument) {
  const std::vector<ClassValue> values = FileTypeValues("C:\\100%1 sure %\\vaultpost.dll");
  ASSERT_GE(values.size(), 3u);
  EXPECT_EQ(values[1].data, "rundll32.exe \"C:\\100%%1 sure %%\\vaultpost.dll\",OpenDocument %1");
  EXPECT_EQ(values[2].data, "C:\\100%1 sure %\\vaultpost.dll,0");
}

// What the scenarios cannot reach: an unknown size, a size beyond 32 bits.
// The uninstall command names the installation's scope, whoever made it: a
// per-user installation by an administrator is not removed as the machine's.
TEST(RegistryLayoutTest, UninstallEntryFollowsScopeAndSize) {
  std::vector<UninstallValue> values = UninstallEntryValues(kModule, 1, 0x100005C00ull);
  ASSERT_EQ(values.size(), 9u);
  EXPECT_EQ(values[0].text, "rundll32.exe \"C:\\Program Files\\Orlenta-Reader\\vaultpost.dll\",UninstallDll --local-machine");
  EXPECT_STREQ(values.back().name, "EstimatedSize");
  EXPECT_EQ(values.back().number, 0x17u);  // the low 32 bits, in KiB
  values = UninstallEntryValues(kModule, 2, std::nullopt);
  ASSERT_EQ(values.size(), 8u);  // no size known: no EstimatedSize
  EXPECT_EQ(values[0].text, "rundll32.exe \"C:\\Program Files\\Orlenta-Reader\\vaultpost.dll\",UninstallDll");
  EXPECT_EQ(values[1].text, "Orlenta Reader - Current user install  (" + kArch + ")");
}

// An installer names the scope its user chose; only the two exact words count.
TEST(RegistryLayoutTest, RequestedScopeTakesOnlyTheTwoExactWords) {
  EXPECT_EQ(RequestedScope("machine"), ScopeMachine);
  EXPECT_EQ(RequestedScope("user"), ScopeCurrentUser);
  for (const char* other : {"", "Machine", "user ", "1", "everyone"}) EXPECT_FALSE(RequestedScope(other)) << other;
  EXPECT_FALSE(RequestedScope(nullptr));
}

TEST(RegistryLayoutTest, ArchitectureCheckComparesTheMachineWithTheModule) {
  EXPECT_TRUE(IsForeignArchitecture(ArchitectureAmd64, ArchitectureIntel));
  EXPECT_FALSE(IsForeignArchitecture(ArchitectureIntel, ArchitectureIntel));
  EXPECT_FALSE(IsForeignArchitecture(ArchitectureAmd64, ArchitectureAmd64));
  EXPECT_TRUE(IsForeignArchitecture(ArchitectureArm64, ArchitectureAmd64));
}

}  // namespace
}  // namespace install
