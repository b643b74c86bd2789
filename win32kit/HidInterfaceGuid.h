// The HID device interface class, {4D1E55B2-F16F-11CF-88CB-001111000030}:
// what HidD_GetHidGuid gives and what every HID device interface path ends
// with. Portable (no Windows header), so the simulated platform answers with
// the same value the replacement hid.dll does.
#pragma once

namespace win32kit {

// The GUID in any record laid out as Windows' GUID: the real one
// (DeviceHeaders.h), or the core's portable declaration.
template <typename Guid>
constexpr Guid HidInterfaceGuid() {
  return Guid{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
}

// The same as it stands at the end of a device interface path.
inline constexpr char kHidInterfaceGuidText[] = "{4d1e55b2-f16f-11cf-88cb-001111000030}";

}  // namespace win32kit
