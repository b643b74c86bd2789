#include "sim/DrawerModel.h"

namespace sim {

bool DrawerModel::IsOpenAt(std::uint64_t now) {
  Apply(now);
  return mOpen;
}

void DrawerModel::Pulse(std::uint64_t now) {
  Apply(now);
  ++mPulseCount;
  if (mOpen || mOpensAt) return;
  if (mSwitchDelay == 0) {
    Open(now);
  } else {
    mOpensAt = now + mSwitchDelay;
  }
}

void DrawerModel::SetOpen(bool open, std::uint64_t now) {
  Apply(now);
  if (open && !mOpen) {
    mOpensAt.reset();  // opened by hand before the switch moved
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

// Applies the changes due by `now` in the order they fell due, so a shut that
// fell due while the drawer was closed cannot shut a later opening, and an
// opening still in its switch delay shuts only by a shut after it.
void DrawerModel::Apply(std::uint64_t now) {
  for (;;) {
    std::optional<std::uint64_t> next;
    for (const auto& due : {mOpensAt, mShutAt, mAutoShutDue}) {
      if (due && *due <= now && (!next || *due < *next)) next = due;
    }
    if (!next) return;
    if (mShutAt == next) {
      mOpen = false;
      mShutAt.reset();
      mAutoShutDue.reset();
    } else if (mAutoShutDue == next) {
      mOpen = false;
      mAutoShutDue.reset();
    } else {
      mOpensAt.reset();
      Open(*next);
    }
  }
}

}  // namespace sim
