// The whole life of a drawer session, over and over: each cycle creates an
// object (as the control object does on every Open), opens, claims and
// enables it, pulses the drawer, has the operator shut it, and closes. Run by
// the Wine suite (200 cycles) and by scripts/soak (10,000).
#include <cstdio>
#include <string>

#include "virtual-drawer/client/Scenarios.h"
#include "virtual-drawer/client/Session.h"
#include "win32kit/ProcessResources.h"

namespace vdrawer {
namespace {

// Cycles before the baseline is taken: the first ones bind functions, fill
// COM's class cache and make the allocations a process keeps.
constexpr int kWarmUpCycles = 10;
// What the heap may drift across all cycles without being a leak (the C
// runtime and Wine keep some free-list and cache noise): far less than one
// object's worth per cycle over 200 cycles.
constexpr std::size_t kHeapDriftBytes = 16 * 1024;

void RunCycle(Checks& checks, int cycle) {
  const std::string at = "cycle " + std::to_string(cycle) + ": ";
  Session s;
  if (!s.OpenEnabled(checks)) return;
  checks.ExpectEq(s.Call(L"OpenDrawer"), kSuccess, at + "OpenDrawer");
  s.AwaitCalls(1);
  Control(checks, "close 1");
  s.AwaitCalls(2);
  checks.ExpectEq(Join(s.Codes()), std::string("[1,0]"),
                  at + "one opening and one shutting reported");
  checks.ExpectEq(s.Call(L"CloseService"), kSuccess, at + "CloseService");
  checks.Expect(NoHandlesLeft(checks, "1"), at + "CloseService leaves no handle on the drawer");
  s.drawer.Release();
}

void Print(const char* when, int cycles, std::size_t handles, std::size_t heap) {
  std::printf("[cycles] %s %d cycles: %zu handles, %zu heap bytes\n", when, cycles, handles, heap);
  std::fflush(stdout);
}

}  // namespace

int Cycles(int count) {
  Checks checks("cycles", 20);
  if (count <= kWarmUpCycles) return 100;
  std::size_t handlesAtStart = 0, heapAtStart = 0;
  for (int cycle = 0; cycle < count; ++cycle) {
    if (cycle == kWarmUpCycles) {
      handlesAtStart = win32kit::CountProcessHandles();
      heapAtStart = win32kit::HeapBytesInUse();
      Print("after", cycle, handlesAtStart, heapAtStart);
    } else if (cycle > kWarmUpCycles && cycle % 1000 == 0) {
      Print("after", cycle, win32kit::CountProcessHandles(), win32kit::HeapBytesInUse());
    }
    RunCycle(checks, cycle);
  }
  const std::size_t handlesAtEnd = win32kit::CountProcessHandles();
  const std::size_t heapAtEnd = win32kit::HeapBytesInUse();
  Print("after", count, handlesAtEnd, heapAtEnd);
  checks.Expect(handlesAtStart > 0 && heapAtStart > 0, "handles and heap can be counted");
  checks.Expect(handlesAtEnd <= handlesAtStart, "handles flat: " + std::to_string(handlesAtStart) +
                                                    " after the warm-up, " +
                                                    std::to_string(handlesAtEnd) + " at the end");
  checks.Expect(heapAtEnd <= heapAtStart + kHeapDriftBytes,
                "heap flat: " + std::to_string(heapAtStart) + " bytes after the warm-up, " +
                    std::to_string(heapAtEnd) + " at the end");
  return checks.Finish();
}

}  // namespace vdrawer
