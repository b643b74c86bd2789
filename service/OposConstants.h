// Values of the OPOS standard that the service object answers with.
#pragma once

#include <cstdint>

namespace quillvane {

// Automation boolean: 16 bits, true -1, false 0.
using Boolean = std::int16_t;
constexpr Boolean kTrue = -1;
constexpr Boolean kFalse = 0;
constexpr Boolean ToBoolean(bool value) { return value ? kTrue : kFalse; }

// Result codes.
constexpr std::int32_t OPOS_SUCCESS = 0;
constexpr std::int32_t OPOS_E_ILLEGAL = 106;
constexpr std::int32_t OPOS_E_NOHARDWARE = 107;
constexpr std::int32_t OPOS_E_FAILURE = 111;
constexpr std::int32_t OPOS_ORS_NOPORT = 401;
constexpr std::int32_t OPOS_ORS_SPECIFIC = 450;

// Health check levels.
constexpr std::int32_t OPOS_CH_INTERNAL = 1;
constexpr std::int32_t OPOS_CH_EXTERNAL = 2;
constexpr std::int32_t OPOS_CH_INTERACTIVE = 3;

// Property indices.
constexpr std::int32_t PIDX_Claimed = 1;
constexpr std::int32_t PIDX_DeviceEnabled = 3;
constexpr std::int32_t PIDX_FreezeEvents = 4;
constexpr std::int32_t PIDX_ServiceObjectVersion = 8;
constexpr std::int32_t PIDXCash_DrawerOpened = 1001;
constexpr std::int32_t PIDXCash_CapStatus = 1501;
constexpr std::int32_t PIDX_CheckHealthText = 1000001;
constexpr std::int32_t PIDX_DeviceDescription = 1000002;
constexpr std::int32_t PIDX_DeviceName = 1000003;
constexpr std::int32_t PIDX_ServiceObjectDescription = 1000004;
constexpr std::int32_t PIDX_PowerNotify = 13;
constexpr std::int32_t PIDX_PowerState = 14;
constexpr std::int32_t PIDX_CapPowerReporting = 501;

// Power reporting: capability, notification and state.
constexpr std::int32_t OPOS_PR_NONE = 0;
constexpr std::int32_t OPOS_PR_STANDARD = 1;
constexpr std::int32_t OPOS_PN_DISABLED = 0;
constexpr std::int32_t OPOS_PN_ENABLED = 1;
constexpr std::int32_t OPOS_PS_UNKNOWN = 2000;
constexpr std::int32_t OPOS_PS_ONLINE = 2001;
constexpr std::int32_t OPOS_PS_OFF_OFFLINE = 2004;

// The drawer's USB vendor id.
constexpr std::uint16_t kDrawerVendorId = 0x06E5;

// Where the logical cash-drawer devices are configured, below HKEY_LOCAL_MACHINE.
inline constexpr char16_t kCashDrawerCategoryKey[] =
    u"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\";

}  // namespace quillvane
