// The service object's open, close and small device methods.
#include <gtest/gtest.h>

#include <utility>

#include "contract/AutomationBoundary.h"
#include "contract/OposConstants.h"
#include "sim/ForwardingPlatform.h"
#include "tests/DrawerTestSupport.h"
#include "tests/StatusTestSupport.h"

namespace {

using drawer_test::DrawerTest;
using drawer_test::ErrorNumberOf;
using namespace quillvane;

using ServiceCore = DrawerTest;

TEST_F(ServiceCore, OpenKeepsTheNameAndTheControlObjectAndArmsThePoll) {
  OpenAnsweringDrawer();
  EXPECT_EQ(Rec().strDeviceName, u"TestDrawer");
  EXPECT_EQ(Rec().objControl, control);
  ASSERT_TRUE(Rec().t2);
  EXPECT_EQ(Rec().t2->GetEnabled(), kTrue);
  EXPECT_EQ(Rec().t2->GetInterval(), 50);
  EXPECT_TRUE(Rec().lngStatusQueue.IsAllocated());
  EXPECT_EQ(Rec().varProductId.value_or(-1), 1234.0);
}

TEST_F(ServiceCore, OpenRecordsTheDrawerStateAtOpen) {
  ConfigurePid("1234");
  sim::SimHidDevice& device = AddDrawer(1234);
  device.Drawer().SetOpen(true, 0);
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(Rec().blnDrawerOpened, kTrue);
  EXPECT_EQ(Rec().blnLastDrawerOpened, kTrue);
}

TEST_F(ServiceCore, AnOpenThatFindsNothingStillHoldsTheControlObjectAndThePoll) {
  ConfigurePid("1234");
  EXPECT_EQ(Open(), OPOS_E_ILLEGAL);
  EXPECT_EQ(drawer->GetOpenResult(), OPOS_ORS_NOPORT);
  EXPECT_EQ(Rec().objControl, control);
  ASSERT_TRUE(Rec().t2);
  EXPECT_EQ(Rec().t2->GetEnabled(), kTrue);
  EXPECT_FALSE(Rec().lngStatusQueue.IsAllocated());

  // Every status read now fails with the out-of-range error; claim state stays.
  EXPECT_EQ(ErrorNumberOf([&] { drawer->ClaimDevice(1000); }), kErrSubscriptOutOfRange);
  EXPECT_EQ(Rec().blnClaimed, kFalse);
  EXPECT_EQ(ErrorNumberOf([&] { drawer->CheckHealth(OPOS_CH_INTERNAL); }), kErrSubscriptOutOfRange);
  EXPECT_EQ(drawer->OpenDrawer(), OPOS_E_ILLEGAL);
  EXPECT_EQ(drawer->CloseService(), OPOS_SUCCESS);
}

TEST_F(ServiceCore, CloseReleasesTheControlObjectTimersAndHandles) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  const long references = control.use_count();
  EXPECT_EQ(drawer->CloseService(), OPOS_SUCCESS);
  EXPECT_EQ(control.use_count(), references - 1);
  EXPECT_FALSE(Rec().t2);
  EXPECT_FALSE(Rec().TheTimer);
  EXPECT_EQ(device.OpenHandleCount(), 0u);
  EXPECT_EQ(sim.Timers().LiveTimerCount(), 0u);
  EXPECT_EQ(drawer->GetOpenResult(), OPOS_ORS_NOPORT);
  // Closing again closes nothing twice (TearDown checks the handles).
  EXPECT_EQ(drawer->CloseService(), OPOS_SUCCESS);
}

// The same object opened again behaves as a new one: nothing claimed,
// enabled or frozen survives the close, and nothing held is delivered.
TEST_F(ServiceCore, CloseReturnsTheObjectToItsNewState) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  ASSERT_EQ(drawer->ClaimDevice(0), OPOS_SUCCESS);
  drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
  drawer->COFreezeEvents(kTrue);
  device.Drawer().SetOpen(true, sim.Clock().Now());
  for (int i = 0; i < 100; ++i) {  // the opening is queued, frozen
    sim.Clock().AdvanceBy(1);
    sim.PumpMessages();
  }
  ASSERT_EQ(Rec().lngStatusQueue.Size(), 1u);
  EXPECT_EQ(drawer->CloseService(), OPOS_SUCCESS);

  EXPECT_EQ(Open(), OPOS_SUCCESS);
  EXPECT_EQ(Rec().blnClaimed, kFalse);
  EXPECT_EQ(Rec().blnDeviceEnabled, kFalse);
  EXPECT_EQ(Rec().blnFreezeEvents, kFalse);
  EXPECT_EQ(drawer->ClaimDevice(0), OPOS_SUCCESS);
  device.Drawer().SetOpen(false, sim.Clock().Now());
  for (int i = 0; i < 200; ++i) {
    sim.Clock().AdvanceBy(1);
    sim.PumpMessages();
  }
  EXPECT_TRUE(control->Calls().empty());  // not enabled: no event, old or new
}

TEST_F(ServiceCore, ClaimAnswersByTheDrawerAndAlwaysClaims) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  EXPECT_EQ(drawer->ClaimDevice(1000), OPOS_SUCCESS);
  EXPECT_EQ(Rec().blnClaimed, kTrue);
  EXPECT_EQ(drawer->ClaimDevice(1000), OPOS_E_NOHARDWARE);
  EXPECT_EQ(Rec().blnClaimed, kTrue);

  EXPECT_EQ(drawer->ReleaseDevice(), OPOS_SUCCESS);
  EXPECT_EQ(Rec().blnClaimed, kFalse);
  EXPECT_EQ(drawer->ReleaseDevice(), OPOS_SUCCESS);

  device.Faults().silent = true;
  EXPECT_EQ(drawer->ClaimDevice(0), OPOS_E_NOHARDWARE);
  EXPECT_EQ(Rec().blnClaimed, kTrue);
}

TEST_F(ServiceCore, HealthCheckReadsOnlyForLevelsOneToThree) {
  OpenAnsweringDrawer();
  sim.ClearCalls();
  EXPECT_EQ(drawer->CheckHealth(0), OPOS_SUCCESS);
  EXPECT_EQ(drawer->CheckHealth(4), OPOS_SUCCESS);
  EXPECT_EQ(drawer->CheckHealth(-1), OPOS_SUCCESS);
  EXPECT_EQ(sim.CountCalls("ReadFile"), 0u);
  for (std::int32_t level : {1, 2, 3}) EXPECT_EQ(drawer->CheckHealth(level), OPOS_SUCCESS);
  EXPECT_EQ(sim.CountCalls("ReadFile"), 3u);
}

TEST_F(ServiceCore, HealthCheckOutsideTheLevelsNeedsNoDrawerAtAll) {
  EXPECT_EQ(drawer->CheckHealth(0), OPOS_SUCCESS);
  EXPECT_EQ(drawer->CheckHealth(4), OPOS_SUCCESS);
  EXPECT_TRUE(sim.Calls().empty());
}

TEST_F(ServiceCore, FreezeTakesOnlyMinusOneAsTrue) {
  EXPECT_EQ(drawer->COFreezeEvents(-1), OPOS_SUCCESS);
  EXPECT_EQ(Rec().blnFreezeEvents, kTrue);
  EXPECT_EQ(drawer->COFreezeEvents(1), OPOS_SUCCESS);
  EXPECT_EQ(Rec().blnFreezeEvents, kFalse);
  drawer->COFreezeEvents(-1);
  drawer->COFreezeEvents(0);
  EXPECT_EQ(Rec().blnFreezeEvents, kFalse);
}

TEST_F(ServiceCore, DirectIoIsIllegalAndTouchesNothing) {
  std::int32_t data = 17;
  std::u16string text = u"keep";
  EXPECT_EQ(drawer->DirectIO(5, data, text), OPOS_E_ILLEGAL);
  EXPECT_EQ(data, 17);
  EXPECT_EQ(text, u"keep");
}

TEST_F(ServiceCore, OpenDrawerNeedsTheDeviceEnabled) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  EXPECT_EQ(drawer->OpenDrawer(), OPOS_E_ILLEGAL);
  EXPECT_EQ(device.OutputReports().size(), 1u);  // the idle report only
}

// OpenDrawer succeeds only when the pulse report reached the device in full.
struct PulseCase {
  const char* name;
  std::uint32_t writeError;  // WriteFile fails with this error (0: it does not)
  bool shortWrite;           // WriteFile takes one byte less than given
  bool lostBefore;           // the drawer fell silent and was lost before the call
  std::int32_t expected;
  friend void PrintTo(const PulseCase& c, std::ostream* out) { *out << c.name; }
};

class PulseOutcome : public drawer_test::TimedDrawerTest,
                     public ::testing::WithParamInterface<PulseCase> {
 protected:
  class FailingWrites final : public sim::ForwardingPlatform {
   public:
    using ForwardingPlatform::ForwardingPlatform;
    std::int32_t WriteFile(Handle file, const void* buffer, std::uint32_t length,
                           std::uint32_t* written, OVERLAPPED* overlapped) override {
      if (armed && writeError != 0) {
        error = writeError;
        return 0;
      }
      return ForwardingPlatform::WriteFile(file, buffer, armed && shortWrite ? length - 1 : length,
                                           written, overlapped);
    }
    std::uint32_t GetLastError() override {
      return std::exchange(error, 0) != 0 ? writeError : ForwardingPlatform::GetLastError();
    }
    bool armed = false;
    std::uint32_t writeError = 0;
    bool shortWrite = false;
    std::uint32_t error = 0;
  };

  void SetUp() override { drawer = CashDrawer::Create(api); }

  FailingWrites api{sim};
};

TEST_P(PulseOutcome, SucceedsOnlyWhenThePulseWasHandedOver) {
  const PulseCase& c = GetParam();
  sim::SimHidDevice& device = OpenEnabledDrawer();
  if (c.lostBefore) {
    device.Faults().silent = true;
    RunFor(6100);
    ASSERT_EQ(drawer->GetOpenResult(), OPOS_ORS_NOPORT);
  }
  api.writeError = c.writeError;
  api.shortWrite = c.shortWrite;
  api.armed = true;
  EXPECT_EQ(drawer->OpenDrawer(), c.expected);
  if (!c.shortWrite) {
    EXPECT_EQ(device.Drawer().PulseCount(), c.expected == OPOS_SUCCESS ? 1u : 0u);
  }
  const bool lost = c.lostBefore || c.writeError == kErrorDeviceNotConnected;
  EXPECT_EQ(drawer->GetOpenResult(), lost ? OPOS_ORS_NOPORT : OPOS_ORS_SPECIFIC);
  EXPECT_EQ(device.OpenHandleCount(), lost ? 0u : 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, PulseOutcome,
    ::testing::Values(PulseCase{"Written", 0, false, false, OPOS_SUCCESS},
                      PulseCase{"WriteFails", 31, false, false, OPOS_E_FAILURE},
                      PulseCase{"DeviceGone", kErrorDeviceNotConnected, false, false,
                                OPOS_E_NOHARDWARE},
                      PulseCase{"ShortWrite", 0, true, false, OPOS_E_FAILURE},
                      PulseCase{"DrawerLostBefore", 0, false, true, OPOS_E_NOHARDWARE}),
    [](const ::testing::TestParamInfo<PulseCase>& info) { return info.param.name; });

TEST_F(ServiceCore, MissingPlatformLibrariesAndFunctionsFailTheCall) {
  ConfigurePid("1234");
  AddDrawer(1234);
  sim.SetMissingLibrary("hid.dll");
  auto outcome = CallMethod([&] { return Open(); });
  EXPECT_EQ(static_cast<std::uint32_t>(outcome.hresult), 0x800A0030u);
  EXPECT_EQ(outcome.value, 0);
  // State changed before the error stays changed.
  EXPECT_EQ(Rec().objControl, control);
  EXPECT_TRUE(Rec().t2);

  sim.SetMissingLibrary("hid.dll", false);
  sim.SetMissingFunction("ReadFile");
  EXPECT_EQ(ErrorNumberOf([&] { Open(); }), kErrEntryPoint);
  EXPECT_EQ(Rec().blnDeviceDetected, kTrue);
}

TEST_F(ServiceCore, DestroyingAnOpenInstanceReleasesEverything) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  drawer.reset();
  EXPECT_EQ(device.OpenHandleCount(), 0u);
  EXPECT_EQ(sim.Timers().LiveTimerCount(), 0u);
  EXPECT_TRUE(sim.LeakedHandles().empty());
  EXPECT_EQ(control.use_count(), 1);
}

}  // namespace
