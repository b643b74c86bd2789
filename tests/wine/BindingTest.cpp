// The Win32 bindings of the service object, exercised against the real system
// under Wine: the platform seam, the control object as the service object
// calls it, and the one rule by which a callee's exception record reads.
// Exit code: the number of failed checks.
#include <cstdio>
#include <string>
#include <vector>

#include "contract/RuntimeError.h"
#include "service/win32/DispatchControl.h"
#include "service/win32/ProcBinding.h"
#include "service/win32/Win32Api.h"
#include "win32kit/DispatchCall.h"

namespace {

using quillvane::Handle;
using quillvane::RuntimeError;
using quillvane::win32::BoundFunction;
using quillvane::win32::BoundLibrary;

int failures = 0;

void Check(bool condition, const char* what, unsigned long detail = 0) {
  if (!condition) {
    std::printf("FAIL: %s (%lu)\n", what, detail);
    ++failures;
  }
}

// The run-time error number a binding raises, or 0.
int BindingError(BoundFunction& function) {
  try {
    quillvane::win32::Resolve(function);
    return 0;
  } catch (const RuntimeError& error) {
    return error.Number();
  }
}

void CheckBindingFailures() {
  BoundLibrary missingLibrary{"qv-no-such-library.dll"};
  BoundFunction inMissing{missingLibrary, "Anything"};
  Check(BindingError(inMissing) == 48, "a library that cannot be loaded raises 48");
  BoundLibrary kernel{"kernel32.dll"};
  BoundFunction missingEntry{kernel, "QvNoSuchEntryPoint"};
  Check(BindingError(missingEntry) == 453, "a missing entry point raises 453");
  Check(BindingError(missingEntry) == 453, "and again on the next call");
  BoundFunction present{kernel, "GetTickCount"};
  Check(BindingError(present) == 0 && present.lpProc.load() != nullptr, "a present function binds");
}

void CheckLastError(quillvane::ApiDeclarations& api) {
  // The first call binds GetLastError itself; binding must not disturb it.
  SetLastError(1234);
  Check(api.GetLastError() == 1234, "binding keeps the last error", api.GetLastError());
  Check(api.CloseHandle(0x1234) == 0 && api.GetLastError() == ERROR_INVALID_HANDLE,
        "a failing call's error", api.GetLastError());
}

void CheckRegistry(quillvane::ApiDeclarations& api) {
  Handle key = 0;
  int status = api.RegOpenKeyA(quillvane::kHkeyLocalMachine,
                               "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\QvTest", &key);
  Check(status == 0 && key != 0, "RegOpenKeyA on a device key", status);
  std::uint32_t type = 0, size = 0;
  status = api.RegQueryValueExA(key, "PID", nullptr, &type, nullptr, &size);
  Check(status == 0 && type == quillvane::kRegSz && size == 5, "PID is REG_SZ of 5 bytes", size);
  std::uint8_t data[8] = {};
  size = sizeof data;
  status = api.RegQueryValueExA(key, "PID", nullptr, &type, data, &size);
  Check(status == 0 && std::string(reinterpret_cast<char*>(data)) == "1234", "PID data");
  Check(api.RegCloseKey(key) == 0, "RegCloseKey");
  key = 0;
  status = api.RegOpenKeyA(quillvane::kHkeyLocalMachine, "SOFTWARE\\QvNoSuchKey", &key);
  Check(status != 0 && key == 0, "a missing key leaves the handle 0", key);
}

void CheckHidDiscovery(quillvane::ApiDeclarations& api) {
  quillvane::GUID hid{};
  api.HidD_GetHidGuid(&hid);
  Check(hid.Data1 == 0x4D1E55B2 && hid.Data2 == 0xF16F && hid.Data3 == 0x11CF, "the HID class");
  Handle list = api.SetupDiGetClassDevsA(
      &hid, nullptr, 0, quillvane::kDigcfPresent | quillvane::kDigcfDeviceInterface);
  Check(list != quillvane::kInvalidHandleValue, "SetupDiGetClassDevsA gives a list");
  quillvane::SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  // Whatever HID devices the prefix shows, the enumeration ends, and it ends
  // with "no more items".
  std::uint32_t index = 0;
  while (index < 256 && api.SetupDiEnumDeviceInterfaces(list, nullptr, &hid, index, &data) != 0) {
    ++index;
  }
  Check(index < 256 && api.GetLastError() == ERROR_NO_MORE_ITEMS, "the enumeration ends", index);
  Check(api.SetupDiDestroyDeviceInfoList(list) != 0, "the list is destroyed");
}

void CheckEventsAndText(quillvane::ApiDeclarations& api) {
  Handle event = api.CreateEventA(nullptr, 1, 0, nullptr);
  Check(event != 0, "CreateEventA");
  Check(api.WaitForSingleObject(event, 10) == quillvane::kWaitTimeout,
        "unsignalled wait times out");
  Check(api.CloseHandle(event) != 0, "CloseHandle");
  Check(api.Beep(750, 10) != 0, "Beep");

  Check(api.ToAnsi(u"Drawer 1") == "Drawer 1", "ASCII to ANSI");
  Check(api.FromAnsi("Drawer 1") == u"Drawer 1", "ASCII from ANSI");
  Check(api.ToAnsi(u"").empty() && api.FromAnsi("").empty(), "empty text");
  if (GetACP() == 1252) {
    Check(api.ToAnsi(u"caf\u00e9") == "caf\xe9", "code page 1252 to ANSI");
    Check(api.FromAnsi("caf\xe9") == u"caf\u00e9", "code page 1252 from ANSI");
    Check(api.ToAnsi(u"\u4e2d") == "?", "a character outside the code page");
  }
}

int gTicks = 0;
quillvane::TimerId gTickId = 0;
void CountTick(Handle, std::uint32_t uMsg, quillvane::TimerId idEvent, std::uint32_t) {
  if (uMsg == quillvane::kWmTimer) {
    ++gTicks;
    gTickId = idEvent;
  }
}

void CheckTimers(quillvane::ApiDeclarations& api) {
  quillvane::TimerId id = api.SetTimer(0, 0, 20, &CountTick);
  Check(id != 0, "SetTimer gives an id");
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 200) {
    api.PumpMessages();
    Sleep(5);
  }
  Check(gTicks > 0 && gTickId == id, "ticks reach the callback through the pump", gTicks);
  Check(api.KillTimer(0, id) != 0, "KillTimer");
  Check(api.KillTimer(0, id) == 0, "KillTimer on a dead timer");

  PostQuitMessage(3);
  api.PumpMessages();
  MSG msg;
  Check(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 3,
        "the pump leaves WM_QUIT for the thread's own loop");
}

// A control object that records what reaches it.
class RecordingDispatch : public IDispatch {
 public:
  ULONG refs = 1;
  int lookups = 0;
  std::vector<std::string> calls;
  HRESULT failWith = S_OK;  // the scode its method raises, when set

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    ++lookups;
    if (count != 1 || lstrcmpiW(names[0], L"SOStatusUpdate") != 0) return DISP_E_UNKNOWNNAME;
    ids[0] = 7;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT*, EXCEPINFO* exception, UINT*) override {
    char line[64];
    std::snprintf(line, sizeof line, "%ld/%u/%u/%u/%ld", id, flags, params->cArgs,
                  params->cArgs ? params->rgvarg[0].vt : 0,
                  params->cArgs ? params->rgvarg[0].lVal : 0);
    calls.push_back(line);
    if (failWith != S_OK) {
      exception->scode = failWith;
      exception->bstrDescription = SysAllocString(L"refused");
      return DISP_E_EXCEPTION;
    }
    return S_OK;
  }
};

void CheckControlCalls() {
  using quillvane::win32::ControlFromVariant;
  RecordingDispatch control;
  VARIANT object;
  VariantInit(&object);
  object.vt = VT_DISPATCH;
  object.pdispVal = &control;
  VARIANT byRef;
  VariantInit(&byRef);
  byRef.vt = VT_BYREF | VT_VARIANT;
  byRef.pvarVal = &object;
  {
    contract::AutomationRef ref = ControlFromVariant(byRef);
    Check(ref != nullptr && control.refs == 2, "the wrapper holds one reference", control.refs);
    ref->CallMethod(u"SOStatusUpdate", 1);
    ref->CallMethod(u"SOStatusUpdate", 0);
    Check(control.lookups == 2, "the name is looked up at every call", control.lookups);
    // DISPATCH_METHOD (1), one argument, VT_I4 (3) by value.
    Check(control.calls.size() == 2 && control.calls[0] == "7/1/1/3/1" &&
              control.calls[1] == "7/1/1/3/0",
          "one VT_I4 by value, invoked as a method");
    control.failWith = static_cast<HRESULT>(0x800A0005);
    std::int32_t status = 0;
    try {
      ref->CallMethod(u"SOStatusUpdate", 1);
    } catch (const RuntimeError& error) {
      status = error.HResult();
    }
    Check(status == static_cast<std::int32_t>(0x800A0005), "the callee's failure keeps its status",
          status);
    status = 0;
    try {
      ref->CallMethod(u"NoSuchMethod", 1);
    } catch (const RuntimeError& error) {
      status = error.HResult();
    }
    Check(status == DISP_E_UNKNOWNNAME, "an unknown name fails with the lookup's status", status);
  }
  Check(control.refs == 1, "the wrapper releases its reference", control.refs);

  VARIANT nothing;
  VariantInit(&nothing);
  nothing.vt = VT_DISPATCH;
  nothing.pdispVal = nullptr;
  Check(ControlFromVariant(nothing) == nullptr, "Nothing gives no control object");
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 5;
  int error = 0;
  try {
    ControlFromVariant(number);
  } catch (const RuntimeError& raised) {
    error = raised.Number();
  }
  Check(error == 13, "a number is no control object", error);
}

HRESULT STDAPICALLTYPE FillLater(EXCEPINFO* record) {
  record->scode = static_cast<SCODE>(0x800A0006);
  record->bstrDescription = SysAllocString(L"filled");
  return S_OK;
}

// Every caller of another component's IDispatch reads its exception record
// by one rule: the callee's failing scode, else its error number wCode as a
// facility-10 status, else DISP_E_EXCEPTION; a success scode never turns the
// failed call into a success, and a status other than DISP_E_EXCEPTION
// ignores the record. The record is always given back empty.
void CheckExceptionRecords() {
  const struct {
    HRESULT invoke;
    SCODE scode;
    WORD wCode;
    bool deferred;
    HRESULT expected;
    const wchar_t* description;
  } cases[] = {
      {DISP_E_EXCEPTION, static_cast<SCODE>(0x800A0009), 0, false, static_cast<HRESULT>(0x800A0009),
       L"why"},
      {DISP_E_EXCEPTION, 0, 11, false, static_cast<HRESULT>(0x800A000B), L"why"},
      {DISP_E_EXCEPTION, 0, 0, false, DISP_E_EXCEPTION, L"why"},
      {DISP_E_EXCEPTION, 1, 0, false, DISP_E_EXCEPTION, L"why"},
      {DISP_E_EXCEPTION, 0, 0, true, static_cast<HRESULT>(0x800A0006), L"filled"},
      {DISP_E_MEMBERNOTFOUND, static_cast<SCODE>(0x800A0009), 0, false, DISP_E_MEMBERNOTFOUND, L""},
  };
  for (const auto& c : cases) {
    EXCEPINFO record{};
    record.scode = c.scode;
    record.wCode = c.wCode;
    if (c.deferred) {
      record.pfnDeferredFillIn = &FillLater;
    } else {
      record.bstrDescription = SysAllocString(L"why");
    }
    record.bstrSource = SysAllocString(L"callee");
    const win32kit::CallOutcome outcome = win32kit::TakeExceptionRecord(c.invoke, record);
    Check(outcome.hr == c.expected, "the status an exception record gives",
          static_cast<unsigned long>(outcome.hr));
    Check(
        outcome.strDescription == std::u16string(reinterpret_cast<const char16_t*>(c.description)),
        "the callee's description, for DISP_E_EXCEPTION only");
    Check(!record.bstrSource && !record.bstrDescription && record.scode == 0 &&
              !record.pfnDeferredFillIn,
          "the record is given back empty");
  }
}

}  // namespace

int main() {
  quillvane::ApiDeclarations& api = quillvane::win32::Platform();
  CheckBindingFailures();
  CheckLastError(api);
  CheckRegistry(api);
  CheckHidDiscovery(api);
  CheckEventsAndText(api);
  CheckTimers(api);
  CheckControlCalls();
  CheckExceptionRecords();
  if (failures == 0) std::printf("binding: all checks passed\n");
  return failures;
}
