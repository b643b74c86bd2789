#include "standin/tests/ClientSupport.h"

#include <oleauto.h>

#include <cstdio>

namespace standin_test {

namespace {
int failures = 0;
}  // namespace

int FailureCount() { return failures; }

void Expect(bool condition, const std::string& what) {
  if (condition) return;
  ++failures;
  std::printf("FAIL: %s\n", what.c_str());
  std::fflush(stdout);
}

void ExpectLong(long actual, long expected, const std::string& what) {
  Expect(actual == expected,
         what + ": expected " + std::to_string(expected) + ", got " + std::to_string(actual));
}

void ExpectHr(HRESULT actual, HRESULT expected, const std::string& what) {
  char text[64];
  std::snprintf(text, sizeof text, ": expected 0x%08lX, got 0x%08lX",
                static_cast<unsigned long>(expected), static_cast<unsigned long>(actual));
  Expect(actual == expected, what + text);
}

void ExpectText(const std::wstring& actual, const std::wstring& expected, const std::string& what) {
  Expect(actual == expected,
         what + ": expected \"" + Narrow(expected) + "\", got \"" + Narrow(actual) + "\"");
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += (c < 128) ? static_cast<char>(c) : '?';
  return out;
}

VARIANT LongRef(LONG* value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_I4;
  v.plVal = value;
  return v;
}

void InvokeById(IDispatch* object, DISPID dispid, WORD flags, const std::vector<VARIANT>& args,
                Invocation& out) {
  std::vector<VARIANTARG> reversed(args.rbegin(), args.rend());
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  EXCEPINFO exception{};
  UINT arg_error = 0;
  out.hr = object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, out.result.Get(),
                          &exception, &arg_error);
  if (out.hr == DISP_E_EXCEPTION && exception.pfnDeferredFillIn) {
    exception.pfnDeferredFillIn(&exception);
  }
  out.scode = exception.scode;
  if (exception.bstrDescription) {
    out.description.assign(exception.bstrDescription, SysStringLen(exception.bstrDescription));
  }
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
}

LONG CallLong(IDispatch* object, DISPID dispid, const std::vector<VARIANT>& args,
              const std::string& what) {
  Invocation call;
  InvokeById(object, dispid, DISPATCH_METHOD, args, call);
  ExpectHr(call.hr, S_OK, what + " succeeds");
  if (FAILED(call.hr)) return -9999;
  Expect(call.result.Get()->vt == VT_I4, what + " answers a 32-bit integer");
  return call.result.Get()->vt == VT_I4 ? call.result.Get()->lVal : -9999;
}

LONG GetLong(IDispatch* object, DISPID dispid, const std::string& what) {
  Invocation call;
  InvokeById(object, dispid, DISPATCH_PROPERTYGET, {}, call);
  ExpectHr(call.hr, S_OK, what + " succeeds");
  if (FAILED(call.hr)) return -9999;
  Expect(call.result.Get()->vt == VT_I4, what + " is a 32-bit integer");
  return call.result.Get()->vt == VT_I4 ? call.result.Get()->lVal : -9999;
}

VARIANT_BOOL GetFlag(IDispatch* object, DISPID dispid, const std::string& what) {
  Invocation call;
  InvokeById(object, dispid, DISPATCH_PROPERTYGET, {}, call);
  ExpectHr(call.hr, S_OK, what + " succeeds");
  if (FAILED(call.hr)) return 99;
  Expect(call.result.Get()->vt == VT_BOOL, what + " is an automation boolean");
  return call.result.Get()->vt == VT_BOOL ? call.result.Get()->boolVal : 99;
}

std::wstring GetText(IDispatch* object, DISPID dispid, const std::string& what) {
  Invocation call;
  InvokeById(object, dispid, DISPATCH_PROPERTYGET, {}, call);
  ExpectHr(call.hr, S_OK, what + " succeeds");
  if (FAILED(call.hr)) return L"<failed>";
  const VARIANT* v = call.result.Get();
  Expect(v->vt == VT_BSTR && v->bstrVal != nullptr, what + " is a (non-null) string");
  if (v->vt != VT_BSTR || !v->bstrVal) return L"<not a string>";
  return std::wstring(v->bstrVal, SysStringLen(v->bstrVal));
}

void PutFlag(IDispatch* object, DISPID dispid, VARIANT_BOOL value, const std::string& what) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value;
  Invocation call;
  InvokeById(object, dispid, DISPATCH_PROPERTYPUT, {v}, call);
  ExpectHr(call.hr, S_OK, what + " succeeds");
}

ComRef<IDispatch> CreateStandIn() {
  CLSID clsid{};
  ComRef<IDispatch> cd;
  HRESULT hr = CLSIDFromProgID(L"quillvane.ControlObject", &clsid);
  ExpectHr(hr, S_OK, "the stand-in's ProgID is registered");
  if (FAILED(hr)) return cd;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                        reinterpret_cast<void**>(cd.Put()));
  ExpectHr(hr, S_OK, "the stand-in can be created");
  return cd;
}

LONG OpenDevice(IDispatch* cd, const wchar_t* name) {
  UniqueBstr text(SysAllocString(name));
  return CallLong(cd, contract::kDispidOpen, {TextArg(text.Get())}, "Open(" + Narrow(name) + ")");
}

void WriteDefaultValue(HKEY root, const std::wstring& key, const std::wstring* value) {
  HKEY handle = nullptr;
  LONG status =
      RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr);
  Expect(status == ERROR_SUCCESS, "fixture key " + Narrow(key) + " can be written");
  if (status != ERROR_SUCCESS) return;
  if (value) {
    RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(handle);
}

void DeleteKeyTree(HKEY root, const std::wstring& key) { RegDeleteTreeW(root, key.c_str()); }

}  // namespace standin_test
