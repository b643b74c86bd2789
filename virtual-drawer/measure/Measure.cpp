// vd-measure.exe: figures of the unchanged quillvane.dll driving the virtual
// drawer under Wine, printed as text. Not a test: run by
// virtual-drawer/measure/run-measurements.
//   vd-measure objects <n> <changes> [rate ms]
//       n objects on this thread, object i on device i (registry name
//       VirtualDrawer<i>, PID 1233 + i, simulator serial i): status latency
//       from the simulator's flip to each SOStatusUpdate, how long one poll
//       tick holds the thread, and whether each object sees a 500 ms opening
//       and its shutting, in order
//   vd-measure unread <handles> <seconds>   keeps handles on device 1 open, unread
//   vd-measure cpu-idle <seconds>           CPU of this process, device enabled and idle
//   vd-measure cpu-wait <seconds>           CPU during a WaitForDrawerClose that long
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "virtual-drawer/client/Session.h"
#include "virtual-drawer/core/DeviceIdentity.h"
#include "win32kit/Owners.h"

namespace {

using vdrawer::Arg;

std::string Control(const std::string& command) {
  std::string error;
  const auto answer = vdrawer::SendControl(command, 3000, &error);
  if (!answer || answer->compare(0, 2, "ok") != 0) {
    std::fprintf(stderr, "control '%s' failed: %s\n", command.c_str(),
                 answer ? answer->c_str() : error.c_str());
    std::exit(2);
  }
  return *answer;
}

// CPU time (user + kernel) of this process, in milliseconds.
double ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& time) {
    return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                               time.dwLowDateTime) /
           10000.0;
  };
  return ms(kernel) + ms(user);
}

std::string DeviceName(int index) { return "VirtualDrawer" + std::to_string(index); }

// An object opened, claimed and enabled on `device`; exits the program when
// that fails, since nothing can be measured then.
std::unique_ptr<vdrawer::Session> StartSession(const std::string& device) {
  auto s = std::make_unique<vdrawer::Session>();
  std::string error;
  if (!s->drawer.Create(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(2);
  }
  const long opened =
      s->Call(L"OpenService",
              {Arg::Text(L"CashDrawer"), Arg::Text(std::wstring(device.begin(), device.end())),
               Arg::Object(&s->control)});
  s->Call(L"ClaimDevice", {Arg::Long(0)});
  s->Enable(true);
  if (opened != 0 || s->Call(L"GetPropertyNumber", {Arg::Long(vdrawer::kDeviceEnabled)}) != -1) {
    std::fprintf(stderr, "%s did not open and enable (OpenService %ld)\n", device.c_str(), opened);
    std::exit(2);
  }
  return s;
}

void StopSession(vdrawer::Session& s) {
  s.Call(L"CloseService");
  s.drawer.Release();
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t index =
      std::min(values.size() - 1, static_cast<std::size_t>(fraction * (values.size() - 1) + 0.5));
  return values[index];
}

// The thread's message loop, timing every WM_TIMER dispatch: with the
// service object's window-less timers, one dispatch is one poll tick.
class TimedPump {
 public:
  template <typename Done>
  bool Until(DWORD ms, Done done) {
    return vdrawer::PumpUntil(ms, done, [this](const MSG& message) {
      const std::int64_t before = vdrawer::NowTicks();
      vdrawer::DispatchOne(message);
      if (message.message == WM_TIMER) mHolds.push_back(vdrawer::MsSince(before));
    });
  }
  void For(DWORD ms) {
    Until(ms, [] { return false; });
  }
  const std::vector<double>& Holds() const { return mHolds; }

 private:
  std::vector<double> mHolds;
};

int Objects(int count, int changes, int rateMs) {
  Control("rate " + std::to_string(rateMs));
  Control("close");
  std::vector<std::unique_ptr<vdrawer::Session>> sessions;
  for (int i = 1; i <= count; ++i) sessions.push_back(StartSession(DeviceName(i)));
  TimedPump pump;
  // The steady state of enabled devices.
  pump.For(1000);
  auto callsSoFar = [&] {
    std::vector<std::size_t> calls;
    for (const auto& s : sessions) calls.push_back(s->control.Calls().size());
    return calls;
  };

  std::vector<double> latencies;
  int missed = 0, wrongCode = 0;
  unsigned random = 12345;
  for (int change = 0; change < changes; ++change) {
    const bool open = change % 2 == 0;
    const std::vector<std::size_t> before = callsSoFar();
    const std::int64_t flipped = vdrawer::AnswerTicks(Control(open ? "open" : "close"));
    auto allReported = [&] {
      for (std::size_t i = 0; i < sessions.size(); ++i) {
        if (sessions[i]->control.Calls().size() <= before[i]) return false;
      }
      return true;
    };
    pump.Until(10000, allReported);
    for (std::size_t i = 0; i < sessions.size(); ++i) {
      const auto& calls = sessions[i]->control.Calls();
      if (calls.size() <= before[i]) {
        ++missed;
        continue;
      }
      const vdrawer::StatusCall& call = calls[before[i]];
      if (call.code != (open ? vdrawer::kDrawerOpenCode : vdrawer::kDrawerClosedCode)) ++wrongCode;
      latencies.push_back(vdrawer::TicksToMs(call.ticks - flipped));
    }
    // A pause of 0-49 ms, so the flips fall at every phase of the poll tick.
    random = random * 1103515245u + 12345u;
    pump.For((random >> 16) % 50);
  }

  // A 500 ms opening: every object should see it open, then shut.
  for (const auto& s : sessions) s->control.ClearCalls();
  Control("open");
  pump.For(500);
  Control("close");
  pump.Until(5000, [&] {
    for (const auto& s : sessions) {
      if (s->control.Calls().size() < 2) return false;
    }
    return true;
  });
  int sawOpening = 0;
  for (const auto& s : sessions) {
    if (s->Codes() == std::vector<long>{vdrawer::kDrawerOpenCode, vdrawer::kDrawerClosedCode}) {
      ++sawOpening;
    }
  }
  for (const auto& s : sessions) StopSession(*s);
  Control("rate 10");

  const std::vector<double>& holds = pump.Holds();
  std::printf(
      "objects=%d rate=%d ms changes=%d: status latency p50 %.1f  p99 %.1f  max %.1f ms"
      " (%zu updates, %d missed, %d wrong); tick hold p99 %.2f  max %.2f ms (%zu ticks);"
      " a 500 ms opening seen open then shut by %d of %d\n",
      count, rateMs, changes, Percentile(latencies, 0.5), Percentile(latencies, 0.99),
      Percentile(latencies, 1.0), latencies.size(), missed, wrongCode, Percentile(holds, 0.99),
      Percentile(holds, 1.0), holds.size(), sawOpening, count);
  return 0;
}

// Handles on device 1 that nobody reads: what they cost the simulator and
// the wine server is measured from outside while this holds them.
int Unread(int count, int seconds) {
  const std::string path = vdrawer::PipePathOf(vdrawer::DeviceIdentity{});
  std::vector<win32kit::UniqueHandle> handles;
  for (int i = 0; i < count; ++i) {
    // The simulator keeps a few instances listening and makes more as they
    // connect: opens faster than that find them busy for a moment.
    for (int attempt = 0; attempt < 50; ++attempt) {
      win32kit::UniqueHandle handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
      if (handle.IsOpen() || GetLastError() != ERROR_PIPE_BUSY) {
        handles.push_back(std::move(handle));
        break;
      }
      WaitNamedPipeA(path.c_str(), 100);
    }
    if (handles.size() <= static_cast<std::size_t>(i) || !handles.back().IsOpen()) {
      std::fprintf(stderr, "open %d of %s failed (error %lu)\n", i, path.c_str(), GetLastError());
      return 2;
    }
  }
  std::printf("holding %d unread handles\n", count);
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(seconds) * 1000);
  return 0;
}

int CpuIdle(int seconds) {
  Control("close 1");
  auto s = StartSession(vdrawer::kDeviceName);
  const double cpu = ProcessCpuMs();
  const DWORD started = GetTickCount();
  vdrawer::PumpFor(seconds * 1000);
  const double used = ProcessCpuMs() - cpu;
  const DWORD wall = GetTickCount() - started;
  StopSession(*s);
  std::printf("cpu enabled idle: %.0f ms CPU in %lu ms (%.2f%%)\n", used, wall,
              100.0 * used / wall);
  return 0;
}

int CpuWait(int seconds) {
  Control("close 1");
  auto s = StartSession(vdrawer::kDeviceName);
  Control("shut-after " + std::to_string(seconds * 1000) + " 1");
  s->Call(L"OpenDrawer");
  // The wait starts once the poll has seen the drawer open.
  vdrawer::PumpUntil(3000, [&] { return !s->control.Calls().empty(); });
  const double cpu = ProcessCpuMs();
  const DWORD started = GetTickCount();
  const long result = s->Call(L"WaitForDrawerClose",
                              {Arg::Long(1000), Arg::Long(880), Arg::Long(100), Arg::Long(1000)});
  const double used = ProcessCpuMs() - cpu;
  const DWORD wall = GetTickCount() - started;
  Control("shut-after off 1");
  StopSession(*s);
  std::printf("cpu WaitForDrawerClose: result %ld, %.0f ms CPU in %lu ms (%.2f%%)\n", result, used,
              wall, 100.0 * used / wall);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string what = args.empty() ? "" : args[0];
  const int first = args.size() > 1 ? std::atoi(args[1].c_str()) : 0;
  const int second = args.size() > 2 ? std::atoi(args[2].c_str()) : 0;
  if (what == "unread" && first > 0 && second > 0) return Unread(first, second);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int status = 2;
  if (what == "objects" && first > 0 && second > 0) {
    for (int i = 1; i <= first; ++i)
      vdrawer::ConfigureDevice(DeviceName(i), std::to_string(1233 + i));
    status = Objects(first, second, args.size() > 3 ? std::atoi(args[3].c_str()) : 10);
    for (int i = 1; i <= first; ++i) vdrawer::RemoveDevice(DeviceName(i));
  } else if ((what == "cpu-idle" || what == "cpu-wait") && first > 0) {
    vdrawer::ConfigureDevice(vdrawer::kDeviceName, "1234");
    status = what == "cpu-idle" ? CpuIdle(first) : CpuWait(first);
    vdrawer::RemoveDevice(vdrawer::kDeviceName);
  } else {
    std::fprintf(stderr,
                 "usage: vd-measure objects <n> <changes> [rate] | unread <handles> <s> |\n"
                 "                  cpu-idle <s> | cpu-wait <s>\n");
  }
  CoUninitialize();
  return status;
}
