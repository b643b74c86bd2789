// The status poll on virtual time: edge detection, freezing, delivery order,
// re-entrant handlers and errors during a tick.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "StatusTestSupport.h"
#include "contract/ControlObject.h"
#include "contract/OposConstants.h"
#include "contract/RuntimeError.h"
#include "service/StatusQueue.h"

namespace drawer_test {
namespace {

using namespace quillvane;
using contract::CASH_SUE_DRAWERCLOSED;
using contract::CASH_SUE_DRAWEROPEN;
using Codes = std::vector<std::int32_t>;

constexpr std::int32_t kRejected = static_cast<std::int32_t>(0x80020009u);

class StatusEventsTest : public TimedDrawerTest {
 protected:
  void Freeze(bool frozen) { drawer->SetPropertyNumber(PIDX_FreezeEvents, frozen ? 1 : 0); }

  // Frozen, with the drawer moved through `states`, one poll period apart:
  // the queue holds one code per change.
  void QueueWhileFrozen(sim::SimHidDevice& device, const std::vector<bool>& states) {
    Freeze(true);
    for (bool open : states) {
      SetDrawerOpen(device, open);
      RunFor(100);
    }
    ASSERT_TRUE(control->Calls().empty());
  }
};

TEST_F(StatusEventsTest, EachChangeIsDeliveredAtTheNextTick) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  RunFor(200);
  EXPECT_TRUE(control->Calls().empty());

  SetDrawerOpen(device, true);
  const std::uint64_t openedAt = Now();
  RunFor(200);
  ASSERT_EQ(control->DeliveredCodes(), Codes{CASH_SUE_DRAWEROPEN});
  EXPECT_EQ(control->Calls()[0].name, u"SOStatusUpdate");
  EXPECT_LE(control->Calls()[0].at - openedAt, 50u + 10u);

  SetDrawerOpen(device, false);
  RunFor(200);
  EXPECT_EQ(control->DeliveredCodes(), (Codes{CASH_SUE_DRAWEROPEN, CASH_SUE_DRAWERCLOSED}));
  EXPECT_EQ(Rec().lngStatusQueue.Size(), 0u);
}

TEST_F(StatusEventsTest, DrawerAlreadyOpenAtOpenGivesNoEvent) {
  ConfigurePid("1234");
  sim::SimHidDevice& device = AddDrawer(1234);
  SetDrawerOpen(device, true);
  ASSERT_EQ(Open(), 0);
  drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
  RunFor(200);
  EXPECT_TRUE(control->Calls().empty());
  SetDrawerOpen(device, false);
  RunFor(100);
  EXPECT_EQ(control->DeliveredCodes(), Codes{CASH_SUE_DRAWERCLOSED});
}

TEST_F(StatusEventsTest, FrozenCodesGoOutInOrderAtTheFirstTickAfterUnfreezing) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  QueueWhileFrozen(device, {true, false});
  EXPECT_EQ(Rec().lngStatusQueue.Size(), 2u);

  // Lifting the freeze delivers nothing by itself.
  EXPECT_EQ(drawer->COFreezeEvents(0), OPOS_SUCCESS);
  EXPECT_TRUE(control->Calls().empty());

  RunFor(60);
  ASSERT_EQ(control->DeliveredCodes(), (Codes{CASH_SUE_DRAWEROPEN, CASH_SUE_DRAWERCLOSED}));
  // Both in the same tick.
  EXPECT_EQ(control->Calls()[0].at, control->Calls()[1].at);
}

TEST_F(StatusEventsTest, DisabledTicksReadAndDeliverNothing) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  QueueWhileFrozen(device, {true});
  drawer->SetPropertyNumber(PIDX_DeviceEnabled, 0);
  Freeze(false);

  sim.ClearCalls();
  const std::size_t ticksBefore = sim.Timers().DispatchedTickCount();
  SetDrawerOpen(device, false);
  RunFor(500);
  EXPECT_GE(sim.Timers().DispatchedTickCount() - ticksBefore, 9u);
  EXPECT_EQ(sim.CountCalls("ReadFile"), 0u);
  EXPECT_TRUE(control->Calls().empty());
  EXPECT_EQ(Rec().lngStatusQueue.Size(), 1u);

  // Enabled again: the held code, then the change seen against the last
  // enabled tick (open then, closed now).
  drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
  RunFor(60);
  EXPECT_EQ(control->DeliveredCodes(), (Codes{CASH_SUE_DRAWEROPEN, CASH_SUE_DRAWERCLOSED}));
}

TEST_F(StatusEventsTest, ChangeUndoneWhileDisabledIsNotReported) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  drawer->SetPropertyNumber(PIDX_DeviceEnabled, 0);
  SetDrawerOpen(device, true);
  RunFor(100);
  SetDrawerOpen(device, false);
  drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
  RunFor(200);
  EXPECT_TRUE(control->Calls().empty());
}

TEST_F(StatusEventsTest, HandlerThatPumpsNeverGetsACodeTwice) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  QueueWhileFrozen(device, {true, false, true});
  // The first delivery lets the next tick run inside it.
  control->SetHook([&](const sim::RecordedCall& call) {
    if (call.depth == 0 && control->Calls().size() == 1) RunFor(60);
  });
  Freeze(false);
  RunFor(200);

  const auto& calls = control->Calls();
  ASSERT_EQ(control->DeliveredCodes(),
            (Codes{CASH_SUE_DRAWEROPEN, CASH_SUE_DRAWERCLOSED, CASH_SUE_DRAWEROPEN}));
  // The later codes really went out from the nested tick.
  EXPECT_EQ(calls[0].depth, 0u);
  EXPECT_EQ(calls[1].depth, 1u);
  EXPECT_EQ(calls[2].depth, 1u);
  EXPECT_EQ(Rec().lngStatusQueue.Size(), 0u);
}

TEST_F(StatusEventsTest, RejectedDeliveryLosesThatCodeOnlyAndEndsTheTick) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  QueueWhileFrozen(device, {true, false});
  control->FailNextCall(kRejected);
  Freeze(false);
  RunFor(50);  // one tick: the rejected open; the close stays queued
  ASSERT_EQ(control->Calls().size(), 1u);
  EXPECT_TRUE(control->Calls()[0].rejected);
  EXPECT_EQ(control->Calls()[0].value, CASH_SUE_DRAWEROPEN);
  EXPECT_EQ(Rec().lngStatusQueue.Size(), 1u);
  EXPECT_EQ(Rec().blnLastDrawerOpened, kFalse);

  RunFor(50);
  EXPECT_EQ(control->DeliveredCodes(), Codes{CASH_SUE_DRAWERCLOSED});
  EXPECT_EQ(control->Calls().size(), 2u);
}

TEST_F(StatusEventsTest, CloseServiceInsideTheHandlerStopsDelivery) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  QueueWhileFrozen(device, {true, false, true});
  control->SetHook([&](const sim::RecordedCall&) { drawer->CloseService(); });
  Freeze(false);
  RunFor(300);

  // The first code went out; the close emptied the queue, and no tick runs
  // any more.
  EXPECT_EQ(control->DeliveredCodes(), Codes{CASH_SUE_DRAWEROPEN});
  EXPECT_EQ(Rec().lngStatusQueue.Size(), 0u);
  EXPECT_EQ(Rec().t2, nullptr);
  EXPECT_EQ(sim.Timers().LiveTimerCount(), 0u);
}

// A tick takes what has arrived and returns: it never holds the thread, at
// any report rate and whatever the device does.
enum class DeviceState { kAnswering, kSilent, kUnplugged, kLost };
void PrintTo(DeviceState state, std::ostream* out) {
  static const char* const kNames[] = {"answering", "silent", "unplugged", "lost"};
  *out << kNames[static_cast<int>(state)];
}

class TickHold : public StatusEventsTest,
                 public ::testing::WithParamInterface<std::tuple<std::uint32_t, DeviceState>> {};

TEST_P(TickHold, ATickNeverWaits) {
  const auto [period, state] = GetParam();
  sim::SimHidDevice& device = OpenEnabledDrawer(period);
  if (state == DeviceState::kSilent || state == DeviceState::kLost) device.Faults().silent = true;
  if (state == DeviceState::kUnplugged) device.Faults().unplugged = true;
  if (state == DeviceState::kLost) {
    RunFor(6000 + 50 + period);  // silence is counted from the last report a tick took
    ASSERT_EQ(drawer->GetOpenResult(), OPOS_ORS_NOPORT);
  }
  SetDrawerOpen(device, true);
  maxPumpHold = 0;
  RunFor(3000);
  EXPECT_EQ(maxPumpHold, 0u);
  // The opening reaches the application only from a drawer that reports it.
  EXPECT_EQ(control->DeliveredCodes(),
            state == DeviceState::kAnswering ? Codes{CASH_SUE_DRAWEROPEN} : Codes{});
}

INSTANTIATE_TEST_SUITE_P(
    RatesAndStates, TickHold,
    ::testing::Combine(::testing::Values(1u, 10u, 100u, 1000u),
                       ::testing::Values(DeviceState::kAnswering, DeviceState::kSilent,
                                         DeviceState::kUnplugged, DeviceState::kLost)));

// Fifty drawers polled by one thread: none delays another, so each sees a
// 500 ms opening and its shutting, in order, within one tick and one report.
TEST(ManyDrawersOnOneThread, FiftyEachSeeAHalfSecondOpeningAndItsShutting) {
  constexpr int kDrawers = 50;
  sim::SimPlatform sim;
  std::vector<sim::SimHidDevice*> devices;
  std::vector<std::shared_ptr<sim::RecordingControlObject>> controls;
  std::vector<std::shared_ptr<CashDrawer>> drawers;
  for (int i = 0; i < kDrawers; ++i) {
    const std::string name = "Till" + std::to_string(i);
    sim.Registry().SetDword(kCategoryKey + name, "PID", static_cast<std::uint32_t>(3000 + i));
    sim::HidDeviceConfig config;
    config.productId = static_cast<std::uint16_t>(3000 + i);
    devices.push_back(&sim.AddHidDevice(config));
    controls.push_back(std::make_shared<sim::RecordingControlObject>(sim.Clock()));
    drawers.push_back(CashDrawer::Create(sim));
    ASSERT_EQ(drawers.back()->OpenService(u"CashDrawer", Text(name), controls.back()), 0);
    drawers.back()->SetPropertyNumber(PIDX_DeviceEnabled, 1);
  }
  std::uint64_t maxHold = 0;
  auto runFor = [&](std::uint64_t ms) {
    for (std::uint64_t end = sim.Clock().Now() + ms; sim.Clock().Now() < end;) {
      sim.Clock().AdvanceBy(1);
      const std::uint64_t before = sim.Clock().Now();
      sim.PumpMessages();
      maxHold = std::max(maxHold, sim.Clock().Now() - before);
    }
  };
  runFor(200);
  const std::uint64_t opened = sim.Clock().Now();
  for (sim::SimHidDevice* device : devices) {
    device->Drawer().SetOpen(true, opened);
    device->Drawer().ShutAt(opened + 500);
  }
  runFor(1000);

  EXPECT_EQ(maxHold, 0u);
  for (int i = 0; i < kDrawers; ++i) {
    const auto& calls = controls[i]->Calls();
    ASSERT_EQ(controls[i]->DeliveredCodes(), (Codes{CASH_SUE_DRAWEROPEN, CASH_SUE_DRAWERCLOSED}))
        << i;
    EXPECT_LE(calls[0].at - opened, 60u) << i;
    EXPECT_LE(calls[1].at - (opened + 500), 60u) << i;
  }
  for (auto& drawer : drawers) drawer->CloseService();
  drawers.clear();
  EXPECT_TRUE(sim.Violations().empty());
  EXPECT_TRUE(sim.LeakedHandles().empty());
}

TEST(StatusQueueTest, KeepsOrderFarBeyond32768CodesAndReadsMinusOneWhenEmpty) {
  StatusQueue queue;
  EXPECT_EQ(ErrorNumberOf([&] { queue.Enqueue(1); }), kErrSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] { queue.Dequeue(); }), kErrSubscriptOutOfRange);

  queue.Reset();
  EXPECT_EQ(queue.Dequeue(), -1);
  constexpr std::int32_t kCount = 100000;
  for (std::int32_t i = 0; i < kCount; ++i) queue.Enqueue(i);
  for (std::int32_t i = 0; i < kCount; ++i) ASSERT_EQ(queue.Dequeue(), i);
  EXPECT_EQ(queue.Dequeue(), -1);

  // A new open drops whatever was held.
  queue.Enqueue(7);
  queue.Reset();
  EXPECT_EQ(queue.Dequeue(), -1);
}

// Thousands of changes at random times with random freezing: what reaches the
// control object is exactly one code per change, in order, never while frozen.
TEST_F(StatusEventsTest, RandomChangesAndFreezesLoseDuplicateAndReorderNothing) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  std::mt19937 random(0x5157u);
  std::uniform_int_distribution<int> coin(0, 1);
  std::uniform_int_distribution<int> percent(0, 99);
  // Each state lasts long enough for at least one whole tick to read it.
  std::uniform_int_distribution<std::uint64_t> gap(70, 250);

  bool frozen = false;
  bool open = false;
  Codes expected;
  std::size_t deliveredWhileFrozen = 0;
  control->SetHook([&](const sim::RecordedCall&) { deliveredWhileFrozen += frozen ? 1 : 0; });

  for (int step = 0; step < 3000; ++step) {
    if (percent(random) < 15) {
      frozen = !frozen;
      // Both ways of freezing, each with its own notion of true.
      if (coin(random)) {
        drawer->COFreezeEvents(frozen ? kTrue : kFalse);
      } else {
        Freeze(frozen);
      }
    }
    const bool next = coin(random) == 1;
    if (next != open) expected.push_back(next ? CASH_SUE_DRAWEROPEN : CASH_SUE_DRAWERCLOSED);
    open = next;
    SetDrawerOpen(device, open);
    RunFor(gap(random));
  }
  frozen = false;
  Freeze(false);
  RunFor(100);

  ASSERT_GT(expected.size(), 1000u);
  EXPECT_EQ(deliveredWhileFrozen, 0u);
  EXPECT_EQ(control->DeliveredCodes(), expected);
  EXPECT_EQ(Rec().lngStatusQueue.Size(), 0u);
}

}  // namespace
}  // namespace drawer_test
