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

namespace install {

// {5b0f2a4e-9c37-4d81-a6e2-3f7c19d0b845}
inline constexpr CLSID kHandlerClass = {0x5b0f2a4e, 0x9c37, 0x4d81, {0xa6, 0xe2, 0x3f, 0x7c, 0x19, 0xd0, 0xb8, 0x45}};

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
