// The dispatch interface the stand-in hands to the service object's
// OpenService. It answers every member of the stand-in (SOStatusUpdate is
// the one the service object calls) by passing the call on, but holds the
// stand-in without counting it: the service object keeps its reference
// until CloseService, and a counted one would keep the stand-in alive when
// the application lets go of it without closing. The stand-in detaches the
// sink when it closes the service object or goes away; a detached sink
// answers RPC_E_DISCONNECTED.
#pragma once

#include <atomic>

#include "win32kit/Module.h"
#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace quillvane::standin {

class StatusSink final : public IDispatch {
 public:
  // A new sink with one reference, passing calls to objOwner.
  static win32kit::ComRef<StatusSink> Create(IDispatch* objOwner);
  void Detach() { mobjOwner = nullptr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

 private:
  explicit StatusSink(IDispatch* objOwner) : mobjOwner(objOwner) {}
  ~StatusSink() = default;

  std::atomic<ULONG> mlngRefs{1};
  win32kit::ModuleLock mobjModuleLock;
  IDispatch* mobjOwner;
};

}  // namespace quillvane::standin
