#include "service/MLiteTimer.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "service/CLiteTimer.h"
#include "service/PlatformTypes.h"

namespace quillvane {
namespace MLiteTimer {

namespace {

// One running timer: its key and a reference that does not keep it alive.
struct TimerEntry {
  std::string strKey;
  std::weak_ptr<CLiteTimer> objTimer;
};

// The running timers of a thread, in the order they were started.
using TimerTable = std::vector<TimerEntry>;

// Each thread sees only its own table; none exists until a start is asked for.
thread_local std::unique_ptr<TimerTable> colTimers;
thread_local std::size_t lngDroppedErrors = 0;

TimerTable::iterator FindEntry(TimerTable& colTable, const std::string& strKey) {
  return std::find_if(colTable.begin(), colTable.end(),
                      [&strKey](const TimerEntry& entry) { return entry.strKey == strKey; });
}

// Removes the entry under lngTimerID's key, if any; drops the table once empty.
void RemoveEntry(TimerId lngTimerID) {
  if (!colTimers) return;
  auto it = FindEntry(*colTimers, TimerKey(lngTimerID));
  if (it != colTimers->end()) colTimers->erase(it);
  if (colTimers->empty()) colTimers.reset();
}

}  // namespace

std::string TimerKey(TimerId lngTimerID) {
  return "T" + std::to_string(static_cast<std::intptr_t>(lngTimerID));
}

TimerId StartTimer(ApiDeclarations& api, const std::shared_ptr<CLiteTimer>& objTimer,
                   std::int32_t lngInterval, TimerId lngTimerID) {
  if (!colTimers) colTimers = std::make_unique<TimerTable>();
  if (lngTimerID != 0 || lngInterval <= 0) return lngTimerID;

  const TimerId lngNewID = api.SetTimer(0, 0, static_cast<std::uint32_t>(lngInterval), &TimerProc);
  // A refused start records nothing: an entry under id 0 would never be
  // removed, since a stopped timer has nothing to stop.
  if (lngNewID == 0) return 0;

  std::string strKey = TimerKey(lngNewID);
  // The platform may hand out the id of a timer whose kill failed at its
  // teardown; that stale entry belongs to nobody now and gives way.
  auto it = FindEntry(*colTimers, strKey);
  if (it != colTimers->end()) colTimers->erase(it);
  colTimers->push_back(TimerEntry{std::move(strKey), objTimer});
  return lngNewID;
}

void StopTimer(ApiDeclarations& api, TimerId& lngTimerID) {
  if (!colTimers || lngTimerID == 0) return;
  if (api.KillTimer(0, lngTimerID) == 0) return;
  const TimerId lngStoppedID = lngTimerID;
  lngTimerID = 0;
  RemoveEntry(lngStoppedID);
}

void ForgetTimer(TimerId lngTimerID) {
  if (lngTimerID == 0) return;
  RemoveEntry(lngTimerID);
}

void TimerProc(Handle /*hwnd*/, std::uint32_t uMsg, TimerId idEvent, std::uint32_t /*dwTime*/) {
  if (uMsg != kWmTimer || !colTimers) return;

  // Walk a copy of the keys: a handler may start, stop or destroy timers, or
  // drop and recreate the table. Each key is looked up again before use, and
  // entries added meanwhile wait for the next tick.
  std::vector<std::string> colKeys;
  colKeys.reserve(colTimers->size());
  for (const TimerEntry& entry : *colTimers) colKeys.push_back(entry.strKey);

  for (const std::string& strKey : colKeys) {
    if (!colTimers) return;
    auto it = FindEntry(*colTimers, strKey);
    if (it == colTimers->end()) continue;
    // Our own owning reference while the event runs: a handler that releases
    // the last one of its owner does not destroy the timer under its feet.
    std::shared_ptr<CLiteTimer> objTimer = it->objTimer.lock();
    if (!objTimer) continue;
    try {
      objTimer->RaiseTimer(idEvent);
    } catch (...) {
      // The platform that called us cannot take an exception; count and drop.
      ++lngDroppedErrors;
    }
    // Letting go may tear the timer down here, which stops it; its destructor
    // throws nothing.
    objTimer.reset();
  }
}

bool HasTable() { return colTimers != nullptr; }

std::size_t TableSize() { return colTimers ? colTimers->size() : 0; }

std::size_t DroppedErrorCount() { return lngDroppedErrors; }

}  // namespace MLiteTimer
}  // namespace quillvane
