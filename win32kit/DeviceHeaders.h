// The device-setup and HID headers, after the Windows headers. The HID
// headers declare their functions without C linkage, so they are read inside
// extern "C" here. With them come the HID interface GUID and the owner of
// a device-information list. A replacement setupapi.dll defines _SETUPAPI_ before
// including this, so the functions it defines are not declared imported.
#pragma once

#include "win32kit/WinHeaders.h"

// clang-format off
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on

#include "win32kit/HidInterfaceGuid.h"
#include "win32kit/Owners.h"

namespace win32kit {

// {4D1E55B2-F16F-11CF-88CB-001111000030} as Windows' own GUID record.
inline constexpr GUID kHidInterfaceGuid = HidInterfaceGuid<GUID>();

// A device-information list from SetupDiGetClassDevs, which fails with
// INVALID_HANDLE_VALUE.
struct DeviceInfoListTraits {
  using Type = HDEVINFO;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static bool IsEmpty(Type value) { return !value || value == INVALID_HANDLE_VALUE; }
  static void Close(Type value) { ::SetupDiDestroyDeviceInfoList(value); }
};
using UniqueDeviceInfoList = UniqueOwner<DeviceInfoListTraits>;

}  // namespace win32kit
