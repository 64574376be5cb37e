#pragma once
// The module as the shell's COM in-process server: one class, the icon
// handler VaultpostShellExtension, made by ShellExtensionClassFactory. The
// shell hands the handler a document (IPersistFile::Load) and asks for its
// icon (IExtractIconA); a document that carries an icon gets that one,
// every other the module's first icon resource. Apartment-threaded: each
// object is used from the thread of its apartment.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <cstdint>

#include "install/document_icon_source.h"
#include "install/registry_layout.h"

namespace install {

// A class identifier from its registry text "{xxxxxxxx-xxxx-xxxx-xxxx-
// xxxxxxxxxxxx}", at compile time (a malformed text does not compile).
consteval CLSID ClassIdFromText(const char* text) {
  const auto digit = [](char c) -> unsigned {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    throw "not a hexadecimal digit";
  };
  // Reads `count` hexadecimal digits from `at` on, skipping dashes.
  unsigned at = 1;
  const auto read = [&](int count) {
    unsigned long long value = 0;
    for (int i = 0; i < count; ++i) {
      if (text[at] == '-') ++at;
      value = value * 16 + digit(text[at++]);
    }
    return value;
  };
  if (text[0] != '{') throw "no opening brace";
  CLSID id{};
  id.Data1 = static_cast<decltype(id.Data1)>(read(8));
  id.Data2 = static_cast<unsigned short>(read(4));
  id.Data3 = static_cast<unsigned short>(read(4));
  for (unsigned char& byte : id.Data4) byte = static_cast<unsigned char>(read(2));
  if (text[at] != '}' || text[at + 1] != '\0') throw "no closing brace";
  return id;
}

// The icon handler's class, written once (as registry text, kHandlerClassId).
inline constexpr CLSID kHandlerClass = ClassIdFromText(kHandlerClassId);

// Factories and handlers alive in the process; while it is non-zero the
// module must stay loaded. Objects of several apartments (threads) may
// change it at once, hence atomic.
extern std::atomic<std::uint32_t> liveObjects;

class VaultpostShellExtension final : public IExtractIconA, public IPersistFile {
 public:
  VaultpostShellExtension();
  ~VaultpostShellExtension();
  VaultpostShellExtension(const VaultpostShellExtension&) = delete;
  VaultpostShellExtension& operator=(const VaultpostShellExtension&) = delete;

  // IUnknown, shared by both faces: IUnknown and IExtractIconA give the
  // first face, IPersistFile the second; anything else E_NOINTERFACE.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  // Destroys the handler when the count reaches 0.
  STDMETHODIMP_(ULONG) Release() override;

  // The module's own file as the location, index 0, "per instance, don't
  // cache", and "not a file name" when the document carries an icon, so
  // that the shell asks Extract. E_FAIL (and an empty text) when the path
  // does not fit `size` characters with its terminator.
  STDMETHODIMP GetIconLocation(UINT flags, PSTR iconFile, UINT size, int* index, UINT* outFlags) override;
  // The document's own images closest to the sizes (small in the high 16
  // bits, large in the low 16), else icon `index` of `iconFile`. E_FAIL
  // when not even that gives an icon.
  STDMETHODIMP Extract(PCSTR iconFile, UINT index, HICON* large, HICON* small, UINT sizes) override;

  // IPersistFile: only Load does anything.
  STDMETHODIMP GetClassID(CLSID* classId) override;
  STDMETHODIMP IsDirty() override;
  // Reads the document's header and tags; S_OK whatever it finds. A name
  // that does not fit 260 bytes in the ANSI code page is not read.
  STDMETHODIMP Load(LPCOLESTR fileName, DWORD mode) override;
  STDMETHODIMP Save(LPCOLESTR fileName, BOOL remember) override;
  STDMETHODIMP SaveCompleted(LPCOLESTR fileName) override;
  STDMETHODIMP GetCurFile(LPOLESTR* fileName) override;

 private:
  ULONG references_ = 0;
  DocumentIconSource document_;
};

class ShellExtensionClassFactory final : public IClassFactory {
 public:
  ShellExtensionClassFactory();
  ~ShellExtensionClassFactory();
  ShellExtensionClassFactory(const ShellExtensionClassFactory&) = delete;
  ShellExtensionClassFactory& operator=(const ShellExtensionClassFactory&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // A new handler's `riid`; no aggregation.
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  ULONG references_ = 0;
};

// An icon from one image of an icon file (PNG or bitmap), or null.
HICON MakeIcon(const codec::IconImage& image);

}  // namespace install
