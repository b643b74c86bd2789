// The simulated HID bus: device discovery (setupapi), opening a device,
// its attributes and capabilities (hid.dll), and output reports.
#include <algorithm>
#include <cstring>
#include <optional>

#include "sim/DrawerReports.h"
#include "sim/SimPlatform.h"
#include "sim/SimPlatformState.h"
#include "win32kit/HidInterfaceGuid.h"

namespace sim {

using quillvane::Handle;

namespace {

constexpr quillvane::GUID kHidGuid = win32kit::HidInterfaceGuid<quillvane::GUID>();
constexpr std::uint32_t kDigcfAllClasses = 0x04;
constexpr std::uint32_t kSpintActive = 0x01;
// The record sizes the platform of this bitness accepts (28 and 5 on 32-bit,
// 32 and 8 on 64-bit); any other cbSize is refused, as Windows does.
constexpr std::uint32_t kDeviceInterfaceDataSize = sizeof(quillvane::SP_DEVICE_INTERFACE_DATA);
constexpr std::uint32_t kDetailCbSize = quillvane::kDeviceInterfaceDetailDataSize;
constexpr std::uint32_t kDetailPathOffset = quillvane::kDeviceInterfaceDetailPathOffset;
constexpr std::int32_t kHidpStatusSuccess = 0x00110000;
constexpr std::int32_t kHidpStatusInvalidPreparsedData = static_cast<std::int32_t>(0xC0110001u);
// A vendor-defined top-level collection, as cash drawers commonly report.
constexpr std::uint16_t kDrawerUsagePage = 0xFF00;
constexpr std::uint16_t kDrawerUsage = 0x0001;

bool SameGuid(const quillvane::GUID& a, const quillvane::GUID& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string HexDigits(std::uint32_t value, int width) {
  static const char kDigits[] = "0123456789abcdef";
  std::string digits(static_cast<std::size_t>(width), '0');
  for (int i = width - 1; i >= 0; --i, value >>= 4) {
    digits[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  }
  return digits;
}

}  // namespace

SimHidDevice::SimHidDevice(HidDeviceConfig config, SimPlatform& platform, std::size_t index)
    : mPlatform(platform), mIndex(index), mConfig(std::move(config)) {}

HidDeviceConfig& SimHidDevice::MutableConfig() {
  mPlatform.mState->CatchUpDevice(mIndex);
  return mConfig;
}

HidDeviceFaults& SimHidDevice::Faults() {
  mPlatform.mState->CatchUpDevice(mIndex);
  return mFaults;
}

DrawerModel& SimHidDevice::Drawer() {
  mPlatform.mState->CatchUpDevice(mIndex);
  return mDrawer;
}

SimHidDevice& SimPlatform::AddHidDevice(HidDeviceConfig config) {
  if (config.path.empty()) {
    config.path = "\\\\?\\hid#vid_" + HexDigits(config.vendorId, 4) + "&pid_" +
                  HexDigits(config.productId, 4) + "#sim&" +
                  std::to_string(++mState->unnamedDevices) + "#" + win32kit::kHidInterfaceGuidText;
  }
  const std::size_t index = mDevices.size();
  mState->devicesByPath.emplace(LowerAscii(config.path), index);
  mDevices.push_back(std::make_unique<SimHidDevice>(std::move(config), *this, index));
  mState->deviceFiles.emplace_back();
  SimHidDevice& device = *mDevices.back();
  device.mAddedAt = mClock.Now();
  return device;
}

// --- hid.dll ----------------------------------------------------------------

void SimPlatform::HidD_GetHidGuid(quillvane::GUID* HidGuid) {
  mState->Enter("HidD_GetHidGuid", LogArgs(HidGuid != nullptr));
  if (!HidGuid) {
    mState->Violation("HidD_GetHidGuid: null GUID pointer");
    return;
  }
  *HidGuid = kHidGuid;
}

std::int32_t SimPlatform::HidD_GetAttributes(Handle HidDeviceObject,
                                             quillvane::HIDD_ATTRIBUTES* Attributes) {
  mState->Enter(
      "HidD_GetAttributes",
      LogArgs(HidDeviceObject, Attributes ? static_cast<std::int64_t>(Attributes->Size) : -1));
  HandleEntry* file = mState->Use("HidD_GetAttributes", HidDeviceObject, {HandleKind::File});
  if (!file) return 0;
  if (!Attributes) {
    mState->Violation("HidD_GetAttributes: null attributes record");
    return 0;
  }
  SimHidDevice& device = *mDevices[file->device];
  if (device.mFaults.unplugged) return mState->Fail(kErrorDeviceNotConnected, 0);
  if (device.mFaults.attributesFail) return mState->Fail(kErrorGenFailure, 0);
  Attributes->VendorID = device.mConfig.vendorId;
  Attributes->ProductID = device.mConfig.productId;
  Attributes->VersionNumber = device.mConfig.versionNumber;
  return 1;
}

// Drops the reports held for the handle; the next read waits for a new one.
std::int32_t SimPlatform::HidD_FlushQueue(Handle HidDeviceObject) {
  mState->Enter("HidD_FlushQueue", LogArgs(HidDeviceObject));
  mState->CatchUp();
  HandleEntry* file = mState->Use("HidD_FlushQueue", HidDeviceObject, {HandleKind::File});
  if (!file) return 0;
  if (mDevices[file->device]->mFaults.unplugged) return mState->Fail(kErrorDeviceNotConnected, 0);
  file->ring.clear();
  return 1;
}

std::int32_t SimPlatform::HidD_GetPreparsedData(Handle HidDeviceObject, Handle* PreparsedData) {
  mState->Enter("HidD_GetPreparsedData", LogArgs(HidDeviceObject, PreparsedData != nullptr));
  HandleEntry* file = mState->Use("HidD_GetPreparsedData", HidDeviceObject, {HandleKind::File});
  if (!file) return 0;
  if (!PreparsedData) {
    mState->Violation("HidD_GetPreparsedData: null out pointer");
    return 0;
  }
  const SimHidDevice& device = *mDevices[file->device];
  if (device.mFaults.unplugged) return mState->Fail(kErrorDeviceNotConnected, 0);
  if (device.mFaults.capabilitiesUnavailable) return mState->Fail(kErrorGenFailure, 0);
  HandleEntry entry;
  entry.kind = HandleKind::PreparsedData;
  entry.device = file->device;
  *PreparsedData = mState->NewHandle(entry);
  return 1;
}

std::int32_t SimPlatform::HidP_GetCaps(Handle PreparsedData, quillvane::HIDP_CAPS* Capabilities) {
  mState->Enter("HidP_GetCaps", LogArgs(PreparsedData, Capabilities != nullptr));
  HandleEntry* data = mState->Use("HidP_GetCaps", PreparsedData, {HandleKind::PreparsedData});
  if (!data) return kHidpStatusInvalidPreparsedData;
  if (!Capabilities) {
    mState->Violation("HidP_GetCaps: null capabilities record");
    return kHidpStatusInvalidPreparsedData;
  }
  const HidDeviceConfig& config = mDevices[data->device]->mConfig;
  *Capabilities = quillvane::HIDP_CAPS{};
  Capabilities->Usage = kDrawerUsage;
  Capabilities->UsagePage = kDrawerUsagePage;
  Capabilities->InputReportByteLength = config.inputReportLength;
  Capabilities->OutputReportByteLength = config.outputReportLength;
  Capabilities->NumberLinkCollectionNodes = 1;
  return kHidpStatusSuccess;
}

std::int32_t SimPlatform::HidD_FreePreparsedData(Handle PreparsedData) {
  mState->Enter("HidD_FreePreparsedData", LogArgs(PreparsedData));
  return mState->Close("HidD_FreePreparsedData", PreparsedData, {HandleKind::PreparsedData}) ? 1
                                                                                             : 0;
}

// --- setupapi.dll -----------------------------------------------------------

// The list holds the devices present when it was made, in the order they
// were added. The enumerator filter is not modelled: every simulated device
// sits on the HID enumerator.
Handle SimPlatform::SetupDiGetClassDevsA(const quillvane::GUID* ClassGuid, const char* Enumerator,
                                         Handle hwndParent, std::uint32_t Flags) {
  mState->Enter("SetupDiGetClassDevsA",
                LogArgs(ClassGuid != nullptr, Enumerator != nullptr, hwndParent, Flags));
  if (mClassDevsFails) return mState->Fail(kErrorGenFailure, quillvane::kInvalidHandleValue);
  if (!ClassGuid && !(Flags & kDigcfAllClasses)) {
    return mState->Fail(kErrorInvalidParameter, quillvane::kInvalidHandleValue);
  }
  HandleEntry entry;
  entry.kind = HandleKind::DeviceList;
  const bool hidInterfaces = (Flags & quillvane::kDigcfDeviceInterface) &&
                             ((Flags & kDigcfAllClasses) || SameGuid(*ClassGuid, kHidGuid));
  if (hidInterfaces) {
    for (std::size_t i = 0; i < mDevices.size(); ++i) {
      if (!(Flags & quillvane::kDigcfPresent) || !mDevices[i]->mFaults.unplugged) {
        entry.devices.push_back(i);
      }
    }
  }
  return mState->NewHandle(entry);
}

// The record's Reserved field carries the interface's 1-based position in
// its list; the detail query finds the device by it.
std::int32_t SimPlatform::SetupDiEnumDeviceInterfaces(
    Handle DeviceInfoSet, quillvane::SP_DEVINFO_DATA* DeviceInfoData,
    const quillvane::GUID* InterfaceClassGuid, std::uint32_t MemberIndex,
    quillvane::SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData) {
  mState->Enter(
      "SetupDiEnumDeviceInterfaces",
      LogArgs(DeviceInfoSet, DeviceInfoData != nullptr, InterfaceClassGuid != nullptr, MemberIndex,
              DeviceInterfaceData ? static_cast<std::int64_t>(DeviceInterfaceData->cbSize) : -1));
  HandleEntry* list =
      mState->Use("SetupDiEnumDeviceInterfaces", DeviceInfoSet, {HandleKind::DeviceList});
  if (!list) return 0;
  if (!DeviceInterfaceData) {
    mState->Violation("SetupDiEnumDeviceInterfaces: null interface record");
    return 0;
  }
  if (DeviceInterfaceData->cbSize != kDeviceInterfaceDataSize) {
    return mState->Fail(kErrorInvalidUserBuffer, 0);
  }
  if (!InterfaceClassGuid || !SameGuid(*InterfaceClassGuid, kHidGuid) ||
      MemberIndex >= list->devices.size()) {
    return mState->Fail(kErrorNoMoreItems, 0);
  }
  DeviceInterfaceData->InterfaceClassGuid = kHidGuid;
  DeviceInterfaceData->Flags = kSpintActive;
  DeviceInterfaceData->Reserved = MemberIndex + 1;
  return 1;
}

std::int32_t SimPlatform::SetupDiGetDeviceInterfaceDetailA(
    Handle DeviceInfoSet, quillvane::SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData,
    void* DeviceInterfaceDetailData, std::uint32_t DeviceInterfaceDetailDataSize,
    std::uint32_t* RequiredSize, quillvane::SP_DEVINFO_DATA* DeviceInfoData) {
  auto* detail = static_cast<std::uint8_t*>(DeviceInterfaceDetailData);
  std::int64_t cbSize = -1;
  if (detail && DeviceInterfaceDetailDataSize >= 4) {
    std::uint32_t given = 0;
    std::memcpy(&given, detail, 4);
    cbSize = given;
  }
  mState->Enter("SetupDiGetDeviceInterfaceDetailA",
                LogArgs(DeviceInfoSet, DeviceInterfaceData != nullptr, detail != nullptr,
                        DeviceInterfaceDetailDataSize, RequiredSize != nullptr,
                        DeviceInfoData != nullptr, cbSize));
  HandleEntry* list =
      mState->Use("SetupDiGetDeviceInterfaceDetailA", DeviceInfoSet, {HandleKind::DeviceList});
  if (!list) return 0;
  if (!DeviceInterfaceData) {
    mState->Violation("SetupDiGetDeviceInterfaceDetailA: null interface record");
    return 0;
  }
  const std::uintptr_t position = DeviceInterfaceData->Reserved;
  if (position == 0 || position > list->devices.size()) {
    return mState->Fail(kErrorInvalidParameter, 0);
  }
  const SimHidDevice& device = *mDevices[list->devices[position - 1]];
  const std::string& path = device.mConfig.path;
  const auto required = static_cast<std::uint32_t>(kDetailPathOffset + path.size() + 1);
  const std::uint32_t answered = device.mFaults.detailSizeBelow5 ? 4 : required;
  if (!detail) {
    // A size query: the platform answers it with false and the size.
    if (DeviceInterfaceDetailDataSize != 0) return mState->Fail(kErrorInvalidUserBuffer, 0);
    if (RequiredSize) *RequiredSize = answered;
    return mState->Fail(kErrorInsufficientBuffer, 0);
  }
  if (cbSize != kDetailCbSize) return mState->Fail(kErrorInvalidUserBuffer, 0);
  if (DeviceInterfaceDetailDataSize < required) {
    if (RequiredSize) *RequiredSize = answered;
    return mState->Fail(kErrorInsufficientBuffer, 0);
  }
  std::memcpy(detail + kDetailPathOffset, path.c_str(), path.size() + 1);
  if (RequiredSize) *RequiredSize = required;
  return 1;
}

std::int32_t SimPlatform::SetupDiDestroyDeviceInfoList(Handle DeviceInfoSet) {
  mState->Enter("SetupDiDestroyDeviceInfoList", LogArgs(DeviceInfoSet));
  return mState->Close("SetupDiDestroyDeviceInfoList", DeviceInfoSet, {HandleKind::DeviceList}) ? 1
                                                                                                : 0;
}

// --- kernel32: opening a device, output reports -----------------------------

// The first device added with the path (ignoring case) is opened. The index
// by path keeps a search over many devices linear; a path changed through
// MutableConfig() after adding is found by a scan.
Handle SimPlatform::CreateFileA(const char* lpFileName, std::uint32_t dwDesiredAccess,
                                std::uint32_t dwShareMode,
                                quillvane::SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                std::uint32_t dwCreationDisposition,
                                std::uint32_t dwFlagsAndAttributes, Handle hTemplateFile) {
  const quillvane::SECURITY_ATTRIBUTES* sa = lpSecurityAttributes;
  mState->Enter(
      "CreateFileA",
      LogArgs(dwDesiredAccess, dwShareMode, sa ? static_cast<std::int64_t>(sa->nLength) : -1,
              sa ? static_cast<std::int64_t>(sa->lpSecurityDescriptor) : -1,
              sa ? static_cast<std::int64_t>(sa->bInheritHandle) : -1, dwCreationDisposition,
              dwFlagsAndAttributes, hTemplateFile),
      lpFileName ? lpFileName : "<null>");
  if (!lpFileName) {
    mState->Violation("CreateFileA: null path");
    return mState->Fail(kErrorInvalidParameter, quillvane::kInvalidHandleValue);
  }
  const std::string wanted = LowerAscii(lpFileName);
  std::optional<std::size_t> found;
  auto indexed = mState->devicesByPath.find(wanted);
  if (indexed != mState->devicesByPath.end() &&
      LowerAscii(mDevices[indexed->second]->mConfig.path) == wanted) {
    found = indexed->second;
  }
  for (std::size_t i = 0; i < mDevices.size() && !found; ++i) {
    if (LowerAscii(mDevices[i]->mConfig.path) == wanted) found = i;
  }
  if (!found) return mState->Fail(kErrorFileNotFound, quillvane::kInvalidHandleValue);
  SimHidDevice& device = *mDevices[*found];
  if (device.mFaults.unplugged) {
    return mState->Fail(kErrorFileNotFound, quillvane::kInvalidHandleValue);
  }
  if (device.mFaults.openFails) {
    return mState->Fail(kErrorAccessDenied, quillvane::kInvalidHandleValue);
  }
  HandleEntry entry;
  entry.kind = HandleKind::File;
  entry.device = *found;
  entry.overlapped = (dwFlagsAndAttributes & quillvane::kFileFlagOverlapped) != 0;
  ++device.mOpenCount;
  ++device.mOpenHandles;
  const Handle handle = mState->NewHandle(entry);
  if (mState->activeDevices.insert(*found).second) {
    // Reports matter from the first open on: the next one is due at the
    // device's next period boundary.
    const std::uint64_t period = std::max<std::uint32_t>(device.mConfig.reportPeriodMs, 1);
    device.mNextReportAt =
        device.mAddedAt + period * ((mClock.Now() - device.mAddedAt) / period + 1);
  }
  mState->deviceFiles[*found].push_back(handle);
  return handle;
}

// Writes finish at once and take no virtual time. A pulse report
// (DrawerReports.h) fires the drawer.
std::int32_t SimPlatform::WriteFile(Handle hFile, const void* lpBuffer,
                                    std::uint32_t nNumberOfBytesToWrite,
                                    std::uint32_t* lpNumberOfBytesWritten,
                                    quillvane::OVERLAPPED* lpOverlapped) {
  mState->Enter("WriteFile", LogArgs(hFile, nNumberOfBytesToWrite, lpOverlapped != nullptr));
  mState->CatchUp();
  HandleEntry* file = mState->Use("WriteFile", hFile, {HandleKind::File, HandleKind::DiskFile});
  if (!file) return 0;
  if (!lpBuffer && nNumberOfBytesToWrite > 0) {
    mState->Violation("WriteFile: null buffer on handle " + State::Hex(hFile));
    return mState->Fail(kErrorInvalidParameter, 0);
  }
  if (!lpOverlapped && (!lpNumberOfBytesWritten || file->overlapped)) {
    mState->Violation("WriteFile: handle " + State::Hex(hFile) +
                      (file->overlapped ? " is overlapped but no OVERLAPPED was given"
                                        : " written without a byte count"));
    return mState->Fail(kErrorInvalidParameter, 0);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (file->kind == HandleKind::DiskFile) {
    const std::uint32_t error = mFiles.Append(
        file->diskPath, static_cast<const std::uint8_t*>(lpBuffer), nNumberOfBytesToWrite);
    if (error != 0) return mState->Fail(error, 0);
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
    return 1;
  }
  SimHidDevice& device = *mDevices[file->device];
  if (device.mFaults.unplugged) return mState->Fail(kErrorDeviceNotConnected, 0);
  const auto* bytes = static_cast<const std::uint8_t*>(lpBuffer);
  device.mOutputReports.emplace_back(bytes, bytes + nNumberOfBytesToWrite);
  if (ReadOutputReport(bytes, nNumberOfBytesToWrite) == OutputCommand::kPulse) {
    device.mDrawer.SetSwitchDelay(device.mConfig.switchDelayMs);
    device.mDrawer.Pulse(mClock.Now());
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
  if (lpOverlapped) {
    lpOverlapped->Internal = 0;
    lpOverlapped->InternalHigh = nNumberOfBytesToWrite;
    mState->SignalEvent(lpOverlapped->hEvent);
  }
  return 1;
}

}  // namespace sim
