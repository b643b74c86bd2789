#include "service/win32/DispatchControl.h"

#include <memory>
#include <string>

#include "contract/RuntimeError.h"
#include "win32kit/DispatchCall.h"
#include "win32kit/Text.h"
#include "win32kit/VariantRef.h"

namespace quillvane::win32 {

using win32kit::ComRef;

DispatchControl::DispatchControl(IDispatch* objDispatch)
    : mobjDispatch(ComRef<IDispatch>::Share(objDispatch)) {}

void DispatchControl::CallMethod(const std::u16string& name, std::int32_t value) {
  win32kit::UniqueVariant varResult;
  const win32kit::CallOutcome objOutcome =
      win32kit::CallByName(mobjDispatch.Get(), win32kit::ToWide(name).c_str(),
                           {win32kit::LongArg(value)}, varResult.Get());
  if (FAILED(objOutcome.hr)) throw RuntimeError::Foreign(objOutcome.hr, objOutcome.strDescription);
}

contract::AutomationRef ControlFromVariant(const VARIANT& varDispatch) {
  // A reference chain that is too long, or leads back to itself, holds no object.
  const VARIANT* lpValue = win32kit::ResolveVariantRef(&varDispatch);
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
