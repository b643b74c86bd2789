// WaitForDrawerClose on virtual time: the beep cadence, the time-outs below 1,
// a drawer that goes silent, and what other calls made while it pumps do.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "StatusTestSupport.h"
#include "contract/AutomationBoundary.h"
#include "contract/ControlObject.h"
#include "contract/OposConstants.h"
#include "contract/RuntimeError.h"

namespace drawer_test {
namespace {

using namespace quillvane;

// One read of an answering drawer takes this long on the simulated bus.
constexpr std::uint64_t kReadMs = 10;

class WaitForCloseTest : public TimedDrawerTest {
 protected:
  const std::vector<sim::BeepRecord>& Beeps() { return sim.Beeper().Beeps(); }

  // Opens the (neither claimed nor enabled) drawer, which is open now and
  // which the operator shuts `ms` from now; gives now.
  std::uint64_t OpenDrawerShutIn(std::uint64_t ms) {
    sim::SimHidDevice& device = OpenAnsweringDrawer();
    SetDrawerOpen(device, true);
    device.Drawer().ShutAt(Now() + ms);
    return Now();
  }
};

TEST_F(WaitForCloseTest, ClosedDrawerReturnsAtTheNextReportWithoutBeeping) {
  OpenAnsweringDrawer();
  const std::size_t pumpsBefore = sim.Timers().PumpCount();
  const std::uint64_t start = Now();
  EXPECT_EQ(drawer->WaitForDrawerClose(1000, 440, 100, 500), OPOS_SUCCESS);
  EXPECT_LE(Now() - start, kReadMs);
  // Both loops ran and pumped.
  EXPECT_GE(sim.Timers().PumpCount() - pumpsBefore, 2u);
  EXPECT_TRUE(Beeps().empty());
  // The beep timer stays allocated, stopped.
  ASSERT_NE(Rec().TheTimer, nullptr);
  EXPECT_EQ(Rec().TheTimer->GetEnabled(), kFalse);
}

TEST_F(WaitForCloseTest, OpenDrawerBeepsAfterTimeoutPlusDelayThenOncePerDelay) {
  // Neither claimed nor enabled: the wait does not care.
  const std::uint64_t start = OpenDrawerShutIn(4000);

  EXPECT_EQ(drawer->WaitForDrawerClose(1000, 880, 100, 500), OPOS_SUCCESS);
  const std::uint64_t returned = Now();

  ASSERT_GE(Beeps().size(), 5u);
  EXPECT_GE(Beeps().front().at, start + 1000 + 500);
  EXPECT_LE(Beeps().front().at, start + 1000 + 500 + 3 * kReadMs);
  for (std::size_t i = 0; i < Beeps().size(); ++i) {
    EXPECT_EQ(Beeps()[i].frequency, 880u);
    EXPECT_EQ(Beeps()[i].duration, 100u);
    // None once the shut drawer's report has arrived.
    EXPECT_LT(Beeps()[i].at, start + 4000 + kReadMs);
    if (i > 0) {
      const std::uint64_t spacing = Beeps()[i].at - Beeps()[i - 1].at;
      EXPECT_GE(spacing, 500u - 3 * kReadMs) << i;
      EXPECT_LE(spacing, 500u + 3 * kReadMs) << i;
    }
  }
  // Back within one read (and at most one beep) of the shutting.
  EXPECT_GE(returned, start + 4000);
  EXPECT_LE(returned, start + 4000 + 100 + 2 * kReadMs);
}

TEST_F(WaitForCloseTest, DrawerShutBeforeTheTimeoutNeverBeeps) {
  const std::uint64_t start = OpenDrawerShutIn(900);
  EXPECT_EQ(drawer->WaitForDrawerClose(1000, 880, 100, 200), OPOS_SUCCESS);
  EXPECT_TRUE(Beeps().empty());
  EXPECT_LE(Now(), start + 900 + 2 * kReadMs);
}

struct Cadence {
  std::int32_t timeout;
  std::int32_t delay;
  // Names the case in test names and failure messages, e.g. "TimeoutMinus5Delay500".
  friend std::string Name(const Cadence& cadence) {
    const auto number = [](std::int32_t value) {
      return (value < 0 ? "Minus" : "") + std::to_string(value < 0 ? -value : value);
    };
    return "Timeout" + number(cadence.timeout) + "Delay" + number(cadence.delay);
  }
  friend void PrintTo(const Cadence& cadence, std::ostream* out) { *out << Name(cadence); }
};

class BelowOneTest : public WaitForCloseTest, public ::testing::WithParamInterface<Cadence> {};

TEST_P(BelowOneTest, NeverBeepsAndStillWaitsForTheDrawer) {
  const std::uint64_t start = OpenDrawerShutIn(3000);
  EXPECT_EQ(drawer->WaitForDrawerClose(GetParam().timeout, 880, 100, GetParam().delay),
            OPOS_SUCCESS);
  EXPECT_TRUE(Beeps().empty());
  EXPECT_GE(Now(), start + 3000);
  EXPECT_LE(Now(), start + 3000 + 2 * kReadMs);
}

INSTANTIATE_TEST_SUITE_P(TimeoutOrDelay, BelowOneTest,
                         ::testing::Values(Cadence{0, 500}, Cadence{-5, 500}, Cadence{1000, 0},
                                           Cadence{1000, -1}),
                         [](const ::testing::TestParamInfo<Cadence>& info) {
                           return Name(info.param);
                         });

// The wait does not report a drawer shut that it never saw shut.
TEST_F(WaitForCloseTest, DrawerThatStopsAnsweringEndsTheWaitAsNoHardwareAfterOneTimeOut) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  std::uint64_t silentSince = 0;
  // The open is reported from inside the wait; the drawer then falls silent.
  control->SetHook([&](const sim::RecordedCall& call) {
    if (call.value != contract::CASH_SUE_DRAWEROPEN) return;
    device.Faults().silent = true;
    silentSince = Now();
  });
  SetDrawerOpen(device, true);
  EXPECT_EQ(drawer->WaitForDrawerClose(60000, 880, 100, 500), OPOS_E_NOHARDWARE);
  EXPECT_LE(Now() - silentSince, 6000u + kReadMs);
  EXPECT_EQ(drawer->GetOpenResult(), OPOS_ORS_NOPORT);
  EXPECT_EQ(control->DeliveredCodes(), std::vector<std::int32_t>{contract::CASH_SUE_DRAWEROPEN});
}

TEST_F(WaitForCloseTest, StatusEventsKeepFlowingDuringTheWait) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  SetDrawerOpen(device, true);
  const std::uint64_t start = Now();
  device.Drawer().ShutAt(start + 2000);
  EXPECT_EQ(drawer->WaitForDrawerClose(1000, 880, 100, 500), OPOS_SUCCESS);
  ASSERT_EQ(control->DeliveredCodes(), std::vector<std::int32_t>{contract::CASH_SUE_DRAWEROPEN});
  EXPECT_LE(control->Calls()[0].at, start + 50 + kReadMs);

  RunFor(100);
  EXPECT_EQ(
      control->DeliveredCodes(),
      (std::vector<std::int32_t>{contract::CASH_SUE_DRAWEROPEN, contract::CASH_SUE_DRAWERCLOSED}));
}

TEST_F(WaitForCloseTest, CloseServiceDuringTheWaitEndsItAtOnceWithObjectNotSet) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  std::uint64_t closedAt = 0;
  control->SetHook([&](const sim::RecordedCall&) {
    drawer->CloseService();
    closedAt = Now();
  });
  SetDrawerOpen(device, true);
  auto outcome = CallMethod([&] { return drawer->WaitForDrawerClose(1000, 880, 100, 500); });
  EXPECT_EQ(Now(), closedAt);
  EXPECT_EQ(outcome.hresult, HResultFromErrorNumber(kErrObjectNotSet));
  EXPECT_EQ(outcome.value, 0);
  EXPECT_EQ(Rec().TheTimer, nullptr);
  EXPECT_EQ(sim.Timers().LiveTimerCount(), 0u);
  EXPECT_TRUE(Beeps().empty());
}

// The application posted WM_QUIT (here from a status handler): the wait
// cannot go on without the messages, so it ends at once, says it did not
// see the drawer shut, and leaves WM_QUIT for the application's own loop.
TEST_F(WaitForCloseTest, AQuittingApplicationEndsTheWaitAndKeepsItsQuitMessage) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  std::uint64_t postedAt = 0;
  control->SetHook([&](const sim::RecordedCall&) {
    sim.Timers().PostQuitMessage(3);
    postedAt = Now();
  });
  SetDrawerOpen(device, true);
  device.Drawer().ShutAt(Now() + 5000);
  EXPECT_EQ(drawer->WaitForDrawerClose(1000, 880, 100, 500), OPOS_E_FAILURE);
  EXPECT_EQ(Now(), postedAt);
  EXPECT_EQ(sim.Timers().TakeQuit(), 3);
  EXPECT_TRUE(Beeps().empty());
  EXPECT_EQ(Rec().TheTimer->GetEnabled(), kFalse);
}

// Right after a pulse the drawer's switch has not moved yet: the wait waits
// for the drawer to open (at most a second) before a closed reading ends it.
struct SwitchCase {
  std::uint32_t switchDelayMs;
  bool opens;  // within the second the wait gives it
  friend void PrintTo(const SwitchCase& c, std::ostream* out) {
    *out << "switch delay " << c.switchDelayMs << " ms";
  }
};

class AfterAPulse : public WaitForCloseTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(AfterAPulse, WaitsForTheDrawerToOpenFirst) {
  ConfigurePid("1234");
  sim::HidDeviceConfig config;
  config.productId = 1234;
  config.switchDelayMs = GetParam().switchDelayMs;
  sim::SimHidDevice& device = sim.AddHidDevice(config);
  device.Drawer().SetAutoShutAfter(500);
  ASSERT_EQ(Open(), 0);
  drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
  const std::uint64_t pulsed = Now();
  ASSERT_EQ(drawer->OpenDrawer(), OPOS_SUCCESS);
  EXPECT_EQ(drawer->WaitForDrawerClose(0, 880, 100, 0), OPOS_SUCCESS);
  if (GetParam().opens) {
    EXPECT_GE(Now(), pulsed + GetParam().switchDelayMs + 500);
    RunFor(60);  // the shutting reaches the application at the next tick
    EXPECT_EQ(control->DeliveredCodes(),
              (std::vector<std::int32_t>{contract::CASH_SUE_DRAWEROPEN,
                                         contract::CASH_SUE_DRAWERCLOSED}));
  } else {
    // The switch never moved in time: the drawer is shut, and that ends it.
    EXPECT_GE(Now(), pulsed + 1000);
    EXPECT_LE(Now(), pulsed + 1000 + kReadMs);
    EXPECT_TRUE(control->Calls().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Switch, AfterAPulse,
                         ::testing::Values(SwitchCase{50, true}, SwitchCase{900, true},
                                           SwitchCase{5000, false}));

// The wait sleeps until something happens and keeps the application's own
// messages on time, also with a drawer that reports only once a second.
std::vector<std::uint32_t> gAppTicks;
void RecordAppTick(Handle, std::uint32_t message, quillvane::TimerId, std::uint32_t time) {
  if (message == kWmTimer) gAppTicks.push_back(time);
}

TEST_F(WaitForCloseTest, KeepsTheApplicationsMessagesOnTimeWhileItSleeps) {
  sim::SimHidDevice& device = OpenAnsweringDrawer(1000);
  SetDrawerOpen(device, true);
  const std::uint64_t start = Now();
  device.Drawer().ShutAt(start + 3000);
  gAppTicks.clear();
  const std::uint32_t appTimer = sim.SetTimer(0, 0, 100, &RecordAppTick);
  sim.ClearCalls();
  EXPECT_EQ(drawer->WaitForDrawerClose(0, 880, 100, 0), OPOS_SUCCESS);
  sim.KillTimer(0, appTimer);

  ASSERT_GE(gAppTicks.size(), 29u);
  for (std::size_t i = 0; i < gAppTicks.size(); ++i) {
    EXPECT_EQ(gAppTicks[i], start + 100 * (i + 1)) << i;  // each dispatched when due
  }
  // Asleep between the events that matter: about one turn per app tick and
  // per report, not a busy loop.
  EXPECT_LE(sim.CountCalls("MsgWaitForMultipleObjects"), 2 * (30u + 4u));
}

TEST_F(WaitForCloseTest, NestedWaitLeavesTheOuterWaitWithItsStoppedTimer) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  std::uint64_t innerReturned = 0;
  control->SetHook([&](const sim::RecordedCall& call) {
    if (call.depth != 0 || call.value != contract::CASH_SUE_DRAWEROPEN) return;
    if (innerReturned != 0) return;
    // Inside the outer wait: a second wait, which beeps at its own pitch until
    // the drawer is shut; then the operator opens it once more.
    device.Drawer().ShutAt(Now() + 700);
    EXPECT_EQ(drawer->WaitForDrawerClose(200, 440, 20, 100), OPOS_SUCCESS);
    innerReturned = Now();
    SetDrawerOpen(device, true);
    device.Drawer().ShutAt(Now() + 3000);
    RunFor(20);  // the reopening reaches the reports
  });
  SetDrawerOpen(device, true);
  EXPECT_EQ(drawer->WaitForDrawerClose(1000, 880, 100, 500), OPOS_SUCCESS);

  ASSERT_NE(innerReturned, 0u);
  EXPECT_GE(Now(), innerReturned + 3000);
  ASSERT_FALSE(Beeps().empty());
  for (const sim::BeepRecord& beep : Beeps()) {
    // Only the inner wait beeped: the outer one went on with the inner's
    // stopped timer and never reached its beeping loop while the drawer was open.
    EXPECT_EQ(beep.frequency, 440u);
    EXPECT_LT(beep.at, innerReturned);
  }
  EXPECT_EQ(Rec().TheTimer->GetEnabled(), kFalse);
}

}  // namespace
}  // namespace drawer_test
