#include "contract/standin/ControlStandIn.h"

#include <oleauto.h>
#include <olectl.h>

#include <new>
#include <utility>

#include "contract/standin/OposCodes.h"
#include "service/AutomationBoundary.h"
#include "service/win32/ErrorInfo.h"
#include "service/win32/TypeInfoDispatch.h"

namespace quillvane::standin {

using win32::ComRef;
using win32::DualTypeInfo;
using win32::UniqueBstr;
using win32::UniqueVariant;

namespace {

constexpr wchar_t kProgId[] = L"quillvane.ControlObject";

const win32::ErrorSource kSource{&IID_IControlObject, kProgId};

// Hands a failure's description to the caller through the thread's error
// object; a success clears what an earlier call left there.
HRESULT Report(const CallOutcome& objOutcome) {
  return win32::ReportToCaller(kSource, objOutcome.hr, objOutcome.strDescription.c_str());
}

// Runs the body of a COM method inside the automation boundary: an
// exception fails the call with its status and description.
template <typename Body>
HRESULT Guard(Body&& body) noexcept {
  auto objOutcome = CallMethod(std::forward<Body>(body));
  if (FAILED(objOutcome.hresult)) {
    return win32::ReportToCaller(kSource, objOutcome.hresult, objOutcome.description);
  }
  return objOutcome.value;
}

// The type descriptions: the dual interface's two halves and the coclass.
HRESULT LoadTypeInfos(DualTypeInfo& objTypeInfo, ComRef<ITypeInfo>& objClassInfo) {
  ComRef<ITypeLib> objTypeLib;
  HRESULT hr = win32::LoadOwnTypeLib(objTypeLib);
  if (FAILED(hr)) return hr;
  hr = objTypeLib->GetTypeInfoOfGuid(CLSID_ControlObject, objClassInfo.Put());
  if (FAILED(hr)) return hr;
  return win32::LoadDualTypeInfo(objTypeLib.Get(), IID_IControlObject, objTypeInfo);
}

// An empty BSTR rather than null: some callers read the text without checking.
HRESULT EmptyText(BSTR* pValue) {
  *pValue = SysAllocString(L"");
  return *pValue ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT ControlStandIn::Create(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return Guard([&]() -> HRESULT {
    DualTypeInfo objTypeInfo;
    ComRef<ITypeInfo> objClassInfo;
    HRESULT hr = LoadTypeInfos(objTypeInfo, objClassInfo);
    if (FAILED(hr)) return hr;
    ComRef<IControlObject> objNew = ComRef<IControlObject>::Adopt(
        new ControlStandIn(std::move(objTypeInfo), std::move(objClassInfo)));
    return objNew->QueryInterface(riid, ppv);
  });
}

ControlStandIn::ControlStandIn(DualTypeInfo objTypeInfo, ComRef<ITypeInfo> objClassInfo)
    : mobjTypeInfo(std::move(objTypeInfo)), mobjClassInfo(std::move(objClassInfo)) {}

ControlStandIn::~ControlStandIn() {
  // Released without Close: close the service object so that nothing stays
  // open. The sink goes first, so nothing can reach this object any more.
  if (mobjSink) mobjSink->Detach();
  if (mobjService) {
    CallMethod([&] {
      LONG lngIgnored = 0;
      CloseServiceObject(&lngIgnored);
    });
  }
}

HRESULT ControlStandIn::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, IID_IControlObject)) {
    *ppv = static_cast<IControlObject*>(this);
  } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
    *ppv = static_cast<IConnectionPointContainer*>(this);
  } else if (IsEqualIID(riid, IID_IProvideClassInfo)) {
    *ppv = static_cast<IProvideClassInfo*>(this);
  } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
    *ppv = static_cast<ISupportErrorInfo*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG ControlStandIn::AddRef() { return ++mlngRefs; }

ULONG ControlStandIn::Release() {
  ULONG lngRefs = --mlngRefs;
  if (lngRefs == 0) delete this;
  return lngRefs;
}

HRESULT ControlStandIn::GetTypeInfoCount(UINT* pctinfo) { return win32::OneTypeInfoCount(pctinfo); }

HRESULT ControlStandIn::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
  return win32::ShareTypeInfo(mobjTypeInfo, iTInfo, ppTInfo);
}

HRESULT ControlStandIn::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                      DISPID* rgDispId) {
  return win32::IDsOfNamesFromTypeInfo(mobjTypeInfo, riid, rgszNames, cNames, rgDispId);
}

HRESULT ControlStandIn::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                               DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                               UINT* puArgErr) {
  // The object stays alive through calls that pump messages, whatever a
  // handler does with the caller's references.
  ComRef<IControlObject> objSelf = ComRef<IControlObject>::Share(this);
  return win32::InvokeFromTypeInfo(mobjTypeInfo, static_cast<IControlObject*>(this), kSource,
                                   dispIdMember, riid, wFlags, pDispParams, pVarResult, pExcepInfo,
                                   puArgErr);
}

HRESULT ControlStandIn::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  return E_NOTIMPL;
}

HRESULT ControlStandIn::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  if (!IsEqualIID(riid, DIID__IControlObjectEvents)) return CONNECT_E_NOCONNECTION;
  mobjEvents.AddRef();
  *ppCP = &mobjEvents;
  return S_OK;
}

HRESULT ControlStandIn::GetClassInfo(ITypeInfo** ppTI) {
  if (!ppTI) return E_POINTER;
  *ppTI = ComRef<ITypeInfo>::Share(mobjClassInfo.Get()).Detach();
  return S_OK;
}

HRESULT ControlStandIn::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID_IControlObject) ? S_OK : S_FALSE;
}

// Lifecycle.

HRESULT ControlStandIn::Open(BSTR DeviceName, LONG* Result) {
  return Guard([&]() -> HRESULT {
    if (!Result) return E_POINTER;
    *Result = 0;
    if (mobjService) {
      *Result = OPOS_E_ILLEGAL;
      return Report({});
    }
    const std::wstring strDeviceName(DeviceName ? DeviceName : L"",
                                     DeviceName ? SysStringLen(DeviceName) : 0);
    CLSID clsid{};
    mlngOpenResult = FindServiceClass(strDeviceName, &clsid);
    if (mlngOpenResult != 0) {
      *Result = mlngOpenResult == OPOS_OR_REGBADNAME ? OPOS_E_NOEXIST : OPOS_E_NOSERVICE;
      return Report({});
    }
    ServiceLink objService;
    if (FAILED(ServiceLink::Create(clsid, objService))) {
      mlngOpenResult = OPOS_OR_CREATE;
      *Result = OPOS_E_NOSERVICE;
      return Report({});
    }

    ComRef<StatusSink> objSink = StatusSink::Create(static_cast<IControlObject*>(this));
    if (!objSink) return E_OUTOFMEMORY;
    UniqueBstr strClass(SysAllocString(kDeviceClass));
    UniqueBstr strName(
        SysAllocStringLen(strDeviceName.data(), static_cast<UINT>(strDeviceName.size())));
    if (!strClass.Get() || !strName.Get()) return E_OUTOFMEMORY;
    UniqueVariant varControl;
    varControl.Get()->vt = VT_DISPATCH;
    varControl.Get()->pdispVal = ComRef<IDispatch>::Share(objSink.Get()).Detach();

    // From here the service object is ours to close, whatever happens.
    mobjService = std::move(objService);
    mobjSink = std::move(objSink);
    LONG lngResult = 0;
    CallOutcome objOutcome = mobjService.CallLong(
        L"OpenService",
        {TextArg(strClass.Get()), TextArg(strName.Get()), VariantRefArg(varControl.Get())},
        &lngResult);
    if (objOutcome.hr == DISP_E_UNKNOWNNAME || objOutcome.hr == DISP_E_MEMBERNOTFOUND) {
      // Not a service object: it never got our sink, so there is nothing to close.
      if (mobjSink) mobjSink->Detach();
      mobjSink.Reset();
      mobjService.Reset();
      mlngOpenResult = OPOS_OR_BADIF;
      *Result = OPOS_E_NOSERVICE;
      return Report({});
    }
    if (FAILED(objOutcome.hr)) {
      mlngOpenResult = OPOS_OR_FAILEDOPEN;
      LONG lngIgnored = 0;
      CloseServiceObject(&lngIgnored);
      return Report(objOutcome);
    }
    if (lngResult != OPOS_SUCCESS) {
      // The service object answers why; then it is closed, as it would be by
      // Close, so that it drops its poll and its reference to us.
      LONG lngOpenResult = 0;
      if (FAILED(mobjService.CallLong(L"GetOpenResult", {}, &lngOpenResult).hr)) {
        lngOpenResult = OPOS_OR_FAILEDOPEN;
      }
      mlngOpenResult = lngOpenResult;
      LONG lngIgnored = 0;
      CloseServiceObject(&lngIgnored);
    } else {
      mlngOpenResult = 0;
    }
    *Result = lngResult;
    return Report({});
  });
}

HRESULT ControlStandIn::Close(LONG* Result) {
  return Guard([&]() -> HRESULT {
    if (!Result) return E_POINTER;
    *Result = 0;
    if (!mobjService) {
      *Result = OPOS_E_CLOSED;
      return Report({});
    }
    // Closed whatever CloseService answers; its failure is the call's.
    return Report(CloseServiceObject(Result));
  });
}

CallOutcome ControlStandIn::CloseServiceObject(LONG* lngResult) {
  // Taken out first: anything re-entering during CloseService sees the
  // stand-in closed.
  ServiceLink objService = std::move(mobjService);
  ComRef<StatusSink> objSink = std::move(mobjSink);
  CallOutcome objOutcome = objService.CallLong(L"CloseService", {}, lngResult);
  if (objSink) objSink->Detach();
  return objOutcome;
}

// Methods.

HRESULT ControlStandIn::ForwardMethod(const wchar_t* strName, const std::vector<VARIANT>& objArgs,
                                      LONG* Result) {
  if (!Result) return E_POINTER;
  *Result = 0;
  if (!mobjService) {
    *Result = OPOS_E_CLOSED;
    return Report({});
  }
  // Both stay alive through calls that pump messages (the wait does),
  // whatever a handler does with this object or the caller's references.
  ComRef<IControlObject> objSelf = ComRef<IControlObject>::Share(this);
  const ServiceLink objService = mobjService;
  return Report(objService.CallLong(strName, objArgs, Result));
}

HRESULT ControlStandIn::CheckHealth(LONG* Level, LONG* Result) {
  return Guard([&]() -> HRESULT {
    if (!Level) return E_POINTER;
    return ForwardMethod(L"CheckHealth", {LongArg(*Level)}, Result);
  });
}

HRESULT ControlStandIn::ClaimDevice(LONG Timeout, LONG* Result) {
  return Guard(
      [&]() -> HRESULT { return ForwardMethod(L"ClaimDevice", {LongArg(Timeout)}, Result); });
}

HRESULT ControlStandIn::ReleaseDevice(LONG* Result) {
  return Guard([&]() -> HRESULT { return ForwardMethod(L"ReleaseDevice", {}, Result); });
}

HRESULT ControlStandIn::OpenDrawer(LONG* Result) {
  return Guard([&]() -> HRESULT { return ForwardMethod(L"OpenDrawer", {}, Result); });
}

HRESULT ControlStandIn::WaitForDrawerClose(LONG* BeepTimeout, LONG* BeepFrequency,
                                           LONG* BeepDuration, LONG* BeepDelay, LONG* Result) {
  return Guard([&]() -> HRESULT {
    if (!BeepTimeout || !BeepFrequency || !BeepDuration || !BeepDelay) return E_POINTER;
    return ForwardMethod(L"WaitForDrawerClose",
                         {LongArg(*BeepTimeout), LongArg(*BeepFrequency), LongArg(*BeepDuration),
                          LongArg(*BeepDelay)},
                         Result);
  });
}

HRESULT ControlStandIn::SOStatusUpdate(LONG Data) {
  return Guard([&]() -> HRESULT {
    mobjEvents.FireStatusUpdate(Data);
    return Report({});
  });
}

// Properties.

HRESULT ControlStandIn::ReadNumber(LONG lngIndex, LONG* pValue) {
  return Guard([&]() -> HRESULT {
    if (!pValue) return E_POINTER;
    *pValue = 0;
    if (!mobjService) return Report({});
    const ServiceLink objService = mobjService;
    return Report(objService.CallLong(L"GetPropertyNumber", {LongArg(lngIndex)}, pValue));
  });
}

HRESULT ControlStandIn::ReadFlag(LONG lngIndex, VARIANT_BOOL* pValue) {
  if (!pValue) return E_POINTER;
  LONG lngValue = 0;
  HRESULT hr = ReadNumber(lngIndex, &lngValue);
  *pValue = lngValue != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return hr;
}

HRESULT ControlStandIn::ReadText(LONG lngIndex, BSTR* pValue) {
  return Guard([&]() -> HRESULT {
    if (!pValue) return E_POINTER;
    *pValue = nullptr;
    if (!mobjService) {
      Report({});
      return EmptyText(pValue);
    }
    const ServiceLink objService = mobjService;
    UniqueBstr strValue;
    CallOutcome objOutcome =
        objService.CallText(L"GetPropertyString", {LongArg(lngIndex)}, strValue);
    if (FAILED(objOutcome.hr)) return Report(objOutcome);
    Report({});
    if (!strValue.Get()) return EmptyText(pValue);
    *pValue = strValue.Detach();
    return S_OK;
  });
}

HRESULT ControlStandIn::WriteFlag(LONG lngIndex, VARIANT_BOOL blnValue) {
  return Guard([&]() -> HRESULT {
    if (!mobjService) return Report({});
    const ServiceLink objService = mobjService;
    UniqueVariant varResult;
    return Report(objService.Call(L"SetPropertyNumber",
                                  {LongArg(lngIndex), LongArg(blnValue ? 1 : 0)}, varResult.Get()));
  });
}

HRESULT ControlStandIn::get_CapPowerReporting(LONG* pValue) {
  return ReadNumber(PIDX_CapPowerReporting, pValue);
}
HRESULT ControlStandIn::get_CheckHealthText(BSTR* pValue) {
  return ReadText(PIDX_CheckHealthText, pValue);
}
HRESULT ControlStandIn::get_Claimed(VARIANT_BOOL* pValue) { return ReadFlag(PIDX_Claimed, pValue); }
HRESULT ControlStandIn::get_DeviceEnabled(VARIANT_BOOL* pValue) {
  return ReadFlag(PIDX_DeviceEnabled, pValue);
}
HRESULT ControlStandIn::put_DeviceEnabled(VARIANT_BOOL Value) {
  return WriteFlag(PIDX_DeviceEnabled, Value);
}
HRESULT ControlStandIn::get_FreezeEvents(VARIANT_BOOL* pValue) {
  return ReadFlag(PIDX_FreezeEvents, pValue);
}
HRESULT ControlStandIn::put_FreezeEvents(VARIANT_BOOL Value) {
  return WriteFlag(PIDX_FreezeEvents, Value);
}
HRESULT ControlStandIn::get_ServiceObjectDescription(BSTR* pValue) {
  return ReadText(PIDX_ServiceObjectDescription, pValue);
}
HRESULT ControlStandIn::get_ServiceObjectVersion(LONG* pValue) {
  return ReadNumber(PIDX_ServiceObjectVersion, pValue);
}
HRESULT ControlStandIn::get_DeviceDescription(BSTR* pValue) {
  return ReadText(PIDX_DeviceDescription, pValue);
}
HRESULT ControlStandIn::get_DeviceName(BSTR* pValue) { return ReadText(PIDX_DeviceName, pValue); }
HRESULT ControlStandIn::get_CapStatisticsReporting(VARIANT_BOOL* pValue) {
  return ReadFlag(PIDX_CapStatisticsReporting, pValue);
}
HRESULT ControlStandIn::get_CapUpdateStatistics(VARIANT_BOOL* pValue) {
  return ReadFlag(PIDX_CapUpdateStatistics, pValue);
}
HRESULT ControlStandIn::get_CapStatus(VARIANT_BOOL* pValue) {
  return ReadFlag(PIDXCash_CapStatus, pValue);
}
HRESULT ControlStandIn::get_DrawerOpened(VARIANT_BOOL* pValue) {
  return ReadFlag(PIDXCash_DrawerOpened, pValue);
}
HRESULT ControlStandIn::get_CapStatusMultiDrawer(VARIANT_BOOL* pValue) {
  return ReadFlag(PIDXCash_CapStatusMultiDrawer, pValue);
}

HRESULT ControlStandIn::get_OpenResult(LONG* pValue) {
  return Guard([&]() -> HRESULT {
    if (!pValue) return E_POINTER;
    *pValue = 0;
    if (!mobjService) {
      *pValue = mlngOpenResult;
      return Report({});
    }
    const ServiceLink objService = mobjService;
    return Report(objService.CallLong(L"GetOpenResult", {}, pValue));
  });
}

}  // namespace quillvane::standin
