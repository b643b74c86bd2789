// Set-up for tests that run an opened drawer on virtual time: pumping the
// thread's messages as time passes, moving the drawer by hand, and a check
// that no running-timer table survives the instance.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "DrawerTestSupport.h"
#include "contract/OposConstants.h"
#include "service/MLiteTimer.h"

namespace drawer_test {

class TimedDrawerTest : public DrawerTest {
 protected:
  // Opens the answering drawer and enables it.
  sim::SimHidDevice& OpenEnabledDrawer(std::uint32_t reportPeriodMs = 10) {
    sim::SimHidDevice& device = OpenAnsweringDrawer(reportPeriodMs);
    drawer->SetPropertyNumber(quillvane::PIDX_DeviceEnabled, 1);
    EXPECT_EQ(Rec().blnDeviceEnabled, quillvane::kTrue);
    return device;
  }

  std::uint64_t Now() { return sim.Clock().Now(); }

  // Lets `ms` of virtual time pass with the message loop turning every
  // millisecond, as an idle application's would. maxPumpHold records the
  // longest virtual time one turn of the loop took.
  void RunFor(std::uint64_t ms) {
    const std::uint64_t end = Now() + ms;
    while (Now() < end) {
      sim.Clock().AdvanceBy(1);
      const std::uint64_t before = Now();
      sim.PumpMessages();
      maxPumpHold = std::max(maxPumpHold, Now() - before);
    }
  }

  // The operator opens or shuts drawer `device` now.
  void SetDrawerOpen(sim::SimHidDevice& device, bool open) { device.Drawer().SetOpen(open, Now()); }

  std::uint64_t maxPumpHold = 0;

  void TearDown() override {
    DrawerTest::TearDown();
    // Every timer stopped with its instance: no table left on this thread.
    EXPECT_FALSE(quillvane::MLiteTimer::HasTable());
  }
};

}  // namespace drawer_test
