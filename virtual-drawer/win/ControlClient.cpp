#include "virtual-drawer/win/ControlClient.h"

#include <cstdlib>
#include <string>

#include "virtual-drawer/core/SimulatorNames.h"
#include "win32kit/Owners.h"

namespace vdrawer {

using win32kit::UniqueHandle;

std::optional<std::string> SendControl(const std::string& command, std::uint32_t waitMs,
                                       std::string* error) {
  const DWORD started = GetTickCount();
  UniqueHandle pipe;
  // The simulator keeps two instances waiting; between requests both may be
  // momentarily busy, so retry until the time is up.
  while (true) {
    pipe.Reset(CreateFileA(kControlPipePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr));
    if (pipe.IsOpen()) break;
    const DWORD openError = GetLastError();
    // No pipe of that name: no simulator, and waiting will not make one.
    if (openError == ERROR_FILE_NOT_FOUND || GetTickCount() - started >= waitMs) {
      if (error) {
        *error = openError == ERROR_FILE_NOT_FOUND
                     ? "no virtual drawer simulator is running"
                     : "the simulator did not answer (error " + std::to_string(openError) + ")";
      }
      return std::nullopt;
    }
    WaitNamedPipeA(kControlPipePath, 50);
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr);
  DWORD written = 0;
  if (!WriteFile(pipe.Get(), command.data(), static_cast<DWORD>(command.size()), &written,
                 nullptr)) {
    if (error) *error = "cannot send the command (error " + std::to_string(GetLastError()) + ")";
    return std::nullopt;
  }
  std::string answer;
  char chunk[4096];
  while (true) {
    DWORD read = 0;
    const BOOL ok = ReadFile(pipe.Get(), chunk, sizeof chunk, &read, nullptr);
    answer.append(chunk, read);
    if (ok) break;
    if (GetLastError() != ERROR_MORE_DATA) {
      if (error) *error = "no answer (error " + std::to_string(GetLastError()) + ")";
      return std::nullopt;
    }
  }
  return answer;
}

namespace {

// The value of "key=" on the line that starts with `head`.
std::string LineField(const std::string& status, const std::string& head, const std::string& key) {
  std::size_t line = 0;
  if (status.compare(0, head.size(), head) != 0) {
    line = status.find("\n" + head);
    if (line == std::string::npos) return {};
    ++line;
  }
  const std::size_t end = status.find('\n', line);
  const std::size_t at = status.find(" " + key + "=", line);
  if (at == std::string::npos || at > end) return {};
  const std::size_t start = at + key.size() + 2;
  return status.substr(start, status.find_first_of(" \n", start) - start);
}

}  // namespace

std::string StatusField(const std::string& status, const std::string& serial,
                        const std::string& key) {
  return LineField(status, "device " + serial + " ", key);
}

std::string SimulatorField(const std::string& status, const std::string& key) {
  return LineField(status, "simulator ", key);
}

std::int64_t AnswerTicks(const std::string& answer) {
  const std::size_t at = answer.find("qpc=");
  if (at == std::string::npos) return 0;
  return std::strtoll(answer.c_str() + at + 4, nullptr, 10);
}

}  // namespace vdrawer
