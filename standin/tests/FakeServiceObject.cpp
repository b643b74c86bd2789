#include "standin/tests/FakeServiceObject.h"

#include <oleauto.h>

namespace standin_test {

using win32kit::ComRef;

namespace {

const wchar_t* const kMethods[] = {
    L"OpenService",       L"CloseService",      L"ClaimDevice",       L"ReleaseDevice",
    L"CheckHealth",       L"GetPropertyNumber", L"GetPropertyString", L"SetPropertyNumber",
    L"SetPropertyString", L"GetOpenResult",     L"OpenDrawer",        L"WaitForDrawerClose",
    L"COFreezeEvents",    L"DirectIO"};
constexpr int kMethodCount = sizeof(kMethods) / sizeof(kMethods[0]);

}  // namespace

HRESULT FakeServiceObject::QueryInterface(REFIID riid, void** ppv) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT FakeServiceObject::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

HRESULT FakeServiceObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT FakeServiceObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (count != 1) return E_INVALIDARG;
  for (int i = 0; i < kMethodCount; ++i) {
    if (lstrcmpiW(names[0], kMethods[i]) == 0) {
      ids[0] = i + 1;
      return S_OK;
    }
  }
  ids[0] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT FakeServiceObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* exception, UINT*) {
  if (id < 1 || id > kMethodCount || flags != DISPATCH_METHOD) return DISP_E_MEMBERNOTFOUND;
  RecordedCall call{kMethods[id - 1], {}, {}};
  VARIANT* control_arg = nullptr;
  for (UINT i = params->cArgs; i-- > 0;) {
    VARIANT* arg = &params->rgvarg[i];
    if (arg->vt == VT_I4) {
      call.numbers.push_back(arg->lVal);
    } else if (arg->vt == VT_BSTR) {
      call.texts.push_back(arg->bstrVal ? std::wstring(arg->bstrVal, SysStringLen(arg->bstrVal))
                                        : std::wstring());
    } else if (arg->vt == (VT_BYREF | VT_VARIANT)) {
      control_arg = arg->pvarVal;
    } else {
      call.texts.push_back(L"<type " + std::to_wstring(arg->vt) + L">");
    }
  }
  calls.push_back(call);

  if (call.name == fail_method) {
    if (exception) {
      *exception = EXCEPINFO{};
      exception->scode = fail_status;
      exception->bstrDescription = SysAllocString(L"fake failure");
    }
    return DISP_E_EXCEPTION;
  }
  if (call.name == L"OpenService" && control_arg && control_arg->vt == VT_DISPATCH) {
    control = ComRef<IDispatch>::Share(control_arg->pdispVal);
    last_control = control;
  }
  if (call.name == L"CloseService") control.Reset();

  if (!result) return S_OK;
  VariantInit(result);
  if (call.name == L"GetPropertyString") {
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocString(texts[call.numbers.empty() ? 0 : call.numbers[0]].c_str());
  } else if (call.name == L"GetPropertyNumber") {
    result->vt = VT_I4;
    result->lVal = numbers[call.numbers.empty() ? 0 : call.numbers[0]];
  } else if (call.name != L"SetPropertyNumber" && call.name != L"SetPropertyString") {
    result->vt = VT_I4;
    auto found = results.find(call.name);
    result->lVal = found == results.end() ? 0 : found->second;
  }
  return S_OK;
}

void FakeServiceObject::Reset() {
  calls.clear();
  results.clear();
  numbers.clear();
  texts.clear();
  fail_method.clear();
  control.Reset();
  last_control.Reset();
}

std::wstring FakeServiceObject::CallNames() const {
  std::wstring names;
  for (const RecordedCall& call : calls) names += (names.empty() ? L"" : L" ") + call.name;
  return names;
}

HRESULT FakeServiceObject::RaiseStatusUpdate(long data) {
  if (!control) return E_POINTER;
  LPOLESTR name = const_cast<LPOLESTR>(L"SOStatusUpdate");
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = data;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  return control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                         nullptr, nullptr);
}

}  // namespace standin_test
