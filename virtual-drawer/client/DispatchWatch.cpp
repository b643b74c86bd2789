#include "virtual-drawer/client/DispatchWatch.h"

#include <algorithm>

#include "virtual-drawer/client/ServiceObject.h"

namespace vdrawer {
namespace {

constexpr UINT kPeriodMs = 10;
// The watch of this thread; a thread timer's callback has no context.
thread_local DispatchWatch* tWatch = nullptr;

}  // namespace

DispatchWatch::DispatchWatch() {
  tWatch = this;
  mLast = NowTicks();
  mTimer = SetTimer(nullptr, 0, kPeriodMs, &DispatchWatch::OnTimer);
}

DispatchWatch::~DispatchWatch() {
  if (mTimer) KillTimer(nullptr, mTimer);
  if (tWatch == this) tWatch = nullptr;
}

void DispatchWatch::Restart() {
  mLast = NowTicks();
  mLongest = 0;
  mDispatches = 0;
}

double DispatchWatch::LongestGapMs() const {
  return std::max(mLongest, TicksToMs(NowTicks() - mLast));
}

void DispatchWatch::Record() {
  const std::int64_t now = NowTicks();
  mLongest = std::max(mLongest, TicksToMs(now - mLast));
  mLast = now;
  ++mDispatches;
}

void CALLBACK DispatchWatch::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (tWatch) tWatch->Record();
}

}  // namespace vdrawer
