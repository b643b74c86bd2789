#include "virtual-drawer/client/ServiceObject.h"

#include <algorithm>

#include "win32kit/DispatchCall.h"

namespace vdrawer {
namespace {

constexpr char kCategoryKey[] = R"(SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\)";

// The VARIANTs of one call, cleared when the call is done.
class CallArguments {
 public:
  explicit CallArguments(const std::vector<Arg>& args) : mValues(args.size()), mByRef(args.size()) {
    // Automation passes the arguments last first.
    for (std::size_t i = 0; i < args.size(); ++i) {
      VARIANT& slot = mValues[args.size() - 1 - i];
      VariantInit(&slot);
      VariantInit(&mByRef[i]);
      const Arg& arg = args[i];
      switch (arg.kind) {
        case Arg::Kind::kLong:
          slot.vt = VT_I4;
          slot.lVal = arg.number;
          break;
        case Arg::Kind::kText:
          slot.vt = VT_BSTR;
          slot.bstrVal = SysAllocString(arg.text.c_str());
          break;
        case Arg::Kind::kDispatchByRef:
          // In/out VARIANT holding the object, as the control object passes it.
          mByRef[i].vt = VT_DISPATCH;
          mByRef[i].pdispVal = arg.object;
          if (arg.object) arg.object->AddRef();
          slot.vt = VT_BYREF | VT_VARIANT;
          slot.pvarVal = &mByRef[i];
          break;
      }
    }
  }
  ~CallArguments() {
    for (VARIANT& value : mValues) VariantClear(&value);
    for (VARIANT& value : mByRef) VariantClear(&value);
  }
  CallArguments(const CallArguments&) = delete;
  CallArguments& operator=(const CallArguments&) = delete;
  DISPPARAMS Params() {
    return DISPPARAMS{mValues.data(), nullptr, static_cast<UINT>(mValues.size()), 0};
  }

 private:
  std::vector<VARIANT> mValues;
  std::vector<VARIANT> mByRef;
};

}  // namespace

bool ServiceObject::Create(std::string* error) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(L"quillvane.CashDrawer", &clsid);
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(mObject.Put()));
  }
  if (FAILED(hr) && error) {
    char text[96];
    wsprintfA(text, "quillvane.CashDrawer cannot be created (0x%08lx)", hr);
    *error = text;
  }
  return SUCCEEDED(hr);
}

HRESULT ServiceObject::Call(const wchar_t* name, const std::vector<Arg>& args, long* result) {
  if (result) *result = 0;
  if (!mObject) return E_POINTER;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = mObject->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  CallArguments arguments(args);
  DISPPARAMS params = arguments.Params();
  win32kit::UniqueVariant returned;
  hr = win32kit::InvokeMember(mObject.Get(), id, DISPATCH_METHOD, params, returned.Get()).hr;
  if (SUCCEEDED(hr) && result &&
      SUCCEEDED(VariantChangeType(returned.Get(), returned.Get(), 0, VT_I4))) {
    *result = returned.Get()->lVal;
  }
  return hr;
}

long ServiceObject::CallLong(const wchar_t* name, const std::vector<Arg>& args, long failed) {
  long result = 0;
  return SUCCEEDED(Call(name, args, &result)) ? result : failed;
}

std::int64_t NowTicks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double TicksToMs(std::int64_t ticks) {
  static const double frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return static_cast<double>(value.QuadPart);
  }();
  return static_cast<double>(ticks) * 1000.0 / frequency;
}

bool ConfigureDevice(const std::string& name, const std::string& productId) {
  win32kit::UniqueHkey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kCategoryKey + name).c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, key.Put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::pair<const char*, std::string> values[] = {{"PID", productId},
                                                        {"Service", "quillvane"},
                                                        {"Description", "Virtual drawer"},
                                                        {"Name", "VD-" + name},
                                                        {"Version", "1002001"}};
  for (const auto& value : values) {
    if (RegSetValueExA(key.Get(), value.first, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.second.c_str()),
                       static_cast<DWORD>(value.second.size() + 1)) != ERROR_SUCCESS) {
      return false;
    }
  }
  return true;
}

void RemoveDevice(const std::string& name) {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kCategoryKey + name).c_str());
}

}  // namespace vdrawer
