// What all CLiteTimer objects of a thread share: the table of running timers
// (one per thread, keyed "T" + id, insertion order, non-owning), the start and
// stop procedures, and the one system-timer callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "service/ApiDeclarations.h"

namespace quillvane {

class CLiteTimer;

namespace MLiteTimer {

// Starts a system timer for objTimer unless lngTimerID is already non-zero or
// lngInterval is below 1; returns the id the timer now has (new, or
// lngTimerID unchanged; 0 when the platform refused). Creates this thread's
// table if it has none.
TimerId StartTimer(ApiDeclarations& api, const std::shared_ptr<CLiteTimer>& objTimer,
                   std::int32_t lngInterval, TimerId lngTimerID);

// Kills the system timer and removes its entry, setting lngTimerID to 0. When
// KillTimer fails nothing changes. Drops the table when it becomes empty.
void StopTimer(ApiDeclarations& api, TimerId& lngTimerID);

// Removes the entry of a timer that is going away, whatever KillTimer said.
void ForgetTimer(TimerId lngTimerID);

// The system-timer callback: on WM_TIMER, offers the id to every running timer
// of this thread. No exception leaves it.
void TimerProc(Handle hwnd, std::uint32_t uMsg, TimerId idEvent, std::uint32_t dwTime);

// The key of a timer id in the table: "T" followed by the id in decimal, read
// as a signed number of pointer size (a leading minus from the top bit on).
std::string TimerKey(TimerId lngTimerID);

// For tests: whether this thread has a table, and how many entries it holds.
bool HasTable();
std::size_t TableSize();

// How many exceptions escaped a Timer handler on this thread and were
// dropped by TimerProc, since the thread started.
std::size_t DroppedErrorCount();

}  // namespace MLiteTimer
}  // namespace quillvane
