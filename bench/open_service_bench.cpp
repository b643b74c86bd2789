// Cost of opening the service object as the HID bus grows, and of one status
// read on an answering drawer, on the simulated platform.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "contract/OposConstants.h"
#include "service/CashDrawer.h"
#include "sim/RecordingControlObject.h"
#include "sim/SimPlatform.h"

namespace {

const std::string kDeviceKey = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\BenchDrawer";

// A bus of `devices` HID devices whose last one is the configured drawer.
void ConfigureBus(sim::SimPlatform& platform, int devices) {
  platform.Registry().SetString(kDeviceKey, "PID", "1234");
  for (int i = 0; i < devices; ++i) {
    sim::HidDeviceConfig config;
    config.productId = static_cast<std::uint16_t>(i + 1 == devices ? 1234 : 2000 + i);
    platform.AddHidDevice(config);
  }
}

void BM_OpenService(benchmark::State& state) {
  sim::SimPlatform platform;
  ConfigureBus(platform, static_cast<int>(state.range(0)));
  auto control = std::make_shared<sim::RecordingControlObject>(platform.Clock());
  for (auto _ : state) {
    auto drawer = quillvane::CashDrawer::Create(platform);
    if (drawer->OpenService(u"CashDrawer", u"BenchDrawer", control) != quillvane::OPOS_SUCCESS) {
      state.SkipWithError("the drawer was not found");
      break;
    }
    drawer->CloseService();
    platform.ClearCalls();
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_OpenService)->Arg(1)->Arg(100)->Arg(1000)->Complexity(benchmark::oN);

void BM_ReadDrawerStatus(benchmark::State& state) {
  sim::SimPlatform platform;
  ConfigureBus(platform, 1);
  auto control = std::make_shared<sim::RecordingControlObject>(platform.Clock());
  auto drawer = quillvane::CashDrawer::Create(platform);
  drawer->OpenService(u"CashDrawer", u"BenchDrawer", control);
  for (auto _ : state) {
    // A health check at an internal level is exactly one status read.
    benchmark::DoNotOptimize(drawer->CheckHealth(quillvane::OPOS_CH_INTERNAL));
    platform.ClearCalls();
  }
  drawer->CloseService();
}
BENCHMARK(BM_ReadDrawerStatus);

}  // namespace
