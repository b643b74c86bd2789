// Replacement setupapi.dll for programs that drive the virtual drawer: the
// four functions the service object uses to list HID device interfaces. The
// list holds the virtual devices the running simulator publishes (pipe names
// cannot be enumerated, so it publishes them in a volatile registry key), each
// checked to be answering when the list is made. Anything this DLL does not
// model (other flags, an enumerator, device-element filters, records of the
// wrong size, handles it did not give) fails with the documented error codes.
// Defined here, so the header declares these functions without dllimport.
#define _SETUPAPI_
#include <cstddef>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "virtual-drawer/core/DeviceIdentity.h"
#include "virtual-drawer/core/SimulatorNames.h"
#include "virtual-drawer/win/LiveSet.h"
#include "win32kit/DeviceHeaders.h"
#include "win32kit/Owners.h"

namespace {

using win32kit::kHidInterfaceGuid;
// {745A17A0-74D3-11D0-B6FE-00A0C90F57DA}: the HIDClass setup class.
constexpr GUID kHidClassGuid = {
    0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}};
constexpr DWORD kSupportedFlags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
constexpr DWORD kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
// The detail record callers size: 5 bytes on 32-bit Windows, 8 on 64-bit.
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void*) == 8 ? 8 : 5));

struct DeviceList {
  std::vector<std::string> paths;
};

vdrawer::LiveSet<DeviceList> gLists;

bool SameGuid(const GUID* a, const GUID& b) { return a && std::memcmp(a, &b, sizeof b) == 0; }

// A device is present while its pipe exists: instances are waiting, or (when
// it fails opens) all of them are busy.
bool IsAnswering(const std::string& path) {
  if (WaitNamedPipeA(path.c_str(), 1)) return true;
  return GetLastError() == ERROR_SEM_TIMEOUT;
}

// The published virtual devices, in the key's order.
std::vector<std::string> PublishedPaths(bool presentOnly) {
  std::vector<std::string> paths;
  win32kit::UniqueHkey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, vdrawer::kDevicesKeyPath, 0, KEY_QUERY_VALUE, key.Put()) !=
      ERROR_SUCCESS) {
    return paths;
  }
  for (DWORD index = 0;; ++index) {
    char name[64];
    DWORD nameLength = sizeof name;
    BYTE data[512];
    DWORD dataLength = sizeof data - 1;
    DWORD type = 0;
    const LONG status =
        RegEnumValueA(key.Get(), index, name, &nameLength, nullptr, &type, data, &dataLength);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataLength] = 0;
    const std::string path(reinterpret_cast<const char*>(data));
    // Only pipe names of virtual devices are given out.
    if (path.rfind(vdrawer::kPipePrefix, 0) != 0 || !vdrawer::ParseDeviceName(path)) continue;
    if (presentOnly && !IsAnswering(path)) continue;
    paths.push_back(path);
  }
  return paths;
}

// The list `handle` names, or null with ERROR_INVALID_HANDLE.
DeviceList* Checked(HDEVINFO handle) {
  DeviceList* list = gLists.Find(handle);
  if (!list) SetLastError(ERROR_INVALID_HANDLE);
  return list;
}

// The list entry an interface record stands for: Reserved holds index + 1.
const std::string* EntryOf(const DeviceList& list, const SP_DEVICE_INTERFACE_DATA* data) {
  if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return nullptr;
  }
  if (data->Reserved == 0 || data->Reserved > list.paths.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return &list.paths[data->Reserved - 1];
}

}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                                     DWORD Flags) {
  (void)hwndParent;
  if ((Flags & ~kSupportedFlags) != 0 || !(Flags & DIGCF_DEVICEINTERFACE)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return INVALID_HANDLE_VALUE;
  }
  if (!ClassGuid || Enumerator) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto* list = new (std::nothrow) DeviceList;
  if (!list) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  // Only HID interfaces exist here: any other class gives an empty list.
  if (SameGuid(ClassGuid, kHidInterfaceGuid)) {
    list->paths = PublishedPaths((Flags & DIGCF_PRESENT) != 0);
  }
  if (!gLists.Add(list)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  return list;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
  const DeviceList* list = Checked(DeviceInfoSet);
  if (!list) return FALSE;
  if (DeviceInfoData || !InterfaceClassGuid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!DeviceInterfaceData || DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (!SameGuid(InterfaceClassGuid, kHidInterfaceGuid) || MemberIndex >= list->paths.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  DeviceInterfaceData->InterfaceClassGuid = kHidInterfaceGuid;
  DeviceInterfaceData->Flags = SPINT_ACTIVE;
  DeviceInterfaceData->Reserved = MemberIndex + 1;
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) {
  const DeviceList* list = Checked(DeviceInfoSet);
  if (!list) return FALSE;
  const std::string* path = EntryOf(*list, DeviceInterfaceData);
  if (!path) return FALSE;
  const DWORD needed = kPathOffset + static_cast<DWORD>(path->size()) + 1;
  if (RequiredSize) *RequiredSize = needed;
  if (!DeviceInterfaceDetailData) {
    SetLastError(DeviceInterfaceDetailDataSize == 0 ? ERROR_INSUFFICIENT_BUFFER
                                                    : ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (DeviceInterfaceDetailDataSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (DeviceInfoData) {
    if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
      SetLastError(ERROR_INVALID_USER_BUFFER);
      return FALSE;
    }
    DeviceInfoData->ClassGuid = kHidClassGuid;
    DeviceInfoData->DevInst = static_cast<DWORD>(DeviceInterfaceData->Reserved);
    DeviceInfoData->Reserved = 0;
  }
  std::memcpy(DeviceInterfaceDetailData->DevicePath, path->c_str(), path->size() + 1);
  return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  if (!gLists.Destroy(DeviceInfoSet)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
