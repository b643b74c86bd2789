#include "standin/StatusEventPoint.h"

#include "contract/AutomationBoundary.h"
#include "quillvane_control_h.h"
#include "win32kit/DispatchCall.h"

namespace quillvane::standin {

using win32kit::ComRef;
using win32kit::UniqueVariant;

namespace {
// StatusUpdateEvent in the event interface.
constexpr DISPID kDispidStatusUpdateEvent = 5;
}  // namespace

HRESULT StatusEventPoint::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT StatusEventPoint::GetConnectionInterface(IID* pIID) {
  if (!pIID) return E_POINTER;
  *pIID = DIID__IControlObjectEvents;
  return S_OK;
}

HRESULT StatusEventPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
  if (!ppCPC) return E_POINTER;
  *ppCPC = ComRef<IConnectionPointContainer>::Share(mobjOwner).Detach();
  return S_OK;
}

HRESULT StatusEventPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
  if (!pdwCookie) return E_POINTER;
  *pdwCookie = 0;
  if (!pUnkSink) return E_POINTER;
  ComRef<IDispatch> objSink;
  if (FAILED(pUnkSink->QueryInterface(DIID__IControlObjectEvents,
                                      reinterpret_cast<void**>(objSink.Put()))) &&
      FAILED(pUnkSink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(objSink.Put())))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  // Cookie 0 means "no connection" to callers, so it is never handed out.
  DWORD lngCookie = mlngLastCookie + 1;
  if (lngCookie == 0) ++lngCookie;
  const auto objOutcome = CallMethod([&] {
    mobjConnections.push_back({lngCookie, std::move(objSink)});
  });
  if (FAILED(objOutcome.hresult)) return E_OUTOFMEMORY;
  mlngLastCookie = lngCookie;
  *pdwCookie = lngCookie;
  return S_OK;
}

HRESULT StatusEventPoint::Unadvise(DWORD dwCookie) {
  for (auto it = mobjConnections.begin(); it != mobjConnections.end(); ++it) {
    if (it->lngCookie == dwCookie) {
      // Released after the entry is gone: the sink's release may re-enter.
      ComRef<IDispatch> objSink = std::move(it->objSink);
      mobjConnections.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT StatusEventPoint::EnumConnections(IEnumConnections** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  return E_NOTIMPL;
}

void StatusEventPoint::FireStatusUpdate(LONG lngData) const {
  // A copy: handlers may advise or unadvise while the event is delivered.
  const std::vector<Connection> objSnapshot = mobjConnections;
  for (const Connection& objConnection : objSnapshot) {
    VARIANTARG varData = win32kit::LongArg(lngData);
    DISPPARAMS objParams{&varData, nullptr, 1, 0};
    UniqueVariant varResult;
    // Events have no way back: the outcome goes nowhere, the record is freed.
    win32kit::InvokeMember(objConnection.objSink.Get(), kDispidStatusUpdateEvent, DISPATCH_METHOD,
                           objParams, varResult.Get());
  }
}

}  // namespace quillvane::standin
