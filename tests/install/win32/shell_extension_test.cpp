// The icon handler as the shell meets it, through DllGetClassObject (and once
// through COM), IPersistFile::Load and IExtractIconA. Pixels tell which image
// an icon came from.

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlguid.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "install/icon_testing.h"
#include "support/icon_files.h"
#include "install/registry_layout.h"
#include "install/win32/scenarios/scenario_testing.h"
#include "support/win32_dialogs.h"
#include "tools/encoder/document_encoder.h"

namespace {

namespace fs = std::filesystem;

using GetClassObjectEntry = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadEntry = HRESULT(WINAPI*)();

// {5b0f2a4e-9c37-4d81-a6e2-3f7c19d0b845}
const CLSID kHandler = {0x5b0f2a4e, 0x9c37, 0x4d81, {0xa6, 0xe2, 0x3f, 0x7c, 0x19, 0xd0, 0xb8, 0x45}};

std::string ModulePath() { return installtest::WindowsPath(VP_MODULE_PATH); }

struct Picture {
  int size = 0;
  COLORREF centre = CLR_INVALID;
};
Picture Look(HICON icon) {
  Picture picture;
  ICONINFO info{};
  if (icon == nullptr || !::GetIconInfo(icon, &info)) return picture;
  BITMAP bm{};
  if (info.hbmColor != nullptr && ::GetObjectA(info.hbmColor, sizeof bm, &bm) != 0) picture.size = bm.bmWidth;
  if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
  picture.centre = dlgtest::IconCentreColour(icon);
  return picture;
}

class ShellExtensionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = ::LoadLibraryA(ModulePath().c_str());
    ASSERT_NE(module_, nullptr);
    getClassObject_ = reinterpret_cast<GetClassObjectEntry>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module_, "DllGetClassObject")));
    canUnload_ = reinterpret_cast<CanUnloadEntry>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module_, "DllCanUnloadNow")));
  }

  void SetUp() override {
    ASSERT_NE(getClassObject_, nullptr);
    ASSERT_NE(canUnload_, nullptr);
    folder_ = fs::temp_directory_path() / ("vp-shellext-" + std::to_string(::GetCurrentProcessId()));
    fs::create_directories(folder_);
  }
  void TearDown() override {
    fs::remove_all(folder_);
    EXPECT_EQ(canUnload_(), S_OK) << "an object outlived its last reference";
  }

  IClassFactory* Factory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(getClassObject_(kHandler, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    return factory;
  }

  IExtractIconA* HandlerFor(const std::string& path) {
    IClassFactory* factory = Factory();
    if (factory == nullptr) return nullptr;
    IExtractIconA* handler = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IExtractIconA, reinterpret_cast<void**>(&handler)), S_OK);
    factory->Release();
    if (handler == nullptr) return nullptr;
    IPersistFile* file = nullptr;
    EXPECT_EQ(handler->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
    const std::wstring wide(path.begin(), path.end());
    EXPECT_EQ(file->Load(wide.c_str(), STGM_READ), S_OK);
    file->Release();
    return handler;
  }

  std::string Document(const std::vector<encoder::TagSpec>& tags) {
    return icontest::WriteDocument((folder_ / ("doc" + std::to_string(++count_) + ".emc")).string(), tags);
  }

  // The handler's icons for `path` at sizes 0x00100020, with its location flags.
  struct Answer {
    UINT flags = 0;
    std::string location;
    HRESULT extracted = E_UNEXPECTED;
    Picture large;
    Picture small;
  };
  Answer Ask(const std::string& path) {
    Answer answer;
    IExtractIconA* handler = HandlerFor(path);
    if (handler == nullptr) return answer;
    char location[MAX_PATH] = {};
    int index = -1;
    EXPECT_EQ(handler->GetIconLocation(GIL_FORSHELL, location, MAX_PATH, &index, &answer.flags), S_OK);
    EXPECT_EQ(index, 0);
    answer.location = location;
    HICON large = nullptr;
    HICON small = nullptr;
    answer.extracted = handler->Extract(location, static_cast<UINT>(index), &large, &small, 0x00100020);
    answer.large = Look(large);
    answer.small = Look(small);
    if (large != nullptr) ::DestroyIcon(large);
    if (small != nullptr) ::DestroyIcon(small);
    EXPECT_EQ(handler->Release(), 0u);
    return answer;
  }

  static HMODULE module_;
  static GetClassObjectEntry getClassObject_;
  static CanUnloadEntry canUnload_;
  fs::path folder_;
  int count_ = 0;
};

HMODULE ShellExtensionTest::module_ = nullptr;
GetClassObjectEntry ShellExtensionTest::getClassObject_ = nullptr;
CanUnloadEntry ShellExtensionTest::canUnload_ = nullptr;

TEST_F(ShellExtensionTest, InterfacesAnswerAsTheClassPromisesAndObjectsKeepTheModuleLoaded) {
  // Refused with `code`, no object given out (`call` gets the object's address).
  const auto refused = [](HRESULT code, auto call) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(call(&object), code);
    EXPECT_EQ(object, nullptr);
  };
  refused(CLASS_E_CLASSNOTAVAILABLE, [&](void** o) { return getClassObject_(CLSID_NULL, IID_IClassFactory, o); });
  // A first question the new factory cannot answer lets it go at once.
  refused(E_NOINTERFACE, [&](void** o) { return getClassObject_(kHandler, IID_IPersist, o); });
  EXPECT_EQ(canUnload_(), S_OK);

  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(canUnload_(), S_FALSE);
  IUnknown* unknown = nullptr;
  EXPECT_EQ(factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(factory));
  EXPECT_EQ(unknown->Release(), 1u);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  refused(CLASS_E_NOAGGREGATION, [&](void** o) { return factory->CreateInstance(unknown, IID_IExtractIconA, o); });
  // The same for a new handler: unanswered, it is gone before the call returns.
  refused(E_NOINTERFACE, [&](void** o) { return factory->CreateInstance(nullptr, IID_IPersist, o); });

  IExtractIconA* handler = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&handler)), S_OK);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(canUnload_(), S_FALSE) << "the handler is alive";
  IExtractIconA* extract = nullptr;
  IPersistFile* file = nullptr;
  ASSERT_EQ(handler->QueryInterface(IID_IExtractIconA, reinterpret_cast<void**>(&extract)), S_OK);
  EXPECT_EQ(extract, handler);
  ASSERT_EQ(handler->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
  EXPECT_NE(static_cast<void*>(file), static_cast<void*>(handler));
  refused(E_NOINTERFACE, [&](void** o) { return handler->QueryInterface(IID_IPersist, o); });
  // The second face forwards to the first.
  EXPECT_EQ(file->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(handler));
  EXPECT_EQ(unknown->Release(), 3u);
  CLSID classId = kHandler;
  EXPECT_EQ(file->GetClassID(&classId), E_FAIL);
  EXPECT_EQ(file->IsDirty(), S_FALSE);
  EXPECT_EQ(file->Load(L"Z:\\no\\such\\file.emc", STGM_READ), S_OK);
  EXPECT_EQ(file->Save(nullptr, FALSE), E_FAIL);
  EXPECT_EQ(file->SaveCompleted(nullptr), E_FAIL);
  LPOLESTR current = nullptr;
  EXPECT_EQ(file->GetCurFile(&current), E_FAIL);
  EXPECT_EQ(file->Release(), 2u);
  EXPECT_EQ(extract->Release(), 1u);
  EXPECT_EQ(handler->Release(), 0u);
  EXPECT_EQ(canUnload_(), S_OK);
}

TEST_F(ShellExtensionTest, ADocumentIconGivesBothSizesAndAnythingElseTheModulesIcon) {
  const Answer own = Ask(Document({{"ImageWin32", support::SquaresIconFile({{16, 0xFF0000}, {32, 0x0000FF}}), true}}));
  EXPECT_EQ(own.flags, static_cast<UINT>(GIL_PERINSTANCE | GIL_DONTCACHE | GIL_NOTFILENAME));
  EXPECT_EQ(own.location, ModulePath());
  EXPECT_EQ(own.extracted, S_OK);
  EXPECT_EQ(own.small.size, 16);
  EXPECT_EQ(own.small.centre, RGB(0xFF, 0, 0));
  EXPECT_EQ(own.large.size, 32);
  EXPECT_EQ(own.large.centre, RGB(0, 0, 0xFF));

  // A buffer of exactly the path's length has no room for its end: refused,
  // not cut to name some other file; one more character takes it whole.
  const std::string module = ModulePath();
  IExtractIconA* handler = HandlerFor(Document({}));
  ASSERT_NE(handler, nullptr);
  std::string location(module.size() + 1, 'x');
  int index = -1;
  UINT flags = 0;
  const auto room = static_cast<UINT>(module.size());
  EXPECT_EQ(handler->GetIconLocation(0, location.data(), room, &index, &flags), E_FAIL);
  EXPECT_EQ(location[0], '\0');
  EXPECT_EQ(location.substr(1), std::string(module.size(), 'x'));
  EXPECT_EQ(handler->GetIconLocation(0, location.data(), room + 1, &index, &flags), S_OK);
  EXPECT_EQ(location, module + '\0');
  handler->Release();

  // The module's first icon as the shell would draw it.
  HICON large = nullptr;
  HICON small = nullptr;
  ASSERT_NE(::ExtractIconExA(ModulePath().c_str(), 0, &large, &small, 1), 0u);
  const Picture moduleLarge = Look(large);
  const Picture moduleSmall = Look(small);
  ::DestroyIcon(large);
  ::DestroyIcon(small);
  ASSERT_NE(moduleLarge.centre, CLR_INVALID);

  auto unparsable = support::SquaresIconFile({{16, 0xFF0000}});
  unparsable[2] = 2;  // a cursor file
  const std::string corrupt = (folder_ / "corrupt.emc").string();
  std::ofstream(corrupt, std::ios::binary) << std::string(3000, '\x5a');
  const struct {
    const char* what;
    std::string path;
    UINT flags;
  } cases[] = {
      {"no icon tag", Document({{"Title", {'T'}, false}}), GIL_PERINSTANCE | GIL_DONTCACHE},
      {"corrupt file", corrupt, GIL_PERINSTANCE | GIL_DONTCACHE},
      {"missing file", (folder_ / "absent.emc").string(), GIL_PERINSTANCE | GIL_DONTCACHE},
      {"unparsable icon", Document({{"ImageWin32", unparsable, true}}),
       GIL_PERINSTANCE | GIL_DONTCACHE | GIL_NOTFILENAME},
  };
  for (const auto& c : cases) {
    const Answer answer = Ask(c.path);
    EXPECT_EQ(answer.flags, c.flags) << c.what;
    EXPECT_EQ(answer.location, ModulePath()) << c.what;
    EXPECT_EQ(answer.extracted, S_OK) << c.what;
    EXPECT_EQ(answer.large.size, moduleLarge.size) << c.what;
    EXPECT_EQ(answer.large.centre, moduleLarge.centre) << c.what;
    EXPECT_EQ(answer.small.size, moduleSmall.size) << c.what;
    EXPECT_EQ(answer.small.centre, moduleSmall.centre) << c.what;
  }
}

TEST_F(ShellExtensionTest, ComCreatesTheHandlerThroughTheMachinesRegistration) {
  const std::string server = std::string("Software\\Classes\\CLSID\\") + install::kHandlerClassId + "\\InProcServer32";
  ASSERT_TRUE(win32test::WriteRaw(HKEY_LOCAL_MACHINE, server, nullptr, REG_SZ, installtest::SzBytes(ModulePath())));
  ASSERT_TRUE(win32test::WriteRaw(HKEY_LOCAL_MACHINE, server, "ThreadingModel", REG_SZ,
                                  installtest::SzBytes("Apartment")));
  ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  IExtractIconA* handler = nullptr;
  EXPECT_EQ(::CoCreateInstance(kHandler, nullptr, CLSCTX_INPROC_SERVER, IID_IExtractIconA,
                               reinterpret_cast<void**>(&handler)),
            S_OK);
  if (handler != nullptr) {
    char location[MAX_PATH] = {};
    int index = -1;
    UINT flags = 0;
    EXPECT_EQ(handler->GetIconLocation(0, location, MAX_PATH, &index, &flags), S_OK);
    EXPECT_EQ(flags, static_cast<UINT>(GIL_PERINSTANCE | GIL_DONTCACHE));
    handler->Release();
  }
  ::CoUninitialize();
}

}  // namespace
