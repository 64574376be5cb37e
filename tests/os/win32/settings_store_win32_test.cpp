// The registry behind the accepted-extensions store: the value's layout under
// HKEY_CURRENT_USER\Software\Orlenta\Vaultpost, its limits, and updates from
// several processes (test_os runs in a prefix of its own).

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "os/accepted_extensions.h"
#include "os/win32/registry_settings_store.h"
#include "support/win32_system.h"

namespace {

using win32test::ReadRaw;
using win32test::WriteRaw;

// A key of its own for each test, deleted afterwards.
class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = std::string("Software\\Orlenta\\StoreTest-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
  }
  void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }
  std::unique_ptr<os::SettingsStore> Store(std::uint32_t timeoutMs = os::kSettingsLockTimeoutMs) {
    return os::OpenRegistrySettings(key_.c_str(), timeoutMs);
  }
  std::string Stored() {
    const auto raw = ReadRaw(HKEY_CURRENT_USER, key_, "AcceptedExtensions");
    return raw.present ? raw.bytes : "<absent>";
  }
  std::string key_;
};

}  // namespace

TEST(RegistryStore, TheUsersStoreLivesInTheReadersKeyAsOneStringValue) {
  const std::string key = "Software\\Orlenta\\Vaultpost";
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
  EXPECT_FALSE(os::IsAcceptedExtension(".bin"));
  EXPECT_TRUE(win32test::KeyExists(HKEY_CURRENT_USER, key));  // the lookup made the empty key
  os::AddAcceptedExtension(".BIN");
  auto raw = ReadRaw(HKEY_CURRENT_USER, key, "AcceptedExtensions");
  ASSERT_TRUE(raw.present);
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(raw.bytes, std::string("*.bin", 6));  // the byte count includes the NUL
  EXPECT_TRUE(os::IsAcceptedExtension(".Bin"));
  os::AddAcceptedExtension(".dat");
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, key, "AcceptedExtensions").bytes, std::string("*.bin;*.dat", 12));
  EXPECT_TRUE(os::IsAcceptedExtension(".dat"));
  EXPECT_FALSE(os::IsAcceptedExtension(".b"));
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}

TEST_F(RegistryStoreTest, ValueNamesIgnoreCaseAndStrangeValuesAreAbsent) {
  auto store = Store();
  ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, key_, "Other", REG_SZ, std::string("kept", 5)));
  ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, key_, "acceptedEXTENSIONS", REG_SZ, std::string("*.ab", 5)));
  EXPECT_TRUE(os::IsAcceptedExtension(*store, ".AB"));
  EXPECT_FALSE(os::IsAcceptedExtension(*store, ".b"));  // the dot is part of the match
  std::string other;
  ASSERT_TRUE(store->ReadValue("OTHER", other, 100));
  EXPECT_EQ(other, "kept");
  // Stored without a terminator, the text still ends at the stored bytes.
  ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, key_, "AcceptedExtensions", REG_SZ, "*.xy"));
  EXPECT_TRUE(os::IsAcceptedExtension(*store, ".xy"));
  // A value of another type is no list: not read, and replaced by the next addition.
  ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, key_, "AcceptedExtensions", REG_BINARY, std::string("*.bin", 6)));
  EXPECT_FALSE(os::IsAcceptedExtension(*store, ".bin"));
  os::AddAcceptedExtension(*store, ".dat");
  const auto raw = ReadRaw(HKEY_CURRENT_USER, key_, "AcceptedExtensions");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(raw.bytes, std::string("*.dat", 6));
}

TEST_F(RegistryStoreTest, ValuesPastTheLimitsAreNotReadAndNeverGrown) {
  auto store = Store();
  std::string list = "*.bin";
  while (list.size() < 4096) list += ";*.x" + std::to_string(list.size());
  ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, key_, "AcceptedExtensions", REG_SZ, list + '\0'));
  EXPECT_FALSE(os::IsAcceptedExtension(*store, ".bin"));  // more than 4096 bytes: every lookup is false
  os::AddAcceptedExtension(*store, ".dat");               // and the list is not made longer still
  EXPECT_EQ(Stored(), list + '\0');
  // Past what an addition reads, the value counts as absent for both.
  const std::string huge(40000, 'x');
  ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, key_, "AcceptedExtensions", REG_SZ, huge + '\0'));
  std::string text;
  EXPECT_FALSE(store->ReadValue("AcceptedExtensions", text, os::kAcceptedUpdateLimit));
  // Neither a value name longer than the 512 characters the search reads nor
  // another value's large data, met before the list, hides it.
  RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
  ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, key_, std::string(600, 'n').c_str(), REG_SZ, std::string("x", 2)));
  ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, key_, "Big", REG_SZ, huge + '\0'));
  ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, key_, "AcceptedExtensions", REG_SZ, std::string("*.bin", 6)));
  EXPECT_TRUE(os::IsAcceptedExtension(*store, ".bin"));
}

TEST_F(RegistryStoreTest, AnUpdateThatCannotGetTheLockWritesNothing) {
  const std::string ready = "vp-store-ready-" + std::to_string(GetCurrentProcessId());
  const std::string release = "vp-store-release-" + std::to_string(GetCurrentProcessId());
  HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
  HANDLE releaseEvent = CreateEventA(nullptr, TRUE, FALSE, release.c_str());
  HANDLE holder = win32test::Start("\"" + win32test::ProgramFolder() + "vp_settings_helper.exe\" hold " + ready + " " +
                                   release);
  ASSERT_NE(holder, nullptr);
  ASSERT_EQ(WaitForSingleObject(readyEvent, 30000), WAIT_OBJECT_0);

  auto store = Store(200);
  bool called = false;
  EXPECT_FALSE(store->UpdateValue("AcceptedExtensions", os::kAcceptedUpdateLimit, [&](std::string& text, bool) {
    called = true;
    text = "*.bin";
    return true;
  }));
  EXPECT_FALSE(called);  // not even read while another process holds the lock
  EXPECT_EQ(Stored(), "<absent>");

  SetEvent(releaseEvent);
  EXPECT_EQ(win32test::Finish(holder), 0);  // it still owned the mutex: we released nothing of its
  os::AddAcceptedExtension(*store, ".bin");
  EXPECT_EQ(Stored(), std::string("*.bin", 6));
  CloseHandle(readyEvent);
  CloseHandle(releaseEvent);
}

TEST_F(RegistryStoreTest, ProcessesAddingAtOnceLoseNothing) {
  constexpr int kEach = 15;
  HANDLE adders[2];
  for (int p = 0; p < 2; ++p) {
    adders[p] = win32test::Start("\"" + win32test::ProgramFolder() + "vp_settings_helper.exe\" add " + key_ + " p" +
                                 std::to_string(p) + "x " + std::to_string(kEach));
    ASSERT_NE(adders[p], nullptr);
  }
  for (HANDLE adder : adders) EXPECT_EQ(win32test::Finish(adder), 0);
  auto store = Store();
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kEach; ++i) {
      const std::string ext = ".p" + std::to_string(p) + "x" + std::to_string(i);
      EXPECT_TRUE(os::IsAcceptedExtension(*store, ext.c_str())) << ext;
    }
  }
}
