// Sends one command to a running simulator over its control pipe and gives
// the answer ("ok ..." or "error ...", one or more lines).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vdrawer {

// Nothing (and `error` says why) when no simulator answers within `waitMs`.
std::optional<std::string> SendControl(const std::string& command, std::uint32_t waitMs,
                                       std::string* error);

// The value of "key=" on the line of device `serial` in a status answer;
// empty when there is none.
std::string StatusField(const std::string& status, const std::string& serial,
                        const std::string& key);

// The value of "key=" on the simulator's own line of a status answer (pid,
// rate, heap, handles); empty when there is none.
std::string SimulatorField(const std::string& status, const std::string& key);

// The performance-counter value of "qpc=<n>" in an answer; 0 when absent.
std::int64_t AnswerTicks(const std::string& answer);

}  // namespace vdrawer
