#include "sim/SimTimers.h"

#include <algorithm>
#include <utility>

#include "service/PlatformTypes.h"

namespace sim {

quillvane::TimerId SimTimers::SetTimer(quillvane::Handle /*hWnd*/, quillvane::TimerId /*nIDEvent*/,
                                       std::uint32_t uElapse,
                                       quillvane::TimerCallback lpTimerFunc) {
  if (mRefuseSetTimer) return 0;
  // A period of 0 would be due on every pump; treat it as the shortest one.
  const std::uint32_t elapse = std::max<std::uint32_t>(uElapse, 1);
  // Ids run down from kFirstId and wrap back to it, skipping live ones.
  const auto Next = [](quillvane::TimerId id) { return id <= kIdBase + 1 ? kFirstId : id - 1; };
  quillvane::TimerId id = mNextId;
  while (IsLive(id)) id = Next(id);
  mNextId = Next(id);
  mTimers.push_back(Timer{id, elapse, lpTimerFunc, mClock.Now() + elapse});
  return id;
}

std::int32_t SimTimers::KillTimer(quillvane::Handle /*hWnd*/, quillvane::TimerId uIDEvent) {
  if (mFailKillTimer) return 0;
  auto it = std::find_if(mTimers.begin(), mTimers.end(),
                         [uIDEvent](const Timer& timer) { return timer.id == uIDEvent; });
  if (it == mTimers.end()) return 0;
  mTimers.erase(it);
  return 1;
}

bool SimTimers::PumpMessages() {
  ++mPumpCount;

  // Messages posted before this pump go first, as WM_TIMER is only made when
  // the queue holds nothing else. Taken out before dispatch so a nested pump
  // does not deliver them again.
  std::vector<std::uint32_t> foreign;
  foreign.swap(mForeignMessages);
  for (std::uint32_t message : foreign) {
    std::vector<std::pair<quillvane::TimerId, quillvane::TimerCallback>> targets;
    for (const Timer& timer : mTimers) targets.emplace_back(timer.id, timer.callback);
    for (const auto& [id, callback] : targets) {
      if (!IsLive(id) || callback == nullptr) continue;
      callback(0, message, id, static_cast<std::uint32_t>(mClock.Now()));
    }
  }
  if (mQuit) return false;

  // Snapshot of the timers due now: a callback may set, kill or pump.
  std::vector<quillvane::TimerId> due;
  for (const Timer& timer : mTimers) {
    if (timer.nextDue <= mClock.Now()) due.push_back(timer.id);
  }
  for (quillvane::TimerId id : due) {
    auto it = std::find_if(mTimers.begin(), mTimers.end(),
                           [id](const Timer& timer) { return timer.id == id; });
    // Killed meanwhile, or already served by a nested pump.
    if (it == mTimers.end()) continue;
    const std::uint64_t now = mClock.Now();
    if (it->nextDue > now) continue;
    // Every tick that fell due since the last one merges into this one; the
    // next is due at the first period boundary after now.
    const std::uint64_t missed = (now - it->nextDue) / it->elapse + 1;
    it->nextDue += missed * it->elapse;
    const quillvane::TimerCallback callback = it->callback;
    ++mDispatchedTicks;
    if (callback != nullptr) callback(0, quillvane::kWmTimer, id, static_cast<std::uint32_t>(now));
  }
  return true;
}

bool SimTimers::HasInput() const {
  if (!mForeignMessages.empty() || mQuit) return true;
  return std::any_of(mTimers.begin(), mTimers.end(),
                     [this](const Timer& timer) { return timer.nextDue <= mClock.Now(); });
}

std::optional<std::uint64_t> SimTimers::NextDue() const {
  std::optional<std::uint64_t> first;
  for (const Timer& timer : mTimers) {
    if (!first || timer.nextDue < *first) first = timer.nextDue;
  }
  return first;
}

void SimTimers::PostForeignMessage(std::uint32_t uMsg) { mForeignMessages.push_back(uMsg); }

std::size_t SimTimers::LiveTimerCount() const { return mTimers.size(); }

bool SimTimers::IsLive(quillvane::TimerId id) const {
  return std::any_of(mTimers.begin(), mTimers.end(),
                     [id](const Timer& timer) { return timer.id == id; });
}

std::uint32_t SimTimers::IntervalOf(quillvane::TimerId id) const {
  for (const Timer& timer : mTimers) {
    if (timer.id == id) return timer.elapse;
  }
  return 0;
}

std::uint64_t SimTimers::NextDueOf(quillvane::TimerId id) const {
  for (const Timer& timer : mTimers) {
    if (timer.id == id) return timer.nextDue;
  }
  return 0;
}

std::int32_t SimBeeper::Beep(std::uint32_t dwFreq, std::uint32_t dwDuration) {
  mBeeps.push_back(BeepRecord{dwFreq, dwDuration, mClock.Now()});
  mClock.AdvanceBy(dwDuration);
  return 1;
}

}  // namespace sim
