// Values of the OPOS standard that both sides of the contract use: the
// service object answers with them, the control object stand-in makes some
// of its own and asks the service object by property index.
#pragma once

#include <cstdint>

namespace quillvane {

// Automation boolean: 16 bits, true -1, false 0.
using Boolean = std::int16_t;
constexpr Boolean kTrue = -1;
constexpr Boolean kFalse = 0;
constexpr Boolean ToBoolean(bool value) { return value ? kTrue : kFalse; }

// Result codes. The service object answers 0, 106, 107 and 111; the
// control object makes the others itself.
constexpr std::int32_t OPOS_SUCCESS = 0;
constexpr std::int32_t OPOS_E_CLOSED = 101;     // no service object is open
constexpr std::int32_t OPOS_E_NOSERVICE = 104;  // the configured class cannot be created
constexpr std::int32_t OPOS_E_ILLEGAL = 106;
constexpr std::int32_t OPOS_E_NOHARDWARE = 107;
constexpr std::int32_t OPOS_E_NOEXIST = 109;  // no device key of that name
constexpr std::int32_t OPOS_E_FAILURE = 111;

// Open results. The service object answers 401 and 450 through
// GetOpenResult; the control object reports the 30x ones when no service
// object could be opened.
constexpr std::int32_t OPOS_OR_REGBADNAME = 302;  // no device key of that name
constexpr std::int32_t OPOS_OR_REGPROGID = 303;   // no class identifier for the key's ProgID
constexpr std::int32_t OPOS_OR_CREATE = 304;      // creating the service object failed
constexpr std::int32_t OPOS_OR_BADIF = 305;       // the object has no OpenService
constexpr std::int32_t OPOS_OR_FAILEDOPEN = 306;  // OpenService or GetOpenResult raised an error
constexpr std::int32_t OPOS_ORS_NOPORT = 401;
constexpr std::int32_t OPOS_ORS_SPECIFIC = 450;

// Health check levels.
constexpr std::int32_t OPOS_CH_INTERNAL = 1;
constexpr std::int32_t OPOS_CH_EXTERNAL = 2;
constexpr std::int32_t OPOS_CH_INTERACTIVE = 3;

// Property indices. The capability indices 501-503 and 1502 are the
// standard's; quillvane answers 0 for them (no statistics, no multi-drawer
// status), and for power reporting only a device set to reconnect answers.
constexpr std::int32_t PIDX_Claimed = 1;
constexpr std::int32_t PIDX_DeviceEnabled = 3;
constexpr std::int32_t PIDX_FreezeEvents = 4;
constexpr std::int32_t PIDX_ServiceObjectVersion = 8;
constexpr std::int32_t PIDX_PowerNotify = 13;
constexpr std::int32_t PIDX_PowerState = 14;
constexpr std::int32_t PIDX_CapPowerReporting = 501;
constexpr std::int32_t PIDX_CapStatisticsReporting = 502;
constexpr std::int32_t PIDX_CapUpdateStatistics = 503;
constexpr std::int32_t PIDXCash_DrawerOpened = 1001;
constexpr std::int32_t PIDXCash_CapStatus = 1501;
constexpr std::int32_t PIDXCash_CapStatusMultiDrawer = 1502;
constexpr std::int32_t PIDX_CheckHealthText = 1000001;
constexpr std::int32_t PIDX_DeviceDescription = 1000002;
constexpr std::int32_t PIDX_DeviceName = 1000003;
constexpr std::int32_t PIDX_ServiceObjectDescription = 1000004;

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

// The device class the control object passes to OpenService.
inline constexpr char16_t kCashDrawerDeviceClass[] = u"CashDrawer";

// Where the logical cash-drawer devices are configured, below
// HKEY_LOCAL_MACHINE: one subkey per device name.
inline constexpr char16_t kCashDrawerCategoryKey[] =
    u"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\";

}  // namespace quillvane
