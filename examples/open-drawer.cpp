// Opens a cash drawer through the control object, fires it, waits until it
// is shut and prints each result, as open-drawer.vbs does:
//   open-drawer.exe [device name]   (VirtualDrawer if none)
// The control object is called by name through IDispatch, the way any
// late-bound client calls it. Built with mingw-w64 as the README shows
// (-municode -static, linked with ole32, oleaut32 and uuid).
#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <utility>
#include <vector>

namespace {

class ControlObject {
 public:
  ~ControlObject() {
    if (object_) object_->Release();
  }
  bool Create(const wchar_t* progId) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (SUCCEEDED(hr)) {
      hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                            reinterpret_cast<void**>(&object_));
    }
    if (FAILED(hr)) std::printf("%ls cannot be created: 0x%08lX\n", progId, hr);
    return SUCCEEDED(hr);
  }

  // A method or property read whose result is a number (booleans are -1 and 0).
  long Number(const wchar_t* name, std::initializer_list<VARIANT> args = {}) {
    VARIANT result;
    VariantInit(&result);
    long value = 0;
    if (Invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, &result) &&
        SUCCEEDED(VariantChangeType(&result, &result, 0, VT_I4))) {
      value = result.lVal;
    }
    VariantClear(&result);
    return value;
  }

  void Set(const wchar_t* name, VARIANT value) {
    Invoke(name, DISPATCH_PROPERTYPUT, {value}, nullptr);
  }

 private:
  // Invokes a member by name; the arguments in the member's order.
  bool Invoke(const wchar_t* name, WORD flags, std::initializer_list<VARIANT> args,
              VARIANT* result) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (SUCCEEDED(hr)) {
      // IDispatch takes the arguments last to first.
      std::vector<VARIANT> reversed(args.begin(), args.end());
      for (size_t i = 0; i < reversed.size() / 2; ++i) {
        std::swap(reversed[i], reversed[reversed.size() - 1 - i]);
      }
      DISPID put = DISPID_PROPERTYPUT;
      DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
      if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
      }
      hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                           nullptr);
    }
    if (FAILED(hr)) std::printf("%ls failed: 0x%08lX\n", name, hr);
    return SUCCEEDED(hr);
  }

  IDispatch* object_ = nullptr;
};

VARIANT Long(long value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

// An in/out argument: the callee may write to it.
VARIANT LongRef(long* value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4 | VT_BYREF;
  v.plVal = value;
  return v;
}

VARIANT Bool(bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

const char* TrueFalse(long flag) { return flag ? "True" : "False"; }

int Run(const wchar_t* device) {
  ControlObject cd;
  if (!cd.Create(L"quillvane.ControlObject")) return 1;
  BSTR name = SysAllocString(device);
  VARIANT nameArg;
  VariantInit(&nameArg);
  nameArg.vt = VT_BSTR;
  nameArg.bstrVal = name;
  const long opened = cd.Number(L"Open", {nameArg});
  SysFreeString(name);
  std::printf("Open = %ld\n", opened);
  std::printf("OpenResult = %ld\n", cd.Number(L"OpenResult"));
  if (opened != 0) return 0;
  std::printf("ClaimDevice = %ld\n", cd.Number(L"ClaimDevice", {Long(1000)}));
  cd.Set(L"DeviceEnabled", Bool(true));
  std::printf("DeviceEnabled = %s\n", TrueFalse(cd.Number(L"DeviceEnabled")));
  std::printf("OpenDrawer = %ld\n", cd.Number(L"OpenDrawer"));
  // Beeps every second once the drawer has been open for 10 s.
  long timeout = 10000, frequency = 500, duration = 100, delay = 1000;
  std::printf("WaitForDrawerClose = %ld\n",
              cd.Number(L"WaitForDrawerClose", {LongRef(&timeout), LongRef(&frequency),
                                                LongRef(&duration), LongRef(&delay)}));
  std::printf("DrawerOpened = %s\n", TrueFalse(cd.Number(L"DrawerOpened")));
  std::printf("Close = %ld\n", cd.Number(L"Close"));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitialize(nullptr))) return 1;
  const int status = Run(argc > 1 ? argv[1] : L"VirtualDrawer");
  CoUninitialize();
  return status;
}
