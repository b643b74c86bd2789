#include "service/win32/CashDrawerObject.h"

#include <new>
#include <string>
#include <utility>

#include "service/AutomationBoundary.h"
#include "service/win32/BstrText.h"
#include "service/win32/DispatchArguments.h"
#include "service/win32/DispatchControl.h"
#include "service/win32/TypeInfoDispatch.h"
#include "service/win32/Win32Api.h"

namespace quillvane::win32 {

namespace {

// Hands the error's description to the caller through the thread's error
// object; a success clears what an earlier call left there.
void ReportOutcome(HRESULT hr, const std::string& strDescription) {
  if (SUCCEEDED(hr)) {
    SetErrorInfo(0, nullptr);
    return;
  }
  ComRef<ICreateErrorInfo> objCreate;
  if (FAILED(CreateErrorInfo(objCreate.Put()))) return;
  std::wstring strWide = WidenAnsi(strDescription);
  objCreate->SetGUID(IID__CashDrawer);
  objCreate->SetSource(const_cast<LPOLESTR>(L"quillvane.CashDrawer"));
  objCreate->SetDescription(strWide.data());
  ComRef<IErrorInfo> objError;
  if (SUCCEEDED(
          objCreate->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(objError.Put())))) {
    SetErrorInfo(0, objError.Get());
  }
}

// The vtable half of the dual interface: Invoke calls through its slots.
HRESULT LoadInterfaceTypeInfo(ComRef<ITypeInfo>& objTypeInfo) {
  ComRef<ITypeLib> objTypeLib;
  HRESULT hr = LoadOwnTypeLib(objTypeLib);
  if (FAILED(hr)) return hr;
  ComRef<ITypeInfo> objFound;
  hr = objTypeLib->GetTypeInfoOfGuid(IID__CashDrawer, objFound.Put());
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

}  // namespace

HRESULT CashDrawerObject::Create(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  ComRef<ITypeInfo> objTypeInfo;
  HRESULT hr = LoadInterfaceTypeInfo(objTypeInfo);
  if (FAILED(hr)) return hr;
  std::shared_ptr<CashDrawer> objDrawer;
  try {
    objDrawer = CashDrawer::Create(Platform());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  auto* objNew = new (std::nothrow) CashDrawerObject(std::move(objTypeInfo), std::move(objDrawer));
  if (!objNew) return E_OUTOFMEMORY;
  hr = objNew->QueryInterface(riid, ppv);
  objNew->Release();
  return hr;
}

CashDrawerObject::CashDrawerObject(ComRef<ITypeInfo> objTypeInfo,
                                   std::shared_ptr<CashDrawer> objDrawer)
    : mobjTypeInfo(std::move(objTypeInfo)), mobjDrawer(std::move(objDrawer)) {}

HRESULT CashDrawerObject::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, IID__CashDrawer)) {
    *ppv = static_cast<_CashDrawer*>(this);
  } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
    *ppv = static_cast<ISupportErrorInfo*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CashDrawerObject::AddRef() { return ++mlngRefs; }

ULONG CashDrawerObject::Release() {
  ULONG lngRefs = --mlngRefs;
  if (lngRefs == 0) delete this;
  return lngRefs;
}

HRESULT CashDrawerObject::GetTypeInfoCount(UINT* pctinfo) {
  return win32::OneTypeInfoCount(pctinfo);
}

HRESULT CashDrawerObject::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
  return win32::ShareTypeInfo(mobjTypeInfo.Get(), iTInfo, ppTInfo);
}

HRESULT CashDrawerObject::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                        DISPID* rgDispId) {
  return win32::IDsOfNamesFromTypeInfo(mobjTypeInfo.Get(), riid, rgszNames, cNames, rgDispId);
}

HRESULT CashDrawerObject::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                 DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                 EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!pDispParams) return E_INVALIDARG;

  // Scan for the member: an index lookup by DISPID is unreliable on some
  // platforms for dual interfaces.
  TYPEATTR* lpAttr = nullptr;
  HRESULT hr = mobjTypeInfo->GetTypeAttr(&lpAttr);
  if (FAILED(hr)) return hr;
  ScopedTypeAttr objHeldAttr(mobjTypeInfo.Get(), lpAttr);
  for (UINT lngIndex = 0; lngIndex < lpAttr->cFuncs; ++lngIndex) {
    FUNCDESC* lpDesc = nullptr;
    if (FAILED(mobjTypeInfo->GetFuncDesc(lngIndex, &lpDesc))) continue;
    ScopedFuncDesc objDesc(mobjTypeInfo.Get(), lpDesc);
    if (lpDesc->memid != dispIdMember) continue;

    DispatchArguments objArguments;
    hr = objArguments.Prepare(*lpDesc, *pDispParams, puArgErr);
    if (FAILED(hr)) return hr;
    hr = mobjTypeInfo->Invoke(static_cast<_CashDrawer*>(this), dispIdMember, wFlags,
                              objArguments.Params(), pVarResult, pExcepInfo, puArgErr);
    objArguments.WriteBack();
    return hr;
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT CashDrawerObject::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID__CashDrawer) ? S_OK : S_FALSE;
}

template <typename Body>
HRESULT CashDrawerObject::CallLong(LONG* Result, Body&& body) {
  if (!Result) return E_POINTER;
  auto objOutcome = CallMethod(std::forward<Body>(body));
  *Result = objOutcome.value;
  ReportOutcome(objOutcome.hresult, objOutcome.description);
  return objOutcome.hresult;
}

HRESULT CashDrawerObject::WaitForDrawerClose(LONG BeepTimeout, LONG BeepFrequency,
                                             LONG BeepDuration, LONG BeepDelay, LONG* Result) {
  // The object stays alive while the wait pumps messages, whatever a
  // handler does with the caller's references.
  ComRef<_CashDrawer> objSelf = ComRef<_CashDrawer>::Share(this);
  return CallLong(Result, [&] {
    return mobjDrawer->WaitForDrawerClose(BeepTimeout, BeepFrequency, BeepDuration, BeepDelay);
  });
}

HRESULT CashDrawerObject::OpenDrawer(LONG* Result) {
  return CallLong(Result, [&] { return mobjDrawer->OpenDrawer(); });
}

HRESULT CashDrawerObject::SetPropertyString(LONG PropIndex, BSTR PropString) {
  auto objOutcome =
      CallMethod([&] { mobjDrawer->SetPropertyString(PropIndex, FromBstr(PropString)); });
  ReportOutcome(objOutcome.hresult, objOutcome.description);
  return objOutcome.hresult;
}

HRESULT CashDrawerObject::SetPropertyNumber(LONG PropIndex, LONG Number) {
  auto objOutcome = CallMethod([&] { mobjDrawer->SetPropertyNumber(PropIndex, Number); });
  ReportOutcome(objOutcome.hresult, objOutcome.description);
  return objOutcome.hresult;
}

HRESULT CashDrawerObject::GetPropertyString(LONG PropIndex, BSTR* Result) {
  if (!Result) return E_POINTER;
  *Result = nullptr;
  auto objOutcome = CallMethod([&] { return mobjDrawer->GetPropertyString(PropIndex); });
  HRESULT hr = objOutcome.hresult;
  if (SUCCEEDED(hr) && !objOutcome.value.empty()) {
    *Result = ToBstr(objOutcome.value);
    if (!*Result) {
      hr = HResultFromErrorNumber(kErrOutOfMemory);
      objOutcome.description = DescribeErrorNumber(kErrOutOfMemory);
    }
  }
  ReportOutcome(hr, objOutcome.description);
  return hr;
}

HRESULT CashDrawerObject::GetPropertyNumber(LONG PropIndex, LONG* Result) {
  return CallLong(Result, [&] { return mobjDrawer->GetPropertyNumber(PropIndex); });
}

HRESULT CashDrawerObject::ReleaseDevice(LONG* Result) {
  return CallLong(Result, [&] { return mobjDrawer->ReleaseDevice(); });
}

HRESULT CashDrawerObject::OpenService(BSTR DeviceClass, BSTR DeviceName, VARIANT* pDispatch,
                                      LONG* Result) {
  if (!pDispatch) return E_POINTER;
  return CallLong(Result, [&] {
    return mobjDrawer->OpenService(FromBstr(DeviceClass), FromBstr(DeviceName),
                                   ControlFromVariant(*pDispatch));
  });
}

HRESULT CashDrawerObject::GetOpenResult(LONG* Result) {
  return CallLong(Result, [&] { return mobjDrawer->GetOpenResult(); });
}

HRESULT CashDrawerObject::DirectIO(LONG Command, LONG* pData, BSTR* pString, LONG* Result) {
  if (!pData || !pString) return E_POINTER;
  std::int32_t lngData = *pData;
  std::u16string strString = FromBstr(*pString);
  HRESULT hr = CallLong(Result, [&] { return mobjDrawer->DirectIO(Command, lngData, strString); });
  // Write back only what the method changed: the caller's BSTR stays the
  // very same string otherwise.
  *pData = lngData;
  if (strString != FromBstr(*pString)) {
    BSTR strNew = ToBstr(strString);
    if (strNew || strString.empty()) {
      SysFreeString(*pString);
      *pString = strNew;
    } else if (SUCCEEDED(hr)) {
      hr = E_OUTOFMEMORY;
    }
  }
  return hr;
}

HRESULT CashDrawerObject::COFreezeEvents(VARIANT_BOOL Freeze, LONG* Result) {
  return CallLong(Result, [&] { return mobjDrawer->COFreezeEvents(Freeze); });
}

HRESULT CashDrawerObject::ClaimDevice(LONG Timeout, LONG* Result) {
  return CallLong(Result, [&] { return mobjDrawer->ClaimDevice(Timeout); });
}

HRESULT CashDrawerObject::CloseService(LONG* Result) {
  return CallLong(Result, [&] { return mobjDrawer->CloseService(); });
}

HRESULT CashDrawerObject::CheckHealth(LONG Level, LONG* Result) {
  return CallLong(Result, [&] { return mobjDrawer->CheckHealth(Level); });
}

}  // namespace quillvane::win32
