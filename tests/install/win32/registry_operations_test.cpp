// The installer's registry work under Wine's enforced access rights: taking
// keys apart, and the icon handler's approval where the list is missing.

#include <gtest/gtest.h>

#include <string>

#include "install/installation_scope.h"
#include "install/registry_layout.h"
#include "install/win32/install_testing.h"
#include "install/win32/registry_operations.h"
#include "os/system_error.h"

namespace install {
namespace {

using installtest::Stored;
using installtest::StoredSz;

const char* const kTestKey = "Software\\VpInstallTest";
const char* const kModule = "C:\\Orlenta Test\\vaultpost.dll";
const std::string kClsidKey = std::string("CLSID\\") + kHandlerClassId;

// An empty access list: only the owner may still change it.
void DenyEveryone(HKEY root, const std::string& key) {
  HKEY handle = nullptr;
  ASSERT_EQ(RegOpenKeyExA(root, key.c_str(), 0, WRITE_DAC, &handle), ERROR_SUCCESS);
  ACL acl;
  ASSERT_TRUE(InitializeAcl(&acl, sizeof acl, ACL_REVISION));
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, FALSE);
  EXPECT_EQ(RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
  RegCloseKey(handle);
}

class RegistryOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedScope_ = installationScope;
    os::quietFlag = 1;  // any failure report would otherwise wait for a user
  }
  void TearDown() override {
    installationScope = savedScope_;
    os::quietFlag = 0;
    RemoveKeyTree(HKEY_CURRENT_USER, kTestKey);
  }
  std::int32_t savedScope_ = ScopeCurrentUser;
};

TEST_F(RegistryOperationsTest, KeyTreesGoEvenWhenTheirRightsDenyTheUser) {
  const std::string tree = std::string(kTestKey) + "\\Tree";
  ASSERT_TRUE(win32test::WriteRaw(HKEY_CURRENT_USER, tree, nullptr, REG_SZ, installtest::SzBytes("default")));
  ASSERT_TRUE(win32test::WriteRaw(HKEY_CURRENT_USER, tree, "value", REG_SZ, installtest::SzBytes("v")));
  ASSERT_TRUE(win32test::WriteRaw(HKEY_CURRENT_USER, tree + "\\a\\b", "deep", REG_DWORD, installtest::DwordBytes(7)));
  ASSERT_TRUE(win32test::WriteRaw(HKEY_CURRENT_USER, tree + "\\c", "x", REG_SZ, installtest::SzBytes("y")));
  ASSERT_TRUE(win32test::WriteRaw(HKEY_CURRENT_USER, kTestKey, "sibling", REG_SZ, installtest::SzBytes("kept")));
  DenyEveryone(HKEY_CURRENT_USER, tree + "\\a\\b");
  DenyEveryone(HKEY_CURRENT_USER, tree);
  HKEY probe = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, tree.c_str(), 0, KEY_READ, &probe), ERROR_ACCESS_DENIED);

  EXPECT_EQ(RemoveKeyTree(HKEY_CURRENT_USER, tree.c_str()), ERROR_SUCCESS);
  EXPECT_FALSE(win32test::KeyExists(HKEY_CURRENT_USER, tree));
  EXPECT_EQ(Stored(HKEY_CURRENT_USER, kTestKey, "sibling"), StoredSz("kept"));

  // Nothing there: 2, and nothing else changes.
  EXPECT_EQ(RemoveKeyTree(HKEY_CURRENT_USER, tree.c_str()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Stored(HKEY_CURRENT_USER, kTestKey, "sibling"), StoredSz("kept"));
  EXPECT_EQ(RemoveKeyTree(HKEY_CURRENT_USER, ""), ERROR_BADKEY);
  EXPECT_EQ(RemoveKeyTree(HKEY_CURRENT_USER, nullptr), ERROR_BADKEY);
  EXPECT_EQ(RemoveKeyTreeFormatted(HKEY_CURRENT_USER, "Software\\%s", "VpInstallTest"), ERROR_SUCCESS);
  EXPECT_FALSE(win32test::KeyExists(HKEY_CURRENT_USER, kTestKey));
  // A composed name beyond 511 characters is refused, not cut to another key.
  const std::string longName(510, 'k');
  EXPECT_EQ(RemoveKeyTreeFormatted(HKEY_CURRENT_USER, "S\\%s", longName.c_str()), ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(RegistryOperationsTest, WithoutAnApprovalListThereIsNothingToApprove) {
  installationScope = ScopeMachine;
  const std::string parent = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions";
  ASSERT_EQ(RemoveKeyTree(HKEY_LOCAL_MACHINE, kApprovedKey), ERROR_SUCCESS);
  EXPECT_EQ(RegisterIconHandler(kModule), ERROR_SUCCESS);
  EXPECT_FALSE(win32test::KeyExists(HKEY_LOCAL_MACHINE, kApprovedKey));
  // A 32-bit module on 64-bit Windows registers no handler at all: the 64-bit
  // shell could not load it.
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\") + kClsidKey + "\\InProcServer32") ==
                StoredSz(kModule),
            !win32test::UnderWow64());
  // The list back as a fresh machine has it, for the tests after this one.
  HKEY approved = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kApprovedKey, 0, nullptr, 0, KEY_READ, nullptr, &approved, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(approved);
  EXPECT_EQ(Deregister(), ERROR_SUCCESS);
}

// A "%" in the module's path, in both scopes (the module tests open a
// document through such a registration).
TEST_F(RegistryOperationsTest, APercentInTheModulesPathIsEscapedInBothScopes) {
  for (const std::int32_t scope : {ScopeMachine, ScopeCurrentUser}) {
    installationScope = scope;
    EXPECT_TRUE(RegisterFileTypes("C:\\100%1 sure\\vaultpost.dll"));
    EXPECT_EQ(Stored(ScopeRoot(), "Software\\Classes\\emcClass\\shell\\open\\command"),
              StoredSz(installtest::Rundll32() + " \"C:\\100%%1 sure\\vaultpost.dll\",OpenDocument %1"))
        << scope;
    EXPECT_EQ(Deregister(), ERROR_SUCCESS);
  }
}

}  // namespace
}  // namespace install
