// A periodic timer without a window. Its Timer event is raised on the thread
// that started it, from that thread's message loop (see MLiteTimer.h).
//
// Create timers with Create(): the running-timer table refers to them weakly,
// and the callback holds its own owning reference while it raises an event,
// so a handler may release the last owner of the timer it is handling.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "contract/OposConstants.h"
#include "service/ApiDeclarations.h"

namespace quillvane {

class CLiteTimer : public std::enable_shared_from_this<CLiteTimer> {
 public:
  // Creation hook: Interval 1000, stopped.
  static std::shared_ptr<CLiteTimer> Create(ApiDeclarations& api);
  // Teardown hook: stops the timer; its table entry never outlives it.
  ~CLiteTimer();

  CLiteTimer(const CLiteTimer&) = delete;
  CLiteTimer& operator=(const CLiteTimer&) = delete;

  // Enabled put: 0 stops; any other value starts the timer if it is stopped.
  void SetEnabled(Boolean blnEnabled);
  // Enabled get: -1 while running, else 0.
  Boolean GetEnabled() const;
  // Interval put: below 1 stops the timer and stores 0; otherwise a running
  // timer is restarted with the new period (new id, new phase).
  void SetInterval(std::int32_t lngInterval);
  std::int32_t GetInterval() const;

  // Raises Timer when lngTimerID is this timer's id; otherwise nothing.
  void RaiseTimer(TimerId lngTimerID);

  // The event. Called synchronously, on the owning thread, once per tick.
  std::function<void()> Timer;

 private:
  struct CreateKey {};

 public:
  CLiteTimer(CreateKey, ApiDeclarations& api);

 private:
  ApiDeclarations& mApi;
  std::int32_t mlngInterval = 1000;
  // The system timer's id as SetTimer gave it, pointer-sized; 0 while stopped.
  TimerId mlngTimerID = 0;
};

}  // namespace quillvane
