// virtual-drawer.exe: the simulator, and the command that controls it.
//
//   virtual-drawer serve [options]   serve in the foreground until "stop" or Ctrl+C
//   virtual-drawer start [options]   serve in the background; returns once it answers
//   virtual-drawer <command>         e.g. close, open 2, unplug, shut-after 300, status
//
// Options: --device vid:pid[:in:out[:serial]] (repeatable; default 06e5:04d2:8:8:1),
// --rate <ms> (input report period, default 10), --shut-after <ms> (the operator
// shuts the drawer that long after each opening), --switch-delay <ms> (the switch
// reads open that long after a pulse, default 50), --log <file> (start only;
// default %TEMP%\virtual-drawer.log).
// Exit status: 0 done, 1 the simulator refused the command, 2 no simulator or bad usage.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "virtual-drawer/core/ControlCommand.h"
#include "virtual-drawer/simulator/Simulator.h"
#include "virtual-drawer/win/ControlClient.h"
#include "win32kit/Owners.h"

namespace {

constexpr DWORD kStartWaitMs = 10000;
constexpr DWORD kCommandWaitMs = 3000;

vdrawer::Simulator* gRunning = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  if (gRunning) gRunning->RequestStop();
  return TRUE;
}

void PrintUsage() {
  std::fputs(
      "usage: virtual-drawer serve|start [--device vid:pid[:in:out[:serial]]]... [--rate ms]\n"
      "                                  [--shut-after ms] [--switch-delay ms] [--log file]\n"
      "       virtual-drawer status|open|close|unplug|plug|silence|resume|fail-opens|\n"
      "                      accept-opens|reports|clear-reports [serial]\n"
      "       virtual-drawer shut-after <ms|off> [serial] | switch-delay <ms> [serial] |\n"
      "                      rate <ms> | stop\n",
      stderr);
}

bool ParseOptions(const std::vector<std::string>& args, vdrawer::SimulatorOptions& options,
                  std::string* logFile) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (i + 1 >= args.size()) {
      std::fprintf(stderr, "virtual-drawer: %s needs a value\n", name.c_str());
      return false;
    }
    const std::string& value = args[++i];
    if (name == "--device") {
      auto device = vdrawer::ParseDeviceSpec(value, std::to_string(options.devices.size() + 1));
      if (!device) {
        std::fprintf(stderr, "virtual-drawer: bad device '%s'\n", value.c_str());
        return false;
      }
      for (const vdrawer::DeviceIdentity& other : options.devices) {
        if (other.serial == device->serial) {
          std::fprintf(stderr, "virtual-drawer: serial %s given twice\n", device->serial.c_str());
          return false;
        }
      }
      options.devices.push_back(*device);
    } else if (name == "--rate" || name == "--shut-after" || name == "--switch-delay") {
      // Read as the control command of the same name reads its number.
      const auto parsed = vdrawer::ParseControlCommand(name.substr(2) + " " + value);
      if (!parsed.command || !parsed.command->number) {
        std::fprintf(stderr, "virtual-drawer: bad milliseconds '%s'\n", value.c_str());
        return false;
      }
      if (name == "--rate") {
        options.reportRateMs = *parsed.command->number;
      } else if (name == "--shut-after") {
        options.shutAfterMs = *parsed.command->number;
      } else {
        options.switchDelayMs = *parsed.command->number;
      }
    } else if (name == "--log" && logFile) {
      *logFile = value;
    } else {
      std::fprintf(stderr, "virtual-drawer: unknown option %s\n", name.c_str());
      return false;
    }
  }
  if (options.devices.empty()) options.devices.push_back(vdrawer::DeviceIdentity{});
  return true;
}

int Serve(vdrawer::SimulatorOptions options) {
  vdrawer::Simulator simulator(std::move(options));
  if (!simulator.Start()) return 2;
  gRunning = &simulator;
  SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
  std::printf("virtual-drawer: serving\n");
  std::fflush(stdout);
  simulator.Run();
  gRunning = nullptr;
  return 0;
}

std::string Quote(const std::string& arg) { return "\"" + arg + "\""; }

// Starts "serve" with the same options as a detached process whose output
// goes to the log file (virtual-drawer.log in the temporary folder unless
// given), and waits until its control pipe answers. The log is a real file
// because under Wine a child given the NUL device keeps the parent's Unix
// output open, and a shell that captures the output would wait for it.
int StartInBackground(const std::vector<std::string>& args, std::string logFile) {
  if (logFile.empty()) {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    logFile = std::string(folder, length < MAX_PATH ? length : 0) + "virtual-drawer.log";
  }
  std::string error;
  if (vdrawer::SendControl("status", 0, &error)) {
    std::fprintf(stderr, "virtual-drawer: a simulator is already running\n");
    return 2;
  }
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string commandLine = Quote(self) + " serve";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--log") {
      ++i;
      continue;
    }
    commandLine += " " + Quote(args[i]);
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  win32kit::UniqueHandle output(CreateFileA(logFile.c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                            CREATE_ALWAYS, 0, nullptr));
  if (!output.IsOpen()) {
    std::fprintf(stderr, "virtual-drawer: cannot write the log %s\n", logFile.c_str());
    return 2;
  }
  win32kit::UniqueHandle input(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           &inherit, OPEN_EXISTING, 0, nullptr));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.Get();
  startup.hStdOutput = output.Get();
  startup.hStdError = output.Get();
  PROCESS_INFORMATION process{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
                      DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "virtual-drawer: cannot start the simulator (error %lu)\n",
                 GetLastError());
    return 2;
  }
  win32kit::UniqueHandle child(process.hProcess);
  win32kit::UniqueHandle childThread(process.hThread);
  const DWORD started = GetTickCount();
  while (GetTickCount() - started < kStartWaitMs) {
    if (WaitForSingleObject(child.Get(), 0) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(child.Get(), &code);
      std::fprintf(stderr, "virtual-drawer: the simulator ended at once (exit %lu)\n", code);
      return 2;
    }
    if (vdrawer::SendControl("status", 0, &error)) {
      std::printf("virtual-drawer: started, process %lu\n", process.dwProcessId);
      return 0;
    }
    Sleep(20);
  }
  std::fprintf(stderr, "virtual-drawer: the simulator did not answer in time\n");
  return 2;
}

int Command(const std::vector<std::string>& words) {
  std::string command;
  for (const std::string& word : words) command += (command.empty() ? "" : " ") + word;
  const auto parsed = vdrawer::ParseControlCommand(command);
  if (!parsed.command) {
    std::fprintf(stderr, "virtual-drawer: %s\n", parsed.error.c_str());
    PrintUsage();
    return 2;
  }
  std::string error;
  const auto answer = vdrawer::SendControl(command, kCommandWaitMs, &error);
  if (!answer) {
    std::fprintf(stderr, "virtual-drawer: %s\n", error.c_str());
    return 2;
  }
  std::fputs(answer->c_str(), stdout);
  return answer->compare(0, 2, "ok") == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "help" || args[0] == "--help") {
    PrintUsage();
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "serve" || args[0] == "start") {
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    vdrawer::SimulatorOptions options;
    std::string logFile;
    if (!ParseOptions(rest, options, args[0] == "start" ? &logFile : nullptr)) {
      PrintUsage();
      return 2;
    }
    return args[0] == "serve" ? Serve(std::move(options)) : StartInBackground(rest, logFile);
  }
  return Command(args);
}
