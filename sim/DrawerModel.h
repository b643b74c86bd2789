// The model of one cash drawer: open or closed on virtual time. A pulse
// opens it once the switch has moved (a real drawer's switch moves some tens
// of milliseconds after the pulse; the delay is 0 unless set); an operator
// shuts it, now, at a given virtual time, or a given time after each opening.
// Written once and used by the native simulated platform and by the virtual
// drawer, with the one report encoding of DrawerReports.h.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/DrawerReports.h"

namespace sim {

class DrawerModel {
 public:
  // The state at virtual time `now` (scheduled shuts up to `now` applied).
  bool IsOpenAt(std::uint64_t now);
  // A pulse report arrived at `now`: the drawer opens after the switch delay.
  void Pulse(std::uint64_t now);
  // Milliseconds from a pulse until the switch reads open.
  void SetSwitchDelay(std::uint64_t ms) { mSwitchDelay = ms; }
  std::uint64_t SwitchDelay() const { return mSwitchDelay; }
  // The operator opens or shuts the drawer by hand at `now`.
  void SetOpen(bool open, std::uint64_t now);
  // The operator will shut the drawer at virtual time `at`.
  void ShutAt(std::uint64_t at);
  // The operator shuts the drawer `ms` after each opening (none when empty).
  void SetAutoShutAfter(std::optional<std::uint64_t> ms) { mAutoShutAfter = ms; }

  // Byte 1 of an input report in this state (DrawerReports.h).
  std::uint8_t StatusByteAt(std::uint64_t now) { return StatusByte(IsOpenAt(now)); }
  std::uint32_t PulseCount() const { return mPulseCount; }

 private:
  void Apply(std::uint64_t now);

  // Marks the drawer open at `now`, scheduling the automatic shut.
  void Open(std::uint64_t now);

  bool mOpen = false;
  std::uint64_t mSwitchDelay = 0;
  // When the switch of a pulse still in its delay reads open.
  std::optional<std::uint64_t> mOpensAt;
  std::optional<std::uint64_t> mShutAt;
  // When the automatic shut of the current opening falls due.
  std::optional<std::uint64_t> mAutoShutDue;
  std::optional<std::uint64_t> mAutoShutAfter;
  std::uint32_t mPulseCount = 0;
};

}  // namespace sim
