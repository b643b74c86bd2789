#include "contract/standin/StandinFactory.h"

#include "contract/standin/ControlStandIn.h"
#include "quillvane_control_h.h"
#include "service/win32/Module.h"

namespace quillvane::standin {

namespace {

// Lives as long as the library: its references do not count; clients keep
// the library loaded with LockServer.
class StandinFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    return ControlStandIn::Create(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
    if (fLock) {
      win32::LockModule();
    } else {
      win32::UnlockModule();
    }
    return S_OK;
  }
};

StandinFactory gFactory;

}  // namespace

HRESULT GetStandinFactory(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(rclsid, CLSID_ControlObject)) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(riid, ppv);
}

}  // namespace quillvane::standin
