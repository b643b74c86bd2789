// How freely this thread turns its message loop. A 10 ms timer of the
// watch's own records every time it is dispatched, by the test's pump or by
// one the service object turns inside a call, so the longest gap between two
// dispatches is the longest time the thread was held. One watch per thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "win32kit/WinHeaders.h"

namespace vdrawer {

class DispatchWatch {
 public:
  DispatchWatch();
  ~DispatchWatch();
  DispatchWatch(const DispatchWatch&) = delete;
  DispatchWatch& operator=(const DispatchWatch&) = delete;

  // Forgets the gaps so far: the next gap is measured from now.
  void Restart();
  // The longest gap since Restart, the time since the last dispatch included.
  double LongestGapMs() const;
  std::size_t Dispatches() const { return mDispatches; }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  void Record();

  UINT_PTR mTimer = 0;
  std::int64_t mLast = 0;
  double mLongest = 0;
  std::size_t mDispatches = 0;
};

}  // namespace vdrawer
