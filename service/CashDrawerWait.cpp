// WaitForDrawerClose: wait until the drawer is shut, keeping the thread's
// messages flowing, and beep at a fixed cadence once it has stayed open past
// the time-out.
//
// The wait sleeps in the platform's message wait, on the event of the read in
// flight and on the thread's message queue, so it uses no processor time
// while nothing happens; every turn pumps the messages (poll ticks, beep
// ticks and the application's own messages go on) and takes the reports that
// have arrived.
#include <algorithm>

#include "contract/RuntimeError.h"
#include "service/CashDrawer.h"

namespace quillvane {

namespace {

// A pulse moves the drawer's switch some tens of milliseconds later: for this
// long after a pulse, a closed reading does not end the wait until the
// drawer has been seen open.
constexpr std::uint32_t kPulseGraceMs = 1000;
// With no read in flight (the last one could not be started), how often a
// turn tries again.
constexpr std::uint32_t kRetryMs = 50;

// TheTimer as the loops use it: CloseService may drop it while they pump.
CLiteTimer& Require(const std::shared_ptr<CLiteTimer>& objTimer) {
  if (!objTimer) throw RuntimeError(kErrObjectNotSet);
  return *objTimer;
}

}  // namespace

std::int32_t CashDrawer::WaitForDrawerClose(std::int32_t BeepTimeout, std::int32_t BeepFrequency,
                                            std::int32_t BeepDuration, std::int32_t BeepDelay) {
  return TraceMethod(
      mTrace, mApi, "WaitForDrawerClose", {BeepTimeout, BeepFrequency, BeepDuration, BeepDelay},
      [&] { return WaitUntilShut(BeepTimeout, BeepFrequency, BeepDuration, BeepDelay); });
}

std::int32_t CashDrawer::WaitUntilShut(std::int32_t BeepTimeout, std::int32_t BeepFrequency,
                                       std::int32_t BeepDuration, std::int32_t BeepDelay) {
  // A new timer replaces the one of an earlier (or an enclosing) call.
  rec.TheTimer = CLiteTimer::Create(mApi);
  BindTimer(*rec.TheTimer, &CashDrawer::TheTimer_Timer, "TheTimer_Timer");

  Require(rec.TheTimer).SetEnabled(kFalse);
  rec.blnTimerElapsed = kFalse;
  Require(rec.TheTimer).SetInterval(BeepTimeout);
  Require(rec.TheTimer).SetEnabled(kTrue);

  // Only a report that arrives during this call can show the drawer shut.
  const std::uint64_t lngReportsBefore = mReadChannel.ReportCount();

  // Wait for the time-out, or for the drawer to be shut first.
  for (;;) {
    const WaitTurn turn = TurnOfWait(lngReportsBefore);
    if (turn == WaitTurn::kQuitting) return EndWait(OPOS_E_FAILURE);
    if (turn == WaitTurn::kLost) return EndWait(OPOS_E_NOHARDWARE);
    if (turn == WaitTurn::kShut || rec.blnTimerElapsed != kFalse) break;
    if (!SleepUntilNews()) return EndWait(OPOS_E_FAILURE);
  }

  Require(rec.TheTimer).SetEnabled(kFalse);
  Require(rec.TheTimer).SetInterval(BeepDelay);
  Require(rec.TheTimer).SetEnabled(kTrue);
  rec.blnTimerElapsed = kFalse;

  // Beep once per BeepDelay until the drawer is shut; runs at least once.
  for (;;) {
    const WaitTurn turn = TurnOfWait(lngReportsBefore);
    if (turn == WaitTurn::kQuitting) return EndWait(OPOS_E_FAILURE);
    if (turn == WaitTurn::kLost) return EndWait(OPOS_E_NOHARDWARE);
    if (rec.blnTimerElapsed != kFalse) {
      mApi.Beep(static_cast<std::uint32_t>(BeepFrequency),
                static_cast<std::uint32_t>(BeepDuration));
      rec.blnTimerElapsed = kFalse;
    }
    if (turn == WaitTurn::kShut) break;
    if (!SleepUntilNews()) return EndWait(OPOS_E_FAILURE);
  }

  Require(rec.TheTimer).SetEnabled(kFalse);
  return OPOS_SUCCESS;
}

CashDrawer::WaitTurn CashDrawer::TurnOfWait(std::uint64_t lngReportsBefore) {
  // The application is quitting: its own loop must see WM_QUIT, and the wait
  // cannot see the drawer shut without the messages it would dispatch.
  if (!mApi.PumpMessages()) return WaitTurn::kQuitting;
  // A handler run by the pump may have closed the instance.
  Require(rec.TheTimer);
  TakeReports(false);
  if (!mReadChannel.IsOpen()) return WaitTurn::kLost;
  if (mReadChannel.ReportCount() == lngReportsBefore || rec.blnDrawerOpened != kFalse) {
    return WaitTurn::kNotShut;
  }
  if (mlngPulseTick) {
    if (mApi.GetTickCount() - *mlngPulseTick < kPulseGraceMs) return WaitTurn::kNotShut;
    // The switch never moved: the drawer did not open, and it is shut.
    mlngPulseTick.reset();
  }
  return WaitTurn::kShut;
}

bool CashDrawer::SleepUntilNews() {
  const Handle hEvent = mReadChannel.PendingEvent();
  std::uint32_t lngTimeout = hEvent != 0 ? mReadChannel.MsUntilLost() : kRetryMs;
  if (mlngPulseTick) {
    // Wake when the grace ends, to let a closed reading count again.
    const std::uint32_t lngSincePulse = mApi.GetTickCount() - *mlngPulseTick;
    if (lngSincePulse < kPulseGraceMs) {
      lngTimeout = std::min(lngTimeout, kPulseGraceMs - lngSincePulse);
    }
  }
  return mApi.MsgWaitForMultipleObjects(hEvent != 0 ? 1 : 0, &hEvent, 0, lngTimeout, kQsAllInput) !=
         kWaitFailed;
}

std::int32_t CashDrawer::EndWait(std::int32_t lngResult) {
  if (rec.TheTimer) rec.TheTimer->SetEnabled(kFalse);
  return lngResult;
}

void CashDrawer::TheTimer_Timer() { rec.blnTimerElapsed = kTrue; }

}  // namespace quillvane
