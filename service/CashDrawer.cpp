// Opening and closing the service object and its small device methods.
#include "service/CashDrawer.h"

#include "contract/RuntimeError.h"
#include "service/Conversions.h"
#include "service/basRegistry.h"
#include "service/basTrace.h"

namespace quillvane {
namespace {

constexpr std::int32_t kPollIntervalMs = 50;

}  // namespace

std::shared_ptr<CashDrawer> CashDrawer::Create(ApiDeclarations& api) {
  return std::make_shared<CashDrawer>(CreateKey{}, api);
}

CashDrawer::CashDrawer(CreateKey, ApiDeclarations& api)
    : mApi(api), mTrace(api), mReadChannel(api) {
  mReadChannel.SetTrace(&mTrace);
}

CashDrawer::~CashDrawer() {
  // Timers first, so no tick reaches a half-destroyed instance.
  try {
    rec.TheTimer.reset();
    rec.t2.reset();
  } catch (...) {
  }
  rec.objControl.reset();
  try {
    rec.hidHandle.Close();
  } catch (...) {
  }
  // The read channel cancels and finishes its read and closes its handles.
}

void CashDrawer::BindTimer(CLiteTimer& timer, void (CashDrawer::*handler)(),
                           const char* strHandler) {
  std::weak_ptr<CashDrawer> weakSelf = weak_from_this();
  timer.Timer = [weakSelf, handler, strHandler] {
    if (std::shared_ptr<CashDrawer> self = weakSelf.lock()) self->RunHandler(handler, strHandler);
  };
}

std::int32_t CashDrawer::OpenService(const std::u16string& DeviceClass,
                                     const std::u16string& DeviceName,
                                     const contract::AutomationRef& pDispatch) {
  // The trace starts inside: the call is timed whatever the level was.
  return TraceMethod(
      mTrace, mApi, "OpenService",
      {DeviceClass, DeviceName, TraceArg::Object(pDispatch != nullptr)},
      [&] { return OpenServiceSteps(DeviceName, pDispatch); }, true);
}

std::int32_t CashDrawer::OpenServiceSteps(const std::u16string& DeviceName,
                                          const contract::AutomationRef& pDispatch) {
  rec.strDeviceName = DeviceName;
  rec.objControl = pDispatch;

  // The status poll ticks from here on, whether or not a drawer is found.
  std::shared_ptr<CLiteTimer> objPoll = CLiteTimer::Create(mApi);
  BindTimer(*objPoll, &CashDrawer::t2_Timer, "t2_Timer");
  rec.t2 = objPoll;
  rec.t2->SetEnabled(kFalse);
  rec.t2->SetInterval(kPollIntervalMs);
  rec.t2->SetEnabled(kTrue);
  const bool blnPollRefused = rec.t2->GetEnabled() == kFalse;

  // No registry key can be named with a NUL in it: no device is configured
  // under such a name, and the text is not cut short at the NUL to find one.
  if (rec.strDeviceName.find(u'\0') != std::u16string::npos) {
    ReadFieldSettings();
    CloseDevice();
    return OPOS_E_ILLEGAL;
  }

  const RegVariant varPid = basRegistry::GetRegValue(
      mApi, kHkeyLocalMachine, kCashDrawerCategoryKey + rec.strDeviceName, u"PID");
  rec.varProductId = NumericPrefixValue(varPid.ToText());
  ReadFieldSettings();
  if (blnPollRefused) TraceFailure("SetTimer", 0, "the 50 ms poll does not run");

  if (!FindDrawerDevice()) {
    if (mTrace.Wants(CTrace::kEvents)) {
      mTrace.Write(CTrace::kEvents,
                   "no drawer found\tvendor=0x06E5\tPID=" + basTrace::LineText(varPid.ToText()) +
                       "\tinterfaces=" + std::to_string(mlngInterfacesExamined));
    }
    return OPOS_E_ILLEGAL;
  }
  ReadDrawerStatus();
  rec.blnLastDrawerOpened = rec.blnDrawerOpened;
  rec.lngStatusQueue.Reset();
  mRecovery.blnWasFound = true;
  return OPOS_SUCCESS;
}

std::int32_t CashDrawer::CloseService() {
  // The trace stops after the call's own line, however the call ends.
  struct StopTrace {
    CTrace& trace;
    ~StopTrace() { trace.Stop(); }
  } stopTrace{mTrace};
  return TraceMethod(mTrace, mApi, "CloseService", {}, [&] {
    ReleaseResources();
    return OPOS_SUCCESS;
  });
}

// Everything goes, and the instance is left as it was created, so that the
// same object opened again behaves as a new one: not claimed, not enabled,
// not frozen, nothing queued.
void CashDrawer::ReleaseResources() {
  rec.objControl.reset();
  rec.TheTimer.reset();
  rec.t2.reset();
  rec.hidHandle.Close();
  mReadChannel.Release();
  rec = CashDrawerRecord{};
  // Empty rather than unallocated: a tick still delivering from inside a
  // handler that closed the instance finds nothing more to deliver.
  rec.lngStatusQueue.Reset();
  mlngPulseTick.reset();
  mRecovery = RecoveryRecord{};
}

std::int32_t CashDrawer::ClaimDevice(std::int32_t Timeout) {
  return TraceMethod(mTrace, mApi, "ClaimDevice", {Timeout}, [&] {
    const bool blnAnswered = ReadDrawerStatus();
    const std::int32_t lngResult =
        (!blnAnswered || rec.blnClaimed != kFalse) ? OPOS_E_NOHARDWARE : OPOS_SUCCESS;
    rec.blnClaimed = kTrue;
    return lngResult;
  });
}

std::int32_t CashDrawer::ReleaseDevice() {
  return TraceMethod(mTrace, mApi, "ReleaseDevice", {}, [&] {
    rec.blnClaimed = kFalse;
    return OPOS_SUCCESS;
  });
}

std::int32_t CashDrawer::CheckHealth(std::int32_t Level) {
  return TraceMethod(mTrace, mApi, "CheckHealth", {Level}, [&] {
    if (Level != OPOS_CH_INTERNAL && Level != OPOS_CH_EXTERNAL && Level != OPOS_CH_INTERACTIVE) {
      return OPOS_SUCCESS;
    }
    return ReadDrawerStatus() ? OPOS_SUCCESS : OPOS_E_NOHARDWARE;
  });
}

std::int32_t CashDrawer::COFreezeEvents(Boolean Freeze) {
  return TraceMethod(mTrace, mApi, "COFreezeEvents", {Freeze}, [&] {
    rec.blnFreezeEvents = ToBoolean(Freeze == kTrue);
    return OPOS_SUCCESS;
  });
}

std::int32_t CashDrawer::GetOpenResult() {
  return TraceMethod(mTrace, mApi, "GetOpenResult", {}, [&] {
    return rec.blnDeviceDetected != kFalse ? OPOS_ORS_SPECIFIC : OPOS_ORS_NOPORT;
  });
}

// Success only when the pulse report was handed to the device in full.
std::int32_t CashDrawer::OpenDrawer() {
  return TraceMethod(mTrace, mApi, "OpenDrawer", {}, [&] {
    if (rec.blnDeviceEnabled == kFalse) return OPOS_E_ILLEGAL;
    switch (WritePulseReport()) {
      case WriteOutcome::kWritten:
        mlngPulseTick = mApi.GetTickCount();
        return OPOS_SUCCESS;
      case WriteOutcome::kDeviceGone:
        LoseDevice();
        return OPOS_E_NOHARDWARE;
      case WriteOutcome::kNoDevice:
        return OPOS_E_NOHARDWARE;
      case WriteOutcome::kFailed:
        break;
    }
    return OPOS_E_FAILURE;
  });
}

std::int32_t CashDrawer::DirectIO(std::int32_t Command, std::int32_t& pData,
                                  std::u16string& pString) {
  return TraceMethod(mTrace, mApi, "DirectIO", {Command, pData, pString},
                     [&] { return OPOS_E_ILLEGAL; });
}

}  // namespace quillvane
