#include "sim/RecordingControlObject.h"

#include "contract/RuntimeError.h"

namespace sim {

void RecordingControlObject::CallMethod(const std::u16string& name, std::int32_t value) {
  RecordedCall call{name, value, mClock.Now(), mDepth, false};
  if (mFailNext) {
    const std::int32_t hresult = *mFailNext;
    mFailNext.reset();
    call.rejected = true;
    mCalls.push_back(call);
    throw quillvane::RuntimeError::Foreign(hresult, "call rejected by the control object");
  }
  mCalls.push_back(call);
  if (!mHook) return;

  // A copy: the hook may replace itself, and the call list may grow meanwhile.
  const auto hook = mHook;
  ++mDepth;
  try {
    hook(call);
  } catch (...) {
    --mDepth;
    throw;
  }
  --mDepth;
}

std::vector<std::int32_t> RecordingControlObject::DeliveredCodes() const {
  std::vector<std::int32_t> codes;
  for (const RecordedCall& call : mCalls) {
    if (!call.rejected && call.name == contract::kStatusUpdateMethod) codes.push_back(call.value);
  }
  return codes;
}

}  // namespace sim
