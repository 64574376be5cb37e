// What installation writes, as data: the bounded composition of names, the
// file-type, icon-handler and uninstall-entry tables with their exact texts,
// the places Explorer remembers documents in, the installer's sentences, and
// the architecture check.

#include <gtest/gtest.h>

#include <string>

#include "install/architecture.h"
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

TEST(RegistryLayoutTest, FileTypesOpenWithTheModuleAndShowItsFirstIcon) {
  const std::vector<ClassValue> values = FileTypeValues(kModule);
  ASSERT_EQ(values.size(), 6u);
  const struct {
    const char* key;
    std::string data;
    bool required;
  } expected[] = {
      {"emcClass", "Orlenta Encrypted Document", true},
      {"emcClass\\shell\\open\\command",
       "rundll32.exe \"C:\\Program Files\\Orlenta-Reader\\vaultpost.dll\",OpenDocument %1", true},
      {"emcClass\\DefaultIcon", "C:\\Program Files\\Orlenta-Reader\\vaultpost.dll,0", true},
      {".emc", "emcClass", true},
      {".emd", "emcClass", false},
      {".oed", "emcClass", false},
  };
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(values[i].key, expected[i].key);
    EXPECT_EQ(values[i].data, expected[i].data) << expected[i].key;
    EXPECT_EQ(values[i].required, expected[i].required) << expected[i].key;
  }

  const std::vector<HandlerValue> handler = IconHandlerValues(kModule);
  ASSERT_EQ(handler.size(), 5u);
  const std::string clsid = "CLSID\\{5b0f2a4e-9c37-4d81-a6e2-3f7c19d0b845}";
  const HandlerValue expectedHandler[] = {
      {clsid, "", "Orlenta Encrypted Document"},
      {clsid + "\\InProcServer32", "", kModule},
      {clsid + "\\InProcServer32", "ThreadingModel", "Apartment"},
      {"emcClass\\shellex\\IconHandler", "", "{5b0f2a4e-9c37-4d81-a6e2-3f7c19d0b845}"},
      {"emcClass\\DefaultIcon", "", "%1"},
  };
  for (std::size_t i = 0; i < handler.size(); ++i) {
    EXPECT_EQ(handler[i].key, expectedHandler[i].key);
    EXPECT_EQ(handler[i].name, expectedHandler[i].name);
    EXPECT_EQ(handler[i].data, expectedHandler[i].data);
  }
}

TEST(RegistryLayoutTest, UninstallEntryFollowsScopeRightsAndSize) {
  EXPECT_EQ(UninstallEntryKey(),
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5b0f2a4e-9c37-4d81-a6e2-3f7c19d0b845}");
  // Machine scope by an administrator, with a module of 0x1'0000'5C00 bytes:
  // the size's low 32 bits in KiB.
  std::vector<UninstallValue> values = UninstallEntryValues(kModule, 1, true, 0x100005C00ull);
  ASSERT_EQ(values.size(), 9u);
  const struct {
    const char* name;
    bool isNumber;
    std::string text;
    std::uint32_t number;
    bool required;
  } expected[] = {
      {"UninstallString", false,
       "rundll32.exe \"C:\\Program Files\\Orlenta-Reader\\vaultpost.dll\",UninstallDll --local-machine", 0, true},
      {"DisplayName", false, "Orlenta Reader (" + kArch + ")", 0, true},
      {"URLInfoAbout", false, "https://www.orlenta.example/", 0, false},
      {"Publisher", false, "Orlenta", 0, false},
      {"DisplayVersion", false, "2.27-3", 0, false},
      {"DisplayIcon", false, "C:\\Program Files\\Orlenta-Reader\\vaultpost.dll,1", 0, false},
      {"NoModify", true, "", 1, false},
      {"NoRepair", true, "", 1, false},
      {"EstimatedSize", true, "", 0x17, false},
  };
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_STREQ(values[i].name, expected[i].name);
    EXPECT_EQ(values[i].isNumber, expected[i].isNumber) << expected[i].name;
    EXPECT_EQ(values[i].text, expected[i].text) << expected[i].name;
    EXPECT_EQ(values[i].number, expected[i].number) << expected[i].name;
    EXPECT_EQ(values[i].required, expected[i].required) << expected[i].name;
  }
  // User scope: the display name says so (two blanks), while the command
  // still follows the installing user's rights.
  values = UninstallEntryValues(kModule, 2, true, std::nullopt);
  ASSERT_EQ(values.size(), 8u);  // no size known: no EstimatedSize
  EXPECT_EQ(values[0].text,
            "rundll32.exe \"C:\\Program Files\\Orlenta-Reader\\vaultpost.dll\",UninstallDll --local-machine");
  EXPECT_EQ(values[1].text, "Orlenta Reader - Current user install  (" + kArch + ")");
  values = UninstallEntryValues(kModule, 2, false, std::uint64_t{1023});
  EXPECT_EQ(values[0].text, "rundll32.exe \"C:\\Program Files\\Orlenta-Reader\\vaultpost.dll\",UninstallDll");
  EXPECT_EQ(values.back().number, 0u);
}

TEST(RegistryLayoutTest, ExplorerHistoryCoversFivePlacesForEachExtension) {
  const std::vector<HistoryKey> keys = ExplorerHistoryKeys();
  ASSERT_EQ(keys.size(), 15u);
  EXPECT_EQ(keys[0].key, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.emc");
  EXPECT_EQ(keys[2].key, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.oed");
  EXPECT_EQ(keys[4].key, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\.emd");
  EXPECT_EQ(keys[8].key,
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSavePidlMRU\\.oed");
  EXPECT_EQ(keys[9].key, "Software\\Microsoft\\Windows\\Roaming\\OpenWith\\FileExts\\.emc");
  for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(keys[i].root, HistoryRoot::CurrentUser);
  EXPECT_EQ(keys[14].root, HistoryRoot::Users);
  EXPECT_EQ(keys[14].key, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.oed");
}

TEST(RegistryLayoutTest, ArchitectureCheckComparesTheMachineWithTheModule) {
  // The i686 module on 64-bit Windows is foreign; each module on its own
  // architecture is at home.
  EXPECT_TRUE(IsForeignArchitecture(ArchitectureAmd64, ArchitectureIntel));
  EXPECT_FALSE(IsForeignArchitecture(ArchitectureIntel, ArchitectureIntel));
  EXPECT_FALSE(IsForeignArchitecture(ArchitectureAmd64, ArchitectureAmd64));
  EXPECT_TRUE(IsForeignArchitecture(ArchitectureArm64, ArchitectureAmd64));
#if defined(__x86_64__)
  EXPECT_EQ(ModuleArchitecture(), ArchitectureAmd64);
#elif defined(__i386__)
  EXPECT_EQ(ModuleArchitecture(), ArchitectureIntel);
#endif
}

}  // namespace
}  // namespace install
