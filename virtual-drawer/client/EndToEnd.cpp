// The scenarios of vd-client that exercise the service object's ordinary
// life on the virtual drawer: open to close, no match, the wait and its
// beeps, an unplugged drawer.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "virtual-drawer/client/Scenarios.h"
#include "virtual-drawer/client/Session.h"

namespace vdrawer {

int Lifecycle() {
  Checks checks("lifecycle");
  Session s;
  if (!s.Open(checks, kSuccess)) return checks.Finish();
  checks.ExpectEq(s.Call(L"GetOpenResult"), kSpecific, "GetOpenResult after a found drawer");
  checks.ExpectEq(DeviceField(checks, "1", "handles"), std::string("2"),
                  "the drawer is open twice (writes, overlapped reads)");
  std::vector<std::string> reports = OutputReports(checks);
  checks.Expect(reports.size() == 1 && reports[0] == "00 00 00 00 00 00 00 00",
                "one idle report at open, got " + std::to_string(reports.size()));

  checks.ExpectEq(s.Call(L"ClaimDevice", {Arg::Long(1000)}), kSuccess, "first ClaimDevice");
  checks.ExpectEq(s.Call(L"ClaimDevice", {Arg::Long(1000)}), kNoHardware, "second ClaimDevice");
  checks.ExpectEq(s.Call(L"OpenDrawer"), kIllegal, "OpenDrawer while disabled");
  checks.ExpectEq(OutputReports(checks).size(), std::size_t{1}, "no pulse while disabled");

  s.Call(L"SetPropertyNumber", {Arg::Long(kDeviceEnabled), Arg::Long(1)});
  checks.ExpectEq(s.Call(L"GetPropertyNumber", {Arg::Long(kDeviceEnabled)}), -1L, "enabled");
  PumpFor(200);
  checks.Expect(s.control.Calls().empty(), "no status update for a drawer that stays shut");

  checks.ExpectEq(s.Call(L"OpenDrawer"), kSuccess, "OpenDrawer while enabled");
  reports = OutputReports(checks);
  checks.Expect(reports.size() == 2 && reports[1] == "00 FF 00 00 00 00 00 00",
                "the simulator saw the pulse report 00 FF 00 00 00 00 00 00");
  // The switch moves some tens of milliseconds after the pulse.
  std::string drawerState;
  for (int i = 0; i < 50 && drawerState != "open"; ++i, PumpFor(20)) {
    drawerState = DeviceField(checks, "1", "drawer");
  }
  checks.ExpectEq(drawerState, std::string("open"), "the pulse opened it");
  checks.Expect(s.AwaitCalls(1), "SOStatusUpdate after the drawer opened");
  Control(checks, "close 1");
  checks.Expect(s.AwaitCalls(2), "SOStatusUpdate after the operator shut it");
  checks.Expect(s.Codes() == std::vector<long>({1, 0}), "open then closed: " + Join(s.Codes()));

  // Frozen: the changes are held, then delivered in order after the freeze.
  checks.ExpectEq(s.Call(L"COFreezeEvents", {Arg::Long(-1)}), kSuccess, "freeze");
  Control(checks, "open 1");
  PumpFor(700);
  Control(checks, "close 1");
  PumpFor(700);
  checks.ExpectEq(s.control.Calls().size(), std::size_t{2}, "nothing delivered while frozen");
  checks.ExpectEq(s.Call(L"COFreezeEvents", {Arg::Long(0)}), kSuccess, "unfreeze");
  checks.Expect(s.AwaitCalls(4, 500), "held updates delivered after unfreezing");
  checks.Expect(s.Codes() == std::vector<long>({1, 0, 1, 0}),
                "held updates in order: " + Join(s.Codes()));
  if (s.control.Calls().size() == 4) {
    // Both held codes go out in the one tick after the freeze is lifted.
    const double apart =
        vdrawer::TicksToMs(s.control.Calls()[3].ticks - s.control.Calls()[2].ticks);
    checks.Expect(apart < 25.0,
                  "held updates come in one tick, " + std::to_string(apart) + " ms apart");
  }

  checks.ExpectEq(s.Call(L"CheckHealth", {Arg::Long(1)}), kSuccess, "CheckHealth(1)");
  checks.ExpectEq(s.Call(L"CloseService"), kSuccess, "CloseService");
  checks.Expect(NoHandlesLeft(checks, "1"), "CloseService leaves no pipe connected");
  checks.ExpectEq(s.control.References(), ULONG{1}, "the control object is released");
  Control(checks, "open 1");
  PumpFor(500);
  checks.ExpectEq(s.control.Calls().size(), std::size_t{4}, "no status update after CloseService");
  Control(checks, "close 1");
  s.drawer.Release();
  return checks.Finish();
}

// Simulator: 1234:04d2 (another vendor) and 06e5:0929 (another product id).
int NoMatch() {
  Checks checks("nomatch");
  Session s;
  s.Open(checks, kIllegal);
  checks.ExpectEq(s.Call(L"GetOpenResult"), kNoPort, "GetOpenResult without a drawer");
  checks.Expect(NoHandlesLeft(checks, "1") && NoHandlesLeft(checks, "2"),
                "every device examined is closed again");
  checks.ExpectEq(s.Call(L"OpenDrawer"), kIllegal, "OpenDrawer without a drawer");
  s.Close(checks);
  return checks.Finish();
}

struct Beep {
  DWORD atMs = 0;
  unsigned frequency = 0, duration = 0;
};

// The Beep calls in Wine's relay trace ("1573.883:010c:Call KERNEL32.Beep(000001f4,00000064)"),
// timed in GetTickCount milliseconds.
std::vector<Beep> BeepsIn(const std::string& relayLog) {
  std::vector<Beep> beeps;
  std::ifstream log(relayLog);
  for (std::string line; std::getline(log, line);) {
    const std::size_t call = line.find("Call KERNEL32.Beep(");
    if (call == std::string::npos) continue;
    unsigned seconds = 0, millis = 0;
    Beep beep;
    if (std::sscanf(line.c_str(), "%u.%u:", &seconds, &millis) != 2 ||
        std::sscanf(line.c_str() + call, "Call KERNEL32.Beep(%x,%x)", &beep.frequency,
                    &beep.duration) != 2) {
      continue;
    }
    beep.atMs = seconds * 1000 + millis;
    beeps.push_back(beep);
  }
  return beeps;
}

// Simulator: one device; the client has it shut 2000 ms after each opening.
int Wait(const std::string& relayLog) {
  Checks checks("wait");
  constexpr long kTimeout = 300, kFrequency = 880, kDuration = 50, kDelay = 200;
  constexpr DWORD kShutAfter = 2000;
  Session s;
  if (!s.Open(checks, kSuccess)) return checks.Finish();
  s.Call(L"SetPropertyNumber", {Arg::Long(kDeviceEnabled), Arg::Long(1)});

  // Already shut: returns after two reads, without a beep.
  const std::vector<Arg> beepArgs = {Arg::Long(kTimeout), Arg::Long(kFrequency),
                                     Arg::Long(kDuration), Arg::Long(kDelay)};
  checks.ExpectEq(s.Call(L"WaitForDrawerClose", beepArgs), kSuccess, "wait on a shut drawer");
  checks.Expect(BeepsIn(relayLog).empty(), "no beep for a drawer that is already shut");

  Control(checks, "shut-after " + std::to_string(kShutAfter) + " 1");
  const DWORD opened = GetTickCount();
  checks.ExpectEq(s.Call(L"OpenDrawer"), kSuccess, "OpenDrawer");
  // Called once the poll has seen the drawer open (a wait right after the
  // pulse is the scenario wait-after-pulse).
  checks.Expect(s.AwaitCalls(1), "SOStatusUpdate after the drawer opened");
  const DWORD called = GetTickCount();
  const long result = s.Call(L"WaitForDrawerClose", beepArgs);
  const DWORD returned = GetTickCount();
  checks.ExpectEq(result, kSuccess, "WaitForDrawerClose");
  checks.Note("opened at +0, wait called at +" + std::to_string(called - opened) +
              " ms, returned at +" + std::to_string(returned - opened) + " ms");
  checks.Expect(returned - opened >= kShutAfter, "the wait lasts until the drawer is shut");
  checks.Expect(returned - opened < kShutAfter + 1000, "the wait ends soon after the shut");

  const std::vector<Beep> beeps = BeepsIn(relayLog);
  std::string times;
  for (const Beep& beep : beeps) times += " +" + std::to_string(beep.atMs - called);
  checks.Note(std::to_string(beeps.size()) + " beeps at" + times + " ms after the call");
  // Open for the first 2000 ms of the wait, beeping from 500 ms every 200 ms:
  // 8 beeps, one or two more when the shut is seen late on a loaded machine.
  checks.Expect(beeps.size() >= 3 && beeps.size() <= 10, "beep count");
  for (std::size_t i = 0; i < beeps.size(); ++i) {
    checks.Expect(beeps[i].frequency == kFrequency && beeps[i].duration == kDuration,
                  "beep " + std::to_string(i) + " has the given frequency and duration");
    checks.Expect(beeps[i].atMs <= returned, "no beep after the wait returned");
  }
  if (!beeps.empty()) {
    // The clock of the trace has millisecond steps: allow one step.
    checks.Expect(beeps[0].atMs + 1 >= called + kTimeout + kDelay,
                  "no beep before BeepTimeout + BeepDelay");
    for (std::size_t i = 1; i < beeps.size(); ++i) {
      const DWORD gap = beeps[i].atMs - beeps[i - 1].atMs;
      checks.Expect(gap + 1 >= kDelay / 2 && gap <= kDelay * 2,
                    "beeps follow the BeepDelay cadence, gap " + std::to_string(gap) + " ms");
    }
  }
  // The poll kept running while the method pumped: both changes reported.
  s.AwaitCalls(2, 1000);
  checks.Expect(s.Codes() == std::vector<long>({1, 0}),
                "status updates during the wait: " + Join(s.Codes()));
  Control(checks, "shut-after off 1");
  s.Close(checks);
  return checks.Finish();
}

int Unplug() {
  Checks checks("unplug");
  Session s;
  if (!s.Open(checks, kSuccess)) return checks.Finish();
  checks.ExpectEq(s.Call(L"ClaimDevice", {Arg::Long(0)}), kSuccess, "ClaimDevice");
  s.Call(L"SetPropertyNumber", {Arg::Long(kDeviceEnabled), Arg::Long(1)});
  checks.ExpectEq(s.Call(L"CheckHealth", {Arg::Long(1)}), kSuccess, "CheckHealth while plugged");
  Control(checks, "unplug 1");
  const DWORD unplugged = GetTickCount();
  const long health = s.Call(L"CheckHealth", {Arg::Long(1)});
  const long openResult = s.Call(L"GetOpenResult");
  const DWORD elapsed = GetTickCount() - unplugged;
  checks.ExpectEq(health, kNoHardware, "CheckHealth after the unplug");
  checks.ExpectEq(openResult, kNoPort, "GetOpenResult after the unplug");
  checks.Note("unplug noticed after " + std::to_string(elapsed) + " ms");
  checks.Expect(elapsed <= 6000 + 1000, "noticed within one read time-out");
  checks.ExpectEq(s.Call(L"CloseService"), kSuccess, "CloseService");
  Control(checks, "plug 1");
  s.drawer.Release();
  return checks.Finish();
}

// One of two applications, of different bitness, on the one drawer: each
// opens, claims and enables it, and waits until the simulator counts the
// other's handles beside its own; then the lead pulses the drawer, which the
// operator shuts (the simulator's --shut-after). Each must see it open, then
// closed.
int Shared(const std::string& role) {
  Checks checks("shared-" + role);
  Session s;
  if (!s.OpenEnabled(checks)) return checks.Finish();
  std::string handles;
  PumpUntil(10000, [&] {
    handles = DeviceField(checks, "1", "handles");
    return handles == "4";
  });
  checks.ExpectEq(handles, std::string("4"),
                  "one device, held twice (writes, overlapped reads) by each application");
  if (role == "lead") checks.ExpectEq(s.Call(L"OpenDrawer"), kSuccess, "OpenDrawer");
  s.AwaitCalls(2, 5000);
  checks.Expect(s.Codes() == std::vector<long>({kDrawerOpenCode, kDrawerClosedCode}),
                "open then closed: " + Join(s.Codes()));
  std::printf("%s saw %s\n", role.c_str(), Join(s.Codes()).c_str());
  s.Close(checks);
  return checks.Finish();
}

}  // namespace vdrawer

namespace {

void PrintUsage() {
  std::fprintf(stderr,
               "usage: vd-client lifecycle | nomatch | wait <relay log> | unplug |\n"
               "                 fault <unplug|silence|kill> <poll|wait> | wait-after-pulse |\n"
               "                 wait-quit | inherit | reopen | reconnect | cycles <count> |\n"
               "                 idle <ms> | shared <lead|follow>\n");
}

}  // namespace

// vd-client.exe: plays the control object against the unchanged
// quillvane.dll, which drives the virtual drawer through the replacement
// setupapi.dll and hid.dll. Each scenario expects the simulator started as
// tests/run-wine-test starts it; the exit status is the number of failed
// checks, 100 when the scenario could not run.
int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string scenario = args.empty() ? "" : args[0];
  // A child process of the inherit scenario: holds what it inherited a while.
  if (scenario == "idle" && args.size() == 2) {
    Sleep(static_cast<DWORD>(std::atoi(args[1].c_str())));
    return 0;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 100;
  if (!vdrawer::ConfigureDevice(vdrawer::kDeviceName, "1234")) {
    std::printf("FAIL cannot write the device configuration\n");
    return 100;
  }
  int failures = 100;
  if (scenario == "lifecycle") failures = vdrawer::Lifecycle();
  if (scenario == "nomatch") failures = vdrawer::NoMatch();
  if (scenario == "wait" && args.size() == 2) failures = vdrawer::Wait(args[1]);
  if (scenario == "unplug") failures = vdrawer::Unplug();
  if (scenario == "fault" && args.size() == 3) failures = vdrawer::Fault(args[1], args[2]);
  if (scenario == "wait-after-pulse") failures = vdrawer::WaitAfterPulse();
  if (scenario == "wait-quit") failures = vdrawer::WaitWhileQuitting();
  if (scenario == "inherit") failures = vdrawer::Inherit();
  if (scenario == "reopen") failures = vdrawer::Reopen();
  if (scenario == "reconnect") failures = vdrawer::Reconnect();
  if (scenario == "cycles" && args.size() == 2)
    failures = vdrawer::Cycles(std::atoi(args[1].c_str()));
  if (scenario == "shared" && args.size() == 2 && (args[1] == "lead" || args[1] == "follow"))
    failures = vdrawer::Shared(args[1]);
  if (failures == 100) PrintUsage();
  vdrawer::RemoveDevice(vdrawer::kDeviceName);
  CoUninitialize();
  return failures;
}
