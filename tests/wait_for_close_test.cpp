// WaitForDrawerClose on virtual time: the beep cadence, the time-outs below 1,
// a drawer that goes silent, and what other calls made while it pumps do.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "StatusTestSupport.h"
#include "contract/ControlObject.h"
#include "service/AutomationBoundary.h"
#include "service/OposConstants.h"
#include "service/RuntimeError.h"

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

TEST_F(WaitForCloseTest, ClosedDrawerReturnsAfterTwoReadsWithoutBeeping) {
  OpenAnsweringDrawer();
  sim.ClearCalls();
  const std::size_t pumpsBefore = sim.Timers().PumpCount();
  EXPECT_EQ(drawer->WaitForDrawerClose(1000, 440, 100, 500), OPOS_SUCCESS);
  EXPECT_EQ(sim.CountCalls("ReadFile"), 2u);
  EXPECT_EQ(sim.Timers().PumpCount() - pumpsBefore, 2u);
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
    EXPECT_LT(Beeps()[i].at, start + 4000);
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

TEST_F(WaitForCloseTest, DrawerThatStopsAnsweringEndsTheWaitAfterTheReadTimeOuts) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  // The open is reported from inside the wait; the drawer then falls silent.
  control->SetHook([&](const sim::RecordedCall& call) {
    if (call.value == contract::CASH_SUE_DRAWEROPEN) device.Faults().silent = true;
  });
  SetDrawerOpen(device, true);
  const std::uint64_t start = Now();
  EXPECT_EQ(drawer->WaitForDrawerClose(60000, 880, 100, 500), OPOS_SUCCESS);
  EXPECT_GE(Now() - start, 2u * 6000u);
  EXPECT_EQ(drawer->GetOpenResult(), OPOS_ORS_NOPORT);
  EXPECT_EQ(Rec().blnDrawerOpened, kFalse);
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

TEST_F(WaitForCloseTest, CloseServiceDuringTheWaitFailsItWithObjectNotSet) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  control->SetHook([&](const sim::RecordedCall&) { drawer->CloseService(); });
  SetDrawerOpen(device, true);
  auto outcome = CallMethod([&] { return drawer->WaitForDrawerClose(1000, 880, 100, 500); });
  EXPECT_EQ(outcome.hresult, HResultFromErrorNumber(kErrObjectNotSet));
  EXPECT_EQ(outcome.value, 0);
  EXPECT_EQ(Rec().TheTimer, nullptr);
  EXPECT_EQ(sim.Timers().LiveTimerCount(), 0u);
  EXPECT_TRUE(Beeps().empty());
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
