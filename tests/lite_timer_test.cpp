// CLiteTimer and MLiteTimer on the simulated platform's virtual time.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <thread>

#include "contract/RuntimeError.h"
#include "service/CLiteTimer.h"
#include "service/MLiteTimer.h"
#include "service/PlatformTypes.h"
#include "sim/SimPlatform.h"

namespace {

using quillvane::CLiteTimer;
using quillvane::kFalse;
using quillvane::kTrue;
using quillvane::kWmTimer;
namespace MLiteTimer = quillvane::MLiteTimer;

// The simulated platform hands out system timer ids from here downwards (with
// bit 32 set where ids are 64-bit).
constexpr quillvane::TimerId kFirstId = sim::SimTimers::kFirstId;

class LiteTimerTest : public ::testing::Test {
 protected:
  // A timer whose ticks are counted.
  std::shared_ptr<CLiteTimer> CountingTimer(int& ticks) {
    auto timer = CLiteTimer::Create(platform);
    timer->Timer = [&ticks] { ++ticks; };
    return timer;
  }
  // A counting timer already running at `interval` ms.
  std::shared_ptr<CLiteTimer> RunningTimer(int& ticks, std::int32_t interval) {
    auto timer = CountingTimer(ticks);
    timer->SetInterval(interval);
    timer->SetEnabled(kTrue);
    return timer;
  }
  void AdvanceAndPump(std::uint64_t ms) {
    platform.Clock().AdvanceBy(ms);
    platform.PumpMessages();
  }
  sim::SimTimers& Timers() { return platform.Timers(); }
  // Once its timers are gone, a test leaves this thread without a table.
  void TearDown() override { EXPECT_FALSE(MLiteTimer::HasTable()); }

  sim::SimPlatform platform;
};

// --- The start and stop rules ------------------------------------------------

TEST_F(LiteTimerTest, NewTimerIsStoppedAndAnyNonZeroEnabledStartsIt) {
  int ticks = 0;
  auto timer = CountingTimer(ticks);
  EXPECT_EQ(timer->GetInterval(), 1000);
  EXPECT_EQ(timer->GetEnabled(), kFalse);
  timer->SetInterval(200);
  EXPECT_EQ(Timers().LiveTimerCount(), 0u);  // a put does not start it

  timer->SetEnabled(5);
  EXPECT_EQ(timer->GetEnabled(), kTrue);
  EXPECT_EQ(Timers().IntervalOf(kFirstId), 200u);
  EXPECT_EQ(MLiteTimer::TableSize(), 1u);
  AdvanceAndPump(199);
  EXPECT_EQ(ticks, 0);
  AdvanceAndPump(1);
  EXPECT_EQ(ticks, 1);

  timer->SetEnabled(kFalse);
  EXPECT_EQ(timer->GetEnabled(), kFalse);
  EXPECT_EQ(Timers().LiveTimerCount(), 0u);
  AdvanceAndPump(1000);
  EXPECT_EQ(ticks, 1);
}

TEST_F(LiteTimerTest, IntervalBelowOneStopsAndEnablingThenKeepsItStopped) {
  for (std::int32_t value : {0, -1, -2147483647 - 1}) {
    int ticks = 0;
    auto timer = RunningTimer(ticks, 50);
    timer->SetInterval(value);
    EXPECT_EQ(timer->GetInterval(), 0) << value;
    EXPECT_EQ(timer->GetEnabled(), kFalse) << value;
    EXPECT_FALSE(MLiteTimer::HasTable()) << value;
    timer->SetEnabled(kTrue);
    EXPECT_EQ(timer->GetEnabled(), kFalse) << value;
    EXPECT_EQ(MLiteTimer::TableSize(), 0u) << value;
    AdvanceAndPump(500);
    EXPECT_EQ(ticks, 0) << value;
    EXPECT_EQ(Timers().LiveTimerCount(), 0u) << value;

    timer->SetInterval(50);
    timer->SetEnabled(kTrue);
    EXPECT_EQ(timer->GetEnabled(), kTrue) << value;
  }
}

TEST_F(LiteTimerTest, EnablingARunningTimerKeepsItsIdAndPhase) {
  int ticks = 0;
  auto timer = RunningTimer(ticks, 100);
  AdvanceAndPump(60);
  timer->SetEnabled(-1);
  EXPECT_EQ(Timers().LiveTimerCount(), 1u);
  EXPECT_EQ(Timers().NextDueOf(kFirstId), 100u);
  AdvanceAndPump(40);
  EXPECT_EQ(ticks, 1);
}

TEST_F(LiteTimerTest, IntervalPutRestartsARunningTimerWithANewIdAndPhase) {
  int ticks = 0;
  auto timer = RunningTimer(ticks, 100);
  AdvanceAndPump(60);
  timer->SetInterval(100);  // the same value restarts too
  EXPECT_EQ(timer->GetEnabled(), kTrue);
  EXPECT_FALSE(Timers().IsLive(kFirstId));
  EXPECT_EQ(Timers().LiveTimerCount(), 1u);
  EXPECT_EQ(MLiteTimer::TableSize(), 1u);
  AdvanceAndPump(40);  // the old phase would tick at 100
  EXPECT_EQ(ticks, 0);
  AdvanceAndPump(60);
  EXPECT_EQ(ticks, 1);
}

TEST_F(LiteTimerTest, TimersGetOnlyTheirOwnTicksAndMissedTicksMerge) {
  int fastTicks = 0;
  int slowTicks = 0;
  auto fast = RunningTimer(fastTicks, 30);
  auto slow = RunningTimer(slowTicks, 50);
  for (int i = 0; i < 15; ++i) AdvanceAndPump(10);
  EXPECT_EQ(fastTicks, 5);
  EXPECT_EQ(slowTicks, 3);

  AdvanceAndPump(1000);  // nobody pumped for many periods
  EXPECT_EQ(fastTicks, 6);
  EXPECT_EQ(slowTicks, 4);
}

TEST_F(LiteTimerTest, MessagesOtherThanWmTimerAreIgnored) {
  int ticks = 0;
  auto timer = RunningTimer(ticks, 50);
  Timers().PostForeignMessage(kWmTimer + 1);
  platform.PumpMessages();
  MLiteTimer::TimerProc(0, 0x0112, kFirstId, 0);
  EXPECT_EQ(ticks, 0);
  MLiteTimer::TimerProc(0, kWmTimer, kFirstId, 0);
  EXPECT_EQ(ticks, 1);
}

// --- The table, object lifetime and platform failures ---------------------

TEST_F(LiteTimerTest, ReleasingTheLastOwnerKillsTheTimerAndDropsTheTable) {
  int ticks = 0;
  auto first = RunningTimer(ticks, 50);
  auto second = RunningTimer(ticks, 50);
  first.reset();
  EXPECT_EQ(Timers().LiveTimerCount(), 1u);
  EXPECT_EQ(MLiteTimer::TableSize(), 1u);
  second.reset();
  EXPECT_EQ(Timers().LiveTimerCount(), 0u);
  EXPECT_FALSE(MLiteTimer::HasTable());
  MLiteTimer::TimerProc(0, kWmTimer, kFirstId, 0);  // no table: nothing
  EXPECT_EQ(ticks, 0);
}

TEST_F(LiteTimerTest, RefusedStartLeavesTheTimerStoppedWithoutAnEntry) {
  int ticks = 0;
  auto timer = CountingTimer(ticks);
  Timers().SetRefuseSetTimer(true);
  timer->SetEnabled(kTrue);
  EXPECT_EQ(timer->GetEnabled(), kFalse);
  EXPECT_EQ(MLiteTimer::TableSize(), 0u);

  // A restart the platform refuses leaves the timer stopped, not half-running.
  Timers().SetRefuseSetTimer(false);
  timer->SetEnabled(kTrue);
  Timers().SetRefuseSetTimer(true);
  timer->SetInterval(200);
  EXPECT_EQ(timer->GetEnabled(), kFalse);
  EXPECT_EQ(timer->GetInterval(), 200);
  EXPECT_EQ(Timers().LiveTimerCount(), 0u);
  EXPECT_EQ(MLiteTimer::TableSize(), 0u);
  AdvanceAndPump(1000);
  EXPECT_EQ(ticks, 0);

  Timers().SetRefuseSetTimer(false);
  timer->SetEnabled(kTrue);
  EXPECT_EQ(Timers().IntervalOf(kFirstId - 1), 200u);
}

TEST_F(LiteTimerTest, FailingKillLeavesTheTimerRunning) {
  int ticks = 0;
  auto timer = RunningTimer(ticks, 50);
  Timers().SetFailKillTimer(true);
  timer->SetEnabled(kFalse);
  EXPECT_EQ(timer->GetEnabled(), kTrue);
  EXPECT_EQ(MLiteTimer::TableSize(), 1u);
  AdvanceAndPump(50);
  EXPECT_EQ(ticks, 1);
  Timers().SetFailKillTimer(false);
}

TEST_F(LiteTimerTest, FailingKillAtTeardownLeavesNoEntryAndLaterTicksAreHarmless) {
  int otherTicks = 0;
  auto other = RunningTimer(otherTicks, 50);
  {
    int ticks = 0;
    auto doomed = RunningTimer(ticks, 50);
    Timers().SetFailKillTimer(true);
  }
  Timers().SetFailKillTimer(false);
  EXPECT_EQ(MLiteTimer::TableSize(), 1u);
  // The destroyed object's system timer still ticks into TimerProc, which
  // must find nothing (ASan catches a dangling entry).
  ASSERT_TRUE(Timers().IsLive(kFirstId - 1));
  const std::size_t dispatchedBefore = Timers().DispatchedTickCount();
  AdvanceAndPump(50);
  EXPECT_EQ(Timers().DispatchedTickCount(), dispatchedBefore + 2);
  EXPECT_EQ(otherTicks, 1);
  other.reset();
  AdvanceAndPump(50);  // and with no table at all
}

TEST_F(LiteTimerTest, ReissuedIdReplacesTheStaleEntry) {
  int oldTicks = 0;
  int newTicks = 0;
  auto stale = RunningTimer(oldTicks, 1000);
  // The system drops the timer behind the object's back and later hands its
  // id out again.
  ASSERT_EQ(Timers().KillTimer(0, kFirstId), 1);
  for (quillvane::TimerId id = kFirstId - 1; id > sim::SimTimers::kIdBase; --id) {
    ASSERT_EQ(Timers().SetTimer(0, 0, 10, nullptr), id);
    ASSERT_EQ(Timers().KillTimer(0, id), 1);
  }
  auto fresh = RunningTimer(newTicks, 1000);
  ASSERT_TRUE(Timers().IsLive(kFirstId));
  EXPECT_EQ(MLiteTimer::TableSize(), 1u);
  MLiteTimer::TimerProc(0, kWmTimer, kFirstId, 0);
  EXPECT_EQ(newTicks, 1);
  EXPECT_EQ(oldTicks, 0);
}

// --- Handlers that change timers during the walk --------------------------

TEST_F(LiteTimerTest, HandlerReleasingItsOwnTimerDestroysItAfterTheEvent) {
  int ticks = 0;
  auto holder = RunningTimer(ticks, 10);
  std::weak_ptr<CLiteTimer> observer = holder;
  bool aliveDuringEvent = false;
  holder->Timer = [&] {
    holder.reset();
    aliveDuringEvent = !observer.expired();
  };
  AdvanceAndPump(10);
  EXPECT_TRUE(aliveDuringEvent);
  EXPECT_TRUE(observer.expired());
  EXPECT_EQ(Timers().LiveTimerCount(), 0u);
}

TEST_F(LiteTimerTest, HandlerStoppingAndDestroyingTimersLaterInTheWalk) {
  int ticks = 0;
  int stoppedTicks = 0;
  int destroyedTicks = 0;
  int laterTicks = 0;
  auto killer = RunningTimer(ticks, 10);
  auto stopped = RunningTimer(stoppedTicks, 10);
  auto destroyed = RunningTimer(destroyedTicks, 10);
  auto later = RunningTimer(laterTicks, 10);
  killer->Timer = [&] {
    stopped->SetEnabled(kFalse);
    destroyed.reset();
  };
  // The killer's tick comes first; its walk then meets the entries its
  // handler removed (ASan catches a walk that touches the destroyed one).
  AdvanceAndPump(10);
  EXPECT_EQ(stoppedTicks, 0);
  EXPECT_EQ(destroyedTicks, 0);
  EXPECT_EQ(laterTicks, 1);
  EXPECT_EQ(MLiteTimer::TableSize(), 2u);
  EXPECT_EQ(Timers().LiveTimerCount(), 2u);
}

TEST_F(LiteTimerTest, HandlerRestartingItsOwnTimer) {
  int ticks = 0;
  auto timer = RunningTimer(ticks, 10);
  timer->Timer = [&] {
    ++ticks;
    timer->SetInterval(70);
  };
  AdvanceAndPump(10);
  EXPECT_EQ(MLiteTimer::TableSize(), 1u);
  AdvanceAndPump(69);
  EXPECT_EQ(ticks, 1);
  AdvanceAndPump(1);
  EXPECT_EQ(ticks, 2);
}

TEST_F(LiteTimerTest, HandlerThatPumpsAgainGetsNoTickTwice) {
  int firstTicks = 0;
  int secondTicks = 0;
  auto first = RunningTimer(firstTicks, 10);
  auto second = RunningTimer(secondTicks, 10);
  first->Timer = [&] {
    ++firstTicks;
    platform.PumpMessages();  // delivers the second timer's due tick
  };
  AdvanceAndPump(10);
  EXPECT_EQ(firstTicks, 1);
  EXPECT_EQ(secondTicks, 1);
}

TEST_F(LiteTimerTest, ExceptionsFromHandlersNeverLeaveTimerProc) {
  int attempts = 0;
  int quietTicks = 0;
  auto throwing = RunningTimer(attempts, 10);
  auto quiet = RunningTimer(quietTicks, 10);
  throwing->Timer = [&] {
    if (++attempts == 1) throw quillvane::RuntimeError(quillvane::kErrObjectNotSet);
    throw 42;
  };
  const std::size_t droppedBefore = MLiteTimer::DroppedErrorCount();
  EXPECT_NO_THROW(AdvanceAndPump(10));
  EXPECT_NO_THROW(AdvanceAndPump(10));
  EXPECT_EQ(attempts, 2);
  EXPECT_EQ(quietTicks, 2);
  EXPECT_EQ(MLiteTimer::DroppedErrorCount(), droppedBefore + 2);
  EXPECT_EQ(throwing->GetEnabled(), kTrue);
}

// --- Threads ---------------------------------------------------------------

TEST_F(LiteTimerTest, EachThreadHasItsOwnTable) {
  int ticks = 0;
  auto mine = RunningTimer(ticks, 1000);
  bool otherSawNoTable = false;
  std::size_t otherTableSize = 0;
  std::thread other([&] {
    otherSawNoTable = !MLiteTimer::HasTable();
    MLiteTimer::TimerProc(0, kWmTimer, kFirstId, 0);  // this thread's id: nothing here
    sim::SimPlatform otherPlatform;
    auto theirs = CLiteTimer::Create(otherPlatform);
    theirs->SetEnabled(kTrue);
    otherTableSize = MLiteTimer::TableSize();
  });
  other.join();
  EXPECT_TRUE(otherSawNoTable);
  EXPECT_EQ(otherTableSize, 1u);
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(MLiteTimer::TableSize(), 1u);
}

}  // namespace
