#include "standin/tests/EventRecorder.h"

#include "quillvane_control_h.h"

namespace standin_test {

HRESULT EventRecorder::QueryInterface(REFIID riid, void** ppv) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, DIID__IControlObjectEvents)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT EventRecorder::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

HRESULT EventRecorder::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT EventRecorder::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT EventRecorder::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                              EXCEPINFO*, UINT*) {
  // StatusUpdateEvent is DISPID 5 of the event interface.
  if (id == 5 && flags == DISPATCH_METHOD && params->cArgs == 1 && params->rgvarg[0].vt == VT_I4) {
    status_updates.push_back(params->rgvarg[0].lVal);
  } else {
    ++unexpected;
  }
  return S_OK;
}

}  // namespace standin_test
