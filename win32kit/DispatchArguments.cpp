#include "win32kit/DispatchArguments.h"

#include "win32kit/VariantRef.h"

namespace win32kit {

namespace {

constexpr WORD kPutFlags = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
constexpr UINT kNoArgument = static_cast<UINT>(-1);

// The placeholder of an argument left out.
bool IsMissing(const VARIANT& varArg) {
  return varArg.vt == VT_ERROR && varArg.scode == DISP_E_PARAMNOTFOUND;
}

// A conversion's failure as Invoke reports it: overflow, a type that is no
// type and lack of memory keep their status; anything else means the
// argument cannot be the parameter's type.
HRESULT ConversionFailure(HRESULT hr) {
  if (hr == DISP_E_OVERFLOW || hr == DISP_E_BADVARTYPE || hr == E_OUTOFMEMORY) return hr;
  return DISP_E_TYPEMISMATCH;
}

// A reference that points nowhere holds no value of any type.
bool PointsNowhere(const VARIANT& varValue) {
  return (varValue.vt & VT_BYREF) != 0 && !varValue.byref;
}

// A reference of type VT_BYREF|vt to the value varValue holds.
VARIANTARG ReferenceTo(VARIANT* varValue, VARTYPE vt) {
  VARIANTARG varRef;
  VariantInit(&varRef);
  varRef.vt = VT_BYREF | vt;
  if (vt == VT_VARIANT) {
    varRef.pvarVal = varValue;
  } else if (vt == VT_DECIMAL) {
    varRef.pdecVal = &varValue->decVal;
  } else {
    // Every other value starts where the union does.
    varRef.byref = &varValue->lVal;
  }
  return varRef;
}

}  // namespace

HRESULT DispatchArguments::Prepare(const FUNCDESC& desc, WORD wFlags, const DISPPARAMS& objParams,
                                   UINT* puArgErr) {
  auto Fail = [puArgErr](HRESULT hr, UINT lngArg) {
    if (puArgErr) *puArgErr = lngArg;
    return hr;
  };
  if (objParams.cArgs > 0 && !objParams.rgvarg) return E_POINTER;
  if (objParams.cNamedArgs > objParams.cArgs) return E_INVALIDARG;
  if (objParams.cNamedArgs > 0 && !objParams.rgdispidNamedArgs) return E_POINTER;

  // The parameters a caller fills: all but the result.
  std::vector<SHORT> lngParamIndex;
  for (SHORT lngIndex = 0; lngIndex < desc.cParams; ++lngIndex) {
    const USHORT lngFlags = desc.lprgelemdescParam[lngIndex].paramdesc.wParamFlags;
    if ((lngFlags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID)) == 0) lngParamIndex.push_back(lngIndex);
  }
  const UINT lngParams = static_cast<UINT>(lngParamIndex.size());
  const bool blnPut = (wFlags & kPutFlags) != 0 &&
                      (desc.invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) != 0;

  // Which argument fills each parameter. Named arguments come first in
  // rgvarg; positional ones follow, last first.
  std::vector<UINT> lngArgOf(lngParams, kNoArgument);
  for (UINT lngArg = 0; lngArg < objParams.cNamedArgs; ++lngArg) {
    if (lngParams == 0) return DISP_E_NONAMEDARGS;
    const DISPID lngName = objParams.rgdispidNamedArgs[lngArg];
    UINT lngParam = kNoArgument;
    if (lngName == DISPID_PROPERTYPUT) {
      if (blnPut) lngParam = lngParams - 1;
    } else if (lngName >= 0 && static_cast<UINT>(lngName) < lngParams) {
      lngParam = static_cast<UINT>(lngName);
    }
    if (lngParam == kNoArgument || lngArgOf[lngParam] != kNoArgument) {
      return Fail(DISP_E_PARAMNOTFOUND, lngArg);
    }
    lngArgOf[lngParam] = lngArg;
  }
  if (objParams.cArgs > lngParams) return DISP_E_BADPARAMCOUNT;
  const UINT lngPositional = objParams.cArgs - objParams.cNamedArgs;
  for (UINT lngParam = 0; lngParam < lngPositional; ++lngParam) {
    // A parameter given by position and by name as well.
    if (lngArgOf[lngParam] != kNoArgument) return Fail(DISP_E_PARAMNOTFOUND, lngArgOf[lngParam]);
    lngArgOf[lngParam] = objParams.cArgs - 1 - lngParam;
  }
  for (UINT lngParam = 0; lngParam < lngParams; ++lngParam) {
    const UINT lngArg = lngArgOf[lngParam];
    if (lngArg == kNoArgument) {
      return objParams.cNamedArgs == 0 ? DISP_E_BADPARAMCOUNT : DISP_E_PARAMNOTOPTIONAL;
    }
    if (IsMissing(objParams.rgvarg[lngArg])) return Fail(DISP_E_PARAMNOTOPTIONAL, lngArg);
  }

  // Every argument of its declared type, positional, last first.
  mvarPassed.assign(lngParams, VARIANTARG{});
  for (UINT lngParam = 0; lngParam < lngParams; ++lngParam) {
    const UINT lngArg = lngArgOf[lngParam];
    HRESULT hr = PrepareOne(desc.lprgelemdescParam[lngParamIndex[lngParam]].tdesc,
                            &objParams.rgvarg[lngArg], mvarPassed[lngParams - 1 - lngParam]);
    if (FAILED(hr)) return Fail(hr, lngArg);
  }
  mobjParams = DISPPARAMS{};
  mobjParams.rgvarg = mvarPassed.empty() ? nullptr : mvarPassed.data();
  mobjParams.cArgs = lngParams;
  // A property put names its value, the last parameter, which is first in rgvarg.
  if (blnPut && lngParams > 0) {
    mobjParams.rgdispidNamedArgs = &mlngPutId;
    mobjParams.cNamedArgs = 1;
  }
  return S_OK;
}

HRESULT DispatchArguments::PrepareOne(const TYPEDESC& objType, VARIANT* varArg,
                                      VARIANTARG& varPassed) {
  if (PointsNowhere(*varArg)) return DISP_E_TYPEMISMATCH;

  if (objType.vt != VT_PTR) {
    // By value: a copy of the declared type.
    const VARIANT* varSource = ResolveVariantRef(static_cast<const VARIANT*>(varArg));
    if (!varSource || PointsNowhere(*varSource)) return DISP_E_TYPEMISMATCH;
    VARIANT* varCopy = nullptr;
    HRESULT hr = OwnedCopy(varSource, objType.vt, &varCopy);
    if (FAILED(hr)) return hr;
    varPassed = *varCopy;
    return S_OK;
  }

  if (!objType.lptdesc) return DISP_E_TYPEMISMATCH;
  const VARTYPE lngTarget = objType.lptdesc->vt;
  const auto lngRef = static_cast<VARTYPE>(VT_BYREF | lngTarget);
  if (varArg->vt == lngRef) {
    varPassed = *varArg;
    return S_OK;
  }
  if (varArg->vt == (VT_BYREF | VT_VARIANT)) {
    // A script variable: the callee works on the variable itself.
    VARIANT* varInner = ResolveVariantRef(varArg);
    if (!varInner || PointsNowhere(*varInner)) return DISP_E_TYPEMISMATCH;
    if (lngTarget == VT_VARIANT || varInner->vt == lngTarget) {
      varPassed = ReferenceTo(varInner, lngTarget);
      return S_OK;
    }
    if (varInner->vt == lngRef) {
      varPassed = *varInner;
      return S_OK;
    }
    Converted& objConverted = mobjConverted.emplace_back();
    objConverted.varCaller = varInner;
    HRESULT hr = VariantChangeType(objConverted.varTemp.Get(), varInner, 0, lngTarget);
    if (FAILED(hr)) {
      mobjConverted.pop_back();
      return ConversionFailure(hr);
    }
    hr = VariantCopy(objConverted.varOriginal.Get(), objConverted.varTemp.Get());
    if (FAILED(hr)) {
      mobjConverted.pop_back();
      return hr;
    }
    varPassed = ReferenceTo(objConverted.varTemp.Get(), lngTarget);
    return S_OK;
  }
  // A value, or a reference of another type: the callee gets a reference to
  // a copy, and the caller's argument stays as it is.
  VARIANT* varCopy = nullptr;
  HRESULT hr = OwnedCopy(varArg, lngTarget, &varCopy);
  if (FAILED(hr)) return hr;
  varPassed = ReferenceTo(varCopy, lngTarget);
  return S_OK;
}

HRESULT DispatchArguments::OwnedCopy(const VARIANT* varSource, VARTYPE vt, VARIANT** lpCopy) {
  UniqueVariant& varCopy = mvarOwned.emplace_back();
  // Both read the source only; the headers declare it without const.
  VARIANT* varRead = const_cast<VARIANT*>(varSource);
  HRESULT hr = vt == VT_VARIANT ? VariantCopyInd(varCopy.Get(), varRead)
                                : VariantChangeType(varCopy.Get(), varRead, 0, vt);
  if (FAILED(hr)) {
    mvarOwned.pop_back();
    return ConversionFailure(hr);
  }
  *lpCopy = varCopy.Get();
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

}  // namespace win32kit
