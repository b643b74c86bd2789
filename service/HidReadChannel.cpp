#include "service/HidReadChannel.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "service/CTrace.h"
#include "service/basTrace.h"

namespace quillvane {

bool IsDeviceGoneError(std::uint32_t lngError) {
  switch (lngError) {
    case kErrorDeviceNotConnected:
    case kErrorDevNotExist:
    case kErrorNoSuchDevice:
    case kErrorDeviceRemoved:
    // A device served through a pipe reports its removal as the pipe's end.
    case kErrorBrokenPipe:
    case kErrorPipeNotConnected:
    case kErrorNoData:
      return true;
    default:
      return false;
  }
}

HidReadChannel::HidReadChannel(ApiDeclarations& api)
    : mApi(api), mSlot(std::make_unique<ReadSlot>()) {}

HidReadChannel::~HidReadChannel() {
  try {
    Release();
  } catch (...) {
    // A platform that cannot be reached has nothing left to undo.
  }
}

bool HidReadChannel::Open(UniqueFileHandle handle, std::uint32_t lngReportLength) {
  Close();
  if (!eventObject.IsOpen()) {
    // Not signalled: nothing has arrived before the first read.
    eventObject = UniqueEventHandle(mApi, mApi.CreateEventA(nullptr, 1, 0, ""));
    if (!eventObject.IsOpen())
      TraceError("CreateEventA\terror=" + std::to_string(mApi.GetLastError()));
  }
  if (!eventObject.IsOpen()) return false;
  readHandle = std::move(handle);
  mlngReportLength = lngReportLength;
  mlngLastReportTick = mApi.GetTickCount();
  return readHandle.IsOpen();
}

HidReadChannel::Taken HidReadChannel::Take() {
  Taken taken;
  if (!IsOpen()) {
    taken.blnLost = true;
    return taken;
  }
  // Read again while reads finish at once: the driver hands out what it
  // holds oldest first, so the last whole report is the drawer's state now.
  for (int lngRead = 0; lngRead < kMaxReadsPerTake; ++lngRead) {
    if (!mblnInFlight && !StartRead(taken)) break;
    if (!ReadFinished()) break;
    if (!FinishRead(taken)) break;
  }
  if (!taken.blnLost && !taken.blnReport && MsUntilLost() == 0) {
    TraceError("no input report for " + std::to_string(kReadTimeoutMs) + " ms");
    Lose(taken);
  }
  return taken;
}

HidReadChannel::Taken HidReadChannel::Await() {
  Taken taken = Take();
  // Nothing is waited for that was not started.
  if (taken.blnReport || taken.blnLost || !mblnInFlight) return taken;
  const std::uint32_t lngWait = mApi.WaitForSingleObject(eventObject.Get(), MsUntilLost());
  if (lngWait == kWaitObject0) return Take();
  if (lngWait == kWaitTimeout) {
    TraceError("no input report for " + std::to_string(kReadTimeoutMs) + " ms");
    Lose(taken);
  } else {
    // A wait that failed answers nothing and changes nothing.
    TraceError("WaitForSingleObject\tresult=" + std::to_string(lngWait));
  }
  return taken;
}

Handle HidReadChannel::PendingEvent() const {
  return IsOpen() && mblnInFlight ? eventObject.Get() : 0;
}

std::uint32_t HidReadChannel::MsUntilLost() {
  const std::uint32_t lngSilent = mApi.GetTickCount() - mlngLastReportTick;
  return lngSilent >= kReadTimeoutMs ? 0 : kReadTimeoutMs - lngSilent;
}

bool HidReadChannel::StartRead(Taken& taken) {
  OVERLAPPED& ov = mSlot->readOverlapped;
  ov = OVERLAPPED{};
  ov.hEvent = eventObject.Get();
  mSlot->buffer.assign(mlngReportLength, 0);
  std::uint32_t lngRead = 0;
  if (mApi.ReadFile(readHandle.Get(), mSlot->buffer.data(), mlngReportLength, &lngRead, &ov) != 0) {
    mblnInFlight = true;  // finished at once; taken like any other
    return true;
  }
  const std::uint32_t lngError = mApi.GetLastError();
  if (lngError == kErrorIoPending) {
    mblnInFlight = true;
    return true;
  }
  TraceError("ReadFile\terror=" + std::to_string(lngError));
  if (IsDeviceGoneError(lngError)) Lose(taken);
  return false;
}

bool HidReadChannel::ReadFinished() const {
  return HasOverlappedIoCompleted(mSlot->readOverlapped);
}

bool HidReadChannel::FinishRead(Taken& taken) {
  std::uint32_t lngTransferred = 0;
  if (mApi.GetOverlappedResult(readHandle.Get(), &mSlot->readOverlapped, &lngTransferred, 0) == 0) {
    const std::uint32_t lngError = mApi.GetLastError();
    // Finished by the record, unfinished by the platform's word: still in flight.
    if (lngError == kErrorIoIncomplete) return false;
    mblnInFlight = false;
    TraceError("GetOverlappedResult\terror=" + std::to_string(lngError));
    if (IsDeviceGoneError(lngError)) Lose(taken);
    return false;
  }
  mblnInFlight = false;
  if (mpTrace && mpTrace->Wants(CTrace::kReports)) {
    const std::size_t lngShown = std::min<std::size_t>(lngTransferred, mSlot->buffer.size());
    mpTrace->Write(CTrace::kReports, "in\t" + basTrace::HexBytes(mSlot->buffer.data(), lngShown) +
                                         (lngTransferred != mlngReportLength ? "\tshort" : ""));
  }
  // A short report holds no trustworthy state.
  if (lngTransferred != mlngReportLength) return false;
  taken.blnReport = true;
  taken.bytState = mlngReportLength >= 2 ? mSlot->buffer[1] : 0;
  ++mlngReports;
  mlngLastReportTick = mApi.GetTickCount();
  return true;
}

void HidReadChannel::Lose(Taken& taken) {
  taken.blnLost = true;
  Close();
}

void HidReadChannel::TraceError(const std::string& strRecord) {
  if (mpTrace && mpTrace->Wants(CTrace::kErrors)) mpTrace->Write(CTrace::kErrors, strRecord);
}

void HidReadChannel::Close() {
  std::exception_ptr error;
  if (mblnInFlight && !ReadFinished() && readHandle.IsOpen()) {
    try {
      // Cancelled, then waited for: its buffer is free once it has finished.
      if (mApi.CancelIo(readHandle.Get()) != 0 && !ReadFinished()) {
        std::uint32_t lngTransferred = 0;
        mApi.GetOverlappedResult(readHandle.Get(), &mSlot->readOverlapped, &lngTransferred, 1);
      }
    } catch (...) {
      error = std::current_exception();
    }
  }
  try {
    // Closing the handle also ends whatever is still pending on it.
    readHandle.Close();
  } catch (...) {
    if (!error) error = std::current_exception();
  }
  if (mblnInFlight && !ReadFinished()) {
    // The platform never let this read finish: it may still write into the
    // buffer and the record, so they are left to it rather than freed.
    static_cast<void>(mSlot.release());
    mSlot = std::make_unique<ReadSlot>();
  }
  mblnInFlight = false;
  if (error) std::rethrow_exception(error);
}

void HidReadChannel::Release() {
  Close();
  eventObject.Close();
}

}  // namespace quillvane
