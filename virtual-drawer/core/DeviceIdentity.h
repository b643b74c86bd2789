// What a virtual HID device is, and how it is spelled in its pipe name.
//
// The device interface path of a virtual device is a message-mode named pipe
// whose name carries the ids and report lengths, so the replacement hid.dll
// can answer attribute and capability queries from the handle's name alone,
// without any I/O to the simulator:
//   \\.\pipe\vhid#vid_06e5&pid_04d2&in_8&out_8#1
// Portable: used by the simulator, the replacement DLLs and native tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace vdrawer {

struct DeviceIdentity {
  std::uint16_t vendorId = 0x06E5;
  std::uint16_t productId = 0x04D2;
  std::uint16_t inputLength = 8;
  std::uint16_t outputLength = 8;
  // Tells devices with the same ids apart; letters, digits, '-' and '_'.
  std::string serial = "1";
};

inline constexpr std::string_view kPipePrefix = R"(\\.\pipe\)";
inline constexpr std::string_view kNameTag = "vhid#";
// Largest report the simulator handles in either direction.
inline constexpr std::uint16_t kMaxReportLength = 1024;

inline bool IsSerialText(std::string_view serial) {
  if (serial.empty() || serial.size() > 32) return false;
  for (char c : serial) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

// The name after the pipe prefix: vhid#vid_06e5&pid_04d2&in_8&out_8#1.
inline std::string PipeNameOf(const DeviceIdentity& device) {
  char ids[64];
  std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x&in_%u&out_%u", device.vendorId,
                device.productId, static_cast<unsigned>(device.inputLength),
                static_cast<unsigned>(device.outputLength));
  return std::string(kNameTag) + ids + "#" + device.serial;
}

inline std::string PipePathOf(const DeviceIdentity& device) {
  return std::string(kPipePrefix) + PipeNameOf(device);
}

namespace detail {

// Reads an unsigned number in `base` that fills `text` entirely and fits in 16 bits.
inline std::optional<std::uint16_t> ParseField(std::string_view text, int base) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
  }
  if (value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

// Takes "<key><value>" off the front of `rest`, up to `separator`.
inline std::optional<std::uint16_t> TakeField(std::string_view& rest, std::string_view key,
                                              char separator, int base) {
  if (rest.substr(0, key.size()) != key) return std::nullopt;
  rest.remove_prefix(key.size());
  const std::size_t end = rest.find(separator);
  if (end == std::string_view::npos) return std::nullopt;
  std::optional<std::uint16_t> value = ParseField(rest.substr(0, end), base);
  rest.remove_prefix(end + 1);
  return value;
}

}  // namespace detail

// Reads a device back from a pipe path or from the name a handle reports
// (which may lack the \\.\pipe prefix or start with a backslash). Anything
// that is not exactly a virtual device name gives nothing.
inline std::optional<DeviceIdentity> ParseDeviceName(std::string_view name) {
  const std::size_t tag = name.find(kNameTag);
  if (tag == std::string_view::npos) return std::nullopt;
  std::string_view rest = name.substr(tag + kNameTag.size());
  DeviceIdentity device;
  const auto vendor = detail::TakeField(rest, "vid_", '&', 16);
  const auto product = detail::TakeField(rest, "pid_", '&', 16);
  const auto input = detail::TakeField(rest, "in_", '&', 10);
  const auto output = detail::TakeField(rest, "out_", '#', 10);
  if (!vendor || !product || !input || !output || !IsSerialText(rest)) return std::nullopt;
  if (*input > kMaxReportLength || *output > kMaxReportLength) return std::nullopt;
  device.vendorId = *vendor;
  device.productId = *product;
  device.inputLength = *input;
  device.outputLength = *output;
  device.serial = std::string(rest);
  return device;
}

}  // namespace vdrawer
