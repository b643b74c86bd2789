#include "virtual-drawer/client/RecordingControl.h"

namespace vdrawer {
namespace {
constexpr DISPID kStatusUpdateId = 1;
}

HRESULT RecordingControl::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT RecordingControl::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}

HRESULT RecordingControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT RecordingControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (count != 1 || lstrcmpiW(names[0], L"SOStatusUpdate") != 0) {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  ids[0] = kStatusUpdateId;
  return S_OK;
}

HRESULT RecordingControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, UINT* argError) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  if (id != kStatusUpdateId) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_METHOD) || !params || params->cArgs != 1 || params->cNamedArgs != 0) {
    return DISP_E_BADPARAMCOUNT;
  }
  VARIANT code;
  VariantInit(&code);
  if (FAILED(VariantChangeType(&code, &params->rgvarg[0], 0, VT_I4))) {
    if (argError) *argError = 0;
    return DISP_E_TYPEMISMATCH;
  }
  mCalls.push_back(StatusCall{code.lVal, now.QuadPart});
  if (result) VariantInit(result);
  return S_OK;
}

}  // namespace vdrawer
