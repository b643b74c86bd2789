// The OPOS values the stand-in uses: result codes it makes itself, the open
// results it reports when no service object could be opened, and the
// property indices it asks the service object for.
#pragma once

#include <cstdint>

namespace quillvane::standin {

// Result codes.
constexpr std::int32_t OPOS_SUCCESS = 0;
constexpr std::int32_t OPOS_E_CLOSED = 101;     // no service object is open
constexpr std::int32_t OPOS_E_NOSERVICE = 104;  // the configured class cannot be created
constexpr std::int32_t OPOS_E_ILLEGAL = 106;    // Open while already open
constexpr std::int32_t OPOS_E_NOEXIST = 109;    // no device key of that name

// Open results made by the stand-in itself (a service object that was
// created answers its own through GetOpenResult).
constexpr std::int32_t OPOS_OR_REGBADNAME = 302;  // no device key of that name
constexpr std::int32_t OPOS_OR_REGPROGID = 303;   // no class identifier for the key's ProgID
constexpr std::int32_t OPOS_OR_CREATE = 304;      // creating the service object failed
constexpr std::int32_t OPOS_OR_BADIF = 305;       // the object has no OpenService
constexpr std::int32_t OPOS_OR_FAILEDOPEN = 306;  // OpenService or GetOpenResult raised an error

// Property indices. The capability indices 501-503 and 1502 are the
// standard's; quillvane answers 0 for them (no power reporting, no
// statistics, no multi-drawer status).
constexpr std::int32_t PIDX_Claimed = 1;
constexpr std::int32_t PIDX_DeviceEnabled = 3;
constexpr std::int32_t PIDX_FreezeEvents = 4;
constexpr std::int32_t PIDX_ServiceObjectVersion = 8;
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

// The device class passed to OpenService.
inline constexpr wchar_t kDeviceClass[] = L"CashDrawer";
// Where the device names live, below HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kCategoryKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";

}  // namespace quillvane::standin
