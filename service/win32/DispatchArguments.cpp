#include "service/win32/DispatchArguments.h"

namespace quillvane::win32 {

namespace {

constexpr VARTYPE kByRefVariant = VT_BYREF | VT_VARIANT;

// The parameter a DISPPARAMS entry stands for: named arguments carry their
// position, positional ones are stored last-first.
UINT ParamIndex(const DISPPARAMS& objParams, UINT lngArg) {
  if (lngArg < objParams.cNamedArgs) return static_cast<UINT>(objParams.rgdispidNamedArgs[lngArg]);
  return objParams.cArgs - 1 - lngArg;
}

}  // namespace

HRESULT DispatchArguments::Prepare(const FUNCDESC& desc, const DISPPARAMS& objParams,
                                   UINT* lngArgError) {
  mvarArgs.assign(objParams.rgvarg, objParams.rgvarg + objParams.cArgs);
  mvarCopies.clear();
  for (UINT lngArg = 0; lngArg < objParams.cArgs; ++lngArg) {
    VARIANTARG& varArg = mvarArgs[lngArg];
    if (varArg.vt != kByRefVariant || !varArg.pvarVal) continue;
    const UINT lngParam = ParamIndex(objParams, lngArg);
    if (lngParam >= static_cast<UINT>(desc.cParams)) continue;  // the callee reports the count
    const TYPEDESC& objType = desc.lprgelemdescParam[lngParam].tdesc;

    if (objType.vt == VT_PTR && objType.lptdesc && objType.lptdesc->vt != VT_VARIANT) {
      const VARTYPE lngTarget = objType.lptdesc->vt;
      VARIANT* varInner = varArg.pvarVal;
      if (varInner->vt == (VT_BYREF | lngTarget)) {
        varArg = *varInner;
        continue;
      }
      if (lngTarget != VT_I4 && lngTarget != VT_BSTR) continue;
      VARIANT* lpTarget = varInner;
      if (varInner->vt != lngTarget) {
        Converted& objConverted = mobjConverted.emplace_back();
        objConverted.varCaller = varInner;
        HRESULT hr = VariantChangeType(objConverted.varTemp.Get(), varInner, 0, lngTarget);
        if (SUCCEEDED(hr))
          hr = VariantCopy(objConverted.varOriginal.Get(), objConverted.varTemp.Get());
        if (FAILED(hr)) {
          if (lngArgError) *lngArgError = lngArg;
          return DISP_E_TYPEMISMATCH;
        }
        lpTarget = objConverted.varTemp.Get();
      }
      varArg.vt = VT_BYREF | lngTarget;
      if (lngTarget == VT_I4) {
        varArg.plVal = &lpTarget->lVal;
      } else {
        varArg.pbstrVal = &lpTarget->bstrVal;
      }
    } else if (objType.vt != VT_PTR) {
      UniqueVariant& varCopy = mvarCopies.emplace_back();
      HRESULT hr = VariantCopyInd(varCopy.Get(), &varArg);
      if (FAILED(hr)) {
        if (lngArgError) *lngArgError = lngArg;
        return hr;
      }
      varArg = *varCopy.Get();
    }
  }
  mobjParams = objParams;
  mobjParams.rgvarg = mvarArgs.empty() ? nullptr : mvarArgs.data();
  return S_OK;
}

void DispatchArguments::WriteBack() {
  for (Converted& objConverted : mobjConverted) {
    if (VarCmp(objConverted.varTemp.Get(), objConverted.varOriginal.Get(), LOCALE_USER_DEFAULT,
               0) == static_cast<HRESULT>(VARCMP_EQ)) {
      continue;
    }
    VariantCopy(objConverted.varCaller, objConverted.varTemp.Get());
  }
}

}  // namespace quillvane::win32
