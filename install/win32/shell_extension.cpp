#include "install/win32/shell_extension.h"

#include <shellapi.h>
#include <shlguid.h>

#include <climits>
#include <cstring>
#include <new>

#include "install/win32/entries.h"
#include "install/win32/module_path.h"

namespace install {

std::atomic<std::uint32_t> liveObjects{0};

namespace {

// Hands `riid` of a new object to the caller. The object holds a reference
// of its own during the question, so that an unanswered one is destroyed at
// once instead of keeping the module loaded for ever.
template <class Object>
HRESULT HandOut(Object* object, REFIID riid, void** out) {
  object->AddRef();
  const HRESULT result = object->QueryInterface(riid, out);
  object->Release();
  return result;
}

}  // namespace

HICON MakeIcon(const codec::IconImage& image) {
  if (image.bytes.empty()) return nullptr;
  // The calls only read the bytes, though their parameter is not const.
  auto* bytes = const_cast<BYTE*>(image.bytes.data());
  const auto count = static_cast<DWORD>(image.bytes.size());
  HICON icon = CreateIconFromResourceEx(bytes, count, TRUE, 0x30000, static_cast<int>(image.width),
                                        static_cast<int>(image.height), 0);
  if (icon == nullptr && image.bitCount != 16) icon = CreateIconFromResource(bytes, count, TRUE, 0x30000);
  return icon;
}

// --- the handler ---

VaultpostShellExtension::VaultpostShellExtension() { ++liveObjects; }

VaultpostShellExtension::~VaultpostShellExtension() { --liveObjects; }

STDMETHODIMP VaultpostShellExtension::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IExtractIconA)) {
    *object = static_cast<IExtractIconA*>(this);
  } else if (IsEqualIID(riid, IID_IPersistFile)) {
    *object = static_cast<IPersistFile*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) VaultpostShellExtension::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) VaultpostShellExtension::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP VaultpostShellExtension::GetIconLocation(UINT, PSTR iconFile, UINT size, int* index, UINT* outFlags) {
  if (iconFile == nullptr || index == nullptr || outFlags == nullptr) return E_POINTER;
  const char* module = ModulePath();
  const std::size_t length = std::strlen(module);
  if (length >= size) {
    // A cut path would name some other file.
    if (size > 0) iconFile[0] = '\0';
    return E_FAIL;
  }
  std::memcpy(iconFile, module, length + 1);
  *index = 0;
  *outFlags = document_.IconLocationFlags();
  return S_OK;
}

STDMETHODIMP VaultpostShellExtension::Extract(PCSTR iconFile, UINT index, HICON* large, HICON* small, UINT sizes) {
  if (large == nullptr && small == nullptr) return E_INVALIDARG;
  if (large != nullptr) *large = nullptr;
  if (small != nullptr) *small = nullptr;
  HICON made[2] = {nullptr, nullptr};  // large, small
  if (document_.HasIconTag()) {
    const std::uint32_t wanted[2] = {DocumentIconSource::LargeSize(sizes), DocumentIconSource::SmallSize(sizes)};
    for (int i = 0; i < 2; ++i) {
      if ((i == 0 ? large : small) == nullptr) continue;
      codec::IconImage image;
      if (document_.ChooseImage(wanted[i], image)) made[i] = MakeIcon(image);
    }
  }
  const bool complete = (large == nullptr || made[0] != nullptr) && (small == nullptr || made[1] != nullptr);
  if (complete) {
    if (large != nullptr) *large = made[0];
    if (small != nullptr) *small = made[1];
    return S_OK;
  }
  // Half a document icon is none: both come from the module then.
  for (HICON icon : made) {
    if (icon != nullptr) DestroyIcon(icon);
  }
  const UINT extracted =
      ExtractIconExA(iconFile != nullptr ? iconFile : ModulePath(), static_cast<int>(index), large, small, 1);
  return extracted != 0 && extracted != UINT_MAX ? S_OK : E_FAIL;
}

STDMETHODIMP VaultpostShellExtension::GetClassID(CLSID*) { return E_FAIL; }

STDMETHODIMP VaultpostShellExtension::IsDirty() { return S_FALSE; }

STDMETHODIMP VaultpostShellExtension::Load(LPCOLESTR fileName, DWORD) {
  char path[MAX_PATH] = {};
  if (fileName == nullptr ||
      WideCharToMultiByte(CP_ACP, 0, fileName, -1, path, sizeof path, nullptr, nullptr) == 0) {
    // No name, or one too long for the ANSI functions: nothing to read.
    document_.Load(nullptr);
    return S_OK;
  }
  document_.Load(path);
  return S_OK;
}

STDMETHODIMP VaultpostShellExtension::Save(LPCOLESTR, BOOL) { return E_FAIL; }

STDMETHODIMP VaultpostShellExtension::SaveCompleted(LPCOLESTR) { return E_FAIL; }

STDMETHODIMP VaultpostShellExtension::GetCurFile(LPOLESTR*) { return E_FAIL; }

// --- the factory ---

ShellExtensionClassFactory::ShellExtensionClassFactory() { ++liveObjects; }

ShellExtensionClassFactory::~ShellExtensionClassFactory() { --liveObjects; }

STDMETHODIMP ShellExtensionClassFactory::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ShellExtensionClassFactory::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) ShellExtensionClassFactory::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP ShellExtensionClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  auto* handler = new (std::nothrow) VaultpostShellExtension();
  if (handler == nullptr) return E_OUTOFMEMORY;
  return HandOut(handler, riid, object);
}

STDMETHODIMP ShellExtensionClassFactory::LockServer(BOOL) { return S_OK; }

HRESULT GetClassObject(REFCLSID classId, REFIID interfaceId, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(classId, kHandlerClass)) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) ShellExtensionClassFactory();
  if (factory == nullptr) return E_OUTOFMEMORY;
  return HandOut(factory, interfaceId, object);
}

HRESULT CanUnloadNow() { return liveObjects.load() != 0 ? S_FALSE : S_OK; }

}  // namespace install
