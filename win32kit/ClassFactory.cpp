#include "win32kit/ClassFactory.h"

#include "win32kit/Module.h"

namespace win32kit {

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  return mlpCreate(riid, ppv);
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
  if (fLock) {
    LockModule();
  } else {
    UnlockModule();
  }
  return S_OK;
}

}  // namespace win32kit
