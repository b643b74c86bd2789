// What the field trace and the recovery's search cost the application's
// thread, on the simulated platform.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "BenchDrawer.h"
#include "contract/OposConstants.h"
#include "service/CashDrawer.h"
#include "sim/RecordingControlObject.h"
#include "sim/SimPlatform.h"

namespace {

// One enabled poll tick on an answering drawer (a report each 10 ms, so
// five input reports per tick), with the trace at level range(0). At level
// 4 each tick writes its five reports, one line each, and flushes them;
// the simulated file keeps only its size.
void BM_PollTickTraced(benchmark::State& state) {
  sim::SimPlatform platform;
  platform.Files().SetKeepContents(false);
  platform.Registry().SetDword(bench::kBenchDeviceKey, "TraceLevel",
                               static_cast<std::uint32_t>(state.range(0)));
  platform.Registry().SetDword(bench::kBenchDeviceKey, "TraceMaxKB", 1024 * 1024);
  const bench::BenchDrawer opened = bench::OpenEnabledBenchDrawer(platform, state);
  if (!opened.drawer) return;
  const std::u16string log = u"C:\\ProgramData\\quillvane\\logs\\Bench-20240115.log";
  const std::uint64_t bytesBefore = platform.Files().Size(log);
  std::int64_t n = 0;
  for (auto _ : state) {
    platform.Clock().AdvanceBy(50);
    platform.PumpMessages();
    if ((++n & 0xFFF) == 0) platform.ClearCalls();
  }
  state.SetItemsProcessed(state.iterations());
  if (state.range(0) == 4) {
    // Only while the virtual day lasts (1.7 million ticks) is the file one.
    state.counters["log_bytes_per_tick"] =
        static_cast<double>(platform.Files().Size(log) - bytesBefore) /
        static_cast<double>(state.iterations());
  }
  opened.drawer->CloseService();
}
BENCHMARK(BM_PollTickTraced)->ArgName("level")->Arg(0)->Arg(4);

// One search for a lost drawer, as a tick with "Reconnect" makes it once a
// second: range(0) other HID devices present, each opened, asked for its
// ids and closed again; the drawer itself is still away.
void BM_SearchForLostDrawer(benchmark::State& state) {
  sim::SimPlatform platform;
  platform.Registry().SetString(bench::kBenchDeviceKey, "PID", "1234");
  platform.Registry().SetDword(bench::kBenchDeviceKey, "Reconnect", 1);
  platform.Registry().SetDword(bench::kBenchDeviceKey, "TraceLevel", 0);
  sim::HidDeviceConfig config;
  config.productId = 1234;
  sim::SimHidDevice& drawerDevice = platform.AddHidDevice(config);
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    sim::HidDeviceConfig other;
    other.productId = static_cast<std::uint16_t>(2000 + i);
    platform.AddHidDevice(other);
  }
  auto drawer = quillvane::CashDrawer::Create(platform);
  if (drawer->OpenService(u"CashDrawer", u"Bench", nullptr) != quillvane::OPOS_SUCCESS) {
    state.SkipWithError("no drawer");
    return;
  }
  // Enabled: the poll's reads find the drawer gone.
  drawer->SetPropertyNumber(quillvane::PIDX_DeviceEnabled, 1);
  drawerDevice.Faults().unplugged = true;
  platform.Clock().AdvanceBy(50);
  platform.PumpMessages();
  platform.ClearCalls();
  std::int64_t searches = 0;
  for (auto _ : state) {
    platform.Clock().AdvanceBy(1000);
    platform.PumpMessages();
    state.PauseTiming();
    searches += static_cast<std::int64_t>(platform.CountCalls("SetupDiGetClassDevsA"));
    platform.ClearCalls();
    state.ResumeTiming();
  }
  if (searches != static_cast<std::int64_t>(state.iterations())) {
    state.SkipWithError(("not one search per tick: " + std::to_string(searches) + " in " +
                         std::to_string(state.iterations()))
                            .c_str());
  }
  state.SetComplexityN(state.range(0));
  drawer->CloseService();
}
BENCHMARK(BM_SearchForLostDrawer)
    ->ArgName("devices")
    ->Arg(1)
    ->Arg(100)
    ->Arg(1000)
    ->Complexity(benchmark::oN);

}  // namespace
