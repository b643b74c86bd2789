// The four entry points of the stand-in's in-process server.
#include "contract/standin/StandinFactory.h"
#include "quillvane_control_h.h"
#include "service/win32/Module.h"
#include "service/win32/Registration.h"

namespace {

// Its programmatic identifier is its own, so it never replaces a standard
// control object on the machine.
const quillvane::win32::ServerIdentity kServer = {L"quillvane.ControlObject",
                                                  L"quillvane control object stand-in",
                                                  &CLSID_ControlObject, &LIBID_QuillvaneControl};

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return quillvane::standin::GetStandinFactory(rclsid, riid, ppv);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return quillvane::win32::ModuleCount() == 0 ? S_OK : S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() { return quillvane::win32::RegisterServer(kServer); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return quillvane::win32::UnregisterServer(kServer); }

}  // extern "C"
