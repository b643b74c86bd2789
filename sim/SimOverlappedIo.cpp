// Events and input reports on the virtual clock.
//
// A read started on an overlapped handle is pending until its report is due
// (start + reportDelayMs). It finishes lazily: at the first platform call
// that sees the clock at or past its due time, or at a wait that advances
// the clock to it. The report shows the drawer's state at the due time.
// A read of a silent device never finishes on its own; one whose device is
// unplugged while it is pending fails with STATUS_DEVICE_NOT_CONNECTED, as
// the HID class driver does on surprise removal.
#include <algorithm>
#include <cstring>
#include <optional>

#include "sim/SimPlatform.h"
#include "sim/SimPlatformState.h"

namespace sim {

using quillvane::Handle;

namespace {

constexpr std::uint32_t kStatusSuccess = 0;
constexpr std::uint32_t kStatusCancelled = 0xC0000120u;
constexpr std::uint32_t kStatusDeviceNotConnected = 0xC000009Du;
constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Writes one input report of `device` as of `at` into `buffer`: report id 0,
// the drawer's status byte, zeros. Gives the bytes written.
std::uint32_t WriteInputReport(SimHidDevice& device, std::uint8_t* buffer, std::uint32_t length,
                               std::uint64_t at) {
  const std::uint32_t bytes = std::min<std::uint32_t>(length, device.Config().inputReportLength);
  if (bytes == 0) return 0;
  std::memset(buffer, 0, bytes);
  if (bytes > 1) buffer[1] = device.Drawer().StatusByteAt(at);
  return bytes;
}

}  // namespace

// --- State: finishing reads -------------------------------------------------

void SimPlatform::State::SignalEvent(Handle event) {
  auto it = handles.find(event);
  if (it != handles.end() && it->second.kind == HandleKind::Event) {
    it->second.signalled = true;
  }
}

void SimPlatform::State::CompleteRead(std::size_t index, std::uint64_t at) {
  const PendingRead read = reads[index];
  reads.erase(reads.begin() + static_cast<std::ptrdiff_t>(index));
  const std::uint32_t bytes =
      WriteInputReport(*platform.mDevices[read.device], read.buffer, read.length, at);
  read.overlapped->Internal = kStatusSuccess;
  read.overlapped->InternalHigh = bytes;
  SignalEvent(read.event);
}

void SimPlatform::State::FailRead(std::size_t index, std::uint32_t status) {
  const PendingRead read = reads[index];
  reads.erase(reads.begin() + static_cast<std::ptrdiff_t>(index));
  read.overlapped->Internal = status;
  read.overlapped->InternalHigh = 0;
  SignalEvent(read.event);
}

void SimPlatform::State::CompleteDueReads() {
  const std::uint64_t now = platform.mClock.Now();
  std::size_t i = 0;
  while (i < reads.size()) {
    const PendingRead& read = reads[i];
    const HidDeviceFaults& faults = platform.mDevices[read.device]->mFaults;
    if (read.cancelledLate) {
      ++i;
    } else if (faults.unplugged) {
      FailRead(i, kStatusDeviceNotConnected);
    } else if (!faults.silent && read.due <= now) {
      CompleteRead(i, read.due);
    } else {
      ++i;
    }
  }
}

void SimPlatform::State::LandLateReads() {
  std::size_t i = 0;
  while (i < reads.size()) {
    if (reads[i].cancelledLate) {
      CompleteRead(i, platform.mClock.Now());
    } else {
      ++i;
    }
  }
}

void SimPlatform::State::CancelReadsOf(Handle file) {
  std::size_t i = 0;
  while (i < reads.size()) {
    PendingRead& read = reads[i];
    if (read.file != file || read.cancelledLate) {
      ++i;
    } else if (platform.mDevices[read.device]->mFaults.cancelCompletesLate) {
      read.cancelledLate = true;
      ++i;
    } else {
      FailRead(i, kStatusCancelled);
    }
  }
}

// --- kernel32: events -------------------------------------------------------

// Names are not modelled: every call gives a fresh event.
Handle SimPlatform::CreateEventA(quillvane::SECURITY_ATTRIBUTES* lpEventAttributes,
                                 std::int32_t bManualReset, std::int32_t bInitialState,
                                 const char* lpName) {
  mState->Enter("CreateEventA", {lpEventAttributes != nullptr, bManualReset, bInitialState},
                lpName ? lpName : "<null>");
  HandleEntry entry;
  entry.kind = HandleKind::Event;
  entry.manualReset = bManualReset != 0;
  entry.signalled = bInitialState != 0;
  return mState->NewHandle(entry);
}

std::int32_t SimPlatform::ResetEvent(Handle hEvent) {
  mState->Enter("ResetEvent", {hEvent});
  mState->CompleteDueReads();
  HandleEntry* event = mState->Use("ResetEvent", hEvent, {HandleKind::Event});
  if (!event) return 0;
  event->signalled = false;
  return 1;
}

// An event that nothing will signal within the limit makes the clock jump
// by the limit. An infinite wait that nothing will end is a violation, as
// the thread would hang for good.
std::uint32_t SimPlatform::WaitForSingleObject(Handle hHandle, std::uint32_t dwMilliseconds) {
  mState->Enter("WaitForSingleObject", {hHandle, dwMilliseconds});
  mState->LandLateReads();
  HandleEntry* event = mState->Use("WaitForSingleObject", hHandle, {HandleKind::Event});
  if (!event) return quillvane::kWaitFailed;
  for (const PendingRead& read : mState->reads) {
    if (read.event == hHandle && mDevices[read.device]->mFaults.waitFails) {
      return mState->Fail(kErrorGenFailure, quillvane::kWaitFailed);
    }
  }
  auto consume = [&]() -> bool {
    HandleEntry& entry = mState->handles.at(hHandle);
    if (!entry.signalled) return false;
    if (!entry.manualReset) entry.signalled = false;
    return true;
  };
  mState->CompleteDueReads();
  if (consume()) return quillvane::kWaitObject0;

  std::optional<std::uint64_t> firstDue;
  for (const PendingRead& read : mState->reads) {
    if (read.event != hHandle || read.cancelledLate || mDevices[read.device]->mFaults.silent) {
      continue;
    }
    if (!firstDue || read.due < *firstDue) firstDue = read.due;
  }
  const std::uint64_t now = mClock.Now();
  if (firstDue && (dwMilliseconds == kInfinite || *firstDue <= now + dwMilliseconds)) {
    mClock.AdvanceTo(*firstDue);
    mState->CompleteDueReads();
    if (consume()) return quillvane::kWaitObject0;
  }
  if (dwMilliseconds == kInfinite) {
    mState->Violation("WaitForSingleObject: infinite wait on event " + State::Hex(hHandle) +
                      " that nothing will signal");
    return mState->Fail(kErrorInvalidParameter, quillvane::kWaitFailed);
  }
  mClock.AdvanceTo(now + dwMilliseconds);
  mState->CompleteDueReads();
  return quillvane::kWaitTimeout;
}

// --- kernel32: reads --------------------------------------------------------

std::int32_t SimPlatform::ReadFile(Handle hFile, void* lpBuffer, std::uint32_t nNumberOfBytesToRead,
                                   std::uint32_t* lpNumberOfBytesRead,
                                   quillvane::OVERLAPPED* lpOverlapped) {
  mState->Enter("ReadFile", {hFile, nNumberOfBytesToRead, lpOverlapped != nullptr});
  mState->LandLateReads();
  mState->CompleteDueReads();
  HandleEntry* file = mState->Use("ReadFile", hFile, {HandleKind::File});
  if (!file) return 0;
  if (!lpBuffer && nNumberOfBytesToRead > 0) {
    mState->Violation("ReadFile: null buffer on handle " + State::Hex(hFile));
    return mState->Fail(kErrorInvalidParameter, 0);
  }
  const std::size_t deviceIndex = file->device;
  SimHidDevice& device = *mDevices[deviceIndex];
  auto* buffer = static_cast<std::uint8_t*>(lpBuffer);

  if (!file->overlapped || !lpOverlapped) {
    if (file->overlapped || !(lpOverlapped || lpNumberOfBytesRead)) {
      mState->Violation("ReadFile: handle " + State::Hex(hFile) +
                        (file->overlapped ? " is overlapped but no OVERLAPPED was given"
                                          : " read without a byte count"));
      return mState->Fail(kErrorInvalidParameter, 0);
    }
    // A synchronous read blocks until the device's next report.
    if (device.mFaults.unplugged) return mState->Fail(kErrorDeviceNotConnected, 0);
    if (device.mFaults.silent) {
      mState->Violation("ReadFile: synchronous read on handle " + State::Hex(hFile) +
                        " of a silent device would block forever");
      return mState->Fail(kErrorInvalidParameter, 0);
    }
    mClock.AdvanceBy(device.mConfig.reportDelayMs);
    const std::uint32_t bytes =
        WriteInputReport(device, buffer, nNumberOfBytesToRead, mClock.Now());
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = bytes;
    if (lpOverlapped) {
      lpOverlapped->Internal = kStatusSuccess;
      lpOverlapped->InternalHigh = bytes;
      mState->SignalEvent(lpOverlapped->hEvent);
    }
    return 1;
  }

  for (const PendingRead& read : mState->reads) {
    if (read.overlapped == lpOverlapped) {
      mState->Violation("ReadFile: OVERLAPPED reused on handle " + State::Hex(hFile) +
                        " while its read on handle " + State::Hex(read.file) + " is pending");
      return mState->Fail(kErrorInvalidParameter, 0);
    }
  }
  const Handle event = lpOverlapped->hEvent;
  if (event != 0) {
    HandleEntry* entry = mState->Use("ReadFile", event, {HandleKind::Event});
    if (!entry) return 0;
    // The event turns non-signalled when the read is issued.
    entry->signalled = false;
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  if (device.mFaults.unplugged) return mState->Fail(kErrorDeviceNotConnected, 0);
  lpOverlapped->Internal = quillvane::kStatusPending;
  lpOverlapped->InternalHigh = 0;
  PendingRead read;
  read.device = deviceIndex;
  read.file = hFile;
  read.buffer = buffer;
  read.length = nNumberOfBytesToRead;
  read.overlapped = lpOverlapped;
  read.event = event;
  read.due = mClock.Now() + device.mConfig.reportDelayMs;
  mState->reads.push_back(read);
  return mState->Fail(kErrorIoPending, 0);
}

std::int32_t SimPlatform::CancelIo(Handle hFile) {
  mState->Enter("CancelIo", {hFile});
  mState->CompleteDueReads();
  if (!mState->Use("CancelIo", hFile, {HandleKind::File})) return 0;
  mState->CancelReadsOf(hFile);
  return 1;
}

// With bWait true this finishes the read at once: a late-cancelled read as
// cancelled, a normal one by waiting (the clock moves to its due time). A
// read of a silent device would wait forever: that is recorded as a
// violation and the call gives 0 with the read still pending.
std::int32_t SimPlatform::GetOverlappedResult(Handle hFile, quillvane::OVERLAPPED* lpOverlapped,
                                              std::uint32_t* lpNumberOfBytesTransferred,
                                              std::int32_t bWait) {
  mState->Enter("GetOverlappedResult",
                {hFile, lpOverlapped != nullptr, lpNumberOfBytesTransferred != nullptr, bWait});
  mState->CompleteDueReads();
  if (!mState->Use("GetOverlappedResult", hFile, {HandleKind::File})) return 0;
  if (!lpOverlapped || !lpNumberOfBytesTransferred) {
    mState->Violation("GetOverlappedResult: null OVERLAPPED or byte count");
    return mState->Fail(kErrorInvalidParameter, 0);
  }
  std::vector<PendingRead>& reads = mState->reads;
  std::size_t index = 0;
  while (index < reads.size() && reads[index].overlapped != lpOverlapped) ++index;
  if (index < reads.size()) {
    const PendingRead read = reads[index];
    if (read.file != hFile) {
      mState->Violation("GetOverlappedResult: OVERLAPPED belongs to a read on handle " +
                        State::Hex(read.file) + ", not " + State::Hex(hFile));
    }
    if (!bWait) return mState->Fail(kErrorIoIncomplete, 0);
    if (read.cancelledLate) {
      mState->FailRead(index, kStatusCancelled);
    } else if (mDevices[read.device]->mFaults.silent) {
      mState->Violation("GetOverlappedResult: read on handle " + State::Hex(read.file) +
                        " of a silent device would block forever");
      return mState->Fail(kErrorIoIncomplete, 0);
    } else {
      mClock.AdvanceTo(read.due);
      mState->CompleteDueReads();
    }
  }
  if (lpOverlapped->Internal == quillvane::kStatusPending) {
    return mState->Fail(kErrorIoIncomplete, 0);
  }
  *lpNumberOfBytesTransferred = lpOverlapped->InternalHigh;
  switch (lpOverlapped->Internal) {
    case kStatusSuccess:
      return 1;
    case kStatusCancelled:
      return mState->Fail(kErrorOperationAborted, 0);
    case kStatusDeviceNotConnected:
      return mState->Fail(kErrorDeviceNotConnected, 0);
    default:
      return mState->Fail(kErrorGenFailure, 0);
  }
}

}  // namespace sim
