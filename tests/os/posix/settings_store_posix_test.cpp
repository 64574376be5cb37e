// The Linux settings file behind the accepted-extensions store.

#include "os/accepted_extensions.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <string>

#include "os/settings_store.h"

namespace fs = std::filesystem;
using namespace os;

namespace {

// Points $XDG_CONFIG_HOME at a fresh directory for one test.
class ConfigHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vp-settings-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(dir_);
  }
  std::string Stored() {
    std::string list;
    auto store = OpenUserSettings();
    if (!store->ReadValue("AcceptedExtensions", list, 1 << 20)) return "<absent>";
    return list;
  }
  std::string dir_;
};

}  // namespace

TEST_F(ConfigHome, EmptyStoreThenAdditions) {
  EXPECT_FALSE(IsAcceptedExtension(".bin"));
  AddAcceptedExtension(".BIN");
  EXPECT_EQ(Stored(), "*.bin");
  EXPECT_TRUE(IsAcceptedExtension(".Bin"));
  AddAcceptedExtension(".dat");
  EXPECT_EQ(Stored(), "*.bin;*.dat");
  EXPECT_TRUE(IsAcceptedExtension(".bin"));
  EXPECT_TRUE(IsAcceptedExtension(".dat"));
  EXPECT_FALSE(IsAcceptedExtension(".b"));
  // An extension already held is not appended twice.
  AddAcceptedExtension(".Dat");
  EXPECT_EQ(Stored(), "*.bin;*.dat");
  // The file lives in a private folder named after the maker and the product.
  EXPECT_TRUE(fs::exists(dir_ + "/orlenta/vaultpost/settings"));
  EXPECT_EQ(fs::status(dir_ + "/orlenta/vaultpost").permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(ConfigHome, ExecutableTypesAreNeverStoredNorAccepted) {
  AddAcceptedExtension(".exe");
  AddAcceptedExtension(".b;x");
  EXPECT_EQ(Stored(), "<absent>");
  // Even a hand-edited list does not make a program type accepted.
  fs::create_directories(dir_ + "/orlenta/vaultpost");
  std::ofstream(dir_ + "/orlenta/vaultpost/settings") << "AcceptedExtensions=*.exe;*.bin\n";
  EXPECT_FALSE(IsAcceptedExtension(".exe"));
  EXPECT_TRUE(IsAcceptedExtension(".bin"));
}

TEST_F(ConfigHome, OverlongStoredValueMakesLookupsFalseAndKeepsOtherValues) {
  fs::create_directories(dir_ + "/orlenta/vaultpost");
  std::string longList = "*.bin";
  while (longList.size() < 5000) longList += ";*.x" + std::to_string(longList.size());
  std::ofstream(dir_ + "/orlenta/vaultpost/settings") << "Other=kept\nacceptedextensions=" << longList << "\n";
  EXPECT_FALSE(IsAcceptedExtension(".bin"));
  AddAcceptedExtension(".dat");  // refused: the list would pass the lookup limit
  EXPECT_EQ(Stored(), longList);
  std::string other;
  ASSERT_TRUE(OpenUserSettings()->ReadValue("OTHER", other, 100));
  EXPECT_EQ(other, "kept");
}

TEST_F(ConfigHome, ConcurrentAdditionsFromSeveralProcessesLoseNothing) {
  constexpr int kProcesses = 6;
  constexpr int kEach = 15;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0; i < kEach; ++i) AddAcceptedExtension((".p" + std::to_string(p) + "x" + std::to_string(i)).c_str());
      ::_exit(0);
    }
  }
  for (int p = 0; p < kProcesses; ++p) {
    int status = 0;
    ::wait(&status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < kProcesses; ++p) {
    for (int i = 0; i < kEach; ++i) {
      EXPECT_TRUE(IsAcceptedExtension((".p" + std::to_string(p) + "x" + std::to_string(i)).c_str())) << p << " " << i;
    }
  }
  // No temporary files are left behind: only settings and settings.lock.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ + "/orlenta/vaultpost"), fs::directory_iterator()), 2);
}
