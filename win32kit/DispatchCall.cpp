#include "win32kit/DispatchCall.h"

#include "contract/RuntimeError.h"
#include "win32kit/Owners.h"
#include "win32kit/Text.h"

namespace win32kit {

CallOutcome TakeExceptionRecord(HRESULT hrInvoke, EXCEPINFO& record) noexcept {
  if (hrInvoke == DISP_E_EXCEPTION && record.pfnDeferredFillIn) {
    record.pfnDeferredFillIn(&record);
  }
  // Freed whatever happens below.
  UniqueBstr strSource(record.bstrSource);
  UniqueBstr strDescription(record.bstrDescription);
  UniqueBstr strHelpFile(record.bstrHelpFile);
  const EXCEPINFO objTaken = record;
  record = EXCEPINFO{};

  CallOutcome objOutcome;
  objOutcome.hr = hrInvoke;
  if (hrInvoke != DISP_E_EXCEPTION) return objOutcome;
  if (FAILED(objTaken.scode)) {
    objOutcome.hr = objTaken.scode;
  } else if (objTaken.wCode != 0) {
    objOutcome.hr = quillvane::HResultFromErrorNumber(objTaken.wCode);
  }
  try {
    objOutcome.strDescription = FromBstr(strDescription.Get());
  } catch (...) {
    // The status is what counts; a description that cannot be copied is left out.
  }
  return objOutcome;
}

CallOutcome InvokeMember(IDispatch* objTarget, DISPID lngDispid, WORD lngFlags,
                         DISPPARAMS& objParams, VARIANT* varResult) {
  EXCEPINFO objRecord{};
  UINT lngArgError = 0;
  const HRESULT hr = objTarget->Invoke(lngDispid, IID_NULL, LOCALE_USER_DEFAULT, lngFlags,
                                       &objParams, varResult, &objRecord, &lngArgError);
  return TakeExceptionRecord(hr, objRecord);
}

CallOutcome CallByName(IDispatch* objTarget, const wchar_t* strName,
                       const std::vector<VARIANT>& objArgs, VARIANT* varResult) {
  LPOLESTR lpName = const_cast<LPOLESTR>(strName);
  DISPID lngDispid = DISPID_UNKNOWN;
  CallOutcome objOutcome;
  objOutcome.hr = objTarget->GetIDsOfNames(IID_NULL, &lpName, 1, LOCALE_USER_DEFAULT, &lngDispid);
  if (FAILED(objOutcome.hr)) return objOutcome;
  // Positional arguments travel last first.
  std::vector<VARIANTARG> varArgs(objArgs.rbegin(), objArgs.rend());
  DISPPARAMS objParams{varArgs.empty() ? nullptr : varArgs.data(), nullptr,
                       static_cast<UINT>(varArgs.size()), 0};
  return InvokeMember(objTarget, lngDispid, DISPATCH_METHOD, objParams, varResult);
}

// A zero-filled VARIANT is VT_EMPTY, as VariantInit leaves it.
VARIANT LongArg(LONG lngValue) {
  VARIANT varArg{};
  varArg.vt = VT_I4;
  varArg.lVal = lngValue;
  return varArg;
}

VARIANT TextArg(BSTR strValue) {
  VARIANT varArg{};
  varArg.vt = VT_BSTR;
  varArg.bstrVal = strValue;
  return varArg;
}

VARIANT VariantRefArg(VARIANT* varValue) {
  VARIANT varArg{};
  varArg.vt = VT_BYREF | VT_VARIANT;
  varArg.pvarVal = varValue;
  return varArg;
}

}  // namespace win32kit
