// A C++ client of quillvane.dll under Wine: binding by name, the type
// library, the server's entry points and object lifetimes. Exit code: the
// number of failed checks.
// clang-format off
#include <windows.h>
#include <oleauto.h>
#include <initguid.h>
#include "quillvane_h.h"
// clang-format on

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

// What the type library and the version resource say of this build's
// platform: 32-bit Windows, or for the 64-bit build a win64 library and the
// NT Win32 platform (no FILEOS value names 64 bits).
#ifdef _WIN64
constexpr SYSKIND kOwnSyskind = SYS_WIN64;
constexpr DWORD kOwnFileOs = VOS_NT_WINDOWS32;
#else
constexpr SYSKIND kOwnSyskind = SYS_WIN32;
constexpr DWORD kOwnFileOs = VOS__WINDOWS32;
#endif

void Check(bool condition, const char* what, long detail = 0) {
  if (!condition) {
    std::printf("FAIL: %s (0x%08lx)\n", what, static_cast<unsigned long>(detail));
    ++failures;
  }
}

// A control object that counts its references and the status updates it gets.
class CountingControl : public IDispatch {
 public:
  ULONG refs = 1;
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
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                          DISPID* ids) override {
    if (lstrcmpiW(names[0], L"SOStatusUpdate") != 0) return DISP_E_UNKNOWNNAME;
    ids[0] = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return S_OK;
  }
};

struct Expected {
  const wchar_t* name;
  DISPID dispid;
};

const Expected kMembers[] = {
    {L"WaitForDrawerClose", 0x60030001}, {L"OpenDrawer", 0x60030006},
    {L"SetPropertyString", 0x60030007},  {L"SetPropertyNumber", 0x60030008},
    {L"GetPropertyString", 0x60030009},  {L"GetPropertyNumber", 0x6003000A},
    {L"ReleaseDevice", 0x6003000B},      {L"OpenService", 0x6003000C},
    {L"GetOpenResult", 0x6003000D},      {L"DirectIO", 0x6003000E},
    {L"COFreezeEvents", 0x6003000F},     {L"ClaimDevice", 0x60030010},
    {L"CloseService", 0x60030012},       {L"CheckHealth", 0x60030013},
};

DISPID IdOf(IDispatch* object, const wchar_t* name, HRESULT* hr = nullptr) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  HRESULT result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hr) *hr = result;
  return id;
}

// Invokes a method with arguments given first to last; returns the HRESULT.
HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
             EXCEPINFO* exception = nullptr) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO local{};
  UINT argError = 0;
  HRESULT hr = object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                              &params, result, exception ? exception : &local, &argError);
  if (!exception) {
    SysFreeString(local.bstrSource);
    SysFreeString(local.bstrDescription);
    SysFreeString(local.bstrHelpFile);
  }
  return hr;
}

VARIANT Long(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT Text(const wchar_t* value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(value);
  return v;
}

VARIANT ByRef(VARIANT* inner) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = inner;
  return v;
}

VARIANT Object(IDispatch* object) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = object;
  return v;
}

IDispatch* Create() {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"quillvane.CashDrawer", &clsid))) return nullptr;
  IDispatch* object = nullptr;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                   reinterpret_cast<void**>(&object));
  return object;
}

void CheckNames(IDispatch* object) {
  for (const Expected& member : kMembers) {
    HRESULT hr = E_FAIL;
    DISPID id = IdOf(object, member.name, &hr);
    Check(id == member.dispid && hr == S_OK, "DISPID of a member", id);
  }
  HRESULT hr = E_FAIL;
  DISPID id = IdOf(object, L"closeservice", &hr);
  Check(id == 0x60030012, "names are case-insensitive", id);
  for (const wchar_t* name : {L"NoSuchMember", L"FireStatusUpdate", L"TheTimer", L"t2",
                              L"ReleaseResources", L"SOStatusUpdate"}) {
    IdOf(object, name, &hr);
    Check(hr == DISP_E_UNKNOWNNAME, "an unknown name gives DISP_E_UNKNOWNNAME", hr);
  }
}

void CheckTypeLibrary(IDispatch* object) {
  ITypeInfo* info = nullptr;
  UINT count = 0;
  Check(object->GetTypeInfoCount(&count) == S_OK && count == 1, "one type info");
  if (FAILED(object->GetTypeInfo(0, 0, &info))) {
    Check(false, "GetTypeInfo");
    return;
  }
  ITypeLib* lib = nullptr;
  UINT index = 0;
  info->GetContainingTypeLib(&lib, &index);
  info->Release();
  TLIBATTR* libAttr = nullptr;
  lib->GetLibAttr(&libAttr);
  Check(IsEqualGUID(libAttr->guid, LIBID_quillvane) && libAttr->wMajorVerNum == 1 &&
            libAttr->wMinorVerNum == 0 && libAttr->lcid == 0 && libAttr->syskind == kOwnSyskind &&
            (libAttr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE) == 0,
        "library attributes", libAttr->wLibFlags);
  lib->ReleaseTLibAttr(libAttr);
  Check(lib->GetTypeInfoCount() == 2, "two type descriptions", lib->GetTypeInfoCount());

  ITypeInfo* iface = nullptr;
  lib->GetTypeInfo(0, &iface);
  TYPEATTR* attr = nullptr;
  iface->GetTypeAttr(&attr);
  const WORD wanted =
      TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
  Check(IsEqualGUID(attr->guid, IID__CashDrawer) && attr->typekind == TKIND_DISPATCH &&
            (attr->wTypeFlags & wanted) == wanted && attr->wMajorVerNum == 1,
        "_CashDrawer is a hidden dual dispatch interface", attr->wTypeFlags);
  // The automation-compatible flag sits on the vtable half of a dual.
  HREFTYPE vtableRef = 0;
  ITypeInfo* vtable = nullptr;
  if (SUCCEEDED(iface->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef)) &&
      SUCCEEDED(iface->GetRefTypeInfo(vtableRef, &vtable))) {
    TYPEATTR* vtableAttr = nullptr;
    vtable->GetTypeAttr(&vtableAttr);
    Check(vtableAttr->typekind == TKIND_INTERFACE &&
              (vtableAttr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) &&
              (vtableAttr->wTypeFlags & TYPEFLAG_FDUAL) && vtableAttr->cFuncs == 14 &&
              vtableAttr->cbSizeVft == 21 * sizeof(void*),
          "the vtable half: automation-compatible, 14 slots after IDispatch's 7",
          vtableAttr->wTypeFlags);
    vtable->ReleaseTypeAttr(vtableAttr);
    vtable->Release();
  } else {
    Check(false, "the dual interface has a vtable half");
  }
  // 7 IDispatch methods, then the 14 of the interface in the table's order.
  Check(attr->cFuncs == 21, "function count of the dispatch half", attr->cFuncs);
  for (UINT i = 0; i < 14 && i + 7 < attr->cFuncs; ++i) {
    FUNCDESC* desc = nullptr;
    iface->GetFuncDesc(i + 7, &desc);
    Check(desc->memid == kMembers[i].dispid, "member order", desc->memid);
    if (desc->memid == 0x6003000E) {  // DirectIO(Command, pData, pString)
      Check(desc->cParams == 3 && desc->lprgelemdescParam[1].tdesc.vt == VT_PTR &&
                desc->lprgelemdescParam[1].tdesc.lptdesc->vt == VT_I4 &&
                desc->lprgelemdescParam[2].tdesc.lptdesc->vt == VT_BSTR &&
                (desc->lprgelemdescParam[2].paramdesc.wParamFlags &
                 (PARAMFLAG_FIN | PARAMFLAG_FOUT)) == (PARAMFLAG_FIN | PARAMFLAG_FOUT),
            "DirectIO's by-reference parameters");
      BSTR names[4] = {};
      UINT got = 0;
      iface->GetNames(desc->memid, names, 4, &got);
      Check(got == 4 && lstrcmpW(names[1], L"Command") == 0 && lstrcmpW(names[2], L"pData") == 0 &&
                lstrcmpW(names[3], L"pString") == 0,
            "DirectIO's parameter names");
      for (BSTR name : names) SysFreeString(name);
    }
    if (desc->memid == 0x6003000C) {  // OpenService(DeviceClass, DeviceName, pDispatch)
      Check(desc->cParams == 3 && desc->lprgelemdescParam[2].tdesc.vt == VT_PTR &&
                desc->lprgelemdescParam[2].tdesc.lptdesc->vt == VT_VARIANT,
            "OpenService's pDispatch is a VARIANT by reference");
    }
    if (desc->memid == 0x60030007) {
      Check(desc->elemdescFunc.tdesc.vt == VT_VOID, "SetPropertyString has no result");
    }
    iface->ReleaseFuncDesc(desc);
  }
  iface->ReleaseTypeAttr(attr);
  iface->Release();

  ITypeInfo* coclass = nullptr;
  lib->GetTypeInfo(1, &coclass);
  coclass->GetTypeAttr(&attr);
  Check(IsEqualGUID(attr->guid, CLSID_CashDrawer) && attr->typekind == TKIND_COCLASS &&
            (attr->wTypeFlags & TYPEFLAG_FCANCREATE) && !(attr->wTypeFlags & TYPEFLAG_FAPPOBJECT) &&
            attr->cImplTypes == 1,
        "CashDrawer is a creatable coclass with one interface", attr->wTypeFlags);
  INT implFlags = 0;
  coclass->GetImplTypeFlags(0, &implFlags);
  Check(implFlags == IMPLTYPEFLAG_FDEFAULT, "_CashDrawer is the default, not a source", implFlags);
  coclass->ReleaseTypeAttr(attr);
  coclass->Release();
  lib->Release();
}

void CheckVersionResource(const wchar_t* path) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &handle);
  std::vector<BYTE> data(size);
  if (size == 0 || !GetFileVersionInfoW(path, 0, size, data.data())) {
    Check(false, "version resource readable");
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length);
  Check(fixed && fixed->dwFileVersionMS == 0x00010002 && fixed->dwFileVersionLS == 0x00000001 &&
            fixed->dwProductVersionMS == 0x00010002 && fixed->dwFileType == VFT_DLL &&
            fixed->dwFileOS == kOwnFileOs,
        "fixed version 1.2.0.1, a DLL for Windows of this bitness");
  struct {
    const wchar_t* name;
    const wchar_t* value;
  } strings[] = {{L"FileVersion", L"1.02.0001"},          {L"ProductVersion", L"1.02.0001"},
                 {L"ProductName", L"quillvane"},          {L"InternalName", L"quillvane"},
                 {L"OriginalFilename", L"quillvane.dll"}, {L"OLESelfRegister", L""},
                 {L"CompanyName", L"quillvane"}};
  for (const auto& entry : strings) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\041104B0\\") + entry.name;
    wchar_t* value = nullptr;
    BOOL found =
        VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length);
    Check(found && value && lstrcmpW(value, entry.value) == 0, "version string");
  }
}

void CheckEntryPoints(const wchar_t* path) {
  HMODULE module = LoadLibraryW(path);
  auto canUnload = reinterpret_cast<HRESULT(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  auto getClass = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  if (!canUnload || !getClass) {
    Check(false, "entry points");
    return;
  }
  for (const char* decorated :
       {"DllCanUnloadNow@0", "_DllCanUnloadNow@0", "DllGetClassObject@12"}) {
    Check(GetProcAddress(module, decorated) == nullptr, "no decorated duplicate export");
  }
  void* factory = nullptr;
  Check(getClass(IID__CashDrawer, IID_IClassFactory, &factory) == CLASS_E_CLASSNOTAVAILABLE &&
            factory == nullptr,
        "another class identifier is not available");

  Check(canUnload() == S_OK, "unloadable before any object");
  IClassFactory* classFactory = nullptr;
  getClass(CLSID_CashDrawer, IID_IClassFactory, reinterpret_cast<void**>(&classFactory));
  IDispatch* object = nullptr;
  Check(classFactory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)) ==
            S_OK,
        "CreateInstance");
  IUnknown* outer = object;
  IUnknown* aggregated = nullptr;
  Check(classFactory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&aggregated)) ==
            CLASS_E_NOAGGREGATION,
        "no aggregation");
  Check(canUnload() == S_FALSE, "not unloadable while an object lives");
  object->Release();
  Check(canUnload() == S_OK, "unloadable after the last object");
  classFactory->LockServer(TRUE);
  Check(canUnload() == S_FALSE, "not unloadable under a lock");
  classFactory->LockServer(FALSE);
  Check(canUnload() == S_OK, "unloadable after the lock");
  classFactory->Release();
  FreeLibrary(module);
}

void CheckErrors(IDispatch* object) {
  CountingControl control;
  VARIANT holder = Object(&control);
  VARIANT result;
  VariantInit(&result);
  Check(Call(object, L"OpenService", {Text(L"CashDrawer"), Text(L"QvTest"), ByRef(&holder)},
             &result) == S_OK &&
            result.lVal == 106,
        "OpenService without a drawer gives 106", result.lVal);
  // A run-time error through IDispatch: DISP_E_EXCEPTION carrying 0x800A0009.
  EXCEPINFO exception{};
  HRESULT hr = Call(object, L"ClaimDevice", {Long(0)}, &result, &exception);
  Check(hr == DISP_E_EXCEPTION && exception.scode == static_cast<SCODE>(0x800A0009) &&
            exception.bstrDescription && SysStringLen(exception.bstrDescription) > 0,
        "ClaimDevice fails with error 9 and a description", exception.scode);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);

  // The same through the vtable: the status itself, result 0, error info.
  _CashDrawer* dual = nullptr;
  object->QueryInterface(IID__CashDrawer, reinterpret_cast<void**>(&dual));
  LONG value = -1;
  hr = dual->ClaimDevice(0, &value);
  Check(hr == static_cast<HRESULT>(0x800A0009) && value == 0, "vtable ClaimDevice", hr);
  IErrorInfo* info = nullptr;
  Check(GetErrorInfo(0, &info) == S_OK && info, "error info is set");
  if (info) {
    BSTR description = nullptr;
    info->GetDescription(&description);
    Check(description && lstrcmpW(description, L"Subscript out of range") == 0,
          "error description");
    SysFreeString(description);
    info->Release();
  }
  ISupportErrorInfo* support = nullptr;
  object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support));
  Check(support && support->InterfaceSupportsErrorInfo(IID__CashDrawer) == S_OK,
        "ISupportErrorInfo");
  if (support) support->Release();
  dual->Release();

  // No-result methods give no value.
  VariantInit(&result);
  Check(Call(object, L"SetPropertyString", {Long(1), Text(L"x")}, &result) == S_OK &&
            result.vt == VT_EMPTY,
        "SetPropertyString returns no value", result.vt);

  // A pData that cannot become a number is a type mismatch before the call.
  VARIANT data = Text(L"abc");
  VARIANT text = Text(L"keep");
  hr = Call(object, L"DirectIO", {Long(0), ByRef(&data), ByRef(&text)}, &result);
  Check(hr == DISP_E_TYPEMISMATCH, "pData that is no number", hr);
  VariantClear(&data);
  VariantClear(&text);
  Call(object, L"CloseService", {}, &result);
}

void CheckControlReference() {
  CountingControl control;
  IDispatch* object = Create();
  VARIANT holder = Object(&control);
  VARIANT result;
  VariantInit(&result);
  Call(object, L"OpenService", {Text(L"CashDrawer"), Text(L"QvTest"), ByRef(&holder)}, &result);
  Check(control.refs == 2, "OpenService holds the control object", control.refs);
  Call(object, L"CloseService", {}, &result);
  Check(control.refs == 1, "CloseService releases the control object", control.refs);

  // Opened and never closed: the last release of the object lets go of it.
  Call(object, L"OpenService", {Text(L"CashDrawer"), Text(L"QvTest"), ByRef(&holder)}, &result);
  Check(control.refs == 2, "a second OpenService holds it again", control.refs);
  object->Release();
  Check(control.refs == 1, "releasing the object releases the control object", control.refs);
}

void CheckIndependentObjects() {
  IDispatch* first = Create();
  IDispatch* second = Create();
  Check(first && second && first != second, "two objects");
  VARIANT result;
  VariantInit(&result);
  Call(first, L"SetPropertyNumber", {Long(4), Long(1)}, &result);
  Call(first, L"GetPropertyNumber", {Long(4)}, &result);
  Check(result.lVal == -1, "first object frozen", result.lVal);
  Call(second, L"GetPropertyNumber", {Long(4)}, &result);
  Check(result.lVal == 0, "second object not frozen", result.lVal);
  first->Release();
  Call(second, L"GetPropertyNumber", {Long(1501)}, &result);
  Check(result.lVal == -1, "second object lives on after the first is gone", result.lVal);
  second->Release();
}

// The poll timer runs from OpenService on; its ticks arrive through this
// thread's message loop. Releasing the object stops it for good.
void CheckTimerLifetime() {
  IDispatch* object = Create();
  CountingControl control;
  VARIANT holder = Object(&control);
  VARIANT result;
  VariantInit(&result);
  Call(object, L"OpenService", {Text(L"CashDrawer"), Text(L"QvTest"), ByRef(&holder)}, &result);
  auto pump = [](DWORD ms) {
    DWORD start = GetTickCount();
    int ticks = 0;
    MSG msg;
    while (GetTickCount() - start < ms) {
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_TIMER) ++ticks;
        DispatchMessageW(&msg);
      }
      Sleep(5);
    }
    return ticks;
  };
  Check(pump(300) > 0, "the poll timer ticks after OpenService");
  object->Release();
  Check(control.refs == 1, "the released object let go of the control object", control.refs);
  Check(pump(200) == 0, "no tick after the object is gone");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: qv_com_client <path of quillvane.dll>\n");
    return 100;
  }
  CoInitialize(nullptr);
  IDispatch* object = Create();
  if (!object) {
    std::printf("FAIL: cannot create quillvane.CashDrawer\n");
    return 100;
  }
  CheckNames(object);
  CheckTypeLibrary(object);
  CheckErrors(object);
  object->Release();
  CheckVersionResource(argv[1]);
  CheckControlReference();
  CheckIndependentObjects();
  CheckTimerLifetime();
  CheckEntryPoints(argv[1]);
  CLSID timerClass;
  Check(FAILED(CLSIDFromProgID(L"quillvane.CLiteTimer", &timerClass)), "no timer class");
  CoUninitialize();
  if (failures == 0) std::printf("com client: all checks passed\n");
  return failures;
}
