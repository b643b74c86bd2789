// Cost of the status queue while events are frozen, and of one poll tick.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "BenchDrawer.h"
#include "service/CashDrawer.h"
#include "service/StatusQueue.h"
#include "sim/RecordingControlObject.h"
#include "sim/SimPlatform.h"

namespace {

// Enqueue N codes (as N frozen ticks would), then drain them all.
void BM_StatusQueueFrozen(benchmark::State& state) {
  const std::int64_t count = state.range(0);
  quillvane::StatusQueue queue;
  for (auto _ : state) {
    queue.Reset();
    for (std::int64_t i = 0; i < count; ++i) queue.Enqueue(static_cast<std::int32_t>(i & 1));
    std::int64_t drained = 0;
    while (queue.Dequeue() != -1) ++drained;
    if (drained != count) state.SkipWithError("queue lost or invented codes");
    benchmark::DoNotOptimize(drained);
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_StatusQueueFrozen)->Arg(1000)->Arg(1000000);

// One enabled poll tick on an answering drawer whose state does not change,
// at a report period of range(0) ms. Besides the CPU cost per tick, the
// counter max_hold_ms is the longest virtual time one tick kept the thread
// (the time the simulated platform let pass inside the pump that ran it).
void BM_PollTick(benchmark::State& state) {
  sim::SimPlatform platform;
  sim::HidDeviceConfig config;
  config.reportPeriodMs = static_cast<std::uint32_t>(state.range(0));
  const bench::BenchDrawer opened = bench::OpenEnabledBenchDrawer(platform, state, config);
  if (!opened.drawer) return;

  const std::size_t ticksBefore = platform.Timers().DispatchedTickCount();
  std::uint64_t maxHold = 0;
  std::int64_t n = 0;
  for (auto _ : state) {
    platform.Clock().AdvanceBy(50);
    const std::uint64_t before = platform.Clock().Now();
    platform.PumpMessages();
    maxHold = std::max<std::uint64_t>(maxHold, platform.Clock().Now() - before);
    // The simulated platform logs every call; keep the log from growing.
    if ((++n & 0xFFF) == 0) platform.ClearCalls();
  }
  const std::size_t ticks = platform.Timers().DispatchedTickCount() - ticksBefore;
  if (ticks != static_cast<std::size_t>(state.iterations())) {
    state.SkipWithError("not one tick per iteration");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(ticks));
  state.counters["max_hold_ms"] = static_cast<double>(maxHold);
  opened.drawer->CloseService();
}
BENCHMARK(BM_PollTick)->ArgName("report_ms")->Arg(1)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace
