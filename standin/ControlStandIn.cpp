#include "standin/ControlStandIn.h"

#include <new>
#include <utility>

#include "contract/AutomationBoundary.h"
#include "contract/OposConstants.h"
#include "win32kit/Text.h"

namespace quillvane::standin {

using win32kit::CallOutcome;
using win32kit::ComRef;
using win32kit::DualTypeInfo;
using win32kit::LongArg;
using win32kit::UniqueBstr;
using win32kit::UniqueVariant;

namespace {

const win32kit::ErrorSource kSource{&IID_IControlObject, L"quillvane.ControlObject"};

// An empty BSTR rather than null: some callers read the text without checking.
HRESULT EmptyText(BSTR* pValue) {
  *pValue = SysAllocString(L"");
  return *pValue ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT ControlStandIn::Create(REFIID riid, void** ppv) {
  return win32kit::CreateDispatchObject(
      riid, ppv, [](ITypeLib* objTypeLib, HRESULT& hr) -> ComRef<ControlStandIn> {
        // The dual interface's two halves, and the coclass, which names the events.
        DualTypeInfo objTypeInfo;
        ComRef<ITypeInfo> objClassInfo;
        hr = objTypeLib->GetTypeInfoOfGuid(CLSID_ControlObject, objClassInfo.Put());
        if (SUCCEEDED(hr)) {
          hr = win32kit::LoadDualTypeInfo(objTypeLib, IID_IControlObject, objTypeInfo);
        }
        if (FAILED(hr)) return {};
        return ComRef<ControlStandIn>::Adopt(
            new ControlStandIn(std::move(objTypeInfo), std::move(objClassInfo)));
      });
}

ControlStandIn::ControlStandIn(DualTypeInfo objTypeInfo, ComRef<ITypeInfo> objClassInfo)
    : DispatchObject(std::move(objTypeInfo), kSource), mobjClassInfo(std::move(objClassInfo)) {}

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

void* ControlStandIn::QueryOther(REFIID riid) {
  if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
    return static_cast<IConnectionPointContainer*>(this);
  }
  if (IsEqualIID(riid, IID_IProvideClassInfo)) return static_cast<IProvideClassInfo*>(this);
  return nullptr;
}

HRESULT ControlStandIn::Report(const CallOutcome& objOutcome) const {
  return DispatchObject::Report(objOutcome.hr, objOutcome.strDescription);
}

template <typename Body>
HRESULT ControlStandIn::Guard(Body&& body) const noexcept {
  auto objOutcome = CallMethod(std::forward<Body>(body));
  if (FAILED(objOutcome.hresult)) {
    return DispatchObject::Report(objOutcome.hresult, objOutcome.description);
  }
  return objOutcome.value;
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

// Lifecycle.

HRESULT ControlStandIn::Open(BSTR DeviceName, LONG* Result) {
  return Guard([&]() -> HRESULT {
    if (!Result) return E_POINTER;
    *Result = 0;
    if (mobjService) {
      *Result = OPOS_E_ILLEGAL;
      return Report();
    }
    const std::u16string strDeviceName = win32kit::FromBstr(DeviceName);
    CLSID clsid{};
    mlngOpenResult = FindServiceClass(strDeviceName, &clsid);
    if (mlngOpenResult != 0) {
      *Result = mlngOpenResult == OPOS_OR_REGBADNAME ? OPOS_E_NOEXIST : OPOS_E_NOSERVICE;
      return Report();
    }
    ServiceLink objService;
    if (FAILED(ServiceLink::Create(clsid, objService))) {
      mlngOpenResult = OPOS_OR_CREATE;
      *Result = OPOS_E_NOSERVICE;
      return Report();
    }

    ComRef<StatusSink> objSink = StatusSink::Create(static_cast<IControlObject*>(this));
    if (!objSink) return E_OUTOFMEMORY;
    UniqueBstr strClass(win32kit::ToBstr(kCashDrawerDeviceClass));
    UniqueBstr strName(win32kit::ToBstr(strDeviceName));
    if (!strClass.Get() || !strName.Get()) return E_OUTOFMEMORY;
    UniqueVariant varControl;
    varControl.Get()->vt = VT_DISPATCH;
    varControl.Get()->pdispVal = ComRef<IDispatch>::Share(objSink.Get()).Detach();

    // From here the service object is ours to close, whatever happens.
    mobjService = std::move(objService);
    mobjSink = std::move(objSink);
    LONG lngResult = 0;
    CallOutcome objOutcome =
        mobjService.CallLong(L"OpenService",
                             {win32kit::TextArg(strClass.Get()), win32kit::TextArg(strName.Get()),
                              win32kit::VariantRefArg(varControl.Get())},
                             &lngResult);
    if (objOutcome.hr == DISP_E_UNKNOWNNAME || objOutcome.hr == DISP_E_MEMBERNOTFOUND) {
      // Not a service object: it never got our sink, so there is nothing to close.
      if (mobjSink) mobjSink->Detach();
      mobjSink.Reset();
      mobjService.Reset();
      mlngOpenResult = OPOS_OR_BADIF;
      *Result = OPOS_E_NOSERVICE;
      return Report();
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
    return Report();
  });
}

HRESULT ControlStandIn::Close(LONG* Result) {
  return Guard([&]() -> HRESULT {
    if (!Result) return E_POINTER;
    *Result = 0;
    if (!mobjService) {
      *Result = OPOS_E_CLOSED;
      return Report();
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
    return Report();
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
    return Report();
  });
}

// Properties.

HRESULT ControlStandIn::ReadNumber(LONG lngIndex, LONG* pValue) {
  return Guard([&]() -> HRESULT {
    if (!pValue) return E_POINTER;
    *pValue = 0;
    if (!mobjService) return Report();
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
      Report();
      return EmptyText(pValue);
    }
    const ServiceLink objService = mobjService;
    UniqueBstr strValue;
    CallOutcome objOutcome =
        objService.CallText(L"GetPropertyString", {LongArg(lngIndex)}, strValue);
    if (FAILED(objOutcome.hr)) return Report(objOutcome);
    Report();
    if (!strValue.Get()) return EmptyText(pValue);
    *pValue = strValue.Detach();
    return S_OK;
  });
}

HRESULT ControlStandIn::WriteFlag(LONG lngIndex, VARIANT_BOOL blnValue) {
  return Guard([&]() -> HRESULT {
    if (!mobjService) return Report();
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
      return Report();
    }
    const ServiceLink objService = mobjService;
    return Report(objService.CallLong(L"GetOpenResult", {}, pValue));
  });
}

}  // namespace quillvane::standin
