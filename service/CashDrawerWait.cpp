// WaitForDrawerClose: poll the drawer until it is shut, pumping the thread's
// messages on every turn, and beep at a fixed cadence once it has stayed open
// past the time-out.
#include "service/CashDrawer.h"
#include "service/RuntimeError.h"

namespace quillvane {

namespace {

// TheTimer as the loops use it: CloseService may drop it while they pump.
CLiteTimer& Require(const std::shared_ptr<CLiteTimer>& objTimer) {
  if (!objTimer) throw RuntimeError(kErrObjectNotSet);
  return *objTimer;
}

}  // namespace

std::int32_t CashDrawer::WaitForDrawerClose(std::int32_t BeepTimeout, std::int32_t BeepFrequency,
                                            std::int32_t BeepDuration, std::int32_t BeepDelay) {
  // A new timer replaces the one of an earlier (or an enclosing) call.
  rec.TheTimer = CLiteTimer::Create(mApi);
  BindTimer(*rec.TheTimer, &CashDrawer::TheTimer_Timer);

  Require(rec.TheTimer).SetEnabled(kFalse);
  rec.blnTimerElapsed = kFalse;
  Require(rec.TheTimer).SetInterval(BeepTimeout);
  Require(rec.TheTimer).SetEnabled(kTrue);

  // Wait for the time-out, or for the drawer to be shut first.
  for (;;) {
    mApi.PumpMessages();
    ReadDrawerStatus();
    if (rec.blnDrawerOpened == kFalse) break;
    if (rec.blnTimerElapsed != kFalse) break;
  }

  Require(rec.TheTimer).SetEnabled(kFalse);
  Require(rec.TheTimer).SetInterval(BeepDelay);
  Require(rec.TheTimer).SetEnabled(kTrue);
  rec.blnTimerElapsed = kFalse;

  // Beep once per BeepDelay until the drawer is shut; runs at least once.
  do {
    mApi.PumpMessages();
    ReadDrawerStatus();
    if (rec.blnTimerElapsed != kFalse) {
      mApi.Beep(static_cast<std::uint32_t>(BeepFrequency),
                static_cast<std::uint32_t>(BeepDuration));
      rec.blnTimerElapsed = kFalse;
    }
  } while (rec.blnDrawerOpened != kFalse);

  Require(rec.TheTimer).SetEnabled(kFalse);
  return OPOS_SUCCESS;
}

void CashDrawer::TheTimer_Timer() { rec.blnTimerElapsed = kTrue; }

}  // namespace quillvane
