// Replacement hid.dll for programs that drive the virtual drawer: the six
// functions the service object uses, answered from the device's pipe name
// (HidD_FlushQueue asks the simulator, see FlushMarker.h).
// A handle that is not a virtual device, or a preparsed-data pointer that
// this DLL did not give, fails as the system's DLL fails: FALSE or
// HIDP_STATUS_INVALID_PREPARSED_DATA.
#include <cstdint>
#include <new>
#include <string>

#include "virtual-drawer/core/DeviceIdentity.h"
#include "virtual-drawer/core/FlushMarker.h"
#include "virtual-drawer/win/LiveSet.h"
#include "win32kit/DeviceHeaders.h"
#include "win32kit/Owners.h"

namespace {

constexpr NTSTATUS kHidpStatusSuccess = 0x00110000;
constexpr NTSTATUS kHidpStatusInvalidPreparsedData = static_cast<NTSTATUS>(0xC0110001);
// Vendor-defined usage page, the drawer's collection.
constexpr USAGE kUsagePage = 0xFF00;
constexpr USAGE kUsage = 0x0001;

struct ReportLengths {
  std::uint16_t inputLength = 0;
  std::uint16_t outputLength = 0;
};

// The preparsed data given out and not yet freed.
vdrawer::LiveSet<ReportLengths> gLive;

// The identity spelled in the name of the file the handle was opened on.
bool IdentityOf(HANDLE handle, vdrawer::DeviceIdentity* identity) {
  union {
    FILE_NAME_INFO info;
    BYTE bytes[sizeof(FILE_NAME_INFO) + 512 * sizeof(WCHAR)];
  } name{};
  if (!GetFileInformationByHandleEx(handle, FileNameInfo, &name, sizeof name)) return false;
  std::string text;
  for (DWORD i = 0; i < name.info.FileNameLength / sizeof(WCHAR); ++i) {
    const WCHAR c = name.info.FileName[i];
    // Every character of a virtual device name is ASCII.
    if (c > 0x7F) return false;
    text += static_cast<char>(c);
  }
  const auto parsed = vdrawer::ParseDeviceName(text);
  if (!parsed) return false;
  *identity = *parsed;
  return true;
}

// Longest a flush waits for the simulator's marker.
constexpr DWORD kFlushTimeoutMs = 2000;

// One read or write on the handle, which may be overlapped, finished (or
// cancelled) before returning. False with the last error set on failure.
bool Transfer(HANDLE handle, HANDLE event, bool write, void* buffer, DWORD size, DWORD waitMs,
              DWORD* done) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  ResetEvent(event);
  const BOOL ok = write ? WriteFile(handle, buffer, size, nullptr, &overlapped)
                        : ReadFile(handle, buffer, size, nullptr, &overlapped);
  if (!ok && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) return false;
  if (WaitForSingleObject(event, waitMs) != WAIT_OBJECT_0) {
    CancelIo(handle);
    GetOverlappedResult(handle, &overlapped, done, TRUE);
    SetLastError(ERROR_TIMEOUT);
    return false;
  }
  if (!GetOverlappedResult(handle, &overlapped, done, FALSE)) {
    return GetLastError() == ERROR_MORE_DATA;  // a message longer than the buffer: read on
  }
  return true;
}

}  // namespace

extern "C" {

void NTAPI HidD_GetHidGuid(LPGUID HidGuid) {
  if (HidGuid) *HidGuid = win32kit::kHidInterfaceGuid;
}

BOOLEAN NTAPI HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes) {
  vdrawer::DeviceIdentity identity;
  if (!Attributes || !IdentityOf(HidDeviceObject, &identity)) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  Attributes->Size = sizeof(HIDD_ATTRIBUTES);
  Attributes->VendorID = identity.vendorId;
  Attributes->ProductID = identity.productId;
  Attributes->VersionNumber = 0x0100;
  return TRUE;
}

BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData) {
  vdrawer::DeviceIdentity identity;
  if (!PreparsedData || !IdentityOf(HidDeviceObject, &identity)) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  auto* data = new (std::nothrow) ReportLengths;
  if (!data) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  data->inputLength = identity.inputLength;
  data->outputLength = identity.outputLength;
  if (!gLive.Add(data)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  *PreparsedData = reinterpret_cast<PHIDP_PREPARSED_DATA>(data);
  return TRUE;
}

BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
  return gLive.Destroy(PreparsedData) ? TRUE : FALSE;
}

// Drops the reports the simulator holds for this handle: sends the request,
// then reads and discards up to the marker. Fails when the pipe is broken or
// the marker does not come in time.
BOOLEAN NTAPI HidD_FlushQueue(HANDLE HidDeviceObject) {
  vdrawer::DeviceIdentity identity;
  if (!IdentityOf(HidDeviceObject, &identity)) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  win32kit::UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!event.IsOpen()) return FALSE;
  std::string request(vdrawer::kFlushRequest);
  DWORD done = 0;
  if (!Transfer(HidDeviceObject, event.Get(), true, request.data(),
                static_cast<DWORD>(request.size()), kFlushTimeoutMs, &done)) {
    return FALSE;
  }
  // One message at a time: the handle may read in byte mode, and a larger
  // read would run past the marker into the reports sent after the flush.
  // Until something arrives, look again every millisecond.
  const DWORD deadline = GetTickCount() + kFlushTimeoutMs;
  vdrawer::FlushMarkerScanner scanner;
  std::string message;
  for (bool found = false; !found;) {
    const DWORD left = deadline - GetTickCount();
    if (static_cast<LONG>(left) <= 0) {
      SetLastError(ERROR_TIMEOUT);
      return FALSE;
    }
    DWORD available = 0, messageLeft = 0;
    if (!PeekNamedPipe(HidDeviceObject, nullptr, 0, nullptr, &available, &messageLeft)) {
      return FALSE;
    }
    if (available == 0) {
      Sleep(1);
      continue;
    }
    message.resize(messageLeft ? messageLeft : available);
    if (!Transfer(HidDeviceObject, event.Get(), false, message.data(),
                  static_cast<DWORD>(message.size()), left, &done)) {
      return FALSE;
    }
    found = scanner.Feed(std::string_view(message.data(), done));
  }
  return TRUE;
}

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities) {
  const ReportLengths* data = gLive.Find(PreparsedData);
  if (!data || !Capabilities) return kHidpStatusInvalidPreparsedData;
  *Capabilities = HIDP_CAPS{};
  Capabilities->Usage = kUsage;
  Capabilities->UsagePage = kUsagePage;
  Capabilities->InputReportByteLength = data->inputLength;
  Capabilities->OutputReportByteLength = data->outputLength;
  return kHidpStatusSuccess;
}

}  // extern "C"
