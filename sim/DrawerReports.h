// The drawer's HID reports, encoded once for every simulated drawer (the
// native simulated platform and the virtual drawer): what an input report
// holds for a state, and what an output report means.
//
// Input: report id 0, byte 1 with bit 7 set while the drawer is open, zeros
// after. Output: report id 0 with command byte 0xFF fires the drawer, 0x00
// is the idle report; anything else (another report id, another command,
// fewer than two bytes) means nothing to the drawer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

constexpr std::uint8_t kDrawerReportId = 0x00;
constexpr std::uint8_t kPulseCommand = 0xFF;
constexpr std::uint8_t kIdleCommand = 0x00;
constexpr std::uint8_t kDrawerOpenBit = 0x80;

// Byte 1 of an input report for the state.
constexpr std::uint8_t StatusByte(bool open) { return open ? kDrawerOpenBit : 0x00; }

// Writes an input report of `length` bytes (report id included) with
// `status` as byte 1 into `buffer`.
void WriteInputReport(std::uint8_t status, std::uint8_t* buffer, std::size_t length);

enum class OutputCommand { kPulse, kIdle, kOther };

// What the output report `bytes` (`size` bytes, report id included) asks of
// the drawer.
OutputCommand ReadOutputReport(const std::uint8_t* bytes, std::size_t size);

}  // namespace sim
