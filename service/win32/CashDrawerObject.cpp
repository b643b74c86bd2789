#include "service/win32/CashDrawerObject.h"

#include <new>
#include <string>
#include <utility>

#include "service/AutomationBoundary.h"
#include "service/win32/BstrText.h"
#include "service/win32/DispatchControl.h"
#include "service/win32/ErrorInfo.h"
#include "service/win32/Win32Api.h"

namespace quillvane::win32 {

namespace {

const ErrorSource kSource{&IID__CashDrawer, L"quillvane.CashDrawer"};

}  // namespace

HRESULT CashDrawerObject::Create(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  auto objOutcome = CallMethod([&]() -> HRESULT {
    ComRef<ITypeLib> objTypeLib;
    DualTypeInfo objTypeInfo;
    HRESULT hr = LoadOwnTypeLib(objTypeLib);
    if (SUCCEEDED(hr)) hr = LoadDualTypeInfo(objTypeLib.Get(), IID__CashDrawer, objTypeInfo);
    if (FAILED(hr)) return hr;
    std::shared_ptr<CashDrawer> objDrawer = CashDrawer::Create(Platform());
    ComRef<_CashDrawer> objNew = ComRef<_CashDrawer>::Adopt(
        new CashDrawerObject(std::move(objTypeInfo), std::move(objDrawer)));
    return objNew->QueryInterface(riid, ppv);
  });
  return FAILED(objOutcome.hresult) ? objOutcome.hresult : objOutcome.value;
}

CashDrawerObject::CashDrawerObject(DualTypeInfo objTypeInfo, std::shared_ptr<CashDrawer> objDrawer)
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
  return win32::ShareTypeInfo(mobjTypeInfo, iTInfo, ppTInfo);
}

HRESULT CashDrawerObject::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                        DISPID* rgDispId) {
  return win32::IDsOfNamesFromTypeInfo(mobjTypeInfo, riid, rgszNames, cNames, rgDispId);
}

HRESULT CashDrawerObject::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                 DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                 EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  return InvokeFromTypeInfo(mobjTypeInfo, static_cast<_CashDrawer*>(this), kSource, dispIdMember,
                            riid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
}

HRESULT CashDrawerObject::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID__CashDrawer) ? S_OK : S_FALSE;
}

template <typename Body>
HRESULT CashDrawerObject::CallLong(LONG* Result, Body&& body) {
  if (!Result) return E_POINTER;
  auto objOutcome = CallMethod(std::forward<Body>(body));
  *Result = objOutcome.value;
  return ReportToCaller(kSource, objOutcome.hresult, objOutcome.description);
}

template <typename Body>
HRESULT CashDrawerObject::CallVoid(Body&& body) {
  auto objOutcome = CallMethod(std::forward<Body>(body));
  return ReportToCaller(kSource, objOutcome.hresult, objOutcome.description);
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
  return CallVoid([&] { mobjDrawer->SetPropertyString(PropIndex, FromBstr(PropString)); });
}

HRESULT CashDrawerObject::SetPropertyNumber(LONG PropIndex, LONG Number) {
  return CallVoid([&] { mobjDrawer->SetPropertyNumber(PropIndex, Number); });
}

HRESULT CashDrawerObject::GetPropertyString(LONG PropIndex, BSTR* Result) {
  if (!Result) return E_POINTER;
  *Result = nullptr;
  auto objOutcome = CallMethod([&] {
    // Empty text travels as a null BSTR.
    UniqueBstr strResult;
    const std::u16string strText = mobjDrawer->GetPropertyString(PropIndex);
    if (!strText.empty()) {
      *strResult.Put() = ToBstr(strText);
      if (!strResult.Get()) throw std::bad_alloc();
    }
    return strResult;
  });
  *Result = objOutcome.value.Detach();
  return ReportToCaller(kSource, objOutcome.hresult, objOutcome.description);
}

HRESULT CashDrawerObject::GetPropertyNumber(LONG PropIndex, LONG* Result) {
  return CallLong(Result, [&] { return mobjDrawer->GetPropertyNumber(PropIndex); });
}

HRESULT CashDrawerObject::ReleaseDevice(LONG* Result) {
  return CallLong(Result, [&] { return mobjDrawer->ReleaseDevice(); });
}

HRESULT CashDrawerObject::OpenService(BSTR DeviceClass, BSTR DeviceName, VARIANT* pDispatch,
                                      LONG* Result) {
  if (!pDispatch || !Result) return E_POINTER;
  // The names with their full length: a NUL inside is part of the name.
  return CallLong(Result, [&] {
    return mobjDrawer->OpenService(FromBstr(DeviceClass), FromBstr(DeviceName),
                                   ControlFromVariant(*pDispatch));
  });
}

HRESULT CashDrawerObject::GetOpenResult(LONG* Result) {
  return CallLong(Result, [&] { return mobjDrawer->GetOpenResult(); });
}

HRESULT CashDrawerObject::DirectIO(LONG Command, LONG* pData, BSTR* pString, LONG* Result) {
  if (!pData || !pString || !Result) return E_POINTER;
  return CallLong(Result, [&] {
    std::int32_t lngData = *pData;
    std::u16string strString = FromBstr(*pString);
    const std::int32_t lngResult = mobjDrawer->DirectIO(Command, lngData, strString);
    // Write back only what the method changed: the caller's BSTR stays the
    // very same string otherwise.
    if (strString != FromBstr(*pString)) {
      UniqueBstr strNew(ToBstr(strString));
      if (!strNew.Get() && !strString.empty()) throw std::bad_alloc();
      SysFreeString(*pString);
      *pString = strNew.Detach();
    }
    *pData = lngData;
    return lngResult;
  });
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
