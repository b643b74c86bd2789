// The connection point through which the stand-in raises StatusUpdateEvent
// to the application. It lives inside the stand-in and shares its reference
// count; sinks are held by counted references until Unadvise or until the
// stand-in goes away.
#pragma once

#include <vector>

#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace quillvane::standin {

class StatusEventPoint final : public IConnectionPoint {
 public:
  // objOwner is the stand-in holding this point; it is not counted.
  explicit StatusEventPoint(IConnectionPointContainer* objOwner) : mobjOwner(objOwner) {}
  StatusEventPoint(const StatusEventPoint&) = delete;
  StatusEventPoint& operator=(const StatusEventPoint&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return mobjOwner->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return mobjOwner->Release(); }

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
  // Takes a sink answering the event interface, or failing that IDispatch.
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
  // Enumeration is not offered.
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

  // Calls StatusUpdateEvent(lngData) on every sink, in the order they were
  // advised. A sink that fails does not stop the others; events have no way
  // back to the caller, so the failure goes nowhere. Sinks advised or
  // unadvised by a handler take effect from the next event.
  void FireStatusUpdate(LONG lngData) const;

  std::size_t ConnectionCount() const { return mobjConnections.size(); }

 private:
  struct Connection {
    DWORD lngCookie;
    win32kit::ComRef<IDispatch> objSink;
  };

  IConnectionPointContainer* mobjOwner;
  std::vector<Connection> mobjConnections;
  DWORD mlngLastCookie = 0;
};

}  // namespace quillvane::standin
