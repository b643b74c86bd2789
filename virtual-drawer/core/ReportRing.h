// The input reports waiting for one open handle of a virtual HID device, kept
// the way the HID class driver keeps them: a ring of 32 reports per handle,
// the oldest dropped when a new one arrives and the ring is full.
//
// A report leaves the ring in two steps. It is first handed to the pipe (in
// flight) and only then read by the client; the pipe is made so that it holds
// at most that one report. While in flight it still counts as held: when the
// ring overflows and the in-flight report is the oldest, it must be withdrawn
// from the pipe (the caller cancels the write), else the client would read a
// report older than the driver would ever give it.
// Portable and single-threaded.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <utility>

namespace vdrawer {

template <typename Report>
class ReportRing {
 public:
  static constexpr std::size_t kDefaultCapacity = 32;

  enum class Added {
    kQueued,           // room was left
    kDroppedOldest,    // the oldest waiting report was dropped to make room
    kWithdrawInFlight  // the in-flight report is the one to drop: cancel its write
  };

  explicit ReportRing(std::size_t capacity = kDefaultCapacity) : mCapacity(capacity) {}

  Added Add(Report report) {
    Added result = Added::kQueued;
    if (mCapacity == 0) return Added::kDroppedOldest;
    if (Count() >= mCapacity) {
      if (mOutstanding == Outstanding::kInFlight) {
        mOutstanding = Outstanding::kWithdrawing;
        result = Added::kWithdrawInFlight;
      } else {
        mWaiting.pop_front();
        result = Added::kDroppedOldest;
      }
    }
    mWaiting.push_back(std::move(report));
    return result;
  }

  // The oldest waiting report, now in flight; nothing while a delivery (or
  // its withdrawal) is outstanding or when no report waits.
  std::optional<Report> StartDelivery() {
    if (mOutstanding != Outstanding::kNone || mWaiting.empty()) return std::nullopt;
    Report report = std::move(mWaiting.front());
    mWaiting.pop_front();
    mOutstanding = Outstanding::kInFlight;
    return report;
  }

  // The outstanding write finished: read by the client, or withdrawn.
  void DeliveryEnded() { mOutstanding = Outstanding::kNone; }

  // Drops every held report. True when the in-flight one must be withdrawn.
  bool Flush() {
    mWaiting.clear();
    if (mOutstanding != Outstanding::kInFlight) return false;
    mOutstanding = Outstanding::kWithdrawing;
    return true;
  }

  // Reports the client can still read, the in-flight one included.
  std::size_t Count() const {
    return mWaiting.size() + (mOutstanding == Outstanding::kInFlight ? 1 : 0);
  }
  bool DeliveryOutstanding() const { return mOutstanding != Outstanding::kNone; }
  const std::deque<Report>& Waiting() const { return mWaiting; }

 private:
  enum class Outstanding { kNone, kInFlight, kWithdrawing };

  std::size_t mCapacity;
  std::deque<Report> mWaiting;
  Outstanding mOutstanding = Outstanding::kNone;
};

}  // namespace vdrawer
