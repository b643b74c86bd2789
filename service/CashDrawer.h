// The service object for one USB cash drawer.
//
// The control object creates one instance per opened device and calls the
// public methods below (the members of _CashDrawer, in its order). Each
// returns an OPOS result code or the property value; a run-time error ends the
// method by throwing RuntimeError, which the automation frame turns into the
// call's failure status (AutomationBoundary.h). State changed before the error
// stays changed.
//
// One thread per instance: every call, and every timer tick, arrives on the
// thread that created it, which is the application's own UI thread. So a
// poll tick never waits, a method that must answer with the drawer's state
// waits at most the read time-out, once, and WaitForDrawerClose sleeps in
// the message wait. Create instances with Create(): timer handlers keep the
// instance alive while they run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contract/ControlObject.h"
#include "contract/OposConstants.h"
#include "service/ApiDeclarations.h"
#include "service/CLiteTimer.h"
#include "service/CTrace.h"
#include "service/HidReadChannel.h"
#include "service/PlatformHandle.h"
#include "service/StatusQueue.h"

namespace quillvane {

// The state of one instance, in the record's order.
struct CashDrawerRecord {
  std::u16string strServiceVersion;
  std::u16string strDeviceName;
  std::u16string strServiceDescription;
  std::u16string strDeviceDescription;
  std::u16string strPhysicalName;
  Boolean blnTimerElapsed = kFalse;
  Boolean blnFreezeEvents = kFalse;
  Boolean blnDeviceEnabled = kFalse;
  Boolean blnClaimed = kFalse;
  Boolean blnDrawerOpened = kFalse;
  Boolean blnLastDrawerOpened = kFalse;

  // Transport fields. The overlapped read handle, its event and its
  // OVERLAPPED record belong to the read channel (HidReadChannel.h).
  HIDP_CAPS hidCapabilities{};
  HIDD_ATTRIBUTES deviceAttributes{};
  std::u16string devicePathName;
  UniqueDeviceInfoList deviceInfoSet;
  UniqueFileHandle hidHandle;
  Boolean blnLastDevice = kFalse;
  Boolean blnDeviceDetected = kFalse;
  SP_DEVICE_INTERFACE_DATA interfaceData{};
  UniquePreparsedData preparsedData;
  SECURITY_ATTRIBUTES hidSecurity{};

  contract::AutomationRef objControl;
  std::optional<double> varProductId;
  StatusQueue lngStatusQueue;
  std::shared_ptr<CLiteTimer> t2;
  std::shared_ptr<CLiteTimer> TheTimer;
};

class CashDrawer : public std::enable_shared_from_this<CashDrawer> {
 public:
  static std::shared_ptr<CashDrawer> Create(ApiDeclarations& api);
  ~CashDrawer();

  CashDrawer(const CashDrawer&) = delete;
  CashDrawer& operator=(const CashDrawer&) = delete;

  std::int32_t WaitForDrawerClose(std::int32_t BeepTimeout, std::int32_t BeepFrequency,
                                  std::int32_t BeepDuration, std::int32_t BeepDelay);
  std::int32_t OpenDrawer();
  void SetPropertyString(std::int32_t PropIndex, const std::u16string& PropString);
  void SetPropertyNumber(std::int32_t PropIndex, std::int32_t Number);
  std::u16string GetPropertyString(std::int32_t PropIndex);
  std::int32_t GetPropertyNumber(std::int32_t PropIndex);
  std::int32_t ReleaseDevice();
  std::int32_t OpenService(const std::u16string& DeviceClass, const std::u16string& DeviceName,
                           const contract::AutomationRef& pDispatch);
  std::int32_t GetOpenResult();
  std::int32_t DirectIO(std::int32_t Command, std::int32_t& pData, std::u16string& pString);
  std::int32_t COFreezeEvents(Boolean Freeze);
  std::int32_t ClaimDevice(std::int32_t Timeout);
  std::int32_t CloseService();
  std::int32_t CheckHealth(std::int32_t Level);

  // The instance's state, for inspection.
  const CashDrawerRecord& Record() const { return rec; }

 private:
  struct CreateKey {};

 public:
  CashDrawer(CreateKey, ApiDeclarations& api);

 private:
  // OpenService itself, which the public method traces.
  std::int32_t OpenServiceSteps(const std::u16string& DeviceName,
                                const contract::AutomationRef& pDispatch);
  // Status monitoring and event delivery.
  void FireStatusUpdate(std::int32_t lngCode);
  void t2_Timer();
  std::int32_t DequeueStatus();
  void EnqueueStatus(const std::int32_t& lngCode);
  // Wait for drawer close.
  void TheTimer_Timer();
  void ReleaseResources();
  // Transport.
  enum class WriteOutcome { kWritten, kNoDevice, kDeviceGone, kFailed };
  bool FindDrawerDevice();
  WriteOutcome WriteIdleReport();
  void GetDeviceCapabilities();
  // True when the drawer answered: a report arrived, either already (taken
  // without waiting) or within the read time-out. No answer leaves
  // blnDrawerOpened as it was and clears blnDeviceDetected.
  bool ReadDrawerStatus();
  WriteOutcome WritePulseReport();

  // One output report: report id 0, the command byte, zeros; handed to the
  // device in full, or the reason why not.
  WriteOutcome WriteReport(std::uint8_t bytCommand);
  // Takes the reports that have arrived, waiting for one when blnWait and
  // none has; the newest sets blnDrawerOpened. A lost device is closed here.
  HidReadChannel::Taken TakeReports(bool blnWait);
  // Closes both device handles, the read in flight finished first; the
  // drawer counts as not detected. For a lost device, and before a search.
  void CloseDevice();
  // Binds a timer's event to a handler of this instance, keeping it alive
  // while the handler runs.
  void BindTimer(CLiteTimer& timer, void (CashDrawer::*handler)(), const char* strHandler);
  // Runs a timer handler; an error leaving it is traced, and what the
  // handler traced is flushed.
  void RunHandler(void (CashDrawer::*handler)(), const char* strHandler);

  // WaitForDrawerClose: the wait itself, one turn of its loops, and its
  // sleep between turns.
  std::int32_t WaitUntilShut(std::int32_t BeepTimeout, std::int32_t BeepFrequency,
                             std::int32_t BeepDuration, std::int32_t BeepDelay);
  enum class WaitTurn { kNotShut, kShut, kQuitting, kLost };
  WaitTurn TurnOfWait(std::uint64_t lngReportsBefore);
  bool SleepUntilNews();
  // Ends the wait early with lngResult, the beep timer stopped.
  std::int32_t EndWait(std::int32_t lngResult);

  // Field diagnostics and recovery (CashDrawerRecovery.cpp). Opt-in
  // settings of the device key, read at OpenService.
  struct RecoveryRecord {
    bool blnReconnect = false;        // "Reconnect"=1: search again when lost, report power
    bool blnWasFound = false;         // this open found the drawer
    std::int32_t lngPowerNotify = 0;  // OPOS_PN_DISABLED or OPOS_PN_ENABLED
    std::uint32_t lngLostTick = 0;    // when the drawer was lost
    std::uint32_t lngSearchTick = 0;  // when it was last searched for
  };
  // The trace's and recovery's settings of the device.
  void ReadFieldSettings();
  // A drawer that was open is closed as lost: traced, and with power
  // notification on, OPOS_SUE_POWER_OFF_OFFLINE queued.
  void LoseDevice();
  // While the drawer is lost and Reconnect is set: a search at most once a
  // second; a drawer found is back with what the application had.
  void SearchAgain();
  bool PowerEventsWanted() const;
  std::int32_t PowerState() const;
  void TraceStatus(const char* strWhat, std::int32_t lngCode);
  void TraceReport(const char* strDirection, const std::vector<std::uint8_t>& bytReport);
  void TraceFailure(const char* strFunction, std::uint32_t lngError, const char* strWhat);

  ApiDeclarations& mApi;
  // Before the read channel, which traces into it until it is gone.
  CTrace mTrace;
  RecoveryRecord mRecovery;
  // HID interfaces the latest search examined.
  std::uint32_t mlngInterfacesExamined = 0;
  CashDrawerRecord rec;
  HidReadChannel mReadChannel;
  // Tick count of the latest pulse, until the drawer has been seen open
  // after it (or the switch's grace time has passed).
  std::optional<std::uint32_t> mlngPulseTick;
};

}  // namespace quillvane
