// The four entry points of the stand-in's in-process server.
#include "contract/standin/StandinFactory.h"
#include "contract/standin/StandinRegistration.h"
#include "service/win32/Module.h"

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return quillvane::standin::GetStandinFactory(rclsid, riid, ppv);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return quillvane::win32::ModuleCount() == 0 ? S_OK : S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() { return quillvane::standin::RegisterStandin(); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return quillvane::standin::UnregisterStandin(); }

}  // extern "C"
