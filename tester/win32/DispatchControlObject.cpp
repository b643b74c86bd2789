#include "tester/win32/DispatchControlObject.h"

#include <string>

#include "win32kit/DispatchCall.h"
#include "win32kit/Text.h"

namespace brindlemark::win32 {

using win32kit::FromWide;
using win32kit::ToWide;
using win32kit::UniqueVariant;

DispatchControlObject::DispatchControlObject() {
  for (const wchar_t* strProgId : {kStandardControlProgId, kStandInControlProgId}) {
    CLSID objClsid;
    mlngCreateStatus = CLSIDFromProgID(strProgId, &objClsid);
    if (FAILED(mlngCreateStatus)) continue;  // not registered: try the next
    mlngCreateStatus =
        CoCreateInstance(objClsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                         IID_IDispatch, reinterpret_cast<void**>(mobjDispatch.Put()));
    if (SUCCEEDED(mlngCreateStatus)) mstrProgId = strProgId;
    // A registered control object that cannot be created keeps its failure.
    return;
  }
}

void DispatchControlObject::Call(std::int32_t lngDispid, WORD lngFlags, DISPPARAMS* objParams,
                                 VARIANT* varResult) {
  if (!mobjDispatch) throw AutomationError(mlngCreateStatus);
  const win32kit::CallOutcome objOutcome =
      win32kit::InvokeMember(mobjDispatch.Get(), lngDispid, lngFlags, *objParams, varResult);
  if (FAILED(objOutcome.hr)) throw AutomationError(objOutcome.hr);
}

void DispatchControlObject::GetAs(std::int32_t lngDispid, VARTYPE lngType,
                                  UniqueVariant* varValue) {
  DISPPARAMS objParams{nullptr, nullptr, 0, 0};
  Call(lngDispid, DISPATCH_PROPERTYGET, &objParams, varValue->Get());
  const HRESULT lngStatus = VariantChangeType(varValue->Get(), varValue->Get(), 0, lngType);
  if (FAILED(lngStatus)) throw AutomationError(lngStatus);
}

std::int32_t DispatchControlObject::GetNumber(std::int32_t lngDispid) {
  UniqueVariant varValue;
  GetAs(lngDispid, VT_I4, &varValue);
  return V_I4(varValue.Get());
}

std::u16string DispatchControlObject::GetText(std::int32_t lngDispid) {
  UniqueVariant varValue;
  GetAs(lngDispid, VT_BSTR, &varValue);
  BSTR strValue = V_BSTR(varValue.Get());
  return strValue ? FromWide(strValue, SysStringLen(strValue)) : std::u16string();
}

void DispatchControlObject::PutFlag(std::int32_t lngDispid, bool blnValue) {
  VARIANT varValue;
  VariantInit(&varValue);
  V_VT(&varValue) = VT_BOOL;
  V_BOOL(&varValue) = blnValue ? VARIANT_TRUE : VARIANT_FALSE;
  DISPID lngNamed = DISPID_PROPERTYPUT;
  DISPPARAMS objParams{&varValue, &lngNamed, 1, 1};
  Call(lngDispid, DISPATCH_PROPERTYPUT, &objParams, nullptr);
}

std::int32_t DispatchControlObject::Invoke(std::int32_t lngDispid,
                                           std::vector<MethodArgument>& objArgs) {
  const std::size_t lngCount = objArgs.size();
  // Storage the by-reference arguments point at, and the VARIANTs in the
  // reverse order automation passes them.
  std::vector<LONG> lngNumbers(lngCount, 0);
  struct BstrSlots {
    std::vector<BSTR> strValues;
    ~BstrSlots() {
      for (BSTR strValue : strValues) SysFreeString(strValue);
    }
  } strTexts{std::vector<BSTR>(lngCount, nullptr)};
  std::vector<VARIANT> varArgs(lngCount);
  for (std::size_t lngIndex = 0; lngIndex < lngCount; ++lngIndex) {
    const MethodArgument& objArg = objArgs[lngIndex];
    VARIANT& varArg = varArgs[lngCount - 1 - lngIndex];
    VariantInit(&varArg);
    if (const auto* lngValue = std::get_if<std::int32_t>(&objArg.varValue)) {
      lngNumbers[lngIndex] = *lngValue;
      if (objArg.blnByRef) {
        V_VT(&varArg) = VT_I4 | VT_BYREF;
        V_I4REF(&varArg) = &lngNumbers[lngIndex];
      } else {
        V_VT(&varArg) = VT_I4;
        V_I4(&varArg) = *lngValue;
      }
    } else {
      const std::wstring strValue = ToWide(std::get<std::u16string>(objArg.varValue));
      BSTR& strSlot = strTexts.strValues[lngIndex];
      strSlot = SysAllocStringLen(strValue.data(), static_cast<UINT>(strValue.size()));
      if (!strSlot) throw AutomationError(E_OUTOFMEMORY);
      // By reference the callee may replace the text; the slot frees whatever it holds.
      if (objArg.blnByRef) {
        V_VT(&varArg) = VT_BSTR | VT_BYREF;
        V_BSTRREF(&varArg) = &strSlot;
      } else {
        V_VT(&varArg) = VT_BSTR;
        V_BSTR(&varArg) = strSlot;
      }
    }
  }
  DISPPARAMS objParams{varArgs.data(), nullptr, static_cast<UINT>(lngCount), 0};
  UniqueVariant varResult;
  Call(lngDispid, DISPATCH_METHOD, &objParams, varResult.Get());

  // By-reference arguments carry back what the control object left in them.
  for (std::size_t lngIndex = 0; lngIndex < lngCount; ++lngIndex) {
    MethodArgument& objArg = objArgs[lngIndex];
    if (!objArg.blnByRef) continue;
    if (std::holds_alternative<std::int32_t>(objArg.varValue)) {
      objArg.varValue = static_cast<std::int32_t>(lngNumbers[lngIndex]);
    } else {
      BSTR strValue = strTexts.strValues[lngIndex];
      objArg.varValue = strValue ? FromWide(strValue, SysStringLen(strValue)) : std::u16string();
    }
  }
  const HRESULT lngStatus = VariantChangeType(varResult.Get(), varResult.Get(), 0, VT_I4);
  if (FAILED(lngStatus)) throw AutomationError(lngStatus);
  return V_I4(varResult.Get());
}

}  // namespace brindlemark::win32
