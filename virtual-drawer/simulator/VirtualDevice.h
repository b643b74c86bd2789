// One virtual HID cash drawer as the simulator serves it: its identity, the
// drawer model, the faults switched on, and the output reports it received.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "sim/DrawerModel.h"
#include "sim/DrawerReports.h"
#include "virtual-drawer/core/DeviceIdentity.h"

namespace vdrawer {

struct OutputReport {
  std::uint64_t atMs = 0;  // simulator time it arrived
  std::vector<std::uint8_t> bytes;
};

struct VirtualDevice {
  // Output reports kept for the "reports" command; older ones are counted
  // only, so a simulator that runs for days does not grow.
  static constexpr std::size_t kKeptOutputs = 4096;

  DeviceIdentity identity;
  std::string pipePath;
  sim::DrawerModel drawer;
  std::optional<std::uint32_t> shutAfterMs;
  bool plugged = true;
  bool silent = false;
  bool failOpens = false;
  std::uint32_t reportSequence = 0;
  std::deque<OutputReport> outputs;  // the newest kKeptOutputs
  std::uint64_t outputCount = 0;     // all received

  // The input report a handle receives now: the drawer's input report
  // (sim/DrawerReports.h) and, when it is long enough, the report's sequence
  // number in bytes 4 to 7, little-endian, so tests can tell reports apart.
  // The service object reads byte 1 only.
  std::vector<std::uint8_t> NextInputReport(std::uint64_t nowMs) {
    std::vector<std::uint8_t> report(identity.inputLength, 0);
    const std::uint32_t sequence = ++reportSequence;
    sim::WriteInputReport(drawer.StatusByteAt(nowMs), report.data(), report.size());
    if (report.size() >= 8) {
      for (int i = 0; i < 4; ++i) report[4 + i] = static_cast<std::uint8_t>(sequence >> (8 * i));
    }
    return report;
  }

  // An output report from a client: recorded (its bytes only), and a pulse
  // (sim/DrawerReports.h) opens the drawer.
  void ReceiveOutput(const std::uint8_t* bytes, std::size_t size, std::uint64_t nowMs) {
    if (sim::ReadOutputReport(bytes, size) == sim::OutputCommand::kPulse) drawer.Pulse(nowMs);
    if (outputs.size() >= kKeptOutputs) outputs.pop_front();
    outputs.push_back(OutputReport{nowMs, std::vector<std::uint8_t>(bytes, bytes + size)});
    ++outputCount;
  }
};

}  // namespace vdrawer
