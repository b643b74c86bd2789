// The four entry points of the in-process server.
#include "service/win32/ClassFactory.h"
#include "service/win32/Module.h"
#include "service/win32/Registration.h"
#include "service/win32/TypeLibDeclarations.h"

namespace {

const quillvane::win32::ServerIdentity kServer = {L"quillvane.CashDrawer", L"quillvane.CashDrawer",
                                                  &CLSID_CashDrawer, &LIBID_quillvane};

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return quillvane::win32::GetClassFactory(rclsid, riid, ppv);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return quillvane::win32::ModuleCount() == 0 ? S_OK : S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() { return quillvane::win32::RegisterServer(kServer); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return quillvane::win32::UnregisterServer(kServer); }

}  // extern "C"
