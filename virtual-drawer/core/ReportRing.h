// The input reports one open handle of a virtual HID device has not read
// yet, kept the way the HID class driver keeps them: up to 32, read oldest
// first, the oldest dropped when a new one arrives and 32 are held.
//
// The simulator hands each report to the handle's pipe as it comes, so that
// the client reads what is held back to back, without waiting, as it reads
// the driver's ring. A report in the pipe can be withdrawn (its write
// cancelled) but not changed, so keeping the pipe at the newest 32 costs a
// withdrawal and a write per report. That is paid while the client reads now
// and then; a handle nobody has read for `dormantAfterMs` is left alone:
// newer reports are only held here (the newest 32), at no cost. When such a
// client reads again it first gets a report from before the pause; the
// caller then withdraws what is still in the pipe and writes the held
// reports in its place.
// Portable and single-threaded; times are the caller's milliseconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace vdrawer {

template <typename Report>
class ReportRing {
 public:
  static constexpr std::size_t kDefaultCapacity = 32;
  static constexpr std::uint64_t kDefaultDormantAfterMs = 1000;

  enum class Added {
    kWrite,                   // the caller writes it to the pipe
    kWriteAndWithdrawOldest,  // the same, after withdrawing the oldest in the pipe
    kHeld                     // kept here: the handle has not been read for a while
  };

  explicit ReportRing(std::size_t capacity = kDefaultCapacity,
                      std::uint64_t dormantAfterMs = kDefaultDormantAfterMs)
      : mCapacity(capacity > 0 ? capacity : 1), mDormantAfterMs(dormantAfterMs) {}

  Added Add(const Report& report, std::uint64_t nowMs) {
    if (!mLastReadMs) mLastReadMs = nowMs;  // an open counts as a read
    if (mHeld.empty()) {
      if (mInPipe < mCapacity) {
        ++mInPipe;
        return Added::kWrite;
      }
      if (nowMs - *mLastReadMs < mDormantAfterMs) return Added::kWriteAndWithdrawOldest;
    }
    if (mHeld.size() >= mCapacity) mHeld.pop_front();
    mHeld.push_back(report);
    return Added::kHeld;
  }

  // The client read a report the caller wrote (not one it withdrew). Gives
  // the reports held back meanwhile, oldest first: the caller withdraws
  // every report still in the pipe and writes these in their place.
  std::deque<Report> Read(std::uint64_t nowMs) {
    mLastReadMs = nowMs;
    if (mInPipe > 0) --mInPipe;
    std::deque<Report> held = std::exchange(mHeld, {});
    if (!held.empty()) mInPipe = held.size();
    return held;
  }

  // Drops everything; the caller withdraws every report in the pipe.
  void Clear() {
    mHeld.clear();
    mInPipe = 0;
  }

  std::size_t InPipe() const { return mInPipe; }
  std::size_t Held() const { return mHeld.size(); }

 private:
  std::size_t mCapacity;
  std::uint64_t mDormantAfterMs;
  std::size_t mInPipe = 0;
  std::deque<Report> mHeld;
  std::optional<std::uint64_t> mLastReadMs;
};

}  // namespace vdrawer
