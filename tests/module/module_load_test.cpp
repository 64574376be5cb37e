// vaultpost.dll loads and unloads cleanly, twice (its load-time objects are
// built and torn down), and refuses an installation without a request. Its
// exports are checked as a file (tests/win32/check_module.cmake); the class
// object and DllCanUnloadNow by tests/install/win32/shell_extension_test.cpp.

#include <gtest/gtest.h>
#include <windows.h>

TEST(ModuleLoad, LoadsTwiceAndRefusesAnInstallationWithoutARequest) {
  using InstallEntry = int(WINAPI*)(int, int, int, int, const void*);
  for (int round = 0; round < 2; ++round) {
    HMODULE module = LoadLibraryA(VP_MODULE_PATH);
    ASSERT_NE(module, nullptr) << "LoadLibraryA error " << GetLastError();
    const auto install = reinterpret_cast<InstallEntry>(reinterpret_cast<void*>(GetProcAddress(module, "InstallDll")));
    ASSERT_NE(install, nullptr);
    EXPECT_EQ(install(1, 0, 1, 0, nullptr), -1);
    EXPECT_TRUE(FreeLibrary(module));
  }
}
