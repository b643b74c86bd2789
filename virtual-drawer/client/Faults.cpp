// The scenarios of vd-client where the drawer goes away or the application
// does something awkward: the service object runs on the application's own
// thread, so whatever happens to the drawer, no call may hold that thread for
// a read time-out again and again, and nothing may be reported that did not
// happen.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "virtual-drawer/client/DispatchWatch.h"
#include "virtual-drawer/client/Scenarios.h"
#include "virtual-drawer/client/Session.h"
#include "win32kit/Owners.h"

namespace vdrawer {

using win32kit::UniqueHandle;
namespace {

// Generous bounds: what they catch is a thread held for a whole read time-out.
constexpr double kHeldBoundMs = 1000;
constexpr double kAtOnceMs = 1000;
// WaitForDrawerClose arguments that never beep within a test.
const std::vector<Arg> kQuietWait = {Arg::Long(60000), Arg::Long(880), Arg::Long(50),
                                     Arg::Long(1000)};

std::string Ms(double ms) { return std::to_string(static_cast<long>(ms + 0.5)) + " ms"; }

// Longest a call may go on after the fault before the test gives up on it:
// a thread held for good would otherwise hold the test until CTest kills it.
constexpr DWORD kGiveUpMs = 4 * kReadTimeoutMs;

// How the drawer goes away: through the simulator, or by ending its process.
// On its own thread it then watches the call made meanwhile: if that has not
// returned (`returned` is not set) long after the fault, the program ends
// with a failed check.
struct Injection {
  std::string fault;
  UniqueHandle simulator;  // kill: the simulator's process
  DWORD delayMs = 0;       // waited first (on the injecting thread)
  UniqueHandle returned;   // set by the caller once its call has returned
  bool done = false;
  std::string error;
  std::int64_t atTicks = 0;

  void Run() {
    Sleep(delayMs);
    atTicks = NowTicks();
    if (fault == "kill") {
      done = TerminateProcess(simulator.Get(), 1) &&
             WaitForSingleObject(simulator.Get(), 3000) == WAIT_OBJECT_0;
      if (!done) error = "the simulator's process did not end";
      return;
    }
    const auto answer = SendControl(fault + " 1", 3000, &error);
    done = answer && answer->compare(0, 2, "ok") == 0;
    if (answer && !done) error = *answer;
  }
  static DWORD WINAPI RunOnThread(void* self) {
    auto* injection = static_cast<Injection*>(self);
    injection->Run();
    if (WaitForSingleObject(injection->returned.Get(), kGiveUpMs) != WAIT_OBJECT_0) {
      std::printf(
          "FAIL [fault %s wait] the call has not returned %lu ms after the fault: the "
          "thread is held for good\n",
          injection->fault.c_str(), kGiveUpMs);
      std::fflush(stdout);
      TerminateProcess(GetCurrentProcess(), 1);
    }
    return 0;
  }
};

// One call on a drawer that is gone: it must answer at once, with `expected`
// unless that is kAnyResult.
constexpr long kAnyResult = -1;
struct LostCall {
  const wchar_t* name;
  std::vector<Arg> args;
  long expected;
  const char* what;
};

void CheckLostDrawerAnswers(Checks& checks, Session& s) {
  const LostCall calls[] = {
      {L"CheckHealth", {Arg::Long(1)}, kNoHardware, "CheckHealth(1)"},
      {L"GetOpenResult", {}, kNoPort, "GetOpenResult"},
      {L"GetPropertyNumber", {Arg::Long(kDrawerOpened)}, kAnyResult, "DrawerOpened"},
      {L"ClaimDevice", {Arg::Long(0)}, kNoHardware, "ClaimDevice"},
      {L"OpenDrawer", {}, kNoHardware, "OpenDrawer"},
      {L"SetPropertyNumber", {Arg::Long(kDeviceEnabled), Arg::Long(0)}, kAnyResult, "disabling"},
      {L"CloseService", {}, kSuccess, "CloseService"},
  };
  for (const LostCall& call : calls) {
    const std::int64_t started = NowTicks();
    const long result = s.Call(call.name, call.args);
    const double took = MsSince(started);
    checks.Expect(took < kAtOnceMs,
                  std::string(call.what) + " on a lost drawer answers at once, took " + Ms(took));
    if (call.expected != kAnyResult) {
      checks.ExpectEq(result, call.expected, std::string(call.what) + " on a lost drawer");
    }
  }
}

}  // namespace

// The drawer is open and reported open; then it is unplugged, silenced or its
// simulator killed, while the poll runs (`poll`) or in the middle of a
// WaitForDrawerClose (`wait`). The loss is noticed within one read time-out,
// invents no status update, and from then on nothing holds the thread.
int Fault(const std::string& fault, const std::string& phase) {
  if ((fault != "unplug" && fault != "silence" && fault != "kill") ||
      (phase != "poll" && phase != "wait")) {
    return 100;
  }
  Checks checks("fault " + fault + " " + phase);
  Session s;
  if (!s.OpenEnabled(checks)) return checks.Finish();
  auto injection = std::make_unique<Injection>();
  injection->fault = fault;
  if (fault == "kill") {
    const std::string pid = SimulatorField(Control(checks, "status"), "pid");
    injection->simulator.Reset(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                           static_cast<DWORD>(std::atol(pid.c_str()))));
    if (!checks.Expect(injection->simulator.IsOpen(), "the simulator's process " + pid)) {
      return checks.Finish();
    }
  }
  checks.ExpectEq(s.Call(L"OpenDrawer"), kSuccess, "OpenDrawer");
  if (!checks.Expect(s.AwaitCalls(1) && s.Codes() == std::vector<long>{kDrawerOpenCode},
                     "the opening reported: " + Join(s.Codes()))) {
    return checks.Finish();
  }
  const std::string pulses = fault == "silence" ? DeviceField(checks, "1", "pulses") : "";

  DispatchWatch watch;
  if (phase == "poll") {
    injection->Run();
    watch.Restart();
    PumpFor(kReadTimeoutMs + 1500);
    checks.Expect(watch.LongestGapMs() < kHeldBoundMs,
                  "the poll never holds the thread: longest gap " + Ms(watch.LongestGapMs()));
  } else {
    injection->delayMs = 500;
    injection->returned.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle thread(
        CreateThread(nullptr, 0, &Injection::RunOnThread, injection.get(), 0, nullptr));
    if (!checks.Expect(thread.IsOpen(), "the injecting thread starts")) return checks.Finish();
    watch.Restart();
    const long result = s.Call(L"WaitForDrawerClose", kQuietWait);
    const std::int64_t returned = NowTicks();
    const double held = watch.LongestGapMs();
    SetEvent(injection->returned.Get());
    WaitForSingleObject(thread.Get(), INFINITE);
    checks.ExpectEq(result, kNoHardware, "WaitForDrawerClose on a drawer lost during the wait");
    const double after = TicksToMs(returned - injection->atTicks);
    checks.Expect(after <= kReadTimeoutMs + 1000,
                  "the wait ends within one read time-out of the fault, ended after " + Ms(after));
    checks.Expect(held < kHeldBoundMs,
                  "the wait keeps the thread turning: longest gap " + Ms(held));
    watch.Restart();
    PumpFor(2000);
    checks.Expect(
        watch.LongestGapMs() < kHeldBoundMs,
        "nothing holds the thread after the wait: longest gap " + Ms(watch.LongestGapMs()));
  }
  checks.Expect(injection->done, "the fault was injected: " + injection->error);
  checks.Expect(s.Codes() == std::vector<long>{kDrawerOpenCode},
                "the loss invents no status update: " + Join(s.Codes()));
  if (fault == "silence") {
    checks.ExpectEq(DeviceField(checks, "1", "handles"), std::string("0"),
                    "a lost drawer's handles are closed");
  }
  CheckLostDrawerAnswers(checks, s);
  if (fault == "silence") {
    checks.ExpectEq(DeviceField(checks, "1", "pulses"), pulses, "no pulse sent to a lost drawer");
  }
  s.drawer.Release();
  return checks.Finish();
}

// WaitForDrawerClose called right after OpenDrawer, before the drawer's
// switch has moved: the wait is for the drawer the pulse is opening. A drawer
// whose switch never moves ends the wait after a bounded time.
int WaitAfterPulse() {
  Checks checks("wait-after-pulse");
  constexpr DWORD kShutAfter = 1500;
  Session s;
  if (!s.OpenEnabled(checks)) return checks.Finish();
  Control(checks, "shut-after " + std::to_string(kShutAfter) + " 1");
  std::int64_t started = NowTicks();
  checks.ExpectEq(s.Call(L"OpenDrawer"), kSuccess, "OpenDrawer");
  long result = s.Call(L"WaitForDrawerClose", kQuietWait);
  double took = MsSince(started);
  checks.ExpectEq(result, kSuccess, "WaitForDrawerClose right after OpenDrawer");
  checks.Expect(took >= kShutAfter - 100 && took < kShutAfter + 1000,
                "the wait lasts until the drawer is shut " + std::to_string(kShutAfter) +
                    " ms after it opened; returned after " + Ms(took));
  s.AwaitCalls(2, 1000);
  checks.Expect(s.Codes() == std::vector<long>({kDrawerOpenCode, kDrawerClosedCode}),
                "the opening and the shutting reported: " + Join(s.Codes()));

  Control(checks, "shut-after off 1");
  Control(checks, "switch-delay 5000 1");
  started = NowTicks();
  checks.ExpectEq(s.Call(L"OpenDrawer"), kSuccess, "OpenDrawer on a drawer whose switch sticks");
  result = s.Call(L"WaitForDrawerClose", kQuietWait);
  took = MsSince(started);
  checks.ExpectEq(result, kSuccess, "WaitForDrawerClose on a drawer that does not open");
  checks.Expect(took < 2000, "a drawer that does not open ends the wait, after " + Ms(took));
  Control(checks, "switch-delay 50 1");
  Control(checks, "close 1");
  s.Close(checks);
  return checks.Finish();
}

// The application has posted WM_QUIT and then waits for the drawer: the wait
// ends at once with a clear result and leaves the quit request for the
// application's own loop.
int WaitWhileQuitting() {
  Checks checks("wait-quit");
  Session s;
  if (!s.OpenEnabled(checks)) return checks.Finish();
  Control(checks, "shut-after 3000 1");
  checks.ExpectEq(s.Call(L"OpenDrawer"), kSuccess, "OpenDrawer");
  checks.Expect(s.AwaitCalls(1), "the opening reported");
  PostQuitMessage(7);
  const std::int64_t started = NowTicks();
  const long result = s.Call(L"WaitForDrawerClose", kQuietWait);
  const double took = MsSince(started);
  checks.ExpectEq(result, kFailure, "WaitForDrawerClose while the application quits");
  checks.Expect(took < kAtOnceMs, "the wait ends at once, took " + Ms(took));
  MSG message;
  checks.Expect(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && message.wParam == 7,
                "the quit request is still there for the application's loop");
  Control(checks, "shut-after off 1");
  Control(checks, "close 1");
  s.Close(checks);
  return checks.Finish();
}

// A child process the application starts inherits nothing of the drawer:
// after CloseService no handle keeps it open.
int Inherit() {
  Checks checks("inherit");
  Session s;
  if (!s.Open(checks, kSuccess)) return checks.Finish();
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string commandLine = "\"" + std::string(self) + "\" idle 10000";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!checks.Expect(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                    nullptr, &startup, &process) != FALSE,
                     "a child process that inherits handles starts")) {
    return checks.Finish();
  }
  UniqueHandle child(process.hProcess), childThread(process.hThread);
  checks.ExpectEq(s.Call(L"CloseService"), kSuccess, "CloseService");
  checks.Expect(NoHandlesLeft(checks, "1"),
                "no handle of the drawer stays open in the child, the simulator counts " +
                    DeviceField(checks, "1", "handles"));
  TerminateProcess(child.Get(), 0);
  WaitForSingleObject(child.Get(), 3000);
  s.drawer.Release();
  return checks.Finish();
}

// The same object closed and opened again starts as a new one: not claimed,
// not enabled, not frozen, and no status update until it is enabled.
int Reopen() {
  Checks checks("reopen");
  Session s;
  if (!s.OpenEnabled(checks)) return checks.Finish();
  checks.ExpectEq(s.Call(L"COFreezeEvents", {Arg::Long(-1)}), kSuccess, "freeze");
  checks.ExpectEq(s.Call(L"CloseService"), kSuccess, "CloseService");
  checks.ExpectEq(
      s.drawer.CallLong(L"OpenService", {Arg::Text(L"CashDrawer"), Arg::Text(L"VirtualDrawer"),
                                         Arg::Object(&s.control)}),
      kSuccess, "OpenService again on the same object");
  const struct {
    long index;
    const char* name;
  } flags[] = {
      {kClaimed, "Claimed"}, {kDeviceEnabled, "DeviceEnabled"}, {kFreezeEvents, "FreezeEvents"}};
  for (const auto& flag : flags) {
    checks.ExpectEq(s.Call(L"GetPropertyNumber", {Arg::Long(flag.index)}), 0L,
                    std::string(flag.name) + " after closing and opening again");
  }
  Control(checks, "open 1");
  PumpFor(400);
  checks.Expect(s.control.Calls().empty(), "no status update before enabling: " + Join(s.Codes()));
  checks.ExpectEq(s.Call(L"ClaimDevice", {Arg::Long(0)}), kSuccess, "ClaimDevice after reopening");
  Control(checks, "close 1");
  s.Close(checks);
  return checks.Finish();
}

}  // namespace vdrawer
