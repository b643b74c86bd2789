// The automation boundary of quillvane.dll and the control object stand-in
// under Wine, with the virtual drawer (run by tests/wine/run-with-drawer):
// the caller's arguments stay the caller's, reference loops end, text stays
// UTF-16, late binders get the dispatch description, argument lists are
// checked before the type library's Invoke sees them, unregistration removes
// what is there, and NULL pointers give E_POINTER and nothing else.
// Exit code: the number of failed checks.
// clang-format off
#include "win32kit/WinHeaders.h"
#include <ocidl.h>
#include <initguid.h>
#include "quillvane_h.h"
#include "quillvane_control_h.h"
// clang-format on

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "contract/RuntimeError.h"
#include "service/win32/DispatchControl.h"
#include "tests/wine/DispatchTestSupport.h"
#include "win32kit/ProcessResources.h"

namespace {

using qvtest::Long;
using qvtest::Object;
using qvtest::Ref;
using qvtest::Text;

constexpr wchar_t kDevice[] = L"QvFuzz";
constexpr DISPID kOpenService = 0x6003000C, kDirectIO = 0x6003000E, kGetOpenResult = 0x6003000D,
                 kSetPropertyNumber = 0x60030008, kGetPropertyNumber = 0x6003000A,
                 kCloseService = 0x60030012, kCheckHealth = 0x60030013;
constexpr DISPID kStandInOpen = 37;
// Heap a loop of calls may grow by without leaking per call.
constexpr long long kHeapSlack = 64 * 1024;

int failures = 0;

void Check(bool condition, const std::string& what, long detail = 0) {
  if (condition) return;
  std::printf("FAIL: %s (0x%08lX)\n", what.c_str(), static_cast<unsigned long>(detail));
  std::fflush(stdout);
  ++failures;
}

struct Outcome {
  HRESULT hr = E_FAIL;
  VARIANT result{};
  SCODE scode = S_OK;
  UINT argError = 0xDEADBEEF;
};

// Invokes with rgvarg as given (last argument first) and the named DISPIDs.
Outcome Invoke(IDispatch* object, DISPID id, std::vector<VARIANT>& rgvarg,
               std::vector<DISPID> named = {}, WORD flags = DISPATCH_METHOD) {
  Outcome out;
  VariantInit(&out.result);
  out.result.vt = VT_I4;  // a failure must leave it empty
  out.result.lVal = 99;
  DISPPARAMS params{rgvarg.empty() ? nullptr : rgvarg.data(),
                    named.empty() ? nullptr : named.data(), static_cast<UINT>(rgvarg.size()),
                    static_cast<UINT>(named.size())};
  EXCEPINFO exception{};
  out.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &out.result,
                          &exception, &out.argError);
  out.scode = exception.scode;
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return out;
}

IDispatch* Create(const wchar_t* progId) {
  IDispatch* object = qvtest::Create(progId);
  Check(object != nullptr, "create an object");
  return object;
}

// The heap after `calls` runs of `call` minus before, with one warm-up run.
long long HeapGrowth(int calls, const std::function<void()>& call) {
  call();
  const long long before = static_cast<long long>(win32kit::HeapBytesInUse());
  for (int i = 0; i < calls; ++i) call();
  return static_cast<long long>(win32kit::HeapBytesInUse()) - before;
}

// A freed BSTR goes back to the allocator's cache, which hands the same
// block out again for the same length.
bool StillLive(BSTR text, const std::wstring& content) {
  if (SysStringByteLen(text) != content.size() * sizeof(wchar_t) ||
      std::wstring(text, SysStringLen(text)) != content) {
    return false;
  }
  BSTR probe = SysAllocStringLen(nullptr, static_cast<UINT>(content.size()));
  const bool reused = probe == text;
  SysFreeString(probe);
  return !reused;
}

void CheckByValueArgumentsStayTheCallers() {
  IDispatch* drawer = Create(L"quillvane.CashDrawer");
  if (!drawer) return;
  // DirectIO(Command, pData, pString) given values for its two references.
  std::vector<VARIANT> args = {Text(L"s"), Text(L"7"), Long(0)};
  const std::vector<VARIANT> before = args;
  Outcome out = Invoke(drawer, kDirectIO, args);
  Check(out.hr == S_OK && out.result.lVal == 106, "DirectIO with values answers 106", out.hr);
  Check(std::memcmp(args.data(), before.data(), args.size() * sizeof(VARIANT)) == 0,
        "the caller's arguments are as they were");
  Check(StillLive(args[0].bstrVal, L"s") && StillLive(args[1].bstrVal, L"7"),
        "the caller's strings are alive and unchanged");
  Check(HeapGrowth(300, [&] { Invoke(drawer, kDirectIO, args); }) < kHeapSlack,
        "DirectIO with values leaks nothing");
  for (VARIANT& arg : args) VariantClear(&arg);

  // OpenService given a SAFEARRAY by value for pDispatch: error 13, and the
  // array stays the caller's.
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 2);
  LONG index = 1, element = 4242;
  SafeArrayPutElement(array, &index, &element);
  VARIANT holder;
  VariantInit(&holder);
  holder.vt = VT_ARRAY | VT_I4;
  holder.parray = array;
  args = {holder, Text(kDevice), Text(L"CashDrawer")};
  out = Invoke(drawer, kOpenService, args);
  Check(out.hr == DISP_E_EXCEPTION && out.scode == static_cast<SCODE>(0x800A000D),
        "an array is no control object", out.scode);
  element = 0;
  Check(args[0].parray == array && SafeArrayGetElement(array, &index, &element) == S_OK &&
            element == 4242,
        "the caller's array is intact");
  Check(SafeArrayDestroy(array) == S_OK, "the caller destroys its array");
  VariantClear(&args[1]);
  VariantClear(&args[2]);
  drawer->Release();
}

void CheckReferenceLoopsEnd() {
  IDispatch* drawer = Create(L"quillvane.CashDrawer");
  if (!drawer) return;
  VARIANT loop;
  VariantInit(&loop);
  loop.vt = VT_BYREF | VT_VARIANT;
  loop.pvarVal = &loop;
  std::vector<VARIANT> args = {Ref(&loop), Text(kDevice), Text(L"CashDrawer")};
  Outcome out = Invoke(drawer, kOpenService, args);
  Check(out.hr == DISP_E_EXCEPTION && out.scode == static_cast<SCODE>(0x800A000D),
        "Invoke: a reference to itself is no control object", out.hr);

  _CashDrawer* dual = nullptr;
  drawer->QueryInterface(IID__CashDrawer, reinterpret_cast<void**>(&dual));
  LONG result = -1;
  const HRESULT hr = dual->OpenService(args[2].bstrVal, args[1].bstrVal, &loop, &result);
  Check(hr == static_cast<HRESULT>(0x800A000D) && result == 0,
        "vtable: a reference to itself is no control object", hr);
  dual->Release();
  VariantClear(&args[1]);
  VariantClear(&args[2]);
  drawer->Release();
}

void CheckTextStaysUtf16() {
  // A control object's error text comes back as it was written.
  const std::wstring text = L"Lade klemmt \u2013 \u03a9\u4e2d";
  qvtest::CountedDispatch control;
  control.failWith = static_cast<HRESULT>(0x80040201);
  control.failText = text;
  VARIANT holder = Object(&control);
  std::u16string description;
  try {
    quillvane::win32::ControlFromVariant(holder)->CallMethod(u"SOStatusUpdate", 1);
  } catch (const quillvane::RuntimeError& error) {
    description = error.Description();
  }
  Check(description == std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size()),
        "the control object's description comes back unchanged");

  // A device name with a NUL inside names no configured device.
  IDispatch* drawer = Create(L"quillvane.CashDrawer");
  IDispatch* standIn = Create(L"quillvane.ControlObject");
  if (!drawer || !standIn) return;
  const std::wstring cut = kDevice + std::wstring(L"\0x", 2);
  struct Case {
    const wchar_t* what;
    std::wstring name;
    LONG result;
  };
  for (const Case& c : {Case{L"the device", kDevice, 0}, Case{L"the device, NUL, x", cut, 106}}) {
    std::vector<VARIANT> args = {Ref(&holder), Text(c.name), Text(L"CashDrawer")};
    Outcome out = Invoke(drawer, kOpenService, args);
    Check(out.hr == S_OK && out.result.lVal == c.result, "OpenService of a name", out.result.lVal);
    std::vector<VARIANT> none;
    Invoke(drawer, kCloseService, none);
    VariantClear(&args[1]);
    VariantClear(&args[2]);
  }
  std::vector<VARIANT> args = {Text(cut)};
  Outcome out = Invoke(standIn, kStandInOpen, args);
  Check(out.hr == S_OK && out.result.lVal == 109, "the stand-in opens no device of a cut name",
        out.result.lVal);
  VariantClear(&args[0]);
  standIn->Release();
  drawer->Release();
}

void CheckLateBindersGetTheDispatchDescription() {
  struct Case {
    const wchar_t* progId;
    DISPID id;
    SHORT params;
  };
  for (const Case& c : {Case{L"quillvane.CashDrawer", kCheckHealth, 1},
                        Case{L"quillvane.ControlObject", kStandInOpen, 1}}) {
    IDispatch* object = Create(c.progId);
    ITypeInfo* info = nullptr;
    if (!object || FAILED(object->GetTypeInfo(0, 0, &info))) {
      Check(false, "GetTypeInfo");
      continue;
    }
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    Check(attr->typekind == TKIND_DISPATCH, "GetTypeInfo gives the dispatch description",
          attr->typekind);
    bool found = false;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* desc = nullptr;
      info->GetFuncDesc(i, &desc);
      if (desc->memid == c.id) {
        found = true;
        Check(desc->cParams == c.params && desc->elemdescFunc.tdesc.vt == VT_I4,
              "a method's result is its result, not an out-parameter", desc->cParams);
      }
      info->ReleaseFuncDesc(desc);
    }
    Check(found, "the method is described");
    info->ReleaseTypeAttr(attr);
    info->Release();
    object->Release();
  }
}

void CheckArgumentListsAreCheckedFirst() {
  IDispatch* drawer = Create(L"quillvane.CashDrawer");
  if (!drawer) return;
  qvtest::CountedDispatch control;
  const std::wstring mega(1 << 20, L'7');
  VARIANT unknown = Object(&control, VT_UNKNOWN);
  VARIANT missing;
  VariantInit(&missing);
  missing.vt = VT_ERROR;
  missing.scode = DISP_E_PARAMNOTFOUND;
  struct Case {
    const char* what;
    DISPID id;
    std::vector<VARIANT> rgvarg;  // last argument first
    std::vector<DISPID> named;
    HRESULT hr;
    UINT argError;  // 0xDEADBEEF: not set
  };
  // clang-format off
  std::vector<Case> cases = {
      {"a 1 MB text, then one argument short", kOpenService, {Text(L"x"), Text(mega)}, {},
       DISP_E_BADPARAMCOUNT, 0xDEADBEEF},
      {"one too many after a 1 MB text", kDirectIO, {Long(1), Text(mega), Long(0), Long(0)}, {},
       DISP_E_BADPARAMCOUNT, 0xDEADBEEF},
      {"one too many after the object", kOpenService,
       {Long(1), Object(&control), Text(kDevice), Text(L"CashDrawer")}, {},
       DISP_E_BADPARAMCOUNT, 0xDEADBEEF},
      {"a 1 MB text, then no text", kOpenService, {Object(&control), unknown, Text(mega)}, {},
       DISP_E_TYPEMISMATCH, 1},
      {"a number too big", kCheckHealth, {Text(mega)}, {}, DISP_E_OVERFLOW, 0},
      {"a left-out argument", kCheckHealth, {missing}, {}, DISP_E_PARAMNOTOPTIONAL, 0},
      {"a name no parameter has", kCheckHealth, {Long(1)}, {7}, DISP_E_PARAMNOTFOUND, 0},
      {"a name given twice", kSetPropertyNumber, {Long(1), Long(4)}, {0, 0},
       DISP_E_PARAMNOTFOUND, 1},
      {"a name for a method without parameters", kGetOpenResult, {Long(1)}, {0},
       DISP_E_NONAMEDARGS, 0xDEADBEEF},
      {"the object by value where a reference is declared", kOpenService,
       {Object(&control), Text(L"NoSuchDevice"), Text(L"CashDrawer")}, {}, S_OK, 0xDEADBEEF},
  };
  // clang-format on
  for (Case& c : cases) {
    Outcome out = Invoke(drawer, c.id, c.rgvarg, c.named);
    Check(out.hr == c.hr, std::string(c.what) + ": the status", out.hr);
    Check(SUCCEEDED(out.hr) || out.result.vt == VT_EMPTY, std::string(c.what) + ": no result",
          out.result.vt);
    Check(out.argError == c.argError, std::string(c.what) + ": the argument's index", out.argError);
    Check(HeapGrowth(50, [&] { Invoke(drawer, c.id, c.rgvarg, c.named); }) < kHeapSlack,
          std::string(c.what) + ": leaks nothing");
    std::vector<VARIANT> none;
    Invoke(drawer, kCloseService, none);
    Check(control.refs == 1, std::string(c.what) + ": no reference to the caller's object kept",
          control.refs);
    control.refs = 1;
    for (VARIANT& arg : c.rgvarg) {
      if (arg.vt == VT_BSTR) SysFreeString(arg.bstrVal);
    }
  }

  // A call refused before its member is looked at leaves no result either.
  GUID other = IID_NULL;
  other.Data1 = 1;
  DISPPARAMS empty{};
  struct Refused {
    const GUID* riid;
    DISPPARAMS* params;
  };
  for (const Refused& refused : {Refused{&other, &empty}, Refused{&IID_NULL, nullptr}}) {
    VARIANT result = Long(99);
    const HRESULT hr = drawer->Invoke(kCheckHealth, *refused.riid, 0, DISPATCH_METHOD,
                                      refused.params, &result, nullptr, nullptr);
    Check(FAILED(hr) && result.vt == VT_EMPTY, "a refused call leaves no result", hr);
  }

  // Named arguments fill the parameters they name: SetPropertyNumber(
  // Number:=1, PropIndex:=4) freezes events.
  std::vector<VARIANT> rgvarg = {Long(1), Long(4)};
  Outcome out = Invoke(drawer, kSetPropertyNumber, rgvarg, {1, 0});
  std::vector<VARIANT> index = {Long(4)};
  Outcome frozen = Invoke(drawer, kGetPropertyNumber, index);
  Check(out.hr == S_OK && frozen.result.lVal == -1, "named arguments by position",
        frozen.result.lVal);
  drawer->Release();
}

// Every key naming a GUID of the library's type library, or its ProgID.
std::vector<std::wstring> ServerKeys(const wchar_t* path, const wchar_t* progId) {
  std::vector<std::wstring> keys = {progId};
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &lib))) return keys;
  wchar_t guid[40];
  TLIBATTR* libAttr = nullptr;
  lib->GetLibAttr(&libAttr);
  StringFromGUID2(libAttr->guid, guid, 40);
  keys.push_back(std::wstring(L"TypeLib\\") + guid);
  lib->ReleaseTLibAttr(libAttr);
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    lib->GetTypeInfo(i, &info);
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    StringFromGUID2(attr->guid, guid, 40);
    keys.push_back((attr->typekind == TKIND_COCLASS ? L"CLSID\\" : L"Interface\\") +
                   std::wstring(guid));
    info->ReleaseTypeAttr(attr);
    info->Release();
  }
  lib->Release();
  return keys;
}

bool KeyExists(const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}

// The file registered as the in-process server of progId's class.
std::wstring ServerPath(const wchar_t* progId) {
  CLSID clsid{};
  wchar_t guid[40] = {};
  if (FAILED(CLSIDFromProgID(progId, &clsid))) return {};
  StringFromGUID2(clsid, guid, 40);
  wchar_t path[MAX_PATH] = {};
  LONG size = sizeof path;
  const std::wstring key = std::wstring(L"CLSID\\") + guid + L"\\InprocServer32";
  if (RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), path, &size) != ERROR_SUCCESS) return {};
  return path;
}

void CheckUnregistrationRemovesWhatIsThere() {
  for (const wchar_t* progId : {L"quillvane.CashDrawer", L"quillvane.ControlObject"}) {
    const std::wstring path = ServerPath(progId);
    HMODULE module = LoadLibraryW(path.c_str());
    auto registerServer = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    auto unregisterServer = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
    if (!registerServer || !unregisterServer) {
      Check(false, "the registration entry points");
      continue;
    }
    const std::vector<std::wstring> keys = ServerKeys(path.c_str(), progId);
    // Each key removed by hand in turn: the rest still goes, and it succeeds.
    for (const std::wstring& removed : keys) {
      Check(registerServer() == S_OK, "register");
      RegDeleteTreeW(HKEY_CLASSES_ROOT, removed.c_str());
      Check(unregisterServer() == S_OK, "unregister without a key succeeds");
      for (const std::wstring& key : keys) {
        Check(!KeyExists(key), "no key stays behind", static_cast<long>(key.size()));
      }
    }
    Check(registerServer() == S_OK, "registered again for the rest of the suite");
    FreeLibrary(module);
  }
}

void CheckNullPointers() {
  IDispatch* drawer = Create(L"quillvane.CashDrawer");
  IDispatch* standIn = Create(L"quillvane.ControlObject");
  if (!drawer || !standIn) return;
  _CashDrawer* so = nullptr;
  IControlObject* cd = nullptr;
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  IProvideClassInfo* classInfo = nullptr;
  drawer->QueryInterface(IID__CashDrawer, reinterpret_cast<void**>(&so));
  standIn->QueryInterface(IID_IControlObject, reinterpret_cast<void**>(&cd));
  standIn->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
  standIn->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&classInfo));
  if (container) container->FindConnectionPoint(DIID__IControlObjectEvents, &point);
  IClassFactory* factories[2] = {};
  CoGetClassObject(CLSID_CashDrawer, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                   reinterpret_cast<void**>(&factories[0]));
  CoGetClassObject(CLSID_ControlObject, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                   reinterpret_cast<void**>(&factories[1]));
  if (!so || !cd || !point || !classInfo || !factories[0] || !factories[1]) {
    Check(false, "the vtable interfaces");
    return;
  }
  qvtest::CountedDispatch control;
  VARIANT holder = Object(&control);
  BSTR name = SysAllocString(kDevice);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"OpenDrawer")}, noNames[] = {nullptr};
  LONG number = 1;
  BSTR text = nullptr;
  DISPID id = 0;
  DWORD cookie = 0;
  const std::vector<std::pair<const char*, std::function<HRESULT()>>> calls = {
      {"QueryInterface", [&] { return drawer->QueryInterface(IID_IUnknown, nullptr); }},
      {"GetTypeInfoCount", [&] { return drawer->GetTypeInfoCount(nullptr); }},
      {"GetTypeInfo", [&] { return drawer->GetTypeInfo(0, 0, nullptr); }},
      {"GetIDsOfNames names", [&] { return drawer->GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id); }},
      {"GetIDsOfNames a name", [&] { return drawer->GetIDsOfNames(IID_NULL, noNames, 1, 0, &id); }},
      {"GetIDsOfNames ids", [&] { return drawer->GetIDsOfNames(IID_NULL, names, 1, 0, nullptr); }},
      {"Invoke",
       [&] {
         return drawer->Invoke(kCheckHealth, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr,
                               nullptr, nullptr);
       }},
      {"WaitForDrawerClose", [&] { return so->WaitForDrawerClose(1, 1, 1, 1, nullptr); }},
      {"OpenDrawer", [&] { return so->OpenDrawer(nullptr); }},
      {"GetPropertyString", [&] { return so->GetPropertyString(1000001, nullptr); }},
      {"GetPropertyNumber", [&] { return so->GetPropertyNumber(1, nullptr); }},
      {"ReleaseDevice", [&] { return so->ReleaseDevice(nullptr); }},
      {"OpenService pDispatch", [&] { return so->OpenService(name, name, nullptr, &number); }},
      {"OpenService Result", [&] { return so->OpenService(name, name, &holder, nullptr); }},
      {"GetOpenResult", [&] { return so->GetOpenResult(nullptr); }},
      {"DirectIO pData", [&] { return so->DirectIO(0, nullptr, &text, &number); }},
      {"DirectIO pString", [&] { return so->DirectIO(0, &number, nullptr, &number); }},
      {"DirectIO Result", [&] { return so->DirectIO(0, &number, &text, nullptr); }},
      {"COFreezeEvents", [&] { return so->COFreezeEvents(VARIANT_TRUE, nullptr); }},
      {"ClaimDevice", [&] { return so->ClaimDevice(0, nullptr); }},
      {"CloseService", [&] { return so->CloseService(nullptr); }},
      {"CheckHealth", [&] { return so->CheckHealth(1, nullptr); }},
      {"stand-in GetTypeInfo", [&] { return cd->GetTypeInfo(0, 0, nullptr); }},
      {"stand-in GetIDsOfNames", [&] { return cd->GetIDsOfNames(IID_NULL, names, 1, 0, nullptr); }},
      {"stand-in Invoke",
       [&] {
         return cd->Invoke(kStandInOpen, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr,
                           nullptr);
       }},
      {"Open", [&] { return cd->Open(name, nullptr); }},
      {"Close", [&] { return cd->Close(nullptr); }},
      {"CheckHealth Level", [&] { return cd->CheckHealth(nullptr, &number); }},
      {"CheckHealth Result", [&] { return cd->CheckHealth(&number, nullptr); }},
      {"ClaimDevice", [&] { return cd->ClaimDevice(0, nullptr); }},
      {"ReleaseDevice", [&] { return cd->ReleaseDevice(nullptr); }},
      {"OpenDrawer", [&] { return cd->OpenDrawer(nullptr); }},
      {"WaitForDrawerClose",
       [&] { return cd->WaitForDrawerClose(&number, nullptr, &number, &number, &number); }},
      {"get_Claimed", [&] { return cd->get_Claimed(nullptr); }},
      {"get_DeviceName", [&] { return cd->get_DeviceName(nullptr); }},
      {"get_OpenResult", [&] { return cd->get_OpenResult(nullptr); }},
      {"get_ServiceObjectVersion", [&] { return cd->get_ServiceObjectVersion(nullptr); }},
      {"FindConnectionPoint",
       [&] { return container->FindConnectionPoint(DIID__IControlObjectEvents, nullptr); }},
      {"EnumConnectionPoints", [&] { return container->EnumConnectionPoints(nullptr); }},
      {"GetClassInfo", [&] { return classInfo->GetClassInfo(nullptr); }},
      {"Advise sink", [&] { return point->Advise(nullptr, &cookie); }},
      {"Advise cookie", [&] { return point->Advise(&control, nullptr); }},
      {"GetConnectionInterface", [&] { return point->GetConnectionInterface(nullptr); }},
      {"GetConnectionPointContainer", [&] { return point->GetConnectionPointContainer(nullptr); }},
      {"EnumConnections", [&] { return point->EnumConnections(nullptr); }},
      {"CreateInstance",
       [&] { return factories[0]->CreateInstance(nullptr, IID_IDispatch, nullptr); }},
      {"stand-in CreateInstance",
       [&] { return factories[1]->CreateInstance(nullptr, IID_IDispatch, nullptr); }},
      {"factory QueryInterface",
       [&] { return factories[0]->QueryInterface(IID_IUnknown, nullptr); }},
  };
  for (const auto& call : calls) {
    const HRESULT hr = call.second();
    Check(hr == E_POINTER, std::string(call.first) + " with a NULL pointer", hr);
  }
  // And nothing else happened: no object held, nothing frozen, not opened.
  LONG frozen = -1;
  so->GetPropertyNumber(4, &frozen);
  cd->get_OpenResult(&number);
  Check(control.refs == 1 && frozen == 0 && number == 0, "the refused calls changed nothing",
        control.refs);
  SysFreeString(name);
  for (IClassFactory* factory : factories) factory->Release();
  classInfo->Release();
  point->Release();
  container->Release();
  cd->Release();
  so->Release();
  standIn->Release();
  drawer->Release();
}

// A loop that never ends fails the run instead of holding it.
DWORD WINAPI Watchdog(LPVOID) {
  Sleep(60000);
  std::printf("FAIL: the checks did not end within 60 s\n");
  std::fflush(stdout);
  ExitProcess(100);
}

}  // namespace

int main() {
  CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
  CoInitialize(nullptr);
  CheckByValueArgumentsStayTheCallers();
  CheckReferenceLoopsEnd();
  CheckTextStaysUtf16();
  CheckLateBindersGetTheDispatchDescription();
  CheckArgumentListsAreCheckedFirst();
  CheckNullPointers();
  CheckUnregistrationRemovesWhatIsThere();
  CoUninitialize();
  if (failures == 0) std::printf("boundary: all checks passed\n");
  return failures;
}
