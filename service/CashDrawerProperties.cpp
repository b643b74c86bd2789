// Property access by OPOS property index. The registry values are read again
// on every get; nothing is cached between calls.
#include "service/CashDrawer.h"
#include "service/Conversions.h"
#include "service/basRegistry.h"

namespace quillvane {

namespace {

// One value of the device's key, as text (a number becomes its digits; a
// missing key or value gives empty text).
std::u16string ReadDeviceValue(ApiDeclarations& api, const std::u16string& strDeviceName,
                               const char16_t* strValueName) {
  return basRegistry::GetRegValue(api, kHkeyLocalMachine, kCashDrawerCategoryKey + strDeviceName,
                                  strValueName)
      .ToText();
}

}  // namespace

std::int32_t CashDrawer::GetPropertyNumber(std::int32_t PropIndex) {
  return TraceMethod(mTrace, mApi, "GetPropertyNumber", {PropIndex}, [&]() -> std::int32_t {
    rec.strServiceVersion = ReadDeviceValue(mApi, rec.strDeviceName, u"Version");
    switch (PropIndex) {
      case PIDX_Claimed:
        return rec.blnClaimed;
      case PIDX_DeviceEnabled:
        return rec.blnDeviceEnabled;
      case PIDX_FreezeEvents:
        return rec.blnFreezeEvents;
      case PIDX_ServiceObjectVersion:
        return TextToLong(rec.strServiceVersion);
      case PIDXCash_DrawerOpened:
        // A drawer that does not answer reads as closed; the state the poll
        // compares against is left alone.
        return ReadDrawerStatus() ? rec.blnDrawerOpened : kFalse;
      case PIDXCash_CapStatus:
        return kTrue;
      // Power reporting exists only with Reconnect; without it these read 0.
      case PIDX_CapPowerReporting:
        return mRecovery.blnReconnect ? OPOS_PR_STANDARD : 0;
      case PIDX_PowerNotify:
        return mRecovery.blnReconnect ? mRecovery.lngPowerNotify : 0;
      case PIDX_PowerState:
        return mRecovery.blnReconnect ? PowerState() : 0;
      default:
        return 0;
    }
  });
}

std::u16string CashDrawer::GetPropertyString(std::int32_t PropIndex) {
  return TraceMethod(mTrace, mApi, "GetPropertyString", {PropIndex}, [&]() -> std::u16string {
    rec.strServiceDescription = ReadDeviceValue(mApi, rec.strDeviceName, u"Service");
    rec.strDeviceDescription = ReadDeviceValue(mApi, rec.strDeviceName, u"Description");
    rec.strPhysicalName = ReadDeviceValue(mApi, rec.strDeviceName, u"Name");
    switch (PropIndex) {
      case PIDX_CheckHealthText:
        return u"Normal";
      case PIDX_DeviceDescription:
        return rec.strDeviceDescription;
      case PIDX_DeviceName:
        return rec.strPhysicalName;
      case PIDX_ServiceObjectDescription:
        return rec.strServiceDescription;
      default:
        return std::u16string();
    }
  });
}

void CashDrawer::SetPropertyNumber(std::int32_t PropIndex, std::int32_t Number) {
  TraceMethod(mTrace, mApi, "SetPropertyNumber", {PropIndex, Number}, [&] {
    switch (PropIndex) {
      case PIDX_DeviceEnabled: {
        // The drawer is read whatever Number is; a read that raises leaves the
        // flag as it was.
        const bool blnAnswered = ReadDrawerStatus();
        rec.blnDeviceEnabled = ToBoolean(blnAnswered && Number == 1);
        break;
      }
      case PIDX_FreezeEvents:
        rec.blnFreezeEvents = ToBoolean(Number == 1);
        break;
      case PIDX_PowerNotify:
        // Set only while the device is disabled; any other time, or any
        // other number, changes nothing.
        if (mRecovery.blnReconnect && rec.blnDeviceEnabled == kFalse &&
            (Number == OPOS_PN_DISABLED || Number == OPOS_PN_ENABLED)) {
          mRecovery.lngPowerNotify = Number;
        }
        break;
      default:
        break;
    }
  });
}

void CashDrawer::SetPropertyString(std::int32_t PropIndex, const std::u16string& PropString) {
  TraceMethod(mTrace, mApi, "SetPropertyString", {PropIndex, PropString}, [] {});
}

}  // namespace quillvane
