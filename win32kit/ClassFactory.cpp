#include "service/win32/ClassFactory.h"

#include "service/win32/CashDrawerObject.h"
#include "service/win32/Module.h"
#include "service/win32/TypeLibDeclarations.h"

namespace quillvane::win32 {

namespace {

struct ServedClass {
  const CLSID* lpClsid;
  ClassFactory* objFactory;
};

ClassFactory gCashDrawerFactory{&CashDrawerObject::Create};

const ServedClass gServedClasses[] = {
    {&CLSID_CashDrawer, &gCashDrawerFactory},
};

}  // namespace

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

HRESULT GetClassFactory(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (const ServedClass& objClass : gServedClasses) {
    if (IsEqualCLSID(rclsid, *objClass.lpClsid))
      return objClass.objFactory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace quillvane::win32
