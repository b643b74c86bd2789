// The drawer the poll benchmarks drive: the logical device "Bench" (PID
// 1234) on the simulated platform, one answering device, opened and enabled.
#pragma once

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "contract/OposConstants.h"
#include "service/CashDrawer.h"
#include "sim/RecordingControlObject.h"
#include "sim/SimPlatform.h"

namespace bench {

inline const std::string kBenchDeviceKey = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\Bench";

struct BenchDrawer {
  std::shared_ptr<sim::RecordingControlObject> control;
  std::shared_ptr<quillvane::CashDrawer> drawer;  // null when it could not be opened
};

// Any other values of the device (trace level, ...) are set before this.
// A drawer that cannot be opened fails the benchmark.
inline BenchDrawer OpenEnabledBenchDrawer(sim::SimPlatform& platform, benchmark::State& state,
                                          sim::HidDeviceConfig config = {}) {
  platform.Registry().SetString(kBenchDeviceKey, "PID", "1234");
  config.productId = 1234;
  platform.AddHidDevice(config);
  BenchDrawer bench{std::make_shared<sim::RecordingControlObject>(platform.Clock()),
                    quillvane::CashDrawer::Create(platform)};
  if (bench.drawer->OpenService(u"CashDrawer", u"Bench", bench.control) !=
      quillvane::OPOS_SUCCESS) {
    state.SkipWithError("no drawer");
    bench.drawer = nullptr;
    return bench;
  }
  bench.drawer->SetPropertyNumber(quillvane::PIDX_DeviceEnabled, 1);
  return bench;
}

}  // namespace bench
