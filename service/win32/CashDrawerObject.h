// The automation object of class CashDrawer: the dual interface _CashDrawer
// over one core CashDrawer, on the toolkit's automation object skeleton
// (IUnknown, IDispatch from the embedded type library, ISupportErrorInfo).
#pragma once

#include <memory>

#include "service/CashDrawer.h"
#include "service/win32/TypeLibDeclarations.h"
#include "win32kit/DispatchObject.h"
#include "win32kit/WinHeaders.h"

namespace quillvane::win32 {

class CashDrawerObject final : public win32kit::DispatchObject<_CashDrawer> {
 public:
  // A new, independent object, queried for riid.
  static HRESULT Create(REFIID riid, void** ppv);

  // _CashDrawer.
  HRESULT STDMETHODCALLTYPE WaitForDrawerClose(LONG BeepTimeout, LONG BeepFrequency,
                                               LONG BeepDuration, LONG BeepDelay,
                                               LONG* Result) override;
  HRESULT STDMETHODCALLTYPE OpenDrawer(LONG* Result) override;
  HRESULT STDMETHODCALLTYPE SetPropertyString(LONG PropIndex, BSTR PropString) override;
  HRESULT STDMETHODCALLTYPE SetPropertyNumber(LONG PropIndex, LONG Number) override;
  HRESULT STDMETHODCALLTYPE GetPropertyString(LONG PropIndex, BSTR* Result) override;
  HRESULT STDMETHODCALLTYPE GetPropertyNumber(LONG PropIndex, LONG* Result) override;
  HRESULT STDMETHODCALLTYPE ReleaseDevice(LONG* Result) override;
  HRESULT STDMETHODCALLTYPE OpenService(BSTR DeviceClass, BSTR DeviceName, VARIANT* pDispatch,
                                        LONG* Result) override;
  HRESULT STDMETHODCALLTYPE GetOpenResult(LONG* Result) override;
  HRESULT STDMETHODCALLTYPE DirectIO(LONG Command, LONG* pData, BSTR* pString,
                                     LONG* Result) override;
  HRESULT STDMETHODCALLTYPE COFreezeEvents(VARIANT_BOOL Freeze, LONG* Result) override;
  HRESULT STDMETHODCALLTYPE ClaimDevice(LONG Timeout, LONG* Result) override;
  HRESULT STDMETHODCALLTYPE CloseService(LONG* Result) override;
  HRESULT STDMETHODCALLTYPE CheckHealth(LONG Level, LONG* Result) override;

 private:
  CashDrawerObject(win32kit::DualTypeInfo objTypeInfo, std::shared_ptr<CashDrawer> objDrawer);
  ~CashDrawerObject() override = default;

  // Run one method of the core, argument and result conversions included,
  // inside the automation boundary and report its outcome as the call's:
  // the status, the error object, and 0 as the result of a failed call.
  template <typename Body>
  HRESULT CallLong(LONG* Result, Body&& body);
  template <typename Body>
  HRESULT CallVoid(Body&& body);

  std::shared_ptr<CashDrawer> mobjDrawer;
};

}  // namespace quillvane::win32
