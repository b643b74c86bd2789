// The stand-in's Wine test: creates quillvane.ControlObject and drives it by
// DISPID, as an application does, against quillvane.dll (no drawer on the
// bus) and against a recording service object served from this process.
// Run by run_standin_tests.sh with both libraries registered; with
// --virtual-drawer it runs a session on the virtual drawer instead, and with
// --unregistered it checks that unregistration left nothing behind. The
// exit code is the number of failed checks.
#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "standin/tests/ClientSupport.h"
#include "standin/tests/EventRecorder.h"
#include "standin/tests/FakeServiceObject.h"
#include "standin/tests/VirtualDrawerSession.h"
// clang-format off
#include <initguid.h>
#include "quillvane_control_h.h"
// clang-format on

using namespace standin_test;

namespace {

// {2C0D3676-85A1-4FFD-9DC7-C18546800FFD}
const CLSID kFakeClsid = {
    0x2c0d3676, 0x85a1, 0x4ffd, {0x9d, 0xc7, 0xc1, 0x85, 0x46, 0x80, 0x0f, 0xfd}};
const wchar_t kFakeProgId[] = L"quillvane.FakeServiceObject";
const wchar_t kCategory[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\";

// Result codes and open results the tests expect.
constexpr long kClosed = 101, kNoService = 104, kIllegal = 106, kNoExist = 109;
constexpr long kRegBadName = 302, kRegProgId = 303, kBadInterface = 305, kFailedOpen = 306;

FakeServiceObject fake;

class FakeFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
    return fake.QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
} fake_factory;

// Every member answers under its DISPID, with its kind and argument types.
void TestInterfaceDescription(IDispatch* cd) {
  struct Member {
    const wchar_t* name;
    DISPID id;
    INVOKEKIND kind;
    std::vector<VARTYPE> args;  // VT_BYREF | x for a by-reference argument
    VARTYPE result;             // VT_EMPTY: none
  };
  const VARTYPE kLongRef = VT_BYREF | VT_I4;
  const std::vector<Member> members = {
      {L"CapPowerReporting", 12, INVOKE_PROPERTYGET, {}, VT_I4},
      {L"CheckHealthText", 13, INVOKE_PROPERTYGET, {}, VT_BSTR},
      {L"Claimed", 14, INVOKE_PROPERTYGET, {}, VT_BOOL},
      {L"DeviceEnabled", 17, INVOKE_PROPERTYGET, {}, VT_BOOL},
      {L"DeviceEnabled", 17, INVOKE_PROPERTYPUT, {VT_BOOL}, VT_EMPTY},
      {L"FreezeEvents", 18, INVOKE_PROPERTYGET, {}, VT_BOOL},
      {L"FreezeEvents", 18, INVOKE_PROPERTYPUT, {VT_BOOL}, VT_EMPTY},
      {L"ServiceObjectDescription", 27, INVOKE_PROPERTYGET, {}, VT_BSTR},
      {L"ServiceObjectVersion", 28, INVOKE_PROPERTYGET, {}, VT_I4},
      {L"DeviceDescription", 29, INVOKE_PROPERTYGET, {}, VT_BSTR},
      {L"DeviceName", 30, INVOKE_PROPERTYGET, {}, VT_BSTR},
      {L"CheckHealth", 31, INVOKE_FUNC, {kLongRef}, VT_I4},
      {L"ClaimDevice", 32, INVOKE_FUNC, {VT_I4}, VT_I4},
      {L"Close", 35, INVOKE_FUNC, {}, VT_I4},
      {L"Open", 37, INVOKE_FUNC, {VT_BSTR}, VT_I4},
      {L"ReleaseDevice", 38, INVOKE_FUNC, {}, VT_I4},
      {L"CapStatisticsReporting", 39, INVOKE_PROPERTYGET, {}, VT_BOOL},
      {L"CapUpdateStatistics", 40, INVOKE_PROPERTYGET, {}, VT_BOOL},
      {L"OpenResult", 49, INVOKE_PROPERTYGET, {}, VT_I4},
      {L"CapStatus", 50, INVOKE_PROPERTYGET, {}, VT_BOOL},
      {L"DrawerOpened", 51, INVOKE_PROPERTYGET, {}, VT_BOOL},
      {L"CapStatusMultiDrawer", 52, INVOKE_PROPERTYGET, {}, VT_BOOL},
      {L"OpenDrawer", 60, INVOKE_FUNC, {}, VT_I4},
      {L"WaitForDrawerClose", 61, INVOKE_FUNC, {kLongRef, kLongRef, kLongRef, kLongRef}, VT_I4},
      {L"SOStatusUpdate", 200, INVOKE_FUNC, {VT_I4}, VT_EMPTY},
  };

  ComRef<ITypeInfo> info;
  HRESULT hr = cd->GetTypeInfo(0, 0, info.Put());
  ExpectHr(hr, S_OK, "GetTypeInfo");
  if (FAILED(hr)) return;
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  win32kit::ScopedTypeAttr held_attr(info.Get(), attr);
  // Late-binding clients read the dispatch description: results are results,
  // not HRESULTs with a last out-parameter.
  ExpectLong(attr->typekind, TKIND_DISPATCH, "GetTypeInfo gives the dispatch description");

  for (const Member& member : members) {
    const std::string what = Narrow(member.name) + " (" + std::to_string(member.id) + ")";
    bool found = false;
    for (UINT i = 0; i < attr->cFuncs && !found; ++i) {
      FUNCDESC* desc = nullptr;
      if (FAILED(info->GetFuncDesc(i, &desc))) continue;
      win32kit::ScopedFuncDesc held(info.Get(), desc);
      if (desc->memid != member.id || desc->invkind != member.kind) continue;
      found = true;
      std::vector<VARTYPE> args;
      const VARTYPE declared = desc->elemdescFunc.tdesc.vt;
      const VARTYPE result = declared == VT_VOID ? VARTYPE{VT_EMPTY} : declared;
      for (SHORT p = 0; p < desc->cParams; ++p) {
        const TYPEDESC& type = desc->lprgelemdescParam[p].tdesc;
        args.push_back(type.vt == VT_PTR ? static_cast<VARTYPE>(VT_BYREF | type.lptdesc->vt)
                                         : type.vt);
      }
      Expect(args == member.args, what + ": argument types and order");
      ExpectLong(result, member.result, what + ": result type");
    }
    Expect(found, what + ": a member of this DISPID and kind exists");

    LPOLESTR name = const_cast<LPOLESTR>(member.name);
    DISPID id = DISPID_UNKNOWN;
    cd->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    ExpectLong(id, member.id, what + ": GetIDsOfNames");
  }
  LPOLESTR unknown = const_cast<LPOLESTR>(L"OpenService");
  DISPID id = 0;
  ExpectHr(cd->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME,
           "a service-object name is not a member of the stand-in");
  Invocation call;
  InvokeById(cd, 33, DISPATCH_METHOD, {}, call);
  ExpectHr(call.hr, DISP_E_MEMBERNOTFOUND, "an unused DISPID is no member");
  InvokeById(cd, contract::kDispidClaimed, DISPATCH_PROPERTYPUT, {LongArg(1)}, call);
  ExpectHr(call.hr, DISP_E_MEMBERNOTFOUND, "Claimed cannot be set");

  // The class names its event interface as its default source.
  ComRef<IProvideClassInfo> provide;
  cd->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(provide.Put()));
  Expect(static_cast<bool>(provide), "IProvideClassInfo is offered");
  if (!provide) return;
  ComRef<ITypeInfo> class_info;
  provide->GetClassInfo(class_info.Put());
  TYPEATTR* class_attr = nullptr;
  class_info->GetTypeAttr(&class_attr);
  win32kit::ScopedTypeAttr held_class(class_info.Get(), class_attr);
  bool source_found = false;
  for (UINT i = 0; i < class_attr->cImplTypes; ++i) {
    INT flags = 0;
    HREFTYPE ref = 0;
    ComRef<ITypeInfo> impl;
    class_info->GetImplTypeFlags(i, &flags);
    class_info->GetRefTypeOfImplType(i, &ref);
    class_info->GetRefTypeInfo(ref, impl.Put());
    TYPEATTR* impl_attr = nullptr;
    impl->GetTypeAttr(&impl_attr);
    if ((flags & IMPLTYPEFLAG_FSOURCE) &&
        IsEqualGUID(impl_attr->guid, DIID__IControlObjectEvents)) {
      source_found = true;
    }
    impl->ReleaseTypeAttr(impl_attr);
  }
  Expect(source_found, "the coclass has the event interface as its source");
}

// With nothing open: result codes say closed, properties read empty.
void TestClosed(IDispatch* cd) {
  ExpectLong(CallLong(cd, contract::kDispidClaimDevice, {LongArg(1000)}, "ClaimDevice"), kClosed,
             "closed ClaimDevice");
  ExpectLong(CallLong(cd, contract::kDispidReleaseDevice, {}, "ReleaseDevice"), kClosed,
             "closed ReleaseDevice");
  ExpectLong(CallLong(cd, contract::kDispidOpenDrawer, {}, "OpenDrawer"), kClosed,
             "closed OpenDrawer");
  ExpectLong(CallLong(cd, contract::kDispidClose, {}, "Close"), kClosed, "closed Close");
  LONG level = 2;
  ExpectLong(CallLong(cd, contract::kDispidCheckHealth, {LongRef(&level)}, "CheckHealth"), kClosed,
             "closed CheckHealth");
  ExpectLong(level, 2, "closed CheckHealth leaves Level");
  LONG wait[4] = {10000, 500, 1000, 3000};
  ExpectLong(CallLong(cd, contract::kDispidWaitForDrawerClose,
                      {LongRef(&wait[0]), LongRef(&wait[1]), LongRef(&wait[2]), LongRef(&wait[3])},
                      "WaitForDrawerClose"),
             kClosed, "closed WaitForDrawerClose");
  ExpectLong(GetFlag(cd, contract::kDispidClaimed, "Claimed"), VARIANT_FALSE, "closed Claimed");
  ExpectLong(GetFlag(cd, contract::kDispidDrawerOpened, "DrawerOpened"), VARIANT_FALSE,
             "closed DrawerOpened");
  ExpectLong(GetLong(cd, contract::kDispidServiceObjectVersion, "ServiceObjectVersion"), 0,
             "closed version");
  ExpectText(GetText(cd, contract::kDispidCheckHealthText, "CheckHealthText"), L"",
             "closed CheckHealthText");
  PutFlag(cd, contract::kDispidDeviceEnabled, VARIANT_TRUE, "closed DeviceEnabled put");
  ExpectLong(GetFlag(cd, contract::kDispidDeviceEnabled, "DeviceEnabled"), VARIANT_FALSE,
             "closed DeviceEnabled");
}

// Device names that lead to no service object: the stand-in's own codes.
void TestOpenWithoutServiceObject(IDispatch* cd) {
  struct Case {
    const wchar_t* name;
    long result;
    long open_result;
  };
  const Case cases[] = {
      {L"QvStandinMissing", kNoExist, kRegBadName},
      {L"", kNoExist, kRegBadName},
      {L"QvStandinFake\\..", kNoExist, kRegBadName},
      {L"QvStandinNoProgId", kNoService, kRegProgId},
      {L"QvStandinBadProgId", kNoService, kRegProgId},
      {L"QvStandinSelf", kNoService, kBadInterface},
  };
  for (const Case& c : cases) {
    const std::string what = "Open(\"" + Narrow(c.name) + "\")";
    ExpectLong(OpenDevice(cd, c.name), c.result, what);
    ExpectLong(GetLong(cd, contract::kDispidOpenResult, "OpenResult"), c.open_result,
               what + " OpenResult");
    ExpectLong(CallLong(cd, contract::kDispidClaimDevice, {LongArg(1000)}, "ClaimDevice"), kClosed,
               what + " leaves the stand-in closed");
  }
}

HRESULT CanUnload(const wchar_t* module) {
  HMODULE handle = GetModuleHandleW(module);
  if (!handle) return E_FAIL;
  using CanUnloadFunction = HRESULT(STDAPICALLTYPE*)();
  auto can_unload = reinterpret_cast<CanUnloadFunction>(
      reinterpret_cast<void*>(GetProcAddress(handle, "DllCanUnloadNow")));
  return can_unload ? can_unload() : E_FAIL;
}

// quillvane.dll without a drawer on the bus: its OpenService answers 106 and
// GetOpenResult 401; the stand-in passes both on and closes it again.
void TestRealServiceObjectWithoutDrawer() {
  ComRef<IDispatch> cd = CreateStandIn();
  if (!cd) return;
  ExpectLong(OpenDevice(cd.Get(), L"QvStandinReal"), kIllegal, "Open through quillvane.CashDrawer");
  ExpectLong(GetLong(cd.Get(), contract::kDispidOpenResult, "OpenResult"), 401,
             "OpenResult of quillvane");
  ExpectLong(CallLong(cd.Get(), contract::kDispidClaimDevice, {LongArg(1000)}, "ClaimDevice"),
             kClosed, "the failed open leaves the stand-in closed");
  ExpectHr(CanUnload(L"quillvane.dll"), S_OK,
           "no quillvane object is left alive after the failed open");
  cd.Reset();
  ExpectHr(CanUnload(L"quillvane_control.dll"), S_OK,
           "nothing of the stand-in is left alive after its release");
}

// Everything the application calls reaches the service object's methods by
// name, with the property indices and arguments in order.
void TestForwarding(IDispatch* cd) {
  fake.Reset();
  fake.results[L"GetOpenResult"] = 450;
  ExpectLong(OpenDevice(cd, L"QvStandinFake"), 0, "Open through the recording service object");
  Expect(fake.calls.size() == 1 && fake.calls[0].name == L"OpenService",
         "Open calls OpenService only, got: " + Narrow(fake.CallNames()));
  if (!fake.calls.empty()) {
    const RecordedCall& open = fake.calls[0];
    Expect(open.texts == std::vector<std::wstring>{L"CashDrawer", L"QvStandinFake"},
           "OpenService gets the device class and name");
  }
  Expect(static_cast<bool>(fake.control), "OpenService gets a dispatch interface by reference");
  ExpectLong(GetLong(cd, contract::kDispidOpenResult, "OpenResult"), 450, "OpenResult while open");
  ExpectLong(OpenDevice(cd, L"QvStandinFake"), kIllegal, "Open while open");
  ExpectLong(static_cast<long>(fake.calls.size()), 2, "Open while open calls nothing");

  // Flags set by the application become SetPropertyNumber with 1 or 0.
  fake.calls.clear();
  PutFlag(cd, contract::kDispidDeviceEnabled, VARIANT_TRUE, "DeviceEnabled = true");
  PutFlag(cd, contract::kDispidDeviceEnabled, VARIANT_FALSE, "DeviceEnabled = false");
  PutFlag(cd, contract::kDispidFreezeEvents, VARIANT_TRUE, "FreezeEvents = true");
  PutFlag(cd, contract::kDispidFreezeEvents, VARIANT_FALSE, "FreezeEvents = false");
  PutFlag(cd, contract::kDispidDeviceEnabled, 1, "DeviceEnabled = 1");
  const std::vector<std::vector<long>> expected_sets = {{3, 1}, {3, 0}, {4, 1}, {4, 0}, {3, 1}};
  ExpectLong(static_cast<long>(fake.calls.size()), 5, "five puts, five calls");
  for (std::size_t i = 0; i < fake.calls.size() && i < expected_sets.size(); ++i) {
    Expect(fake.calls[i].name == L"SetPropertyNumber" && fake.calls[i].numbers == expected_sets[i],
           "put " + std::to_string(i) + " becomes SetPropertyNumber(" +
               std::to_string(expected_sets[i][0]) + ", " + std::to_string(expected_sets[i][1]) +
               ")");
  }

  // Property reads by index; any nonzero number reads as true.
  struct NumberRead {
    DISPID id;
    long index;
    long answer;
    long expected;
    bool flag;
  };
  const NumberRead reads[] = {
      {contract::kDispidCapPowerReporting, 501, 2, 2, false},
      {contract::kDispidClaimed, 1, 1, VARIANT_TRUE, true},
      {contract::kDispidDeviceEnabled, 3, -1, VARIANT_TRUE, true},
      {contract::kDispidFreezeEvents, 4, 0, VARIANT_FALSE, true},
      {contract::kDispidServiceObjectVersion, 8, 1002001, 1002001, false},
      {contract::kDispidCapStatisticsReporting, 502, 0, VARIANT_FALSE, true},
      {contract::kDispidCapUpdateStatistics, 503, 7, VARIANT_TRUE, true},
      {contract::kDispidCapStatus, 1501, -1, VARIANT_TRUE, true},
      {contract::kDispidDrawerOpened, 1001, -1, VARIANT_TRUE, true},
      {contract::kDispidCapStatusMultiDrawer, 1502, 0, VARIANT_FALSE, true},
  };
  for (const NumberRead& read : reads) {
    fake.numbers[read.index] = read.answer;
    fake.calls.clear();
    const std::string what = "property " + std::to_string(read.id);
    long value = read.flag ? GetFlag(cd, read.id, what) : GetLong(cd, read.id, what);
    ExpectLong(value, read.expected, what + " value");
    Expect(fake.calls.size() == 1 && fake.calls[0].name == L"GetPropertyNumber" &&
               fake.calls[0].numbers == std::vector<long>{read.index},
           what + " reads GetPropertyNumber(" + std::to_string(read.index) + ")");
  }
  struct TextRead {
    DISPID id;
    long index;
    const wchar_t* answer;
  };
  const TextRead text_reads[] = {
      {contract::kDispidCheckHealthText, 1000001, L"Normal"},
      {contract::kDispidServiceObjectDescription, 1000004, L"quillvane service"},
      {contract::kDispidDeviceDescription, 1000002, L"USB cash drawer"},
      {contract::kDispidDeviceName, 1000003, L""}};
  for (const TextRead& read : text_reads) {
    fake.texts[read.index] = read.answer;
    fake.calls.clear();
    const std::string what = "property " + std::to_string(read.id);
    ExpectText(GetText(cd, read.id, what), read.answer, what + " value");
    Expect(fake.calls.size() == 1 && fake.calls[0].numbers == std::vector<long>{read.index},
           what + " reads GetPropertyString(" + std::to_string(read.index) + ")");
  }

  // Methods pass their arguments by value, in order, and their results back.
  fake.calls.clear();
  fake.results[L"ClaimDevice"] = 107;
  fake.results[L"CheckHealth"] = 107;
  fake.results[L"WaitForDrawerClose"] = 0;
  fake.results[L"OpenDrawer"] = 106;
  ExpectLong(CallLong(cd, contract::kDispidClaimDevice, {LongArg(1000)}, "ClaimDevice"), 107,
             "ClaimDevice result");
  LONG level = 3;
  ExpectLong(CallLong(cd, contract::kDispidCheckHealth, {LongRef(&level)}, "CheckHealth"), 107,
             "CheckHealth result");
  ExpectLong(level, 3, "CheckHealth leaves Level");
  LONG wait[4] = {10000, 500, 1000, 3000};
  ExpectLong(CallLong(cd, contract::kDispidWaitForDrawerClose,
                      {LongRef(&wait[0]), LongRef(&wait[1]), LongRef(&wait[2]), LongRef(&wait[3])},
                      "WaitForDrawerClose"),
             0, "WaitForDrawerClose result");
  ExpectLong(CallLong(cd, contract::kDispidOpenDrawer, {}, "OpenDrawer"), 106, "OpenDrawer result");
  ExpectLong(CallLong(cd, contract::kDispidReleaseDevice, {}, "ReleaseDevice"), 0,
             "ReleaseDevice result");
  ExpectText(fake.CallNames(),
             L"ClaimDevice CheckHealth WaitForDrawerClose OpenDrawer ReleaseDevice",
             "the methods called");
  if (fake.calls.size() == 5) {
    Expect(fake.calls[0].numbers == std::vector<long>{1000}, "ClaimDevice gets the timeout");
    Expect(fake.calls[1].numbers == std::vector<long>{3}, "CheckHealth gets the level");
    Expect(fake.calls[2].numbers == std::vector<long>{10000, 500, 1000, 3000},
           "WaitForDrawerClose gets timeout, frequency, duration, delay in order");
  }

  // Callers in the style of Basic: a get invoked as method-or-get, and a
  // by-reference argument passed as a reference to a variant.
  fake.calls.clear();
  fake.numbers[1001] = -1;
  Invocation basic_get;
  InvokeById(cd, contract::kDispidDrawerOpened, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {},
             basic_get);
  Expect(basic_get.hr == S_OK && basic_get.result.Get()->vt == VT_BOOL &&
             basic_get.result.Get()->boolVal == VARIANT_TRUE,
         "DrawerOpened read as method-or-get");
  VARIANT level_variant;
  VariantInit(&level_variant);
  level_variant.vt = VT_I2;
  level_variant.iVal = 2;
  VARIANT level_ref;
  VariantInit(&level_ref);
  level_ref.vt = VT_BYREF | VT_VARIANT;
  level_ref.pvarVal = &level_variant;
  ExpectLong(
      CallLong(cd, contract::kDispidCheckHealth, {level_ref}, "CheckHealth(variant by reference)"),
      107, "CheckHealth with a variant by reference");
  Expect(fake.calls.size() == 2 && fake.calls[1].numbers == std::vector<long>{2},
         "the variant's level reaches CheckHealth");
  Expect(level_variant.vt == VT_I2 && level_variant.iVal == 2, "the caller's variant is unchanged");

  // An automation error of the service object is the call's failure.
  fake.fail_method = L"ClaimDevice";
  Invocation failed;
  InvokeById(cd, contract::kDispidClaimDevice, DISPATCH_METHOD, {LongArg(1000)}, failed);
  ExpectHr(failed.hr, DISP_E_EXCEPTION, "a failing ClaimDevice fails the call");
  ExpectHr(failed.scode, 0x800A0009, "with the service object's status");
  ExpectText(failed.description, L"fake failure", "and its description");
  fake.fail_method = L"GetPropertyNumber";
  InvokeById(cd, contract::kDispidDrawerOpened, DISPATCH_PROPERTYGET, {}, failed);
  ExpectHr(failed.scode, 0x800A0009, "a failing property read fails the get");
  fake.fail_method = L"GetPropertyString";
  InvokeById(cd, contract::kDispidDeviceName, DISPATCH_PROPERTYGET, {}, failed);
  ExpectHr(failed.scode, 0x800A0009, "a failing text read fails the get");
  fake.fail_method = L"SetPropertyNumber";
  VARIANT enable;
  VariantInit(&enable);
  enable.vt = VT_BOOL;
  enable.boolVal = VARIANT_TRUE;
  InvokeById(cd, contract::kDispidDeviceEnabled, DISPATCH_PROPERTYPUT, {enable}, failed);
  ExpectHr(failed.scode, 0x800A0009, "a failing SetPropertyNumber fails the put");
  fake.fail_method.clear();
  ExpectLong(CallLong(cd, contract::kDispidReleaseDevice, {}, "ReleaseDevice"), 0,
             "calls work after a failure");
}

// SOStatusUpdate from the service object reaches every advised sink, in
// order, as StatusUpdateEvent; after Unadvise nothing more arrives.
void TestStatusEvents(IDispatch* cd) {
  ComRef<IConnectionPointContainer> container;
  cd->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.Put()));
  Expect(static_cast<bool>(container), "the stand-in is a connection point container");
  if (!container) return;
  ComRef<IConnectionPoint> point;
  ExpectHr(container->FindConnectionPoint(DIID__IControlObjectEvents, point.Put()), S_OK,
           "FindConnectionPoint for the event interface");
  ComRef<IConnectionPoint> other;
  ExpectHr(container->FindConnectionPoint(IID_IDispatch, other.Put()), CONNECT_E_NOCONNECTION,
           "no connection point for another interface");
  if (!point) return;
  EventRecorder first, second;
  DWORD first_cookie = 0, second_cookie = 0;
  ExpectHr(point->Advise(&first, &first_cookie), S_OK, "Advise");
  ExpectHr(point->Advise(&second, &second_cookie), S_OK, "Advise a second sink");
  Expect(first_cookie != 0 && second_cookie != 0 && first_cookie != second_cookie,
         "distinct nonzero cookies");

  ExpectHr(fake.RaiseStatusUpdate(1), S_OK, "the service object calls SOStatusUpdate(1) by name");
  ExpectHr(fake.RaiseStatusUpdate(0), S_OK, "the service object calls SOStatusUpdate(0) by name");
  ExpectLong(CallLong(cd, contract::kDispidClaimDevice, {LongArg(1000)}, "ClaimDevice"), 107,
             "the stand-in still answers after the events");
  Invocation direct;
  InvokeById(cd, kDispidSOStatusUpdate, DISPATCH_METHOD, {LongArg(42)}, direct);
  ExpectHr(direct.hr, S_OK, "SOStatusUpdate by DISPID");
  Expect(first.status_updates == std::vector<long>{1, 0, 42}, "the first sink saw 1, 0, 42");
  Expect(second.status_updates == std::vector<long>{1, 0, 42}, "the second sink saw 1, 0, 42");
  ExpectLong(first.unexpected + second.unexpected, 0, "nothing else reached the sinks");

  ExpectHr(point->Unadvise(first_cookie), S_OK, "Unadvise");
  ExpectHr(point->Unadvise(first_cookie), CONNECT_E_NOCONNECTION, "Unadvise twice");
  ExpectLong(first.refs, 0, "an unadvised sink is released");
  fake.RaiseStatusUpdate(1);
  ExpectLong(static_cast<long>(first.status_updates.size()), 3, "nothing after Unadvise");
  ExpectLong(static_cast<long>(second.status_updates.size()), 4, "the other sink still hears");
  point->Unadvise(second_cookie);
  ExpectLong(second.refs, 0, "the second sink is released after Unadvise");
}

// Close closes the service object and lets go of it; its reference to the
// stand-in is dead from then on.
void TestClose(IDispatch* cd) {
  fake.calls.clear();
  fake.results[L"CloseService"] = 0;
  ExpectLong(CallLong(cd, contract::kDispidClose, {}, "Close"), 0, "Close result");
  ExpectText(fake.CallNames(), L"CloseService", "Close calls CloseService");
  ExpectLong(fake.refs, 1, "the stand-in let go of the service object (the test keeps one)");
  ExpectHr(fake.RaiseStatusUpdate(1), E_POINTER, "CloseService dropped the control reference");
  ComRef<IDispatch> stale = fake.last_control;
  Invocation call;
  LPOLESTR name = const_cast<LPOLESTR>(L"SOStatusUpdate");
  DISPID id = 0;
  ExpectHr(stale->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), RPC_E_DISCONNECTED,
           "a reference kept past CloseService is disconnected");
  ExpectLong(CallLong(cd, contract::kDispidClaimDevice, {LongArg(1000)}, "ClaimDevice"), kClosed,
             "closed after Close");
  ExpectLong(GetLong(cd, contract::kDispidOpenResult, "OpenResult"), 0,
             "OpenResult after a successful open");
}

// OpenService answering a failure, or failing: the stand-in reports it,
// closes the service object and stays closed.
void TestFailedOpenService(IDispatch* cd) {
  fake.Reset();
  fake.results[L"OpenService"] = 106;
  fake.results[L"GetOpenResult"] = 401;
  ExpectLong(OpenDevice(cd, L"QvStandinFake"), 106, "Open passes OpenService's result on");
  ExpectLong(GetLong(cd, contract::kDispidOpenResult, "OpenResult"), 401,
             "OpenResult from GetOpenResult");
  ExpectText(fake.CallNames(), L"OpenService GetOpenResult CloseService",
             "a failed open asks why, then closes");
  Expect(!fake.control, "the service object no longer holds the stand-in");
  ExpectLong(fake.refs, 1, "the stand-in let go of the service object");

  fake.Reset();
  fake.fail_method = L"OpenService";
  fake.fail_status = 0x800A000D;
  Invocation failed;
  UniqueBstr name(SysAllocString(L"QvStandinFake"));
  InvokeById(cd, contract::kDispidOpen, DISPATCH_METHOD, {TextArg(name.Get())}, failed);
  ExpectHr(failed.hr, DISP_E_EXCEPTION, "an OpenService error fails Open");
  ExpectHr(failed.scode, 0x800A000D, "with the service object's status");
  ExpectLong(GetLong(cd, contract::kDispidOpenResult, "OpenResult"), kFailedOpen,
             "OpenResult after the error");
  ExpectText(fake.CallNames(), L"OpenService CloseService", "the failed service object is closed");
  ExpectLong(fake.refs, 1, "and released");
  fake.fail_status = 0x800A0009;
}

// An application that lets go of the stand-in without Close leaves nothing
// open: the service object is closed and released, the stand-in freed.
void TestReleaseWithoutClose() {
  ComRef<IDispatch> cd = CreateStandIn();
  if (!cd) return;
  fake.Reset();
  ExpectLong(OpenDevice(cd.Get(), L"QvStandinFake"), 0, "Open");
  ComRef<IDispatch> stale = fake.last_control;
  fake.calls.clear();
  cd.Reset();
  ExpectText(fake.CallNames(), L"CloseService", "releasing the stand-in closes the service object");
  ExpectLong(fake.refs, 1, "and lets go of it");
  LPOLESTR name = const_cast<LPOLESTR>(L"SOStatusUpdate");
  DISPID id = 0;
  ExpectHr(stale->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), RPC_E_DISCONNECTED,
           "the service object's old reference is disconnected");
  stale.Reset();
  fake.Reset();
  ExpectHr(CanUnload(L"quillvane_control.dll"), S_OK, "no stand-in object is left alive");
}

int CheckUnregistered() {
  CLSID clsid{};
  Expect(FAILED(CLSIDFromProgID(L"quillvane.ControlObject", &clsid)),
         "the ProgID is gone after unregistration");
  ComRef<ITypeLib> library;
  Expect(FAILED(LoadRegTypeLib(LIBID_QuillvaneControl, 1, 0, 0, library.Put())),
         "the type library is unregistered");
  const std::pair<const wchar_t*, const GUID*> keys[] = {
      {L"CLSID\\", &CLSID_ControlObject},
      {L"Interface\\", &IID_IControlObject},
      {L"Interface\\", &DIID__IControlObjectEvents},
      {L"TypeLib\\", &LIBID_QuillvaneControl}};
  for (const auto& [prefix, guid] : keys) {
    wchar_t guid_text[40] = {};
    StringFromGUID2(*guid, guid_text, 40);
    const std::wstring key_name = std::wstring(prefix) + guid_text;
    HKEY key = nullptr;
    Expect(RegOpenKeyExW(HKEY_CLASSES_ROOT, key_name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS,
           Narrow(key_name) + " is gone after unregistration");
    if (key) RegCloseKey(key);
  }
  return FailureCount();
}

}  // namespace

int main(int argc, char** argv) {
  CoInitialize(nullptr);
  if (argc > 1 && std::strcmp(argv[1], "--virtual-drawer") == 0) {
    int failures = RunVirtualDrawerSession();
    CoUninitialize();
    std::printf("standin_client --virtual-drawer: %d failed check(s)\n", failures);
    return failures;
  }
  if (argc > 1 && std::strcmp(argv[1], "--unregistered") == 0) {
    int failures = CheckUnregistered();
    CoUninitialize();
    return failures;
  }

  // Fixtures: device keys, the recording service object's class.
  const std::wstring category = kCategory;
  const std::wstring real = L"quillvane.CashDrawer", fake_id = kFakeProgId,
                     bad = L"Qv.No.Such.ProgId", self = L"quillvane.ControlObject";
  WriteDefaultValue(HKEY_LOCAL_MACHINE, category + L"QvStandinReal", &real);
  WriteDefaultValue(HKEY_LOCAL_MACHINE, category + L"QvStandinFake", &fake_id);
  WriteDefaultValue(HKEY_LOCAL_MACHINE, category + L"QvStandinNoProgId", nullptr);
  WriteDefaultValue(HKEY_LOCAL_MACHINE, category + L"QvStandinBadProgId", &bad);
  WriteDefaultValue(HKEY_LOCAL_MACHINE, category + L"QvStandinSelf", &self);
  wchar_t fake_clsid[40] = {};
  StringFromGUID2(kFakeClsid, fake_clsid, 40);
  const std::wstring fake_clsid_text = fake_clsid;
  WriteDefaultValue(HKEY_CLASSES_ROOT, std::wstring(kFakeProgId) + L"\\CLSID", &fake_clsid_text);
  DWORD class_cookie = 0;
  ExpectHr(CoRegisterClassObject(kFakeClsid, &fake_factory, CLSCTX_INPROC_SERVER,
                                 REGCLS_MULTIPLEUSE, &class_cookie),
           S_OK, "the recording service object is served");
  fake.AddRef();  // the test's own reference

  {
    ComRef<IDispatch> cd = CreateStandIn();
    if (cd) {
      TestInterfaceDescription(cd.Get());
      TestClosed(cd.Get());
      TestOpenWithoutServiceObject(cd.Get());
      TestForwarding(cd.Get());
      TestStatusEvents(cd.Get());
      TestClose(cd.Get());
      TestFailedOpenService(cd.Get());
    }
  }
  TestReleaseWithoutClose();
  TestRealServiceObjectWithoutDrawer();

  CoRevokeClassObject(class_cookie);
  for (const wchar_t* name : {L"QvStandinReal", L"QvStandinFake", L"QvStandinNoProgId",
                              L"QvStandinBadProgId", L"QvStandinSelf"}) {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, category + name);
  }
  DeleteKeyTree(HKEY_CLASSES_ROOT, kFakeProgId);
  CoUninitialize();
  std::printf("standin_client: %d failed check(s)\n", FailureCount());
  return FailureCount();
}
