#include "sim/DrawerModel.h"

namespace sim {

bool DrawerModel::IsOpenAt(std::uint64_t now) {
  Apply(now);
  return mOpen;
}

void DrawerModel::Pulse(std::uint64_t now) {
  Apply(now);
  ++mPulseCount;
  if (!mOpen) Open(now);
}

void DrawerModel::SetOpen(bool open, std::uint64_t now) {
  Apply(now);
  if (open && !mOpen) {
    Open(now);
  } else if (!open) {
    mOpen = false;
    mAutoShutDue.reset();
  }
}

void DrawerModel::ShutAt(std::uint64_t at) { mShutAt = at; }

void DrawerModel::Open(std::uint64_t now) {
  mOpen = true;
  mAutoShutDue.reset();
  if (mAutoShutAfter) mAutoShutDue = now + *mAutoShutAfter;
}

// Every state change applies the shuts due before it first, so a shut that
// fell due while the drawer was closed cannot shut a later opening.
void DrawerModel::Apply(std::uint64_t now) {
  if (mShutAt && *mShutAt <= now) {
    mOpen = false;
    mShutAt.reset();
    mAutoShutDue.reset();
  }
  if (mAutoShutDue && *mAutoShutDue <= now) {
    mOpen = false;
    mAutoShutDue.reset();
  }
}

}  // namespace sim
