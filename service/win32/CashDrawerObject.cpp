#include "service/win32/CashDrawerObject.h"

#include <new>
#include <string>
#include <utility>

#include "contract/AutomationBoundary.h"
#include "service/win32/DispatchControl.h"
#include "service/win32/Win32Api.h"
#include "win32kit/Text.h"

namespace quillvane::win32 {

using win32kit::ComRef;
using win32kit::FromBstr;
using win32kit::ToBstr;
using win32kit::UniqueBstr;

namespace {

const win32kit::ErrorSource kSource{&IID__CashDrawer, L"quillvane.CashDrawer"};

}  // namespace

HRESULT CashDrawerObject::Create(REFIID riid, void** ppv) {
  return win32kit::CreateDispatchObject(
      riid, ppv, [](ITypeLib* objTypeLib, HRESULT& hr) -> ComRef<CashDrawerObject> {
        win32kit::DualTypeInfo objTypeInfo;
        hr = win32kit::LoadDualTypeInfo(objTypeLib, IID__CashDrawer, objTypeInfo);
        if (FAILED(hr)) return {};
        std::shared_ptr<CashDrawer> objDrawer = CashDrawer::Create(Platform());
        return ComRef<CashDrawerObject>::Adopt(
            new CashDrawerObject(std::move(objTypeInfo), std::move(objDrawer)));
      });
}

CashDrawerObject::CashDrawerObject(win32kit::DualTypeInfo objTypeInfo,
                                   std::shared_ptr<CashDrawer> objDrawer)
    : DispatchObject(std::move(objTypeInfo), kSource), mobjDrawer(std::move(objDrawer)) {}

template <typename Body>
HRESULT CashDrawerObject::CallLong(LONG* Result, Body&& body) {
  if (!Result) return E_POINTER;
  auto objOutcome = CallMethod(std::forward<Body>(body));
  *Result = objOutcome.value;
  return Report(objOutcome.hresult, objOutcome.description);
}

template <typename Body>
HRESULT CashDrawerObject::CallVoid(Body&& body) {
  auto objOutcome = CallMethod(std::forward<Body>(body));
  return Report(objOutcome.hresult, objOutcome.description);
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
  return Report(objOutcome.hresult, objOutcome.description);
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
