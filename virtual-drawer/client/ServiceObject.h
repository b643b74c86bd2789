// quillvane.CashDrawer as the control object uses it: created by its
// programmatic identifier and called late-bound, by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace vdrawer {

// One argument of a late-bound call.
struct Arg {
  enum class Kind { kLong, kText, kDispatchByRef } kind;
  long number = 0;
  std::wstring text;
  IDispatch* object = nullptr;
  static Arg Long(long value) { return Arg{Kind::kLong, value, {}, nullptr}; }
  static Arg Text(std::wstring value) { return Arg{Kind::kText, 0, std::move(value), nullptr}; }
  static Arg Object(IDispatch* value) { return Arg{Kind::kDispatchByRef, 0, {}, value}; }
};

class ServiceObject {
 public:
  // False (with `error` filled) when the class cannot be created.
  bool Create(std::string* error);
  // Calls method `name` with `args` in their declared order. Gives the call's
  // HRESULT; `result` gets a numeric return value (0 when there is none).
  HRESULT Call(const wchar_t* name, const std::vector<Arg>& args, long* result);
  // The same, for the result alone: a failed call gives `failed`.
  long CallLong(const wchar_t* name, const std::vector<Arg>& args = {}, long failed = -99999);
  void Release() { mObject.Reset(); }

 private:
  win32kit::ComRef<IDispatch> mObject;
};

// Runs the thread's message loop for `ms` milliseconds, or until `done`
// gives true, checked after every message and at least every 5 ms. The time
// is checked after every message too: a thread held by a dispatch always
// finds a timer due when it comes back. `dispatch` handles each message.
template <typename Done, typename Dispatch>
bool PumpUntil(DWORD ms, Done done, Dispatch dispatch) {
  const DWORD started = GetTickCount();
  while (true) {
    MSG message;
    while (GetTickCount() - started < ms && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      dispatch(message);
      if (done()) return true;
    }
    if (done()) return true;
    const DWORD elapsed = GetTickCount() - started;
    if (elapsed >= ms) return false;
    const DWORD left = ms - elapsed;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 5 ? left : 5, QS_ALLINPUT);
  }
}

inline void DispatchOne(const MSG& message) {
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

template <typename Done>
bool PumpUntil(DWORD ms, Done done) {
  return PumpUntil(ms, done, &DispatchOne);
}

inline void PumpFor(DWORD ms) {
  PumpUntil(ms, [] { return false; });
}

// Performance-counter ticks as milliseconds.
double TicksToMs(std::int64_t ticks);
std::int64_t NowTicks();

// Writes the logical device's configuration under the cash-drawer category
// key of HKEY_LOCAL_MACHINE: "PID" (decimal text) and the descriptions.
// RemoveDevice deletes it again.
bool ConfigureDevice(const std::string& name, const std::string& productId);
void RemoveDevice(const std::string& name);

}  // namespace vdrawer
