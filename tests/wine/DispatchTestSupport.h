// What the Wine test programs of the automation boundary share: a control
// object that counts its references, variants built in one line, and calls
// by name.
#pragma once

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <string>
#include <vector>

namespace qvtest {

// A control object: counts its references, answers SOStatusUpdate (failing
// it with a chosen status and description when told to), and refuses every
// other name and member.
class CountedDispatch : public IDispatch {
 public:
  LONG refs = 1;
  int updates = 0;
  HRESULT failWith = S_OK;  // the scode SOStatusUpdate raises, when set
  std::wstring failText;    // and its description

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (count != 1 || !names || !ids || lstrcmpiW(names[0], L"SOStatusUpdate") != 0) {
      return DISP_E_UNKNOWNNAME;
    }
    ids[0] = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                   EXCEPINFO* exception, UINT*) override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    ++updates;
    if (failWith == S_OK) return S_OK;
    if (exception) {
      *exception = EXCEPINFO{};
      exception->scode = failWith;
      exception->bstrDescription =
          SysAllocStringLen(failText.data(), static_cast<UINT>(failText.size()));
    }
    return DISP_E_EXCEPTION;
  }
};

inline VARIANT Long(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

// A BSTR the caller owns and frees.
inline VARIANT Text(const std::wstring& value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  return v;
}

// A variable passed by reference, as script clients pass them.
inline VARIANT Ref(VARIANT* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = target;
  return v;
}

// An object lent to the call: the variant holds no reference of its own.
inline VARIANT Object(IDispatch* object, VARTYPE vt = VT_DISPATCH) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  v.pdispVal = object;
  return v;
}

// A new object of the class progId, or null.
inline IDispatch* Create(const wchar_t* progId) {
  CLSID clsid{};
  IDispatch* object = nullptr;
  if (SUCCEEDED(CLSIDFromProgID(progId, &clsid))) {
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                     reinterpret_cast<void**>(&object));
  }
  return object;
}

// Invokes the member `name` with args in the callee's order, first to last;
// a property put names its value DISPID_PROPERTYPUT.
inline HRESULT CallByName(IDispatch* object, const wchar_t* name, WORD flags,
                          std::vector<VARIANT> args, VARIANT* result) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                        nullptr);
}

}  // namespace qvtest
