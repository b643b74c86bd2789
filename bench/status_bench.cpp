// Cost of the status queue while events are frozen, and of one poll tick.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

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

// One enabled tick on an answering drawer whose state does not change: the
// read, the edge test and an empty delivery.
void BM_PollTick(benchmark::State& state) {
  sim::SimPlatform platform;
  platform.Registry().SetString("SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\Bench", "PID",
                                "1234");
  sim::HidDeviceConfig config;
  config.productId = 1234;
  platform.AddHidDevice(config);
  auto control = std::make_shared<sim::RecordingControlObject>(platform.Clock());
  auto drawer = quillvane::CashDrawer::Create(platform);
  if (drawer->OpenService(u"CashDrawer", u"Bench", control) != quillvane::OPOS_SUCCESS) {
    state.SkipWithError("no drawer");
    return;
  }
  drawer->SetPropertyNumber(quillvane::PIDX_DeviceEnabled, 1);

  const std::size_t ticksBefore = platform.Timers().DispatchedTickCount();
  std::int64_t n = 0;
  for (auto _ : state) {
    platform.Clock().AdvanceBy(50);
    platform.PumpMessages();
    // The simulated platform logs every call; keep the log from growing.
    if ((++n & 0xFFF) == 0) platform.ClearCalls();
  }
  const std::size_t ticks = platform.Timers().DispatchedTickCount() - ticksBefore;
  if (ticks != static_cast<std::size_t>(state.iterations())) {
    state.SkipWithError("not one tick per iteration");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(ticks));
  drawer->CloseService();
}
BENCHMARK(BM_PollTick);

}  // namespace
