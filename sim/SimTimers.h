// Window-less system timers and the thread's message queue, on virtual time.
//
// A timer is due every `elapse` ms of virtual time from when it was set. Ticks
// fire only through PumpMessages, which posts at most one WM_TIMER per timer
// that is due (ticks that fell due while nobody pumped merge into one) and
// dispatches it to the timer's callback; the next tick is then due one period
// after the latest period boundary that has passed. Ids count down from 32767,
// as Wine's do, and are never reused while a timer lives. Where ids are 64-bit
// (UINT_PTR) they carry bit 32 as well, so that a core which squeezed one
// through 32 bits would lose it and fail.
//
// WM_QUIT comes after posted messages and before timer ticks, as on Windows:
// once the application has posted it, a pump dispatches what was posted
// before, then finds WM_QUIT, leaves it posted and dispatches no tick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "service/ApiDeclarations.h"
#include "sim/VirtualClock.h"

namespace sim {

class SimTimers {
 public:
  explicit SimTimers(VirtualClock& clock) : mClock(clock) {}

  // The first id handed out; the next ones count down from it.
  static constexpr quillvane::TimerId kIdBase =
      quillvane::kPointers64 ? (quillvane::TimerId{1} << 32) : 0;
  static constexpr quillvane::TimerId kFirstId = kIdBase + 32767;

  quillvane::TimerId SetTimer(quillvane::Handle hWnd, quillvane::TimerId nIDEvent,
                              std::uint32_t uElapse, quillvane::TimerCallback lpTimerFunc);
  std::int32_t KillTimer(quillvane::Handle hWnd, quillvane::TimerId uIDEvent);
  // False when it found WM_QUIT (left posted).
  bool PumpMessages();

  // The application's PostQuitMessage, and its own loop taking WM_QUIT.
  void PostQuitMessage(std::int32_t exitCode) { mQuit = exitCode; }
  bool QuitPosted() const { return mQuit.has_value(); }
  std::optional<std::int32_t> TakeQuit() { return std::exchange(mQuit, std::nullopt); }

  // Whether a pump now would find something: a posted message, WM_QUIT or a
  // due tick; and when the next tick falls due (none without live timers).
  bool HasInput() const;
  std::optional<std::uint64_t> NextDue() const;

  // Posts a message other than WM_TIMER to every live timer's callback at the
  // next pump (to check that callbacks ignore it).
  void PostForeignMessage(std::uint32_t uMsg);

  // Faults.
  void SetRefuseSetTimer(bool refuse) { mRefuseSetTimer = refuse; }
  void SetFailKillTimer(bool fail) { mFailKillTimer = fail; }

  // Inspection.
  std::size_t LiveTimerCount() const;
  bool IsLive(quillvane::TimerId id) const;
  std::uint32_t IntervalOf(quillvane::TimerId id) const;  // 0 when not live
  // Virtual time at which the timer is next due (0 when not live).
  std::uint64_t NextDueOf(quillvane::TimerId id) const;
  std::size_t PumpCount() const { return mPumpCount; }
  std::size_t DispatchedTickCount() const { return mDispatchedTicks; }

 private:
  struct Timer {
    quillvane::TimerId id;
    std::uint32_t elapse;
    quillvane::TimerCallback callback;
    std::uint64_t nextDue;
  };

  VirtualClock& mClock;
  std::vector<Timer> mTimers;
  std::vector<std::uint32_t> mForeignMessages;
  quillvane::TimerId mNextId = kFirstId;
  bool mRefuseSetTimer = false;
  bool mFailKillTimer = false;
  std::size_t mPumpCount = 0;
  std::size_t mDispatchedTicks = 0;
  std::optional<std::int32_t> mQuit;
};

// The beeper: records each tone with its virtual time; a tone takes its
// duration of virtual time, as Beep returns only when it has finished.
struct BeepRecord {
  std::uint32_t frequency;
  std::uint32_t duration;
  std::uint64_t at;
};

class SimBeeper {
 public:
  explicit SimBeeper(VirtualClock& clock) : mClock(clock) {}
  std::int32_t Beep(std::uint32_t dwFreq, std::uint32_t dwDuration);
  const std::vector<BeepRecord>& Beeps() const { return mBeeps; }

 private:
  VirtualClock& mClock;
  std::vector<BeepRecord> mBeeps;
};

}  // namespace sim
