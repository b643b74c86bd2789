// The class factories the library serves, one per creatable class, found by
// class identifier.
#pragma once

#include "service/win32/WinHeaders.h"

namespace quillvane::win32 {

class ClassFactory final : public IClassFactory {
 public:
  using CreateFunction = HRESULT (*)(REFIID riid, void** ppv);
  constexpr explicit ClassFactory(CreateFunction lpCreate) : mlpCreate(lpCreate) {}

  // A factory lives as long as the library: its references do not count;
  // clients keep the library with LockServer.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

 private:
  CreateFunction mlpCreate;
};

// The factory of the class rclsid, queried for riid; CLASS_E_CLASSNOTAVAILABLE
// for a class the library does not serve.
HRESULT GetClassFactory(REFCLSID rclsid, REFIID riid, void** ppv);

}  // namespace quillvane::win32
