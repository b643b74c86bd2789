// The class factory of one creatable class: it creates through a function
// of the server's own and keeps the module loaded while a client locks it.
#pragma once

#include "win32kit/WinHeaders.h"

namespace win32kit {

class ClassFactory final : public IClassFactory {
 public:
  // A new, independent object, queried for riid.
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

}  // namespace win32kit
