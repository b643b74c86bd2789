#include "service/CLiteTimer.h"

#include "service/MLiteTimer.h"

namespace quillvane {

std::shared_ptr<CLiteTimer> CLiteTimer::Create(ApiDeclarations& api) {
  return std::make_shared<CLiteTimer>(CreateKey{}, api);
}

CLiteTimer::CLiteTimer(CreateKey, ApiDeclarations& api) : mApi(api) {}

CLiteTimer::~CLiteTimer() {
  try {
    MLiteTimer::StopTimer(mApi, mlngTimerID);
  } catch (...) {
    // A platform that cannot be reached cannot stop the timer either; what
    // matters here is the entry, handled below.
  }
  // KillTimer failed (or could not be called): the system timer may keep
  // ticking, but its ticks must not find this object any more.
  if (mlngTimerID != 0) MLiteTimer::ForgetTimer(mlngTimerID);
}

void CLiteTimer::SetEnabled(Boolean blnEnabled) {
  if (blnEnabled == kFalse) {
    MLiteTimer::StopTimer(mApi, mlngTimerID);
  } else if (mlngTimerID == 0) {
    mlngTimerID = MLiteTimer::StartTimer(mApi, shared_from_this(), mlngInterval, mlngTimerID);
  }
}

Boolean CLiteTimer::GetEnabled() const { return ToBoolean(mlngTimerID != 0); }

void CLiteTimer::SetInterval(std::int32_t lngInterval) {
  if (lngInterval < 1) {
    mlngInterval = 0;
    MLiteTimer::StopTimer(mApi, mlngTimerID);
  } else if (mlngTimerID != 0) {
    // Every put restarts a running timer, the same period included.
    MLiteTimer::StopTimer(mApi, mlngTimerID);
    mlngTimerID = MLiteTimer::StartTimer(mApi, shared_from_this(), lngInterval, mlngTimerID);
    mlngInterval = lngInterval;
  } else {
    mlngInterval = lngInterval;
  }
}

std::int32_t CLiteTimer::GetInterval() const { return mlngInterval; }

void CLiteTimer::RaiseTimer(TimerId lngTimerID) {
  if (mlngTimerID == 0 || lngTimerID != mlngTimerID || !Timer) return;
  // Call a copy: the handler may replace Timer while it runs.
  std::function<void()> objHandler = Timer;
  objHandler();
}

}  // namespace quillvane
