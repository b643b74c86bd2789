// The drawer's HID transport: discovery, the two opens, report lengths, the
// status read and the output reports.
#include <cstring>
#include <string>

#include "service/CashDrawer.h"
#include "service/RuntimeError.h"

namespace quillvane {
namespace {

constexpr std::uint32_t kDeviceAccess = kGenericRead | kGenericWrite;
constexpr std::uint32_t kDeviceShare = kFileShareRead | kFileShareWrite;
constexpr std::uint32_t kInterfaceDataSize = 28;
// cbSize of SP_DEVICE_INTERFACE_DETAIL_DATA_A on the 32-bit platform: the
// 4-byte size field and the first byte of the path.
constexpr std::uint32_t kDetailDataSize = 5;
constexpr std::uint32_t kDetailPathOffset = 4;
constexpr std::uint32_t kReadTimeoutMs = 6000;
constexpr std::uint8_t kIdleCommand = 0x00;
constexpr std::uint8_t kPulseCommand = 0xFF;
constexpr std::uint8_t kDrawerOpenBit = 0x80;

// Report lengths are 16-bit counts taken as signed.
std::int32_t SignedLength(std::uint16_t length) { return static_cast<std::int16_t>(length); }

}  // namespace

bool CashDrawer::FindDrawerDevice() {
  rec.blnLastDevice = kFalse;
  rec.blnDeviceDetected = kFalse;
  rec.hidSecurity.nLength = sizeof(SECURITY_ATTRIBUTES);
  rec.hidSecurity.lpSecurityDescriptor = 0;
  rec.hidSecurity.bInheritHandle = kTrue;

  GUID hidGuid{};
  mApi.HidD_GetHidGuid(&hidGuid);
  rec.deviceInfoSet = UniqueDeviceInfoList(
      mApi, mApi.SetupDiGetClassDevsA(&hidGuid, nullptr, 0, kDigcfPresent | kDigcfDeviceInterface));
  try {
    // A list that could not be had holds no device.
    if (!rec.deviceInfoSet.IsOpen()) rec.blnLastDevice = kTrue;
    std::uint32_t lngMemberIndex = 0;
    while (rec.blnLastDevice == kFalse && rec.blnDeviceDetected == kFalse) {
      rec.interfaceData.cbSize = kInterfaceDataSize;
      if (mApi.SetupDiEnumDeviceInterfaces(rec.deviceInfoSet.Get(), nullptr, &hidGuid,
                                           lngMemberIndex, &rec.interfaceData) == 0) {
        rec.blnLastDevice = kTrue;
        break;
      }
      // A size query answers false; only the size counts.
      std::uint32_t lngNeeded = 0;
      mApi.SetupDiGetDeviceInterfaceDetailA(rec.deviceInfoSet.Get(), &rec.interfaceData, nullptr, 0,
                                            &lngNeeded, nullptr);
      if (lngNeeded >= kDetailDataSize) {
        std::vector<std::uint8_t> bytDetail(static_cast<std::size_t>(lngNeeded) + 1, 0);
        std::memcpy(bytDetail.data(), &kDetailDataSize, sizeof(kDetailDataSize));
        std::uint32_t lngRequired = 0;
        mApi.SetupDiGetDeviceInterfaceDetailA(rec.deviceInfoSet.Get(), &rec.interfaceData,
                                              bytDetail.data(), lngNeeded, &lngRequired, nullptr);
        // The buffer is one byte longer than the platform may fill: the path ends in time.
        const char* pathStart = reinterpret_cast<const char*>(bytDetail.data()) + kDetailPathOffset;
        rec.devicePathName = mApi.FromAnsi(std::string(pathStart));

        rec.hidHandle = UniqueFileHandle(
            mApi, mApi.CreateFileA(mApi.ToAnsi(rec.devicePathName).c_str(), kDeviceAccess,
                                   kDeviceShare, &rec.hidSecurity, kOpenExisting, 0, 0));
        bool blnMatch = false;
        if (rec.hidHandle.IsOpen()) {
          rec.deviceAttributes.Size = sizeof(HIDD_ATTRIBUTES);
          if (mApi.HidD_GetAttributes(rec.hidHandle.Get(), &rec.deviceAttributes) != 0) {
            const double dblProductId = static_cast<std::int16_t>(rec.deviceAttributes.ProductID);
            blnMatch = rec.deviceAttributes.VendorID == kDrawerVendorId &&
                       dblProductId == rec.varProductId.value_or(0.0);
          }
        }
        if (blnMatch) {
          rec.blnDeviceDetected = kTrue;
        } else {
          rec.blnDeviceDetected = kFalse;
          rec.hidHandle.Close();
        }
      }
      ++lngMemberIndex;
    }
    rec.deviceInfoSet.Close();
  } catch (...) {
    // A failing platform call ends the search; its device list goes with it.
    try {
      rec.deviceInfoSet.Close();
    } catch (...) {
    }
    throw;
  }

  if (rec.blnDeviceDetected == kFalse) return false;
  GetDeviceCapabilities();
  SettleRead();
  rec.readHandle = UniqueFileHandle(
      mApi, mApi.CreateFileA(mApi.ToAnsi(rec.devicePathName).c_str(), kDeviceAccess, kDeviceShare,
                             &rec.hidSecurity, kOpenExisting, kFileFlagOverlapped, 0));
  PrepareOverlappedRead();
  WriteIdleReport();
  return true;
}

void CashDrawer::GetDeviceCapabilities() {
  Handle hPreparsed = 0;
  mApi.HidD_GetPreparsedData(rec.hidHandle.Get(), &hPreparsed);
  // Without preparsed data the capabilities keep what they held.
  rec.preparsedData = UniquePreparsedData(mApi, hPreparsed);
  if (!rec.preparsedData.IsOpen()) return;
  mApi.HidP_GetCaps(rec.preparsedData.Get(), &rec.hidCapabilities);
  rec.preparsedData.Close();
}

void CashDrawer::PrepareOverlappedRead() {
  if (!rec.eventObject.IsOpen()) {
    rec.eventObject = UniqueEventHandle(mApi, mApi.CreateEventA(nullptr, 1, 1, ""));
  }
  mRead->readOverlapped.Offset = 0;
  mRead->readOverlapped.OffsetHigh = 0;
  mRead->readOverlapped.hEvent = rec.eventObject.Get();
}

void CashDrawer::WriteIdleReport() { WriteReport(kIdleCommand); }

void CashDrawer::WritePulseReport() { WriteReport(kPulseCommand); }

void CashDrawer::WriteReport(std::uint8_t bytCommand) {
  const std::int32_t lngLength = SignedLength(rec.hidCapabilities.OutputReportByteLength);
  // Bytes 0 to 2 are always set: a shorter report is out of range.
  if (lngLength < 3) throw RuntimeError(kErrSubscriptOutOfRange);
  std::vector<std::uint8_t> bytReport(static_cast<std::size_t>(lngLength), 0);
  bytReport[0] = 0x00;
  bytReport[1] = bytCommand;
  bytReport[2] = 0x00;
  // After a read time-out the handle is closed: the report reaches nothing.
  if (!rec.hidHandle.IsOpen()) return;
  std::uint32_t lngWritten = 0;
  mApi.WriteFile(rec.hidHandle.Get(), bytReport.data(), static_cast<std::uint32_t>(lngLength),
                 &lngWritten, nullptr);
}

bool CashDrawer::ReadDrawerStatus() {
  const std::int32_t lngLength = SignedLength(rec.hidCapabilities.InputReportByteLength);
  if (lngLength <= 0) throw RuntimeError(kErrSubscriptOutOfRange);

  bool blnResult = false;
  std::uint8_t bytState = 0;
  if (!SettleRead()) {
    // An earlier read never finished: its buffer and record cannot serve a
    // new one, so this read fails without starting.
    rec.blnDeviceDetected = kFalse;
  } else {
    mRead->buffer.assign(static_cast<std::size_t>(lngLength), 0);
    if (rec.readHandle.IsOpen()) {
      // The driver keeps the reports that arrived since the last read (up to
      // 32 on Windows); without the flush a read would answer with the oldest
      // of them, a state up to that many report intervals old.
      mApi.HidD_FlushQueue(rec.readHandle.Get());
      std::uint32_t lngRead = 0;
      if (mApi.ReadFile(rec.readHandle.Get(), mRead->buffer.data(),
                        static_cast<std::uint32_t>(lngLength), &lngRead,
                        &mRead->readOverlapped) == 0) {
        mblnReadPending = mApi.GetLastError() == kErrorIoPending;
      }
    }
    const std::uint32_t lngWait =
        rec.eventObject.IsOpen() ? mApi.WaitForSingleObject(rec.eventObject.Get(), kReadTimeoutMs)
                                 : kWaitFailed;
    // The state is whatever the buffer held when the wait ended.
    if (lngLength >= 2) bytState = mRead->buffer[1];
    if (lngWait == kWaitObject0) {
      mblnReadPending = false;
      blnResult = true;
    } else if (lngWait == kWaitTimeout) {
      SettleRead();
      rec.hidHandle.Close();
      rec.readHandle.Close();
      rec.blnDeviceDetected = kFalse;
    } else {
      // The handles stay open; the read is cancelled so that its buffer and
      // record are free before anything reuses them.
      rec.blnDeviceDetected = kFalse;
      SettleRead();
    }
  }

  if (lngLength < 2) throw RuntimeError(kErrSubscriptOutOfRange);
  rec.blnDrawerOpened = ToBoolean((bytState & kDrawerOpenBit) != 0);
  if (rec.eventObject.IsOpen()) mApi.ResetEvent(rec.eventObject.Get());
  return blnResult;
}

bool CashDrawer::SettleRead() {
  if (!mblnReadPending) return true;
  if (!HasOverlappedIoCompleted(mRead->readOverlapped) && rec.readHandle.IsOpen()) {
    mApi.CancelIo(rec.readHandle.Get());
    std::uint32_t lngTransferred = 0;
    mApi.GetOverlappedResult(rec.readHandle.Get(), &mRead->readOverlapped, &lngTransferred, 1);
  }
  if (HasOverlappedIoCompleted(mRead->readOverlapped)) mblnReadPending = false;
  return !mblnReadPending;
}

}  // namespace quillvane
