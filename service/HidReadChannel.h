// The drawer's input reports: the overlapped read handle and the one read in
// flight on it, with its event, buffer and OVERLAPPED record. One owner, so
// starting, taking, cancelling and closing a read happen in one place.
//
// One read stays in flight from one call to the next. Take() never waits: it
// takes every report that has already arrived (the newest wins) and starts
// the next read. Await() does the same and, when nothing has arrived, waits
// once for the read in flight, at most until the device has been silent for
// the read time-out. A read that finishes with an error or with fewer bytes
// than a report is not an answer. The device is lost when it sends nothing
// for the read time-out (counted across calls on the platform's tick count)
// or when a read fails because the device is gone: the read in flight is then
// cancelled and finished and the read handle closed; after that nothing is
// started and nothing waits.
//
// The members keep the names of the service object's record fields they were.
// Single-threaded: every call comes from the thread that owns the instance.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "service/ApiDeclarations.h"
#include "service/PlatformHandle.h"

namespace quillvane {

class CTrace;

// True for the errors with which a read or write says that the device is
// gone (unplugged, or, for a device behind a pipe, its other end closed).
bool IsDeviceGoneError(std::uint32_t lngError);

class HidReadChannel {
 public:
  // The longest a device may stay silent before it counts as lost.
  static constexpr std::uint32_t kReadTimeoutMs = 6000;
  // Reads one take makes at most: the driver keeps 32 reports per handle.
  static constexpr int kMaxReadsPerTake = 64;

  // What a take or a wait brought.
  struct Taken {
    bool blnReport = false;     // at least one whole report arrived
    std::uint8_t bytState = 0;  // byte 1 of the newest one (0 for a 1-byte report)
    bool blnLost = false;       // the device is lost (now or before); the channel is closed
  };

  explicit HidReadChannel(ApiDeclarations& api);
  // Cancels and finishes the read in flight and closes both handles.
  ~HidReadChannel();

  HidReadChannel(const HidReadChannel&) = delete;
  HidReadChannel& operator=(const HidReadChannel&) = delete;

  // Takes an open overlapped read handle of the device, whose input reports
  // are lngReportLength bytes long, closing whatever the channel held. The
  // event is created on first use (manual reset, not signalled, not
  // inheritable) and kept. False, with the handle closed, when no event can
  // be had. The silence is counted from here.
  bool Open(UniqueFileHandle readHandle, std::uint32_t lngReportLength);
  bool IsOpen() const { return readHandle.IsOpen(); }

  Taken Take();
  Taken Await();

  // The event of the read in flight, for a wait that also waits for other
  // things; 0 when no read is in flight.
  Handle PendingEvent() const;
  // Milliseconds left until the device counts as lost (0 when it does).
  std::uint32_t MsUntilLost();
  // Whole reports taken since the channel was made; it only grows.
  std::uint64_t ReportCount() const { return mlngReports; }
  // Where input reports (level 4) and read failures (level 1) are traced;
  // none by default. The trace must outlive the channel.
  void SetTrace(CTrace* trace) { mpTrace = trace; }

  // Cancels and finishes the read in flight and closes the read handle; the
  // event stays for the next Open.
  void Close();
  // Close, and the event too: the channel is as new.
  void Release();

 private:
  // The buffer and OVERLAPPED record of the read in flight. They must stay
  // valid until the platform has finished that read, so they live apart from
  // the channel: a read the platform never lets finish keeps them for good.
  struct ReadSlot {
    OVERLAPPED readOverlapped{};
    std::vector<std::uint8_t> buffer;
  };

  // Starts a read. False when none could be started (the device may be
  // lost then).
  bool StartRead(Taken& taken);
  // Takes the finished read in flight. False when it was no answer (an
  // error, too short, or the device lost).
  bool FinishRead(Taken& taken);
  bool ReadFinished() const;
  void Lose(Taken& taken);
  void TraceError(const std::string& strRecord);

  CTrace* mpTrace = nullptr;

  ApiDeclarations& mApi;
  UniqueFileHandle readHandle;
  UniqueEventHandle eventObject;
  std::unique_ptr<ReadSlot> mSlot;
  std::uint32_t mlngReportLength = 0;
  // A read was started and has not been taken yet.
  bool mblnInFlight = false;
  std::uint32_t mlngLastReportTick = 0;
  std::uint64_t mlngReports = 0;
};

}  // namespace quillvane
