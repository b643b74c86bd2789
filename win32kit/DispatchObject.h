// The skeleton every automation object of ours shares: IUnknown with a
// reference count that keeps the module loaded, IDispatch driven by the
// embedded type library's description of the dual interface `Dual`
// (TypeInfoDispatch.h: the count, the description, names to DISPIDs, and the
// one Invoke, which finds the member by DISPID and invoke kind and checks its
// arguments), and ISupportErrorInfo for `Dual`. `Others` are further
// interfaces the object implements and answers through QueryOther.
//
// A class derives from DispatchObject<Its dual interface, ...>, implements
// the interface's own methods, and is made with CreateDispatchObject.
#pragma once

#include <atomic>
#include <utility>

#include "contract/AutomationBoundary.h"
#include "win32kit/ErrorInfo.h"
#include "win32kit/Module.h"
#include "win32kit/Owners.h"
#include "win32kit/TypeInfoDispatch.h"
#include "win32kit/WinHeaders.h"

namespace win32kit {

template <typename Dual, typename... Others>
class DispatchObject : public Dual, public ISupportErrorInfo, public Others... {
 public:
  // IUnknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, *mobjSource.pIid)) {
      *ppv = static_cast<Dual*>(this);
    } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
      *ppv = static_cast<ISupportErrorInfo*>(this);
    } else {
      *ppv = QueryOther(riid);
      if (!*ppv) return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++mlngRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG lngRefs = --mlngRefs;
    if (lngRefs == 0) delete this;
    return lngRefs;
  }

  // IDispatch.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    return OneTypeInfoCount(pctinfo);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
    return ShareTypeInfo(mobjTypeInfo, iTInfo, ppTInfo);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                          DISPID* rgDispId) override {
    return IDsOfNamesFromTypeInfo(mobjTypeInfo, riid, rgszNames, cNames, rgDispId);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
    // The object stays alive through calls that pump messages, whatever a
    // handler does with the caller's references.
    ComRef<Dual> objSelf = ComRef<Dual>::Share(this);
    return InvokeFromTypeInfo(mobjTypeInfo, static_cast<Dual*>(this), mobjSource, dispIdMember,
                              riid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
  }

  // ISupportErrorInfo.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return IsEqualIID(riid, *mobjSource.pIid) ? S_OK : S_FALSE;
  }

 protected:
  // objSource names the dual interface and the programmatic identifier that
  // errors are reported from; it outlives the object (a constant).
  DispatchObject(DualTypeInfo objTypeInfo, const ErrorSource& objSource)
      : mobjTypeInfo(std::move(objTypeInfo)), mobjSource(objSource) {}
  virtual ~DispatchObject() = default;
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  // The interface pointer for riid among `Others`, or null.
  virtual void* QueryOther(REFIID) { return nullptr; }

  // Tells the caller the outcome of a call through the thread's error
  // object (ErrorInfo.h) and gives hr back.
  HRESULT Report(HRESULT hr, const std::u16string& strDescription = {}) const noexcept {
    return ReportToCaller(mobjSource, hr, strDescription);
  }

 private:
  std::atomic<ULONG> mlngRefs{1};
  ModuleLock mobjModuleLock;
  DualTypeInfo mobjTypeInfo;
  const ErrorSource& mobjSource;
};

// Makes a new automation object and queries it for riid, inside the
// automation boundary: objMake(objTypeLib) gives the new object with one
// reference (a ComRef), built over this module's embedded type library, or
// an empty reference and the failure in hr.
template <typename Make>
HRESULT CreateDispatchObject(REFIID riid, void** ppv, Make&& objMake) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  auto objOutcome = quillvane::CallMethod([&]() -> HRESULT {
    ComRef<ITypeLib> objTypeLib;
    HRESULT hr = LoadOwnTypeLib(objTypeLib);
    if (FAILED(hr)) return hr;
    auto objNew = objMake(objTypeLib.Get(), hr);
    if (FAILED(hr)) return hr;
    return objNew->QueryInterface(riid, ppv);
  });
  return FAILED(objOutcome.hresult) ? objOutcome.hresult : objOutcome.value;
}

}  // namespace win32kit
