// The simulator's control language: one command per request, words separated
// by blanks, for example "close", "unplug 2", "shut-after 300", "shut-after off 1",
// "switch-delay 80".
// A command without a serial acts on every device. Also the parser of a
// device given on the simulator's command line, vid:pid[:in:out[:serial]].
// Portable: used by the simulator, the control command and native tests.
#pragma once

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "virtual-drawer/core/DeviceIdentity.h"

namespace vdrawer {

enum class Verb {
  kStatus,        // one line per device
  kOpen,          // the operator opens the drawer by hand
  kClose,         // the operator shuts it
  kUnplug,        // every handle fails, the device leaves the bus
  kPlug,          // it comes back
  kSilence,       // no more input reports: reads time out
  kResume,        // reports flow again
  kFailOpens,     // new opens fail (the pipe is busy), open handles keep working
  kAcceptOpens,   // opens work again
  kShutAfter,     // the operator shuts the drawer N ms after each opening; "off" stops it
  kSwitchDelay,   // the drawer's switch reads open N ms after a pulse
  kRate,          // input reports every N ms
  kReports,       // the output reports received, one line each
  kClearReports,  // forget them
  kStop           // the simulator ends
};

struct ControlCommand {
  Verb verb = Verb::kStatus;
  std::optional<std::string> serial;    // none: every device
  std::optional<std::uint32_t> number;  // kShutAfter (none means off), kSwitchDelay, kRate
};

struct ParsedCommand {
  std::optional<ControlCommand> command;
  std::string error;  // why it was refused, when it was
};

namespace detail {

inline std::optional<std::uint32_t> ParseMilliseconds(std::string_view text) {
  if (text.empty() || text.size() > 7) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

struct VerbName {
  std::string_view name;
  Verb verb;
  bool takesNumber;
};

inline constexpr VerbName kVerbs[] = {
    {"status", Verb::kStatus, false},
    {"open", Verb::kOpen, false},
    {"close", Verb::kClose, false},
    {"unplug", Verb::kUnplug, false},
    {"plug", Verb::kPlug, false},
    {"silence", Verb::kSilence, false},
    {"resume", Verb::kResume, false},
    {"fail-opens", Verb::kFailOpens, false},
    {"accept-opens", Verb::kAcceptOpens, false},
    {"shut-after", Verb::kShutAfter, true},
    {"switch-delay", Verb::kSwitchDelay, true},
    {"rate", Verb::kRate, true},
    {"reports", Verb::kReports, false},
    {"clear-reports", Verb::kClearReports, false},
    {"stop", Verb::kStop, false},
};

}  // namespace detail

inline ParsedCommand ParseControlCommand(std::string_view text) {
  std::istringstream words{std::string(text)};
  std::vector<std::string> parts;
  for (std::string word; words >> word;) parts.push_back(word);
  if (parts.empty()) return {std::nullopt, "empty command"};

  const detail::VerbName* found = nullptr;
  for (const detail::VerbName& candidate : detail::kVerbs) {
    if (candidate.name == parts[0]) found = &candidate;
  }
  if (!found) return {std::nullopt, "unknown command '" + parts[0] + "'"};

  ControlCommand command;
  command.verb = found->verb;
  std::size_t next = 1;
  if (found->takesNumber) {
    if (parts.size() < 2) return {std::nullopt, parts[0] + " needs a number of milliseconds"};
    if (found->verb == Verb::kShutAfter && parts[1] == "off") {
      command.number.reset();
    } else {
      command.number = detail::ParseMilliseconds(parts[1]);
      if (!command.number || (found->verb == Verb::kRate && *command.number == 0)) {
        return {std::nullopt, "bad number of milliseconds '" + parts[1] + "'"};
      }
    }
    next = 2;
  }
  if (parts.size() > next) {
    if (found->verb == Verb::kRate || found->verb == Verb::kStop) {
      return {std::nullopt, parts[0] + " applies to the whole simulator, not to one device"};
    }
    if (!IsSerialText(parts[next])) return {std::nullopt, "bad serial '" + parts[next] + "'"};
    command.serial = parts[next];
    ++next;
  }
  if (parts.size() > next) return {std::nullopt, "too many words after " + parts[0]};
  return {command, {}};
}

// vid:pid[:in:out[:serial]], ids in hexadecimal, lengths in decimal (1 to 1024; lengths
// the service object cannot use are allowed, to see how it fails).
inline std::optional<DeviceIdentity> ParseDeviceSpec(std::string_view text,
                                                     const std::string& defaultSerial) {
  std::vector<std::string_view> fields;
  while (true) {
    const std::size_t colon = text.find(':');
    fields.push_back(text.substr(0, colon));
    if (colon == std::string_view::npos) break;
    text.remove_prefix(colon + 1);
  }
  if (fields.size() != 2 && fields.size() != 4 && fields.size() != 5) return std::nullopt;
  DeviceIdentity device;
  device.serial = defaultSerial;
  const auto vendor = detail::ParseField(fields[0], 16);
  const auto product = detail::ParseField(fields[1], 16);
  if (!vendor || !product || fields[0].size() > 4 || fields[1].size() > 4) return std::nullopt;
  device.vendorId = *vendor;
  device.productId = *product;
  if (fields.size() >= 4) {
    const auto input = detail::ParseField(fields[2], 10);
    const auto output = detail::ParseField(fields[3], 10);
    if (!input || !output || *input < 1 || *output < 1 || *input > kMaxReportLength ||
        *output > kMaxReportLength) {
      return std::nullopt;
    }
    device.inputLength = *input;
    device.outputLength = *output;
  }
  if (fields.size() == 5) {
    if (!IsSerialText(fields[4])) return std::nullopt;
    device.serial = std::string(fields[4]);
  }
  return device;
}

}  // namespace vdrawer
