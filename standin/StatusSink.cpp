#include "standin/StatusSink.h"

#include <new>

namespace quillvane::standin {

using win32kit::ComRef;

ComRef<StatusSink> StatusSink::Create(IDispatch* objOwner) {
  return ComRef<StatusSink>::Adopt(new (std::nothrow) StatusSink(objOwner));
}

HRESULT StatusSink::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG StatusSink::AddRef() { return ++mlngRefs; }

ULONG StatusSink::Release() {
  ULONG lngRefs = --mlngRefs;
  if (lngRefs == 0) delete this;
  return lngRefs;
}

HRESULT StatusSink::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  if (!mobjOwner) {
    *pctinfo = 0;
    return RPC_E_DISCONNECTED;
  }
  return mobjOwner->GetTypeInfoCount(pctinfo);
}

HRESULT StatusSink::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  if (!mobjOwner) return RPC_E_DISCONNECTED;
  return mobjOwner->GetTypeInfo(iTInfo, lcid, ppTInfo);
}

HRESULT StatusSink::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                  DISPID* rgDispId) {
  if (!mobjOwner) return RPC_E_DISCONNECTED;
  return mobjOwner->GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
}

HRESULT StatusSink::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                           DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                           UINT* puArgErr) {
  if (!mobjOwner) return RPC_E_DISCONNECTED;
  // Both stay alive through the call, whatever its handlers release.
  ComRef<IDispatch> objSelf = ComRef<IDispatch>::Share(this);
  ComRef<IDispatch> objOwner = ComRef<IDispatch>::Share(mobjOwner);
  return objOwner->Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo,
                          puArgErr);
}

}  // namespace quillvane::standin
