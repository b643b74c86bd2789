#include "service/win32/DispatchControl.h"

#include <memory>
#include <string>

#include "service/RuntimeError.h"
#include "service/win32/BstrText.h"
#include "service/win32/VariantRef.h"

namespace quillvane::win32 {

DispatchControl::DispatchControl(IDispatch* objDispatch)
    : mobjDispatch(ComRef<IDispatch>::Share(objDispatch)) {}

void DispatchControl::CallMethod(const std::u16string& name, std::int32_t value) {
  std::wstring strName(reinterpret_cast<const wchar_t*>(name.data()), name.size());
  LPOLESTR lpName = strName.data();
  DISPID lngDispid = DISPID_UNKNOWN;
  HRESULT hr = mobjDispatch->GetIDsOfNames(IID_NULL, &lpName, 1, LOCALE_USER_DEFAULT, &lngDispid);
  if (FAILED(hr)) throw RuntimeError::Foreign(hr);

  VARIANTARG varArgument;
  VariantInit(&varArgument);
  varArgument.vt = VT_I4;
  varArgument.lVal = value;
  DISPPARAMS objParams{&varArgument, nullptr, 1, 0};
  UniqueVariant varResult;
  EXCEPINFO objException{};
  UINT lngArgError = 0;
  hr = mobjDispatch->Invoke(lngDispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &objParams,
                            varResult.Get(), &objException, &lngArgError);
  if (hr == DISP_E_EXCEPTION && objException.pfnDeferredFillIn) {
    objException.pfnDeferredFillIn(&objException);
  }
  UniqueBstr strSource(objException.bstrSource);
  UniqueBstr strDescription(objException.bstrDescription);
  UniqueBstr strHelpFile(objException.bstrHelpFile);
  if (FAILED(hr)) {
    // The callee's own failure status travels inside the exception record.
    if (hr == DISP_E_EXCEPTION && FAILED(objException.scode)) hr = objException.scode;
    throw RuntimeError::Foreign(hr, FromBstr(strDescription.Get()));
  }
}

contract::AutomationRef ControlFromVariant(const VARIANT& varDispatch) {
  // A reference chain that is too long, or leads back to itself, holds no object.
  const VARIANT* lpValue = ResolveVariantRef(&varDispatch);
  if (!lpValue) throw RuntimeError(kErrTypeMismatch);

  IUnknown* objUnknown = nullptr;
  switch (lpValue->vt) {
    case VT_DISPATCH:
      objUnknown = lpValue->pdispVal;
      break;
    case VT_DISPATCH | VT_BYREF:
      objUnknown = lpValue->ppdispVal ? *lpValue->ppdispVal : nullptr;
      break;
    case VT_UNKNOWN:
      objUnknown = lpValue->punkVal;
      break;
    case VT_UNKNOWN | VT_BYREF:
      objUnknown = lpValue->ppunkVal ? *lpValue->ppunkVal : nullptr;
      break;
    default:
      throw RuntimeError(kErrTypeMismatch);
  }
  if (!objUnknown) return nullptr;
  ComRef<IDispatch> objDispatch;
  HRESULT hr =
      objUnknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(objDispatch.Put()));
  if (FAILED(hr)) throw RuntimeError(kErrTypeMismatch);
  return std::make_shared<DispatchControl>(objDispatch.Get());
}

}  // namespace quillvane::win32
