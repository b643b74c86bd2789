#include "service/StatusQueue.h"

#include "contract/RuntimeError.h"

namespace quillvane {

void StatusQueue::Reset() {
  // A fresh deque gives back the memory a long frozen spell may have taken.
  mCodes = std::deque<std::int32_t>();
  mblnAllocated = true;
}

void StatusQueue::Enqueue(std::int32_t lngCode) {
  RequireAllocated();
  mCodes.push_back(lngCode);
}

std::int32_t StatusQueue::Dequeue() {
  RequireAllocated();
  if (mCodes.empty()) return -1;
  const std::int32_t lngCode = mCodes.front();
  mCodes.pop_front();
  return lngCode;
}

void StatusQueue::RequireAllocated() const {
  if (!mblnAllocated) throw RuntimeError(kErrSubscriptOutOfRange);
}

}  // namespace quillvane
