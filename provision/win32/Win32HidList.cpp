#include "provision/win32/Win32HidList.h"

#include <vector>

#include "win32kit/DeviceHeaders.h"
#include "win32kit/Owners.h"
#include "win32kit/Text.h"

namespace qvprovision::win32 {
namespace {

// The ids of the device at `path`. It is opened without read or write
// access, which is enough for the attributes and works also for a device
// another program holds open.
void Query(const char* path, HidInterface* device) {
  const win32kit::UniqueHandle file(
      CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return;
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof attributes;
  if (!HidD_GetAttributes(file.Get(), &attributes)) return;
  device->queried = true;
  device->vendorId = attributes.VendorID;
  device->productId = attributes.ProductID;
}

}  // namespace

std::int32_t Win32HidList::ListInterfaces(std::vector<HidInterface>* interfaces) {
  GUID hidGuid;
  HidD_GetHidGuid(&hidGuid);
  // The ANSI calls, as the service object makes them: device paths are ASCII.
  const win32kit::UniqueDeviceInfoList list(
      SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!list) return static_cast<std::int32_t>(GetLastError());

  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA entry{};
    entry.cbSize = sizeof entry;
    if (!SetupDiEnumDeviceInterfaces(list.Get(), nullptr, &hidGuid, index, &entry)) {
      const DWORD error = GetLastError();
      return error == ERROR_NO_MORE_ITEMS ? 0 : static_cast<std::int32_t>(error);
    }
    HidInterface device;
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailA(list.Get(), &entry, nullptr, 0, &needed, nullptr);
    if (needed > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
      // Zero-filled and one byte longer, so the path always ends.
      std::vector<std::uint8_t> buffer(needed + 1);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      if (SetupDiGetDeviceInterfaceDetailA(list.Get(), &entry, detail, needed, nullptr, nullptr)) {
        device.path = win32kit::FromAscii(detail->DevicePath);
        Query(detail->DevicePath, &device);
      }
    }
    interfaces->push_back(device);
  }
}

}  // namespace qvprovision::win32
