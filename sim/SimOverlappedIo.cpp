// Events, input reports and overlapped reads on the virtual clock.
//
// A device with open handles sends a report every report period. Reports
// are made lazily, when a platform call (or a test touching the device)
// catches the device up to the clock; each goes to the oldest read pending
// on each open handle of the device, or else into that handle's ring. A read
// of an unplugged device fails with STATUS_DEVICE_NOT_CONNECTED, as the HID
// class driver does on surprise removal.
#include <algorithm>
#include <cstring>
#include <optional>

#include "sim/DrawerReports.h"
#include "sim/SimPlatform.h"
#include "sim/SimPlatformState.h"

namespace sim {

using quillvane::Handle;

namespace {

constexpr std::uint32_t kStatusSuccess = 0;
constexpr std::uint32_t kStatusUnsuccessful = 0xC0000001u;
constexpr std::uint32_t kStatusCancelled = 0xC0000120u;
constexpr std::uint32_t kStatusDeviceNotConnected = 0xC000009Du;

// Writes `report` into `buffer`, cut to the buffer's length. Gives the
// bytes written.
std::uint32_t DeliverReport(const SimReport& report, std::uint8_t* buffer, std::uint32_t length) {
  const std::uint32_t bytes = std::min(length, report.length);
  WriteInputReport(report.status, buffer, bytes);
  return bytes;
}

std::uint64_t Period(const SimHidDevice& device) {
  return std::max<std::uint32_t>(device.Config().reportPeriodMs, 1);
}

}  // namespace

// --- State: reports and finishing reads -------------------------------------

void SimPlatform::State::SignalEvent(Handle event) {
  auto it = handles.find(event);
  if (it != handles.end() && it->second.kind == HandleKind::Event) {
    it->second.signalled = true;
  }
}

void SimPlatform::State::CompleteRead(std::size_t index, const SimReport& report) {
  const PendingRead read = reads[index];
  reads.erase(reads.begin() + static_cast<std::ptrdiff_t>(index));
  if (platform.mDevices[read.device]->mFaults.readsFail) {
    read.overlapped->Internal = kStatusUnsuccessful;
    read.overlapped->InternalHigh = 0;
  } else {
    read.overlapped->InternalHigh = DeliverReport(report, read.buffer, read.length);
    read.overlapped->Internal = kStatusSuccess;
  }
  SignalEvent(read.event);
}

void SimPlatform::State::FailRead(std::size_t index, std::uint32_t status) {
  const PendingRead read = reads[index];
  reads.erase(reads.begin() + static_cast<std::ptrdiff_t>(index));
  read.overlapped->Internal = status;
  read.overlapped->InternalHigh = 0;
  SignalEvent(read.event);
}

void SimPlatform::State::Deliver(std::size_t device, const SimReport& report) {
  for (Handle file : deviceFiles[device]) {
    auto pending = std::find_if(reads.begin(), reads.end(), [file](const PendingRead& read) {
      return read.file == file && !read.cancelledLate;
    });
    if (pending != reads.end()) {
      CompleteRead(static_cast<std::size_t>(pending - reads.begin()), report);
      continue;
    }
    std::deque<SimReport>& ring = handles.at(file).ring;
    if (ring.size() == kReportRingSize) ring.pop_front();
    ring.push_back(report);
  }
}

void SimPlatform::State::CatchUpDevice(std::size_t index) {
  if (!activeDevices.count(index)) return;
  SimHidDevice& device = *platform.mDevices[index];
  const std::uint64_t now = platform.mClock.Now();
  const std::uint64_t period = Period(device);
  if (device.mFaults.unplugged) {
    for (Handle file : deviceFiles[index]) {
      handles.at(file).ring.clear();
      std::size_t i = 0;
      while (i < reads.size()) {
        if (reads[i].file == file && !reads[i].cancelledLate) {
          FailRead(i, kStatusDeviceNotConnected);
        } else {
          ++i;
        }
      }
    }
  }
  while (device.mNextReportAt <= now) {
    const std::uint64_t due = (now - device.mNextReportAt) / period + 1;
    const bool pending = std::any_of(reads.begin(), reads.end(), [index](const PendingRead& read) {
      return read.device == index && !read.cancelledLate;
    });
    if (device.mFaults.unplugged || device.mFaults.silent) {
      device.mNextReportAt += due * period;  // nothing is sent meanwhile
      break;
    }
    if (!pending && due > kReportRingSize) {
      // Only the last reports can still be read: the rings keep 32.
      device.mNextReportAt += (due - kReportRingSize) * period;
      continue;
    }
    const std::uint64_t at = device.mNextReportAt;
    device.mNextReportAt += period;
    SimReport report;
    report.status = device.mDrawer.StatusByteAt(at);
    report.length = device.mConfig.inputReportLength;
    if (device.mFaults.shortReports && report.length > 0) --report.length;
    Deliver(index, report);
  }
}

void SimPlatform::State::CatchUp() {
  for (std::size_t device : activeDevices) CatchUpDevice(device);
}

void SimPlatform::State::LandLateReads() {
  std::size_t i = 0;
  while (i < reads.size()) {
    if (reads[i].cancelledLate) {
      SimHidDevice& device = *platform.mDevices[reads[i].device];
      SimReport report;
      report.status = device.mDrawer.StatusByteAt(platform.mClock.Now());
      report.length = device.mConfig.inputReportLength;
      CompleteRead(i, report);
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

std::optional<std::uint64_t> SimPlatform::State::NextCompletionFor(Handle event) const {
  std::optional<std::uint64_t> first;
  for (const PendingRead& read : reads) {
    const SimHidDevice& device = *platform.mDevices[read.device];
    if (read.event != event || read.cancelledLate || device.mFaults.silent) continue;
    if (!first || device.mNextReportAt < *first) first = device.mNextReportAt;
  }
  return first;
}

bool SimPlatform::State::AnyReadWillSignal(Handle event) const {
  return std::any_of(reads.begin(), reads.end(),
                     [event](const PendingRead& read) { return read.event == event; });
}

// --- kernel32: events -------------------------------------------------------

// Names are not modelled: every call gives a fresh event.
Handle SimPlatform::CreateEventA(quillvane::SECURITY_ATTRIBUTES* lpEventAttributes,
                                 std::int32_t bManualReset, std::int32_t bInitialState,
                                 const char* lpName) {
  mState->Enter("CreateEventA", LogArgs(lpEventAttributes != nullptr, bManualReset, bInitialState),
                lpName ? lpName : "<null>");
  HandleEntry entry;
  entry.kind = HandleKind::Event;
  entry.manualReset = bManualReset != 0;
  entry.signalled = bInitialState != 0;
  return mState->NewHandle(entry);
}

std::int32_t SimPlatform::ResetEvent(Handle hEvent) {
  mState->Enter("ResetEvent", LogArgs(hEvent));
  mState->CatchUp();
  HandleEntry* event = mState->Use("ResetEvent", hEvent, {HandleKind::Event});
  if (!event) return 0;
  event->signalled = false;
  return 1;
}

// The clock jumps to the moment the wait ends: the report that finishes a
// read signalling the event, or the limit. Waiting (for longer than 0 ms) on
// an event that no pending read will ever signal is a violation: on Windows
// the thread would sleep the whole limit for nothing, or hang for good.
std::uint32_t SimPlatform::WaitForSingleObject(Handle hHandle, std::uint32_t dwMilliseconds) {
  const Handle handles[] = {hHandle};
  mState->Enter("WaitForSingleObject", LogArgs(hHandle, dwMilliseconds));
  return WaitOn(handles, 1, dwMilliseconds, 0, "WaitForSingleObject");
}

std::uint32_t SimPlatform::MsgWaitForMultipleObjects(std::uint32_t nCount, const Handle* pHandles,
                                                     std::int32_t fWaitAll,
                                                     std::uint32_t dwMilliseconds,
                                                     std::uint32_t dwWakeMask) {
  mState->Enter("MsgWaitForMultipleObjects",
                LogArgs(nCount, pHandles != nullptr, fWaitAll, dwMilliseconds, dwWakeMask));
  if ((nCount > 0 && !pHandles) || fWaitAll != 0) {
    mState->Violation(
        "MsgWaitForMultipleObjects: " +
        std::string(fWaitAll ? "waiting for all handles is not modelled" : "null handle array"));
    return mState->Fail(kErrorInvalidParameter, quillvane::kWaitFailed);
  }
  return WaitOn(pHandles, nCount, dwMilliseconds, dwWakeMask, "MsgWaitForMultipleObjects");
}

std::uint32_t SimPlatform::WaitOn(const Handle* handles, std::uint32_t count,
                                  std::uint32_t milliseconds, std::uint32_t wakeMask,
                                  const char* function) {
  mState->CatchUp();
  mState->LandLateReads();
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!mState->Use(function, handles[i], {HandleKind::Event})) return quillvane::kWaitFailed;
    for (const PendingRead& read : mState->reads) {
      if (read.event == handles[i] && mDevices[read.device]->mFaults.waitFails) {
        return mState->Fail(kErrorGenFailure, quillvane::kWaitFailed);
      }
    }
  }
  // The first signalled handle (an auto-reset event is consumed), then input.
  auto ready = [&]() -> std::optional<std::uint32_t> {
    for (std::uint32_t i = 0; i < count; ++i) {
      HandleEntry& entry = mState->handles.at(handles[i]);
      if (!entry.signalled) continue;
      if (!entry.manualReset) entry.signalled = false;
      return quillvane::kWaitObject0 + i;
    }
    if (wakeMask != 0 && mTimers.HasInput()) return quillvane::kWaitObject0 + count;
    return std::nullopt;
  };
  if (std::optional<std::uint32_t> result = ready()) return *result;

  const bool infinite = milliseconds == quillvane::kInfinite;
  if (milliseconds > 0) {
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!mState->AnyReadWillSignal(handles[i])) {
        mState->Violation(std::string(function) + ": wait on event " + State::Hex(handles[i]) +
                          " that nothing will signal");
      }
    }
  }
  const std::uint64_t limit = mClock.Now() + (infinite ? 0 : milliseconds);
  for (;;) {
    std::optional<std::uint64_t> wake;
    for (std::uint32_t i = 0; i < count; ++i) {
      std::optional<std::uint64_t> due = mState->NextCompletionFor(handles[i]);
      if (due && (!wake || *due < *wake)) wake = due;
    }
    if (wakeMask != 0) {
      std::optional<std::uint64_t> due = mTimers.NextDue();
      if (due && (!wake || *due < *wake)) wake = due;
    }
    if (!wake && infinite) {
      mState->Violation(std::string(function) + ": infinite wait that nothing will end");
      return mState->Fail(kErrorInvalidParameter, quillvane::kWaitFailed);
    }
    if (!wake || (!infinite && *wake > limit)) break;
    mClock.AdvanceTo(*wake);
    mState->CatchUp();
    if (std::optional<std::uint32_t> result = ready()) return *result;
  }
  mClock.AdvanceTo(limit);
  mState->CatchUp();
  if (std::optional<std::uint32_t> result = ready()) return *result;
  return quillvane::kWaitTimeout;
}

// --- kernel32: reads --------------------------------------------------------

std::int32_t SimPlatform::ReadFile(Handle hFile, void* lpBuffer, std::uint32_t nNumberOfBytesToRead,
                                   std::uint32_t* lpNumberOfBytesRead,
                                   quillvane::OVERLAPPED* lpOverlapped) {
  mState->Enter("ReadFile", LogArgs(hFile, nNumberOfBytesToRead, lpOverlapped != nullptr));
  mState->CatchUp();
  mState->LandLateReads();
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
    // A synchronous read blocks until the handle has a report.
    if (device.mFaults.unplugged) return mState->Fail(kErrorDeviceNotConnected, 0);
    if (file->ring.empty()) {
      if (device.mFaults.silent) {
        mState->Violation("ReadFile: synchronous read on handle " + State::Hex(hFile) +
                          " of a silent device would block forever");
        return mState->Fail(kErrorInvalidParameter, 0);
      }
      mClock.AdvanceTo(device.mNextReportAt);
      mState->CatchUp();
      file = &mState->handles.at(hFile);
    }
    const SimReport report = file->ring.front();
    file->ring.pop_front();
    if (device.mFaults.readsFail) return mState->Fail(kErrorGenFailure, 0);
    const std::uint32_t bytes = DeliverReport(report, buffer, nNumberOfBytesToRead);
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
  file = &mState->handles.at(hFile);
  if (!file->ring.empty()) {
    // A report is waiting: the read finishes at once.
    const SimReport report = file->ring.front();
    file->ring.pop_front();
    if (device.mFaults.readsFail) {
      lpOverlapped->Internal = kStatusUnsuccessful;
      lpOverlapped->InternalHigh = 0;
      return mState->Fail(kErrorGenFailure, 0);
    }
    const std::uint32_t bytes = DeliverReport(report, buffer, nNumberOfBytesToRead);
    lpOverlapped->Internal = kStatusSuccess;
    lpOverlapped->InternalHigh = bytes;
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = bytes;
    mState->SignalEvent(event);
    return 1;
  }
  lpOverlapped->Internal = quillvane::kStatusPending;
  lpOverlapped->InternalHigh = 0;
  PendingRead read;
  read.device = deviceIndex;
  read.file = hFile;
  read.buffer = buffer;
  read.length = nNumberOfBytesToRead;
  read.overlapped = lpOverlapped;
  read.event = event;
  mState->reads.push_back(read);
  return mState->Fail(kErrorIoPending, 0);
}

std::int32_t SimPlatform::CancelIo(Handle hFile) {
  mState->Enter("CancelIo", LogArgs(hFile));
  mState->CatchUp();
  if (!mState->Use("CancelIo", hFile, {HandleKind::File})) return 0;
  mState->CancelReadsOf(hFile);
  return 1;
}

// With bWait true this finishes the read at once: a late-cancelled read as
// cancelled, a normal one by waiting (the clock moves to its device's next
// report). A read of a silent device would wait forever: that is recorded as
// a violation and the call gives 0 with the read still pending.
std::int32_t SimPlatform::GetOverlappedResult(Handle hFile, quillvane::OVERLAPPED* lpOverlapped,
                                              std::uint32_t* lpNumberOfBytesTransferred,
                                              std::int32_t bWait) {
  mState->Enter("GetOverlappedResult", LogArgs(hFile, lpOverlapped != nullptr,
                                               lpNumberOfBytesTransferred != nullptr, bWait));
  mState->CatchUp();
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
      mClock.AdvanceTo(mDevices[read.device]->mNextReportAt);
      mState->CatchUp();
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
