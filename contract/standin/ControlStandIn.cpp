#include "contract/standin/ControlStandIn.h"

#include <oleauto.h>
#include <olectl.h>

#include <new>
#include <utility>

#include "contract/standin/OposCodes.h"
#include "service/win32/DispatchArguments.h"
#include "service/win32/TypeInfoDispatch.h"

namespace quillvane::standin {

using win32::ComRef;
using win32::ScopedFuncDesc;
using win32::ScopedTypeAttr;
using win32::UniqueBstr;
using win32::UniqueVariant;

namespace {

constexpr wchar_t kProgId[] = L"quillvane.ControlObject";

// Hands a failure's description to the caller through the thread's error
// object; a success clears what an earlier call left there.
void ReportOutcome(const CallOutcome& objOutcome) {
  if (SUCCEEDED(objOutcome.hr)) {
    SetErrorInfo(0, nullptr);
    return;
  }
  ComRef<ICreateErrorInfo> objCreate;
  if (FAILED(CreateErrorInfo(objCreate.Put()))) return;
  std::wstring strDescription = objOutcome.strDescription;
  objCreate->SetGUID(IID_IControlObject);
  objCreate->SetSource(const_cast<LPOLESTR>(kProgId));
  objCreate->SetDescription(strDescription.data());
  ComRef<IErrorInfo> objError;
  if (SUCCEEDED(
          objCreate->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(objError.Put())))) {
    SetErrorInfo(0, objError.Get());
  }
}

HRESULT Report(const CallOutcome& objOutcome) {
  ReportOutcome(objOutcome);
  return objOutcome.hr;
}

// The type descriptions Invoke and GetClassInfo use: the vtable half of the
// dual interface and the coclass.
HRESULT LoadTypeInfos(ComRef<ITypeInfo>& objTypeInfo, ComRef<ITypeInfo>& objClassInfo) {
  ComRef<ITypeLib> objTypeLib;
  HRESULT hr = win32::LoadOwnTypeLib(objTypeLib);
  if (FAILED(hr)) return hr;
  hr = objTypeLib->GetTypeInfoOfGuid(CLSID_ControlObject, objClassInfo.Put());
  if (FAILED(hr)) return hr;
  ComRef<ITypeInfo> objFound;
  hr = objTypeLib->GetTypeInfoOfGuid(IID_IControlObject, objFound.Put());
  if (FAILED(hr)) return hr;
  HREFTYPE lngRef = 0;
  if (SUCCEEDED(objFound->GetRefTypeOfImplType(static_cast<UINT>(-1), &lngRef))) {
    ComRef<ITypeInfo> objInterface;
    if (SUCCEEDED(objFound->GetRefTypeInfo(lngRef, objInterface.Put()))) {
      objTypeInfo = std::move(objInterface);
      return S_OK;
    }
  }
  objTypeInfo = std::move(objFound);
  return S_OK;
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
  ComRef<ITypeInfo> objTypeInfo;
  ComRef<ITypeInfo> objClassInfo;
  HRESULT hr = LoadTypeInfos(objTypeInfo, objClassInfo);
  if (FAILED(hr)) return hr;
  auto* objNew = new (std::nothrow) ControlStandIn(std::move(objTypeInfo), std::move(objClassInfo));
  if (!objNew) return E_OUTOFMEMORY;
  hr = objNew->QueryInterface(riid, ppv);
  objNew->Release();
  return hr;
}

ControlStandIn::ControlStandIn(ComRef<ITypeInfo> objTypeInfo, ComRef<ITypeInfo> objClassInfo)
    : mobjTypeInfo(std::move(objTypeInfo)), mobjClassInfo(std::move(objClassInfo)) {}

ControlStandIn::~ControlStandIn() {
  // Released without Close: close the service object so that nothing stays
  // open. The sink goes first, so nothing can reach this object any more.
  if (mobjSink) mobjSink->Detach();
  if (mobjService) {
    LONG lngIgnored = 0;
    CloseServiceObject(&lngIgnored);
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
  return win32::ShareTypeInfo(mobjTypeInfo.Get(), iTInfo, ppTInfo);
}

HRESULT ControlStandIn::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                      DISPID* rgDispId) {
  return win32::IDsOfNamesFromTypeInfo(mobjTypeInfo.Get(), riid, rgszNames, cNames, rgDispId);
}

HRESULT ControlStandIn::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                               DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                               UINT* puArgErr) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!pDispParams) return E_INVALIDARG;
  // The object stays alive through calls that pump messages, whatever a
  // handler does with the caller's references.
  ComRef<IControlObject> objSelf = ComRef<IControlObject>::Share(this);

  // The member by DISPID and kind: a property has a get and a put under one
  // DISPID, and the arguments are prepared for the one being called.
  TYPEATTR* lpAttr = nullptr;
  HRESULT hr = mobjTypeInfo->GetTypeAttr(&lpAttr);
  if (FAILED(hr)) return hr;
  ScopedTypeAttr objHeldAttr(mobjTypeInfo.Get(), lpAttr);
  for (UINT lngIndex = 0; lngIndex < lpAttr->cFuncs; ++lngIndex) {
    FUNCDESC* lpDesc = nullptr;
    if (FAILED(mobjTypeInfo->GetFuncDesc(lngIndex, &lpDesc))) continue;
    ScopedFuncDesc objDesc(mobjTypeInfo.Get(), lpDesc);
    if (lpDesc->memid != dispIdMember) continue;
    if ((lpDesc->invkind & wFlags) == 0) continue;

    win32::DispatchArguments objArguments;
    hr = objArguments.Prepare(*lpDesc, *pDispParams, puArgErr);
    if (FAILED(hr)) return hr;
    hr = mobjTypeInfo->Invoke(static_cast<IControlObject*>(this), dispIdMember, wFlags,
                              objArguments.Params(), pVarResult, pExcepInfo, puArgErr);
    objArguments.WriteBack();
    return hr;
  }
  return DISP_E_MEMBERNOTFOUND;
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
}

HRESULT ControlStandIn::Close(LONG* Result) {
  if (!Result) return E_POINTER;
  *Result = 0;
  if (!mobjService) {
    *Result = OPOS_E_CLOSED;
    return Report({});
  }
  // Closed whatever CloseService answers; its failure is the call's.
  return Report(CloseServiceObject(Result));
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
  if (!Level) return E_POINTER;
  return ForwardMethod(L"CheckHealth", {LongArg(*Level)}, Result);
}

HRESULT ControlStandIn::ClaimDevice(LONG Timeout, LONG* Result) {
  return ForwardMethod(L"ClaimDevice", {LongArg(Timeout)}, Result);
}

HRESULT ControlStandIn::ReleaseDevice(LONG* Result) {
  return ForwardMethod(L"ReleaseDevice", {}, Result);
}

HRESULT ControlStandIn::OpenDrawer(LONG* Result) {
  return ForwardMethod(L"OpenDrawer", {}, Result);
}

HRESULT ControlStandIn::WaitForDrawerClose(LONG* BeepTimeout, LONG* BeepFrequency,
                                           LONG* BeepDuration, LONG* BeepDelay, LONG* Result) {
  if (!BeepTimeout || !BeepFrequency || !BeepDuration || !BeepDelay) return E_POINTER;
  return ForwardMethod(
      L"WaitForDrawerClose",
      {LongArg(*BeepTimeout), LongArg(*BeepFrequency), LongArg(*BeepDuration), LongArg(*BeepDelay)},
      Result);
}

HRESULT ControlStandIn::SOStatusUpdate(LONG Data) {
  mobjEvents.FireStatusUpdate(Data);
  return Report({});
}

// Properties.

HRESULT ControlStandIn::ReadNumber(LONG lngIndex, LONG* pValue) {
  if (!pValue) return E_POINTER;
  *pValue = 0;
  if (!mobjService) return Report({});
  const ServiceLink objService = mobjService;
  return Report(objService.CallLong(L"GetPropertyNumber", {LongArg(lngIndex)}, pValue));
}

HRESULT ControlStandIn::ReadFlag(LONG lngIndex, VARIANT_BOOL* pValue) {
  if (!pValue) return E_POINTER;
  LONG lngValue = 0;
  HRESULT hr = ReadNumber(lngIndex, &lngValue);
  *pValue = lngValue != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return hr;
}

HRESULT ControlStandIn::ReadText(LONG lngIndex, BSTR* pValue) {
  if (!pValue) return E_POINTER;
  *pValue = nullptr;
  if (!mobjService) {
    ReportOutcome({});
    return EmptyText(pValue);
  }
  const ServiceLink objService = mobjService;
  UniqueBstr strValue;
  CallOutcome objOutcome = objService.CallText(L"GetPropertyString", {LongArg(lngIndex)}, strValue);
  if (FAILED(objOutcome.hr)) return Report(objOutcome);
  ReportOutcome({});
  if (!strValue.Get()) return EmptyText(pValue);
  *pValue = strValue.Detach();
  return S_OK;
}

HRESULT ControlStandIn::WriteFlag(LONG lngIndex, VARIANT_BOOL blnValue) {
  if (!mobjService) return Report({});
  const ServiceLink objService = mobjService;
  UniqueVariant varResult;
  return Report(objService.Call(L"SetPropertyNumber",
                                {LongArg(lngIndex), LongArg(blnValue ? 1 : 0)}, varResult.Get()));
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
  if (!pValue) return E_POINTER;
  *pValue = 0;
  if (!mobjService) {
    *pValue = mlngOpenResult;
    return Report({});
  }
  const ServiceLink objService = mobjService;
  return Report(objService.CallLong(L"GetOpenResult", {}, pValue));
}

}  // namespace quillvane::standin
