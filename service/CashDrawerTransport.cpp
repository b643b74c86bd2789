// The drawer's HID transport: discovery, the two opens, report lengths, the
// status read and the output reports.
#include <cstring>
#include <string>
#include <vector>

#include "contract/RuntimeError.h"
#include "service/CashDrawer.h"
#include "service/basTrace.h"

namespace quillvane {
namespace {

constexpr std::uint32_t kDeviceAccess = kGenericRead | kGenericWrite;
constexpr std::uint32_t kDeviceShare = kFileShareRead | kFileShareWrite;
// The record sizes of the platform being built for: 28 and 5 on 32-bit
// Windows, 32 and 8 on 64-bit Windows (service/PlatformTypes.h).
constexpr std::uint32_t kInterfaceDataSize = sizeof(SP_DEVICE_INTERFACE_DATA);
constexpr std::uint32_t kDetailDataSize = kDeviceInterfaceDetailDataSize;
constexpr std::uint32_t kDetailPathOffset = kDeviceInterfaceDetailPathOffset;
// The smallest detail there is, on either bitness: the size field and the
// NUL of an empty path.
constexpr std::uint32_t kMinDetailSize = kDetailPathOffset + 1;
// No device path comes near this; a larger answer to the size query is not
// believed (and N + 1 must not wrap).
constexpr std::uint32_t kMaxDetailSize = 0x10000;
constexpr std::uint8_t kIdleCommand = 0x00;
constexpr std::uint8_t kPulseCommand = 0xFF;
constexpr std::uint8_t kDrawerOpenBit = 0x80;

// Report lengths are 16-bit counts taken as signed.
std::int32_t SignedLength(std::uint16_t length) { return static_cast<std::int16_t>(length); }

}  // namespace

bool CashDrawer::FindDrawerDevice() {
  // A new search starts from nothing: what an earlier open held is closed.
  CloseDevice();
  rec.blnLastDevice = kFalse;
  rec.blnDeviceDetected = kFalse;
  rec.hidSecurity.nLength = sizeof(SECURITY_ATTRIBUTES);
  rec.hidSecurity.lpSecurityDescriptor = 0;
  // A child process the application starts must not keep the drawer open.
  rec.hidSecurity.bInheritHandle = 0;

  GUID hidGuid{};
  mApi.HidD_GetHidGuid(&hidGuid);
  rec.deviceInfoSet = UniqueDeviceInfoList(
      mApi, mApi.SetupDiGetClassDevsA(&hidGuid, nullptr, 0, kDigcfPresent | kDigcfDeviceInterface));
  try {
    // A list that could not be had holds no device.
    if (!rec.deviceInfoSet.IsOpen()) {
      rec.blnLastDevice = kTrue;
      TraceFailure("SetupDiGetClassDevsA", mApi.GetLastError(), "no HID device list");
    }
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
      if (lngNeeded >= kMinDetailSize && lngNeeded <= kMaxDetailSize) {
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
    mlngInterfacesExamined = lngMemberIndex;
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
  UniqueFileHandle hRead(
      mApi, mApi.CreateFileA(mApi.ToAnsi(rec.devicePathName).c_str(), kDeviceAccess, kDeviceShare,
                             &rec.hidSecurity, kOpenExisting, kFileFlagOverlapped, 0));
  // Without the read handle (or its event) no report could ever arrive: the
  // drawer is not usable, and nothing of it stays open.
  const std::int32_t lngInputLength = SignedLength(rec.hidCapabilities.InputReportByteLength);
  if (!hRead.IsOpen()) TraceFailure("CreateFileA", mApi.GetLastError(), "the drawer's read handle");
  if (!hRead.IsOpen() ||
      !mReadChannel.Open(std::move(hRead),
                         static_cast<std::uint32_t>(lngInputLength > 0 ? lngInputLength : 0))) {
    CloseDevice();
    return false;
  }
  WriteIdleReport();
  mTrace.HoldFile(true);
  if (mTrace.Wants(CTrace::kEvents)) {
    mTrace.Write(CTrace::kEvents,
                 "drawer found\tpath=" + basTrace::LineText(rec.devicePathName) +
                     "\tinput=" + std::to_string(rec.hidCapabilities.InputReportByteLength) +
                     "\toutput=" + std::to_string(rec.hidCapabilities.OutputReportByteLength));
  }
  return true;
}

void CashDrawer::GetDeviceCapabilities() {
  Handle hPreparsed = 0;
  mApi.HidD_GetPreparsedData(rec.hidHandle.Get(), &hPreparsed);
  // Without preparsed data the capabilities keep what they held.
  rec.preparsedData = UniquePreparsedData(mApi, hPreparsed);
  if (!rec.preparsedData.IsOpen()) {
    TraceFailure("HidD_GetPreparsedData", mApi.GetLastError(), "the report lengths stay unknown");
    return;
  }
  mApi.HidP_GetCaps(rec.preparsedData.Get(), &rec.hidCapabilities);
  rec.preparsedData.Close();
}

// The idle report's outcome is not examined: the first status read finds out
// whether the drawer answers.
CashDrawer::WriteOutcome CashDrawer::WriteIdleReport() { return WriteReport(kIdleCommand); }

CashDrawer::WriteOutcome CashDrawer::WritePulseReport() { return WriteReport(kPulseCommand); }

CashDrawer::WriteOutcome CashDrawer::WriteReport(std::uint8_t bytCommand) {
  const std::int32_t lngLength = SignedLength(rec.hidCapabilities.OutputReportByteLength);
  // Bytes 0 to 2 are always set: a shorter report is out of range.
  if (lngLength < 3) throw RuntimeError(kErrSubscriptOutOfRange);
  std::vector<std::uint8_t> bytReport(static_cast<std::size_t>(lngLength), 0);
  bytReport[0] = 0x00;
  bytReport[1] = bytCommand;
  bytReport[2] = 0x00;
  // A lost drawer has no handle left: the report reaches nothing.
  if (!rec.hidHandle.IsOpen()) return WriteOutcome::kNoDevice;
  TraceReport("out", bytReport);
  std::uint32_t lngWritten = 0;
  if (mApi.WriteFile(rec.hidHandle.Get(), bytReport.data(), static_cast<std::uint32_t>(lngLength),
                     &lngWritten, nullptr) == 0) {
    const std::uint32_t lngError = mApi.GetLastError();
    TraceFailure("WriteFile", lngError, "an output report");
    return IsDeviceGoneError(lngError) ? WriteOutcome::kDeviceGone : WriteOutcome::kFailed;
  }
  if (lngWritten != static_cast<std::uint32_t>(lngLength)) {
    TraceFailure("WriteFile", 0, ("wrote " + std::to_string(lngWritten) + " bytes").c_str());
    return WriteOutcome::kFailed;
  }
  return WriteOutcome::kWritten;
}

bool CashDrawer::ReadDrawerStatus() {
  const HidReadChannel::Taken taken = TakeReports(true);
  if (!taken.blnReport) rec.blnDeviceDetected = kFalse;
  return taken.blnReport;
}

HidReadChannel::Taken CashDrawer::TakeReports(bool blnWait) {
  const std::int32_t lngLength = SignedLength(rec.hidCapabilities.InputReportByteLength);
  if (lngLength <= 0) throw RuntimeError(kErrSubscriptOutOfRange);
  const HidReadChannel::Taken taken = blnWait ? mReadChannel.Await() : mReadChannel.Take();
  if (taken.blnLost) LoseDevice();
  // Byte 1 carries the state: a one-byte report cannot be decoded.
  if (lngLength < 2) throw RuntimeError(kErrSubscriptOutOfRange);
  if (taken.blnReport) {
    rec.blnDrawerOpened = ToBoolean((taken.bytState & kDrawerOpenBit) != 0);
    if (rec.blnDrawerOpened != kFalse) mlngPulseTick.reset();
  }
  return taken;
}

void CashDrawer::CloseDevice() {
  mReadChannel.Close();
  rec.hidHandle.Close();
  rec.blnDeviceDetected = kFalse;
  mTrace.HoldFile(false);
}

}  // namespace quillvane
