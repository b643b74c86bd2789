// Opening and closing the service object and its small device methods.
#include "service/CashDrawer.h"

#include "service/Conversions.h"
#include "service/RuntimeError.h"
#include "service/basRegistry.h"

namespace quillvane {
namespace {

constexpr std::int32_t kPollIntervalMs = 50;

}  // namespace

std::shared_ptr<CashDrawer> CashDrawer::Create(ApiDeclarations& api) {
  return std::make_shared<CashDrawer>(CreateKey{}, api);
}

CashDrawer::CashDrawer(CreateKey, ApiDeclarations& api)
    : mApi(api), mRead(std::make_unique<ReadSlot>()) {}

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
    SettleRead();
    rec.readHandle.Close();
  } catch (...) {
  }
  if (mblnReadPending && !HasOverlappedIoCompleted(mRead->readOverlapped)) {
    // The platform never let this read finish: it may still write into the
    // buffer and record, so they are left to it rather than freed.
    static_cast<void>(mRead.release());
  }
  try {
    rec.eventObject.Close();
  } catch (...) {
  }
}

void CashDrawer::BindTimer(CLiteTimer& timer, void (CashDrawer::*handler)()) {
  std::weak_ptr<CashDrawer> weakSelf = weak_from_this();
  timer.Timer = [weakSelf, handler] {
    if (std::shared_ptr<CashDrawer> self = weakSelf.lock()) ((*self).*handler)();
  };
}

std::int32_t CashDrawer::OpenService(const std::u16string& /*DeviceClass*/,
                                     const std::u16string& DeviceName,
                                     const contract::AutomationRef& pDispatch) {
  rec.strDeviceName = DeviceName;
  rec.objControl = pDispatch;

  // The status poll ticks from here on, whether or not a drawer is found.
  std::shared_ptr<CLiteTimer> objPoll = CLiteTimer::Create(mApi);
  BindTimer(*objPoll, &CashDrawer::t2_Timer);
  rec.t2 = objPoll;
  rec.t2->SetEnabled(kFalse);
  rec.t2->SetInterval(kPollIntervalMs);
  rec.t2->SetEnabled(kTrue);

  const RegVariant varPid = basRegistry::GetRegValue(
      mApi, kHkeyLocalMachine, kCashDrawerCategoryKey + rec.strDeviceName, u"PID");
  rec.varProductId = NumericPrefixValue(varPid.ToText());

  if (!FindDrawerDevice()) return OPOS_E_ILLEGAL;
  ReadDrawerStatus();
  rec.blnLastDrawerOpened = rec.blnDrawerOpened;
  rec.lngStatusQueue.Reset();
  return OPOS_SUCCESS;
}

std::int32_t CashDrawer::CloseService() {
  ReleaseResources();
  return OPOS_SUCCESS;
}

void CashDrawer::ReleaseResources() {
  rec.objControl.reset();
  rec.TheTimer.reset();
  rec.t2.reset();
  rec.hidHandle.Close();
  // A read still in flight is cancelled and finished before its handle goes.
  SettleRead();
  rec.readHandle.Close();
}

std::int32_t CashDrawer::ClaimDevice(std::int32_t /*Timeout*/) {
  const bool blnAnswered = ReadDrawerStatus();
  const std::int32_t lngResult =
      (!blnAnswered || rec.blnClaimed != kFalse) ? OPOS_E_NOHARDWARE : OPOS_SUCCESS;
  rec.blnClaimed = kTrue;
  return lngResult;
}

std::int32_t CashDrawer::ReleaseDevice() {
  rec.blnClaimed = kFalse;
  return OPOS_SUCCESS;
}

std::int32_t CashDrawer::CheckHealth(std::int32_t Level) {
  if (Level != OPOS_CH_INTERNAL && Level != OPOS_CH_EXTERNAL && Level != OPOS_CH_INTERACTIVE) {
    return OPOS_SUCCESS;
  }
  return ReadDrawerStatus() ? OPOS_SUCCESS : OPOS_E_NOHARDWARE;
}

std::int32_t CashDrawer::COFreezeEvents(Boolean Freeze) {
  rec.blnFreezeEvents = ToBoolean(Freeze == kTrue);
  return OPOS_SUCCESS;
}

std::int32_t CashDrawer::GetOpenResult() {
  return rec.blnDeviceDetected != kFalse ? OPOS_ORS_SPECIFIC : OPOS_ORS_NOPORT;
}

std::int32_t CashDrawer::OpenDrawer() {
  if (rec.blnDeviceEnabled == kFalse) return OPOS_E_ILLEGAL;
  WritePulseReport();
  return OPOS_SUCCESS;
}

std::int32_t CashDrawer::DirectIO(std::int32_t /*Command*/, std::int32_t& /*pData*/,
                                  std::u16string& /*pString*/) {
  return OPOS_E_ILLEGAL;
}

}  // namespace quillvane
