// The simulated system timers and beeper on virtual time. Callback re-entrancy
// is covered through the timer classes in lite_timer_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "service/PlatformTypes.h"
#include "sim/SimTimers.h"
#include "sim/VirtualClock.h"

namespace {

// Timer callbacks are plain function pointers: they record into file state.
std::vector<std::uint32_t> gTickTimes;

void RecordTick(quillvane::Handle, std::uint32_t message, quillvane::TimerId, std::uint32_t time) {
  if (message == quillvane::kWmTimer) gTickTimes.push_back(time);
}

TEST(SimTimersTest, IdsCountDownAndWrapWithoutHandingOutALiveOne) {
  sim::VirtualClock clock;
  sim::SimTimers timers(clock);
  const quillvane::TimerId keeper = timers.SetTimer(0, 0, 50, &RecordTick);
  EXPECT_EQ(keeper, sim::SimTimers::kFirstId);
  EXPECT_EQ(timers.SetTimer(0, 0, 50, &RecordTick), keeper - 1);
  EXPECT_EQ(timers.KillTimer(0, keeper - 1), 1);
  EXPECT_EQ(timers.KillTimer(0, keeper - 1), 0);
  for (int i = 0; i < 40000; ++i) {
    const quillvane::TimerId id = timers.SetTimer(0, 0, 50, &RecordTick);
    ASSERT_NE(id, 0u);
    ASSERT_NE(id, keeper);
    ASSERT_EQ(timers.KillTimer(0, id), 1);
  }
  EXPECT_EQ(timers.LiveTimerCount(), 1u);
}

TEST(SimTimersTest, TicksFireOnlyWhenPumpedAndMergeKeepingPhase) {
  gTickTimes.clear();
  sim::VirtualClock clock;
  sim::SimTimers timers(clock);
  clock.AdvanceBy(7);
  const quillvane::TimerId id = timers.SetTimer(0, 0, 100, &RecordTick);
  clock.AdvanceBy(99);
  timers.PumpMessages();
  EXPECT_TRUE(gTickTimes.empty());
  clock.AdvanceBy(1);
  EXPECT_TRUE(gTickTimes.empty());  // due, but nobody pumped
  timers.PumpMessages();
  timers.PumpMessages();  // one tick per period, not per pump
  EXPECT_EQ(gTickTimes, std::vector<std::uint32_t>{107});

  // Three and a half periods without a pump merge into one tick, and the
  // next is due on the original grid.
  clock.AdvanceBy(350);
  timers.PumpMessages();
  EXPECT_EQ(gTickTimes, (std::vector<std::uint32_t>{107, 457}));
  EXPECT_EQ(timers.NextDueOf(id), 507u);
}

TEST(SimBeeperTest, RecordsEachToneAndTakesItsDuration) {
  sim::VirtualClock clock;
  sim::SimBeeper beeper(clock);
  clock.AdvanceBy(40);
  EXPECT_NE(beeper.Beep(880, 250), 0);
  EXPECT_NE(beeper.Beep(440, 100), 0);
  ASSERT_EQ(beeper.Beeps().size(), 2u);
  EXPECT_EQ(beeper.Beeps()[0].frequency, 880u);
  EXPECT_EQ(beeper.Beeps()[0].duration, 250u);
  EXPECT_EQ(beeper.Beeps()[0].at, 40u);
  EXPECT_EQ(beeper.Beeps()[1].at, 290u);
  EXPECT_EQ(clock.Now(), 390u);
}

}  // namespace
