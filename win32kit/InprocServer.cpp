// The four entry points of an in-process server, over the server's kInprocServer.
#include "win32kit/InprocServer.h"

#include "win32kit/Module.h"
#include "win32kit/Registration.h"

namespace win32kit {

HRESULT GetClassFactory(const InprocServer& objServer, REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (const ServedClass& objClass : objServer) {
    if (IsEqualCLSID(rclsid, *objClass.pClsid))
      return objClass.objFactory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace win32kit

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return win32kit::GetClassFactory(win32kit::kInprocServer, rclsid, riid, ppv);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return win32kit::ModuleCount() == 0 ? S_OK : S_FALSE; }

HRESULT STDAPICALLTYPE DllRegisterServer() {
  return win32kit::RegisterServer(win32kit::kInprocServer);
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return win32kit::UnregisterServer(win32kit::kInprocServer);
}

}  // extern "C"
