// A stand-in for the control object in tests: records every call the service
// object makes on it, with the virtual time, and can fail a call or run code
// inside one (to pump messages re-entrantly, close the service, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "contract/ControlObject.h"
#include "sim/VirtualClock.h"

namespace sim {

struct RecordedCall {
  std::u16string name;
  std::int32_t value = 0;
  std::uint64_t at = 0;   // virtual time when the call arrived
  std::size_t depth = 0;  // calls of this object already in progress (0: not nested)
  bool rejected = false;  // the call failed (FailNextCall)
};

class RecordingControlObject final : public contract::AutomationObject {
 public:
  explicit RecordingControlObject(const VirtualClock& clock) : mClock(clock) {}

  // Records the call; then either fails it (when a failure is armed) or runs
  // the hook, if one is set.
  void CallMethod(const std::u16string& name, std::int32_t value) override;

  // The next call is recorded and then fails with this status, as a control
  // object that rejects it would; the hook does not run for it.
  void FailNextCall(std::int32_t hresult) { mFailNext = hresult; }

  // Runs inside every later call, after it is recorded; an exception it
  // throws becomes the call's failure. Pass nullptr to remove it.
  void SetHook(std::function<void(const RecordedCall&)> hook) { mHook = std::move(hook); }

  const std::vector<RecordedCall>& Calls() const { return mCalls; }
  // The values of the SOStatusUpdate calls that were accepted, in order.
  std::vector<std::int32_t> DeliveredCodes() const;
  void Clear() { mCalls.clear(); }

 private:
  const VirtualClock& mClock;
  std::vector<RecordedCall> mCalls;
  std::optional<std::int32_t> mFailNext;
  std::function<void(const RecordedCall&)> mHook;
  std::size_t mDepth = 0;
};

}  // namespace sim
