// The pending status codes of one CashDrawer, oldest first.
//
// A FIFO with constant-time enqueue and dequeue and no size limit. Before the
// first successful open the queue is not allocated: using it then raises
// error 9, as indexing an unallocated array does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace quillvane {

class StatusQueue {
 public:
  // Allocated and empty; anything queued before is dropped.
  void Reset();
  bool IsAllocated() const { return mblnAllocated; }
  void Enqueue(std::int32_t lngCode);
  // The oldest code, removed; -1 when the queue is empty.
  std::int32_t Dequeue();
  std::size_t Size() const { return mCodes.size(); }

 private:
  void RequireAllocated() const;

  bool mblnAllocated = false;
  std::deque<std::int32_t> mCodes;
};

}  // namespace quillvane
