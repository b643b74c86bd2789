#include "win32kit/TypeInfoDispatch.h"

#include <utility>

#include "contract/AutomationBoundary.h"
#include "win32kit/DispatchArguments.h"

namespace win32kit {

HRESULT LoadDualTypeInfo(ITypeLib* objTypeLib, REFIID iid, DualTypeInfo& objInfo) {
  ComRef<ITypeInfo> objDispatch;
  HRESULT hr = objTypeLib->GetTypeInfoOfGuid(iid, objDispatch.Put());
  if (FAILED(hr)) return hr;
  HREFTYPE lngRef = 0;
  ComRef<ITypeInfo> objVtable;
  hr = objDispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &lngRef);
  if (SUCCEEDED(hr)) hr = objDispatch->GetRefTypeInfo(lngRef, objVtable.Put());
  if (FAILED(hr)) return hr;
  objInfo.objDispatch = std::move(objDispatch);
  objInfo.objVtable = std::move(objVtable);
  return S_OK;
}

HRESULT OneTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}

HRESULT ShareTypeInfo(const DualTypeInfo& objInfo, UINT iTInfo, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  *ppTInfo = ComRef<ITypeInfo>::Share(objInfo.objDispatch.Get()).Detach();
  return S_OK;
}

HRESULT IDsOfNamesFromTypeInfo(const DualTypeInfo& objInfo, REFIID riid, LPOLESTR* rgszNames,
                               UINT cNames, DISPID* rgDispId) {
  if (cNames > 0 && (!rgszNames || !rgDispId)) return E_POINTER;
  for (UINT lngName = 0; lngName < cNames; ++lngName) {
    if (!rgszNames[lngName]) return E_POINTER;
  }
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return DispGetIDsOfNames(objInfo.objVtable.Get(), rgszNames, cNames, rgDispId);
}

namespace {

// Calls the member dispIdMember of kind wFlags; a failure that is no
// exception gives its status.
HRESULT InvokeMember(ITypeInfo* objVtable, void* objSelf, DISPID dispIdMember, WORD wFlags,
                     const DISPPARAMS& objParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                     UINT* puArgErr) {
  TYPEATTR* lpAttr = nullptr;
  HRESULT hr = objVtable->GetTypeAttr(&lpAttr);
  if (FAILED(hr)) return hr;
  ScopedTypeAttr objHeldAttr(objVtable, lpAttr);
  // Scanned, not looked up by DISPID: the index lookup is unreliable on some
  // platforms for dual interfaces.
  for (UINT lngIndex = 0; lngIndex < lpAttr->cFuncs; ++lngIndex) {
    FUNCDESC* lpDesc = nullptr;
    if (FAILED(objVtable->GetFuncDesc(lngIndex, &lpDesc))) continue;
    ScopedFuncDesc objDesc(objVtable, lpDesc);
    if (lpDesc->memid != dispIdMember || (lpDesc->invkind & wFlags) == 0) continue;

    DispatchArguments objArguments;
    hr = objArguments.Prepare(*lpDesc, wFlags, objParams, puArgErr);
    if (FAILED(hr)) return hr;
    hr = objVtable->Invoke(objSelf, dispIdMember, wFlags, objArguments.Params(), pVarResult,
                           pExcepInfo, puArgErr);
    objArguments.WriteBack();
    return hr;
  }
  return DISP_E_MEMBERNOTFOUND;
}

}  // namespace

HRESULT InvokeFromTypeInfo(const DualTypeInfo& objInfo, void* objSelf, const ErrorSource& objSource,
                           DISPID dispIdMember, REFIID riid, WORD wFlags, DISPPARAMS* pDispParams,
                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept {
  // Out-parameters first: whatever the outcome, they hold nothing stale.
  if (pVarResult) VariantClear(pVarResult);
  if (pExcepInfo) *pExcepInfo = EXCEPINFO{};
  if (!pDispParams) return E_POINTER;
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;

  auto objOutcome = quillvane::CallMethod([&] {
    return InvokeMember(objInfo.objVtable.Get(), objSelf, dispIdMember, wFlags, *pDispParams,
                        pVarResult, pExcepInfo, puArgErr);
  });
  HRESULT hr = objOutcome.value;
  if (FAILED(objOutcome.hresult)) {
    hr = RaiseToInvoker(objSource, pExcepInfo, objOutcome.hresult, objOutcome.description);
  }
  if (FAILED(hr) && pVarResult) VariantClear(pVarResult);
  return hr;
}

}  // namespace win32kit
