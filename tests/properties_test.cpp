// Property access by index: the live registry reads, the version conversion,
// the drawer read behind DrawerOpened, and the enable and freeze rules.
#include <gtest/gtest.h>

#include <cstdint>

#include "DrawerTestSupport.h"
#include "contract/AutomationBoundary.h"
#include "contract/OposConstants.h"
#include "contract/RuntimeError.h"

namespace drawer_test {
namespace {

using namespace quillvane;

class PropertiesTest : public DrawerTest {};

// --- Registry-backed properties ---------------------------------------------

TEST_F(PropertiesTest, VersionIsReadAgainOnEveryNumberRequest) {
  OpenAnsweringDrawer();
  sim.Registry().SetString(kDeviceKey, "Version", "1012");
  EXPECT_EQ(drawer->GetPropertyNumber(PIDX_ServiceObjectVersion), 1012);

  // A registry number is taken as its digits.
  sim.Registry().SetDword(kDeviceKey, "Version", 1013);
  EXPECT_EQ(drawer->GetPropertyNumber(PIDX_ServiceObjectVersion), 1013);

  // Any index refreshes the stored text, also one that answers 0.
  sim.Registry().SetString(kDeviceKey, "Version", " -1014 ");
  EXPECT_EQ(drawer->GetPropertyNumber(2), 0);
  EXPECT_EQ(Rec().strServiceVersion, u" -1014 ");
  sim.Registry().SetString(kDeviceKey, "Version", "7");
  EXPECT_EQ(drawer->GetPropertyNumber(PIDX_Claimed), kFalse);
  EXPECT_EQ(Rec().strServiceVersion, u"7");

  // A fraction goes to the even neighbour.
  sim.Registry().SetString(kDeviceKey, "Version", "2.5");
  EXPECT_EQ(drawer->GetPropertyNumber(PIDX_ServiceObjectVersion), 2);
  sim.Registry().SetString(kDeviceKey, "Version", "3.5");
  EXPECT_EQ(drawer->GetPropertyNumber(PIDX_ServiceObjectVersion), 4);
}

TEST_F(PropertiesTest, UnconvertibleVersionFailsOnlyTheVersionRequest) {
  OpenAnsweringDrawer();
  // No "Version" at all: type mismatch, result 0; other indices still answer.
  auto missing = CallMethod([&] { return drawer->GetPropertyNumber(PIDX_ServiceObjectVersion); });
  EXPECT_EQ(missing.hresult, HResultFromErrorNumber(kErrTypeMismatch));
  EXPECT_EQ(missing.value, 0);
  EXPECT_EQ(drawer->GetPropertyNumber(PIDXCash_CapStatus), kTrue);

  sim.Registry().SetString(kDeviceKey, "Version", "v1");
  EXPECT_EQ(ErrorNumberOf([&] { drawer->GetPropertyNumber(PIDX_ServiceObjectVersion); }),
            kErrTypeMismatch);
  // The text read before the error stays stored.
  EXPECT_EQ(Rec().strServiceVersion, u"v1");

  sim.Registry().SetString(kDeviceKey, "Version", "2147483648");
  EXPECT_EQ(ErrorNumberOf([&] { drawer->GetPropertyNumber(PIDX_ServiceObjectVersion); }),
            kErrOverflow);
}

TEST_F(PropertiesTest, StringIndicesAnswerTheirOwnRegistryValues) {
  OpenAnsweringDrawer();
  sim.Registry().SetString(kDeviceKey, "Service", "quillvane drawer SO");
  sim.Registry().SetString(kDeviceKey, "Description", "USB cash drawer");
  sim.Registry().SetString(kDeviceKey, "Name", "Till 3");

  EXPECT_EQ(drawer->GetPropertyString(PIDX_ServiceObjectDescription), u"quillvane drawer SO");
  EXPECT_EQ(drawer->GetPropertyString(PIDX_DeviceDescription), u"USB cash drawer");
  EXPECT_EQ(drawer->GetPropertyString(PIDX_DeviceName), u"Till 3");
  EXPECT_EQ(drawer->GetPropertyString(PIDX_CheckHealthText), u"Normal");

  // Unknown index: empty text, and all three fields refreshed all the same.
  sim.Registry().SetString(kDeviceKey, "Name", "Till 4");
  sim.Registry().DeleteValue(kDeviceKey, "Description");
  sim.Registry().SetDword(kDeviceKey, "Service", 42);
  EXPECT_EQ(drawer->GetPropertyString(5), u"");
  EXPECT_EQ(Rec().strPhysicalName, u"Till 4");
  EXPECT_EQ(Rec().strDeviceDescription, u"");
  EXPECT_EQ(Rec().strServiceDescription, u"42");
}

TEST_F(PropertiesTest, HealthTextStaysNormalAfterAFailedHealthCheck) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  device.Faults().silent = true;
  EXPECT_EQ(drawer->CheckHealth(OPOS_CH_INTERNAL), OPOS_E_NOHARDWARE);
  EXPECT_EQ(drawer->GetPropertyString(PIDX_CheckHealthText), u"Normal");
}

// --- The drawer behind DrawerOpened -------------------------------------------

TEST_F(PropertiesTest, DrawerOpenedReadsTheDrawerOnceAndLeavesTheEdgeStateAlone) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  ASSERT_EQ(Rec().blnLastDrawerOpened, kFalse);

  device.Drawer().SetOpen(true, sim.Clock().Now());
  sim.ClearCalls();
  EXPECT_EQ(drawer->GetPropertyNumber(PIDXCash_DrawerOpened), kTrue);
  EXPECT_EQ(sim.CountCalls("ReadFile"), 1u);
  // Only the poll records the state it compares against.
  EXPECT_EQ(Rec().blnLastDrawerOpened, kFalse);

  device.Drawer().SetOpen(false, sim.Clock().Now());
  EXPECT_EQ(drawer->GetPropertyNumber(PIDXCash_DrawerOpened), kFalse);
}

TEST_F(PropertiesTest, SilentDrawerReadsClosedAfterTheReadTimeOut) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  device.Drawer().SetOpen(true, sim.Clock().Now());
  device.Faults().silent = true;
  const std::uint64_t start = sim.Clock().Now();
  EXPECT_EQ(drawer->GetPropertyNumber(PIDXCash_DrawerOpened), kFalse);
  EXPECT_GE(sim.Clock().Now() - start, 6000u);
  EXPECT_EQ(drawer->GetOpenResult(), OPOS_ORS_NOPORT);
}

TEST_F(PropertiesTest, CapStatusIsTrueWithOrWithoutADrawer) {
  EXPECT_EQ(drawer->GetPropertyNumber(PIDXCash_CapStatus), kTrue);
  ConfigurePid("1234");
  EXPECT_EQ(Open(), OPOS_E_ILLEGAL);
  EXPECT_EQ(drawer->GetPropertyNumber(PIDXCash_CapStatus), kTrue);
}

// --- Enable and freeze ----------------------------------------------------------

TEST_F(PropertiesTest, EnableTakesExactlyOneAndAnAnsweringDrawer) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  const struct {
    std::int32_t number;
    Boolean enabled;
  } steps[] = {{1, kTrue}, {-1, kFalse}, {1, kTrue}, {2, kFalse}, {1, kTrue}, {0, kFalse}};
  for (const auto& step : steps) {
    sim.ClearCalls();
    drawer->SetPropertyNumber(PIDX_DeviceEnabled, step.number);
    EXPECT_EQ(drawer->GetPropertyNumber(PIDX_DeviceEnabled), step.enabled) << step.number;
    // The drawer is read whatever the number.
    EXPECT_EQ(sim.CountCalls("ReadFile"), 1u) << step.number;
  }

  drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
  device.Faults().silent = true;
  drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
  EXPECT_EQ(Rec().blnDeviceEnabled, kFalse);
}

TEST_F(PropertiesTest, FreezeTakesExactlyOne) {
  OpenAnsweringDrawer();
  const struct {
    std::int32_t number;
    Boolean frozen;
  } steps[] = {{1, kTrue}, {-1, kFalse}, {1, kTrue}, {2, kFalse}, {1, kTrue}, {0, kFalse}};
  for (const auto& step : steps) {
    drawer->SetPropertyNumber(PIDX_FreezeEvents, step.number);
    EXPECT_EQ(drawer->GetPropertyNumber(PIDX_FreezeEvents), step.frozen) << step.number;
  }
}

TEST_F(PropertiesTest, FailedEnableLeavesTheFlagAsItWas) {
  OpenAnsweringDrawer();
  drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
  ASSERT_EQ(Rec().blnDeviceEnabled, kTrue);

  sim.SetMissingFunction("ReadFile");
  auto disable = CallMethod([&] { drawer->SetPropertyNumber(PIDX_DeviceEnabled, 0); });
  EXPECT_EQ(disable.hresult, HResultFromErrorNumber(kErrEntryPoint));
  EXPECT_EQ(Rec().blnDeviceEnabled, kTrue);

  auto opened = CallMethod([&] { return drawer->GetPropertyNumber(PIDXCash_DrawerOpened); });
  EXPECT_EQ(opened.hresult, HResultFromErrorNumber(kErrEntryPoint));
  EXPECT_EQ(opened.value, 0);
  sim.SetMissingFunction("ReadFile", false);
}

TEST_F(PropertiesTest, WithoutADrawerTheDeviceCannotBeEnabled) {
  ConfigurePid("1234");
  AddDrawer(4321);
  ASSERT_EQ(Open(), OPOS_E_ILLEGAL);
  EXPECT_EQ(ErrorNumberOf([&] { drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1); }),
            kErrSubscriptOutOfRange);
  EXPECT_EQ(Rec().blnDeviceEnabled, kFalse);
  EXPECT_EQ(ErrorNumberOf([&] { drawer->GetPropertyNumber(PIDXCash_DrawerOpened); }),
            kErrSubscriptOutOfRange);
  // Properties that need no drawer still answer.
  drawer->SetPropertyNumber(PIDX_FreezeEvents, 1);
  EXPECT_EQ(drawer->GetPropertyNumber(PIDX_FreezeEvents), kTrue);
}

}  // namespace
}  // namespace drawer_test
