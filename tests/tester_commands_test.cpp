// The tester's lifecycle commands, property readout and indicator boxes:
// the calls each click makes on the control object, in order, the lines it
// logs and what it sets in the window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TesterFakes.h"
#include "contract/ControlObject.h"
#include "tester/Form1.h"

namespace tester_test {
namespace {

using namespace contract;
using Calls = std::vector<std::string>;

const Calls kReadout = {"get 12", "get 39", "get 40", "get 13", "get 14", "get 17", "get 18",
                        "get 27", "get 28", "get 29", "get 30", "get 50", "get 52"};

Calls Then(Calls first, const Calls& rest) {
  first.insert(first.end(), rest.begin(), rest.end());
  return first;
}

class TesterCommandsTest : public ::testing::Test {
 protected:
  FakeControlObject cd;
  FakeView view;
  brindlemark::Form1 form{cd, view};
};

TEST_F(TesterCommandsTest, OpenPassesTheTypedNameAndLogsReturnThenOpenResult) {
  view.texts[ControlId::OpenName] = u"Not In List";
  cd.numbers[kDispidOpenResult] = 0;
  form.Open_Click();
  EXPECT_EQ(cd.calls, Then({"call 37 (\"Not In List\" val)", "get 49"}, kReadout));
  EXPECT_EQ(view.log, (std::vector<std::string>{"Open Return = 0", "Open Result = 0"}));
  EXPECT_TRUE(form.blnOpened());
  EXPECT_TRUE(view.checked[ControlId::Opened]);
}

TEST_F(TesterCommandsTest, FailedOpenLeavesOpenedUncheckedAndAClickKeepsItSo) {
  cd.results[kDispidOpen] = 109;
  cd.numbers[kDispidOpenResult] = 401;
  form.Open_Click();
  EXPECT_EQ(view.log, (std::vector<std::string>{"Open Return = 109", "Open Result = 401"}));
  EXPECT_FALSE(form.blnOpened());
  EXPECT_FALSE(view.checked[ControlId::Opened]);

  // The operator's click toggled the box; the handler sets it back.
  view.checked[ControlId::Opened] = true;
  EXPECT_TRUE(form.Click(ControlId::Opened));
  EXPECT_FALSE(view.checked[ControlId::Opened]);

  // A second open that succeeds, then one that fails, clears it again.
  cd.results[kDispidOpen] = 0;
  form.Open_Click();
  EXPECT_TRUE(form.blnOpened());
  view.checked[ControlId::Opened] = false;
  form.Click(ControlId::Opened);
  EXPECT_TRUE(view.checked[ControlId::Opened]);
  cd.results[kDispidOpen] = -5;
  form.Open_Click();
  EXPECT_FALSE(form.blnOpened());
  EXPECT_EQ(view.log[4], "Open Return = -5");
}

TEST_F(TesterCommandsTest, CloseClearsOpenedWhateverItReturns) {
  form.Open_Click();
  ASSERT_TRUE(form.blnOpened());
  cd.calls.clear();
  cd.results[kDispidClose] = 106;
  form.Close_Click();
  EXPECT_FALSE(form.blnOpened());
  EXPECT_FALSE(view.checked[ControlId::Opened]);
  EXPECT_EQ(view.log.back(), "Close Result = 106");
  EXPECT_EQ(cd.calls, Then({"call 35 ()"}, kReadout));
}

TEST_F(TesterCommandsTest, ClaimReleaseAndPutsCallInOrderThenReadOut) {
  cd.results[kDispidClaimDevice] = 107;
  form.Claim_Click();
  form.Release_Click();
  form.Enable_Click();
  form.Freeze_Click();
  form.UnFreeze_Click();
  Calls expected = Then({"call 32 (1000 val)"}, kReadout);
  expected = Then(Then(expected, {"call 38 ()"}), kReadout);
  expected = Then(Then(expected, {"put 17 -1"}), kReadout);
  expected = Then(Then(expected, {"put 18 -1"}), kReadout);
  expected = Then(Then(expected, {"put 18 0"}), kReadout);
  EXPECT_EQ(cd.calls, expected);
  // The puts log nothing.
  EXPECT_EQ(view.log, (std::vector<std::string>{"Claim Result = 107", "Release Result = 0"}));
}

TEST_F(TesterCommandsTest, ReadoutChecksPowerReportingOnlyAtMinusOneAndBooleansAtNonzero) {
  cd.texts[kDispidCheckHealthText] = u"Internal HCheck: Successful";
  cd.texts[kDispidServiceObjectDescription] = u"quillvane drawer";
  cd.texts[kDispidDeviceDescription] = u"USB drawer";
  cd.texts[kDispidDeviceName] = u"Drawer 1";
  cd.numbers[kDispidServiceObjectVersion] = 1012005;
  cd.numbers[kDispidClaimed] = -1;
  cd.numbers[kDispidDeviceEnabled] = 1;  // any nonzero value is true
  cd.numbers[kDispidFreezeEvents] = 0;
  cd.numbers[kDispidCapStatus] = 2;
  cd.numbers[kDispidCapStatisticsReporting] = -1;

  for (std::int32_t power : {1, 2, 0}) {
    cd.numbers[kDispidCapPowerReporting] = power;
    form.ReadProperties();
    EXPECT_FALSE(view.checked[ControlId::CapPowerReporting]) << power;
  }
  cd.numbers[kDispidCapPowerReporting] = -1;
  view.checked[ControlId::FreezeEvents] = true;
  form.ReadProperties();
  EXPECT_TRUE(view.checked[ControlId::CapPowerReporting]);
  EXPECT_TRUE(view.checked[ControlId::Claimed]);
  EXPECT_TRUE(view.checked[ControlId::DeviceEnabled]);
  EXPECT_FALSE(view.checked[ControlId::FreezeEvents]);
  EXPECT_TRUE(view.checked[ControlId::CapStatus]);
  EXPECT_FALSE(view.checked[ControlId::CapStatusMultiDrawer]);
  EXPECT_TRUE(view.checked[ControlId::CapStatisticsReporting]);
  EXPECT_FALSE(view.checked[ControlId::CapUpdateStatistics]);
  EXPECT_EQ(view.texts[ControlId::CheckHealthText], u"Internal HCheck: Successful");
  EXPECT_EQ(view.texts[ControlId::DeviceServiceDescription], u"quillvane drawer");
  EXPECT_EQ(view.texts[ControlId::DeviceServiceVersion], u"1012005");
  EXPECT_EQ(view.texts[ControlId::PhysicalDeviceDescription], u"USB drawer");
  EXPECT_EQ(view.texts[ControlId::PhysicalDeviceName], u"Drawer 1");
  EXPECT_TRUE(view.log.empty());

  cd.numbers[kDispidServiceObjectVersion] = -2147483647 - 1;
  form.ReadProperties();
  EXPECT_EQ(view.texts[ControlId::DeviceServiceVersion], u"-2147483648");
}

TEST_F(TesterCommandsTest, IndicatorClicksReadTheDeviceAgainOrNothing) {
  for (ControlId box : {ControlId::Claimed, ControlId::DeviceEnabled, ControlId::FreezeEvents,
                        ControlId::CapPowerReporting, ControlId::CapStatisticsReporting,
                        ControlId::CapUpdateStatistics, ControlId::ReadProperties}) {
    cd.calls.clear();
    view.checked[box] = true;  // the operator's click
    EXPECT_TRUE(form.Click(box));
    EXPECT_EQ(cd.calls, kReadout);
    if (box != ControlId::ReadProperties) {
      EXPECT_FALSE(view.checked[box]);
    }
  }

  cd.calls.clear();
  cd.numbers[kDispidDrawerOpened] = -1;
  EXPECT_TRUE(form.Click(ControlId::DrawerOpened));
  EXPECT_EQ(cd.calls, Calls{"get 51"});
  EXPECT_TRUE(view.checked[ControlId::DrawerOpened]);

  // CapStatus keeps the operator's click until the next readout.
  cd.calls.clear();
  view.checked[ControlId::CapStatus] = true;
  EXPECT_FALSE(form.Click(ControlId::CapStatus));
  EXPECT_FALSE(form.Click(ControlId::CapStatusMultiDrawer));
  EXPECT_TRUE(cd.calls.empty());
  EXPECT_TRUE(view.checked[ControlId::CapStatus]);
  form.ReadProperties();
  EXPECT_FALSE(view.checked[ControlId::CapStatus]);
  EXPECT_TRUE(view.log.empty());
}

}  // namespace
}  // namespace tester_test
