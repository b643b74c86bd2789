#include "provision/win32/Win32HidList.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// The HID header declares its functions without C linkage.
extern "C" {
#include <hidsdi.h>
}
// clang-format on

#include <memory>
#include <vector>

namespace qvprovision::win32 {
namespace {

struct DeviceInfoListCloser {
  void operator()(HDEVINFO list) const { SetupDiDestroyDeviceInfoList(list); }
};
using DeviceInfoList = std::unique_ptr<void, DeviceInfoListCloser>;

struct FileCloser {
  void operator()(HANDLE file) const { CloseHandle(file); }
};
using FileHandle = std::unique_ptr<void, FileCloser>;

// The ids of the device at `path`. It is opened without read or write
// access, which is enough for the attributes and works also for a device
// another program holds open.
void Query(const char* path, HidInterface* device) {
  HANDLE opened =
      CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return;
  FileHandle file(opened);
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof attributes;
  if (!HidD_GetAttributes(file.get(), &attributes)) return;
  device->queried = true;
  device->vendorId = attributes.VendorID;
  device->productId = attributes.ProductID;
}

}  // namespace

std::int32_t Win32HidList::ListInterfaces(std::vector<HidInterface>* interfaces) {
  GUID hidGuid;
  HidD_GetHidGuid(&hidGuid);
  // The ANSI calls, as the service object makes them: device paths are ASCII.
  HDEVINFO made =
      SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (made == INVALID_HANDLE_VALUE) return static_cast<std::int32_t>(GetLastError());
  DeviceInfoList list(made);

  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA entry{};
    entry.cbSize = sizeof entry;
    if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, &hidGuid, index, &entry)) {
      const DWORD error = GetLastError();
      return error == ERROR_NO_MORE_ITEMS ? 0 : static_cast<std::int32_t>(error);
    }
    HidInterface device;
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailA(list.get(), &entry, nullptr, 0, &needed, nullptr);
    if (needed > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
      // Zero-filled and one byte longer, so the path always ends.
      std::vector<std::uint8_t> buffer(needed + 1);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      if (SetupDiGetDeviceInterfaceDetailA(list.get(), &entry, detail, needed, nullptr, nullptr)) {
        for (const char* ch = detail->DevicePath; *ch; ++ch) {
          device.path.push_back(static_cast<char16_t>(static_cast<unsigned char>(*ch)));
        }
        Query(detail->DevicePath, &device);
      }
    }
    interfaces->push_back(device);
  }
}

}  // namespace qvprovision::win32
