// vd-measure.exe: figures of the unchanged quillvane.dll driving the virtual
// drawer under Wine, printed as text. Not a test: run by
// virtual-drawer/measure/run-measurements.
//   vd-measure latency <changes> [report rate ms]   simulator flip -> SOStatusUpdate
//   vd-measure cpu-idle <seconds>                   CPU of this process, device enabled and idle
//   vd-measure cpu-wait <seconds>                   CPU during a WaitForDrawerClose that long
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "virtual-drawer/client/RecordingControl.h"
#include "virtual-drawer/client/ServiceObject.h"
#include "virtual-drawer/win/ControlClient.h"
#include "virtual-drawer/win/WinHeaders.h"

namespace {

using vdrawer::Arg;

constexpr char kDeviceName[] = "VirtualDrawer";
constexpr long kDeviceEnabled = 3;

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

struct Session {
  vdrawer::ServiceObject drawer;
  vdrawer::RecordingControl control;
  // Open, claimed and enabled.
  void Start() {
    std::string error;
    if (!drawer.Create(&error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(2);
    }
    const long opened = drawer.CallLong(
        L"OpenService",
        {Arg::Text(L"CashDrawer"), Arg::Text(L"VirtualDrawer"), Arg::Object(&control)});
    drawer.CallLong(L"ClaimDevice", {Arg::Long(0)});
    drawer.CallLong(L"SetPropertyNumber", {Arg::Long(kDeviceEnabled), Arg::Long(1)});
    if (opened != 0 || drawer.CallLong(L"GetPropertyNumber", {Arg::Long(kDeviceEnabled)}) != -1) {
      std::fprintf(stderr, "the drawer did not open and enable (OpenService %ld)\n", opened);
      std::exit(2);
    }
  }
  void Stop() {
    drawer.CallLong(L"CloseService");
    drawer.Release();
  }
};

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const std::size_t index =
      std::min(values.size() - 1, static_cast<std::size_t>(fraction * (values.size() - 1) + 0.5));
  return values[index];
}

int Latency(int changes, int rateMs) {
  Session s;
  Control("rate " + std::to_string(rateMs));
  Control("close 1");
  s.Start();
  // Let every ring fill: the steady state of an enabled device.
  vdrawer::PumpFor(1000);
  s.control.ClearCalls();
  std::vector<double> latencies;
  unsigned random = 12345;
  for (int i = 0; i < changes; ++i) {
    const bool open = i % 2 == 0;
    const std::size_t before = s.control.Calls().size();
    const std::int64_t flipped = vdrawer::AnswerTicks(Control(open ? "open 1" : "close 1"));
    if (!vdrawer::PumpUntil(5000, [&] { return s.control.Calls().size() > before; })) {
      std::fprintf(stderr, "change %d was never reported\n", i);
      return 1;
    }
    const vdrawer::StatusCall& call = s.control.Calls().back();
    if (call.code != (open ? 1 : 0)) {
      std::fprintf(stderr, "change %d reported as %ld\n", i, call.code);
      return 1;
    }
    latencies.push_back(vdrawer::TicksToMs(call.ticks - flipped));
    // A pause of 0-49 ms, so the flips fall at every phase of the poll tick.
    random = random * 1103515245u + 12345u;
    vdrawer::PumpFor((random >> 16) % 50);
  }
  s.Stop();
  Control("rate 10");
  double sum = 0;
  for (double value : latencies) sum += value;
  // The first and last tenth show whether the backlog in the ring grows.
  const std::size_t tenth = std::max<std::size_t>(1, latencies.size() / 10);
  double first = 0, last = 0;
  for (std::size_t i = 0; i < tenth; ++i) {
    first += latencies[i];
    last += latencies[latencies.size() - 1 - i];
  }
  std::printf(
      "latency rate=%d ms changes=%d: min %.1f  p50 %.1f  p99 %.1f  max %.1f  mean %.1f ms"
      " (first tenth %.1f, last tenth %.1f)\n",
      rateMs, changes, Percentile(latencies, 0.0), Percentile(latencies, 0.5),
      Percentile(latencies, 0.99), Percentile(latencies, 1.0), sum / latencies.size(),
      first / tenth, last / tenth);
  return 0;
}

int CpuIdle(int seconds) {
  Session s;
  Control("close 1");
  s.Start();
  const double cpu = ProcessCpuMs();
  const DWORD started = GetTickCount();
  vdrawer::PumpFor(seconds * 1000);
  const double used = ProcessCpuMs() - cpu;
  const DWORD wall = GetTickCount() - started;
  s.Stop();
  std::printf("cpu enabled idle: %.0f ms CPU in %lu ms (%.2f%%)\n", used, wall,
              100.0 * used / wall);
  return 0;
}

int CpuWait(int seconds) {
  Session s;
  Control("close 1");
  s.Start();
  Control("shut-after " + std::to_string(seconds * 1000) + " 1");
  s.drawer.CallLong(L"OpenDrawer");
  // The wait starts once the poll has seen the drawer open.
  vdrawer::PumpUntil(3000, [&] { return !s.control.Calls().empty(); });
  const double cpu = ProcessCpuMs();
  const DWORD started = GetTickCount();
  const long result = s.drawer.CallLong(
      L"WaitForDrawerClose", {Arg::Long(1000), Arg::Long(880), Arg::Long(100), Arg::Long(1000)});
  const double used = ProcessCpuMs() - cpu;
  const DWORD wall = GetTickCount() - started;
  Control("shut-after off 1");
  s.Stop();
  std::printf("cpu WaitForDrawerClose: result %ld, %.0f ms CPU in %lu ms (%.2f%%)\n", result, used,
              wall, 100.0 * used / wall);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 2 ? argv[1] : "";
  const int amount = argc > 2 ? std::atoi(argv[2]) : 0;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  vdrawer::ConfigureDevice(kDeviceName, "1234");
  int status = 2;
  if (what == "latency" && amount > 0) status = Latency(amount, argc > 3 ? std::atoi(argv[3]) : 10);
  if (what == "cpu-idle" && amount > 0) status = CpuIdle(amount);
  if (what == "cpu-wait" && amount > 0) status = CpuWait(amount);
  if (status == 2 && what.empty()) {
    std::fprintf(stderr,
                 "usage: vd-measure latency <changes> [rate] | cpu-idle <s> | cpu-wait <s>\n");
  }
  vdrawer::RemoveDevice(kDeviceName);
  CoUninitialize();
  return status;
}
