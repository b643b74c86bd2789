#include "sim/DrawerReports.h"

#include <cstring>

namespace sim {

void WriteInputReport(std::uint8_t status, std::uint8_t* buffer, std::size_t length) {
  if (length == 0) return;
  std::memset(buffer, 0, length);
  buffer[0] = kDrawerReportId;
  if (length > 1) buffer[1] = status;
}

OutputCommand ReadOutputReport(const std::uint8_t* bytes, std::size_t size) {
  if (size < 2 || bytes[0] != kDrawerReportId) return OutputCommand::kOther;
  if (bytes[1] == kPulseCommand) return OutputCommand::kPulse;
  if (bytes[1] == kIdleCommand) return OutputCommand::kIdle;
  return OutputCommand::kOther;
}

}  // namespace sim
