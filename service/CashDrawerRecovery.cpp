// Field diagnostics and opt-in recovery: the trace's records of the
// drawer's life, and with "Reconnect"=1 a lost drawer searched for again
// and brought back, with power reported as the standard describes.
//
// Without "Reconnect" a lost drawer stays lost until the application opens
// the device again, and the power properties read 0.
#include <string>

#include "contract/ControlObject.h"
#include "contract/RuntimeError.h"
#include "service/CashDrawer.h"
#include "service/basRegistry.h"
#include "service/basTrace.h"

namespace quillvane {
namespace {

// How often a lost drawer is searched for.
constexpr std::uint32_t kSearchIntervalMs = 1000;

const char* StatusName(std::int32_t lngCode) {
  switch (lngCode) {
    case contract::CASH_SUE_DRAWERCLOSED:
      return "CASH_SUE_DRAWERCLOSED";
    case contract::CASH_SUE_DRAWEROPEN:
      return "CASH_SUE_DRAWEROPEN";
    case contract::OPOS_SUE_POWER_ONLINE:
      return "OPOS_SUE_POWER_ONLINE";
    case contract::OPOS_SUE_POWER_OFF_OFFLINE:
      return "OPOS_SUE_POWER_OFF_OFFLINE";
    default:
      return "?";
  }
}

// "Reconnect" is on only for the number 1 (REG_DWORD, or text "1").
bool ReconnectSetting(ApiDeclarations& api, const std::u16string& strDeviceName) noexcept {
  try {
    const RegVariant varValue = basRegistry::GetRegValue(
        api, kHkeyLocalMachine, kCashDrawerCategoryKey + strDeviceName, u"Reconnect");
    return varValue.blnIsLong ? varValue.lngValue == 1 : varValue.strValue == u"1";
  } catch (...) {
    return false;
  }
}

}  // namespace

void CashDrawer::ReadFieldSettings() {
  mRecovery = RecoveryRecord{};
  // A name holding a NUL names no device: nothing of the registry is read
  // for it, and its trace has the defaults.
  if (rec.strDeviceName.find(u'\0') != std::u16string::npos) {
    mTrace.Start(rec.strDeviceName, CTrace::Settings{});
  } else {
    mTrace.Start(rec.strDeviceName, CTrace::ReadSettings(mApi, rec.strDeviceName));
    mRecovery.blnReconnect = ReconnectSetting(mApi, rec.strDeviceName);
  }
  // Until a drawer is found the object holds no handle, its trace's neither.
  mTrace.HoldFile(false);
}

void CashDrawer::LoseDevice() {
  const bool blnWasOpen = rec.hidHandle.IsOpen() || mReadChannel.IsOpen();
  CloseDevice();
  if (!blnWasOpen) return;
  if (mTrace.Wants(CTrace::kErrors)) {
    mTrace.Write(CTrace::kErrors,
                 mRecovery.blnReconnect
                     ? "drawer lost\thandles closed; searched for every second"
                     : "drawer lost\thandles closed until the device is opened again");
  }
  if (mRecovery.blnReconnect) {
    mRecovery.lngLostTick = mApi.GetTickCount();
    mRecovery.lngSearchTick = mRecovery.lngLostTick;
  }
  if (PowerEventsWanted()) EnqueueStatus(contract::OPOS_SUE_POWER_OFF_OFFLINE);
}

// The search opens HID devices one after the other and waits for nothing
// else; it runs at most once a second, so a lost drawer costs a tick now
// and then, not every tick.
void CashDrawer::SearchAgain() {
  if (!mRecovery.blnWasFound || rec.hidHandle.IsOpen() || mReadChannel.IsOpen()) return;
  const std::uint32_t lngNow = mApi.GetTickCount();
  if (lngNow - mRecovery.lngSearchTick < kSearchIntervalMs) return;
  mRecovery.lngSearchTick = lngNow;

  bool blnFound = false;
  try {
    blnFound = FindDrawerDevice();
  } catch (const RuntimeError& error) {
    // The application asked for no search: its failure is traced, not
    // raised, and the next one comes a second later.
    if (mTrace.Wants(CTrace::kErrors)) {
      mTrace.Write(CTrace::kErrors,
                   "search\t" + trace_detail::ErrorText(error.HResult(), error.Number()));
    }
    CloseDevice();
  }
  if (!blnFound) {
    if (mTrace.Wants(CTrace::kReports)) mTrace.Write(CTrace::kReports, "search\tno drawer yet");
    return;
  }
  if (mTrace.Wants(CTrace::kEvents)) {
    mTrace.Write(CTrace::kEvents, "drawer back\tafter_ms=" +
                                      std::to_string(mApi.GetTickCount() - mRecovery.lngLostTick));
  }
  // Claimed, enabled and frozen stay as the application left them; the
  // drawer's state goes out through the poll as any change does, once a
  // report has told it.
  if (PowerEventsWanted()) EnqueueStatus(contract::OPOS_SUE_POWER_ONLINE);
}

bool CashDrawer::PowerEventsWanted() const {
  return mRecovery.blnReconnect && mRecovery.lngPowerNotify == OPOS_PN_ENABLED &&
         rec.blnDeviceEnabled != kFalse;
}

std::int32_t CashDrawer::PowerState() const {
  if (mRecovery.lngPowerNotify != OPOS_PN_ENABLED || rec.blnDeviceEnabled == kFalse) {
    return OPOS_PS_UNKNOWN;
  }
  return mReadChannel.IsOpen() ? OPOS_PS_ONLINE : OPOS_PS_OFF_OFFLINE;
}

void CashDrawer::RunHandler(void (CashDrawer::*handler)(), const char* strHandler) {
  try {
    (this->*handler)();
  } catch (const RuntimeError& error) {
    if (mTrace.Wants(CTrace::kErrors)) {
      mTrace.Write(CTrace::kErrors, std::string(strHandler) + '\t' +
                                        trace_detail::ErrorText(error.HResult(), error.Number()));
    }
    mTrace.Flush();
    throw;
  } catch (...) {
    if (mTrace.Wants(CTrace::kErrors))
      mTrace.Write(CTrace::kErrors, std::string(strHandler) + "\tfailed");
    mTrace.Flush();
    throw;
  }
  mTrace.Flush();
}

void CashDrawer::TraceStatus(const char* strWhat, std::int32_t lngCode) {
  if (!mTrace.Wants(CTrace::kEvents)) return;
  mTrace.Write(CTrace::kEvents,
               std::string(strWhat) + '\t' + std::to_string(lngCode) + '\t' + StatusName(lngCode));
}

void CashDrawer::TraceReport(const char* strDirection, const std::vector<std::uint8_t>& bytReport) {
  if (!mTrace.Wants(CTrace::kReports)) return;
  mTrace.Write(CTrace::kReports, std::string(strDirection) + '\t' +
                                     basTrace::HexBytes(bytReport.data(), bytReport.size()));
}

void CashDrawer::TraceFailure(const char* strFunction, std::uint32_t lngError,
                              const char* strWhat) {
  if (!mTrace.Wants(CTrace::kErrors)) return;
  mTrace.Write(CTrace::kErrors,
               std::string(strFunction) + "\terror=" + std::to_string(lngError) + '\t' + strWhat);
}

}  // namespace quillvane
