// The control object stand-in: the automation object of class ControlObject.
// It answers the application-side members under their DISPIDs, opens the
// service object configured for a device name, forwards to it by name, and
// raises StatusUpdateEvent when the service object calls SOStatusUpdate.
//
// Open(name) reads the ProgID in the default value of the device's key,
// creates that class and calls its OpenService("CashDrawer", name, sink).
// A result other than 0 is Open's result; the stand-in then reads
// GetOpenResult as its OpenResult and closes the service object again, so
// nothing is left running. Without a service object, Open answers
// OPOS_E_NOEXIST or OPOS_E_NOSERVICE with an open result of its own
// (contract/OposConstants.h). While open, OpenResult is the service object's
// GetOpenResult; after Close it is 0.
//
// While no service object is open, methods answer OPOS_E_CLOSED, property
// reads answer 0, false or empty text, and property writes are ignored.
// Flags read through GetPropertyNumber are true for any nonzero number.
// A forwarded call that the service object fails with an automation error
// fails with the same status and description; when OpenService itself
// fails so, the service object is closed as well and OpenResult is
// OPOS_OR_FAILEDOPEN. Releasing the stand-in without Close closes the
// service object.
#pragma once

#include <vector>

#include "quillvane_control_h.h"
#include "standin/ServiceLink.h"
#include "standin/StatusEventPoint.h"
#include "standin/StatusSink.h"
#include "win32kit/DispatchObject.h"
#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace quillvane::standin {

class ControlStandIn final
    : public win32kit::DispatchObject<IControlObject, IConnectionPointContainer,
                                      IProvideClassInfo> {
 public:
  // A new, closed object, queried for riid.
  static HRESULT Create(REFIID riid, void** ppv);

  // IConnectionPointContainer: one point, for the status-update events.
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  // IProvideClassInfo: the coclass, which names the event interface.
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** ppTI) override;

  // IControlObject.
  HRESULT STDMETHODCALLTYPE get_CapPowerReporting(LONG* pValue) override;
  HRESULT STDMETHODCALLTYPE get_CheckHealthText(BSTR* pValue) override;
  HRESULT STDMETHODCALLTYPE get_Claimed(VARIANT_BOOL* pValue) override;
  HRESULT STDMETHODCALLTYPE get_DeviceEnabled(VARIANT_BOOL* pValue) override;
  HRESULT STDMETHODCALLTYPE put_DeviceEnabled(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_FreezeEvents(VARIANT_BOOL* pValue) override;
  HRESULT STDMETHODCALLTYPE put_FreezeEvents(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_ServiceObjectDescription(BSTR* pValue) override;
  HRESULT STDMETHODCALLTYPE get_ServiceObjectVersion(LONG* pValue) override;
  HRESULT STDMETHODCALLTYPE get_DeviceDescription(BSTR* pValue) override;
  HRESULT STDMETHODCALLTYPE get_DeviceName(BSTR* pValue) override;
  HRESULT STDMETHODCALLTYPE CheckHealth(LONG* Level, LONG* Result) override;
  HRESULT STDMETHODCALLTYPE ClaimDevice(LONG Timeout, LONG* Result) override;
  HRESULT STDMETHODCALLTYPE Close(LONG* Result) override;
  HRESULT STDMETHODCALLTYPE Open(BSTR DeviceName, LONG* Result) override;
  HRESULT STDMETHODCALLTYPE ReleaseDevice(LONG* Result) override;
  HRESULT STDMETHODCALLTYPE get_CapStatisticsReporting(VARIANT_BOOL* pValue) override;
  HRESULT STDMETHODCALLTYPE get_CapUpdateStatistics(VARIANT_BOOL* pValue) override;
  HRESULT STDMETHODCALLTYPE get_OpenResult(LONG* pValue) override;
  HRESULT STDMETHODCALLTYPE get_CapStatus(VARIANT_BOOL* pValue) override;
  HRESULT STDMETHODCALLTYPE get_DrawerOpened(VARIANT_BOOL* pValue) override;
  HRESULT STDMETHODCALLTYPE get_CapStatusMultiDrawer(VARIANT_BOOL* pValue) override;
  HRESULT STDMETHODCALLTYPE OpenDrawer(LONG* Result) override;
  HRESULT STDMETHODCALLTYPE WaitForDrawerClose(LONG* BeepTimeout, LONG* BeepFrequency,
                                               LONG* BeepDuration, LONG* BeepDelay,
                                               LONG* Result) override;
  HRESULT STDMETHODCALLTYPE SOStatusUpdate(LONG Data) override;

 private:
  ControlStandIn(win32kit::DualTypeInfo objTypeInfo, win32kit::ComRef<ITypeInfo> objClassInfo);
  ~ControlStandIn() override;

  void* QueryOther(REFIID riid) override;
  // The outcome of a call on the service object, told to the caller.
  HRESULT Report(const win32kit::CallOutcome& objOutcome) const;
  // Success, told to the caller (clearing an earlier call's error object).
  HRESULT Report() const { return DispatchObject::Report(S_OK); }
  // Runs the body of a COM method inside the automation boundary: an
  // exception fails the call with its status and description.
  template <typename Body>
  HRESULT Guard(Body&& body) const noexcept;

  // A method of the service object giving a result code; OPOS_E_CLOSED
  // without calling anything while closed.
  HRESULT ForwardMethod(const wchar_t* strName, const std::vector<VARIANT>& objArgs, LONG* Result);
  // The property reads and writes, through the property methods by index.
  HRESULT ReadNumber(LONG lngIndex, LONG* pValue);
  HRESULT ReadFlag(LONG lngIndex, VARIANT_BOOL* pValue);
  HRESULT ReadText(LONG lngIndex, BSTR* pValue);
  HRESULT WriteFlag(LONG lngIndex, VARIANT_BOOL blnValue);
  // Calls CloseService (its result and outcome go to the caller), then lets
  // go of the service object and detaches the sink it was given.
  win32kit::CallOutcome CloseServiceObject(LONG* lngResult);

  win32kit::ComRef<ITypeInfo> mobjClassInfo;
  StatusEventPoint mobjEvents{this};
  // Set while a service object is open.
  ServiceLink mobjService;
  win32kit::ComRef<StatusSink> mobjSink;
  // OpenResult while no service object is open: why the last Open failed,
  // or 0 after a successful one.
  LONG mlngOpenResult = 0;
};

}  // namespace quillvane::standin
