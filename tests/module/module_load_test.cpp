// vaultpost.dll as its callers see it: it loads and unloads cleanly under
// Windows (its load-time objects are built and torn down), and its seven
// entries are found by their undecorated names with the results the
// placeholders promise until installation and the icon handler are built.

#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

namespace {

using RundllEntry = void(CALLBACK*)(HWND, HINSTANCE, LPSTR, int);
using InstallEntry = int(WINAPI*)(int, int, int, int, const void*);
using GetClassObjectEntry = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadEntry = HRESULT(STDAPICALLTYPE*)();

template <class T>
T Entry(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

TEST(ModuleLoad, LoadsAndExportsItsEntriesByName) {
  for (int round = 0; round < 2; ++round) {  // a second load sets up afresh
    HMODULE module = LoadLibraryA(VP_MODULE_PATH);
    ASSERT_NE(module, nullptr) << "LoadLibraryA error " << GetLastError();
    for (const char* name : {"OpenDocument", "InstallDll", "RegisterDll", "DeregisterDll", "UninstallDll",
                             "DllGetClassObject", "DllCanUnloadNow"}) {
      EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
    }
    EXPECT_EQ(GetProcAddress(module, "OpenDocument@16"), nullptr);  // no decorated names

    EXPECT_EQ(Entry<CanUnloadEntry>(module, "DllCanUnloadNow")(), S_OK);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(Entry<GetClassObjectEntry>(module, "DllGetClassObject")(CLSID_NULL, IID_IUnknown, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(Entry<InstallEntry>(module, "InstallDll")(1, 0, 1, 0, nullptr), -1);
    Entry<RundllEntry>(module, "RegisterDll")(nullptr, nullptr, const_cast<char*>(""), SW_SHOWNORMAL);
    EXPECT_TRUE(FreeLibrary(module));
  }
}
