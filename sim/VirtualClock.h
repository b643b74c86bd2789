// Virtual milliseconds since the simulated machine started.
#pragma once

#include <cstdint>

namespace sim {

class VirtualClock {
 public:
  std::uint64_t Now() const { return mNow; }
  void AdvanceBy(std::uint64_t ms) { mNow += ms; }
  // Moves forward to `ms`; never backwards.
  void AdvanceTo(std::uint64_t ms) {
    if (ms > mNow) mNow = ms;
  }

 private:
  std::uint64_t mNow = 0;
};

}  // namespace sim
