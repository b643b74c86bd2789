// The tester's drawer commands, health check and wait texts, a click
// handled inside a running wait, and calls that fail with automation errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TesterFakes.h"
#include "contract/ControlObject.h"
#include "tester/Form1.h"
#include "tester/LogText.h"

namespace tester_test {
namespace {

using namespace contract;
using Lines = std::vector<std::string>;

class TesterDrawerTest : public ::testing::Test {
 protected:
  FakeControlObject cd;
  FakeView view;
  brindlemark::Form1 form{cd, view};
};

TEST_F(TesterDrawerTest, CheckHealthPassesTheSelectedLevelByReferenceAndLogsItAfterTheCall) {
  form.CheckHealth_Click();
  view.SelectOption(ControlId::External);
  form.CheckHealth_Click();
  view.SelectOption(ControlId::Interactive);
  cd.results[kDispidCheckHealth] = 106;
  // The level is logged as the control object left it.
  cd.during[kDispidCheckHealth] = [](auto& args) { args[0].varValue = std::int32_t{7}; };
  form.CheckHealth_Click();
  EXPECT_EQ(cd.calls,
            (std::vector<std::string>{"call 31 (1 ref)", "call 31 (2 ref)", "call 31 (3 ref)"}));
  EXPECT_EQ(view.log,
            (Lines{"CheckHealth Level = 1", "CheckHealth Result = 0", "CheckHealth Level = 2",
                   "CheckHealth Result = 0", "CheckHealth Level = 7", "CheckHealth Result = 106"}));
}

TEST_F(TesterDrawerTest, OpenDrawerLogsItsResultBeforeReadingTheDrawer) {
  cd.results[kDispidOpenDrawer] = 106;
  cd.numbers[kDispidDrawerOpened] = -1;
  std::size_t linesAtRead = 99;
  cd.during[kDispidOpenDrawer] = [&](auto&) { linesAtRead = view.log.size(); };
  form.OpenDrawer_Click();
  EXPECT_EQ(cd.calls, (std::vector<std::string>{"call 60 ()", "get 51"}));
  EXPECT_EQ(view.log, Lines{"OpenDrawer Result = 106"});
  EXPECT_EQ(linesAtRead, 0u);
  EXPECT_TRUE(view.checked[ControlId::DrawerOpened]);

  cd.calls.clear();
  cd.numbers[kDispidDrawerOpened] = 0;
  form.ReadDrawer_Click();
  EXPECT_EQ(cd.calls, std::vector<std::string>{"get 51"});
  EXPECT_FALSE(view.checked[ControlId::DrawerOpened]);
  EXPECT_EQ(view.log.size(), 1u);
}

TEST_F(TesterDrawerTest, WaitPassesTheFourTextsByReferenceInOrder) {
  form.WaitForDrawerClose_Click();
  view.texts[ControlId::TimeoutValue] = u" -1 ";
  view.texts[ControlId::FrequencyValue] = u"+2147483647";
  view.texts[ControlId::DurationValue] = u"-2147483648";
  view.texts[ControlId::DelayValue] = u"007";
  cd.results[kDispidWaitForDrawerClose] = 107;
  form.WaitForDrawerClose_Click();
  EXPECT_EQ(cd.calls, (std::vector<std::string>{
                          "call 61 (10000 ref, 500 ref, 1000 ref, 3000 ref)", "get 51",
                          "call 61 (-1 ref, 2147483647 ref, -2147483648 ref, 7 ref)", "get 51"}));
  EXPECT_EQ(view.log, (Lines{"Wait Result = 0", "Wait Result = 107"}));
}

TEST_F(TesterDrawerTest, WaitTextsThatAreNotWhole32BitNumbersAreLoggedAndNothingIsCalled) {
  const std::string mismatch = std::to_string(brindlemark::kStatusTypeMismatch);
  const std::string overflow = std::to_string(brindlemark::kStatusOverflow);
  struct Case {
    ControlId box;
    std::u16string text;
    std::string line;
  } cases[] = {
      {ControlId::TimeoutValue, u"", "TimeoutValue Error = " + mismatch},
      {ControlId::FrequencyValue, u"abc", "FrequencyValue Error = " + mismatch},
      {ControlId::DurationValue, u"1.5", "DurationValue Error = " + mismatch},
      {ControlId::DelayValue, u"2147483648", "DelayValue Error = " + overflow},
      {ControlId::TimeoutValue, u"-2147483649", "TimeoutValue Error = " + overflow},
      {ControlId::TimeoutValue, u"99999999999999999999999", "TimeoutValue Error = " + overflow},
      {ControlId::FrequencyValue, u"12 3", "FrequencyValue Error = " + mismatch},
      {ControlId::DurationValue, u"-", "DurationValue Error = " + mismatch},
      {ControlId::DelayValue, u"0x10", "DelayValue Error = " + mismatch},
  };
  for (const Case& c : cases) {
    FakeView fresh;
    brindlemark::Form1 freshForm{cd, fresh};
    fresh.texts[c.box] = c.text;
    freshForm.WaitForDrawerClose_Click();
    EXPECT_EQ(fresh.log, Lines{c.line}) << Narrow(c.text);
  }
  EXPECT_TRUE(cd.calls.empty());
  EXPECT_EQ(mismatch, "-2146828275");
}

TEST_F(TesterDrawerTest, AClickInsideTheWaitRunsToItsEndBeforeTheWaitReturns) {
  cd.during[kDispidWaitForDrawerClose] = [&](auto&) {
    form.Click(ControlId::CheckHealth);
    form.Click(ControlId::Open);
  };
  form.WaitForDrawerClose_Click();
  EXPECT_EQ(view.log, (Lines{"CheckHealth Level = 1", "CheckHealth Result = 0", "Open Return = 0",
                             "Open Result = 0", "Wait Result = 0"}));
  EXPECT_TRUE(form.blnOpened());
}

TEST_F(TesterDrawerTest, AutomationErrorsEndTheCommandWithOneLine) {
  const std::int32_t notRegistered = static_cast<std::int32_t>(0x80040154U);
  for (std::int32_t dispid : {kDispidOpen, kDispidClose, kDispidClaimDevice, kDispidReleaseDevice,
                              kDispidDeviceEnabled, kDispidFreezeEvents, kDispidCheckHealth,
                              kDispidOpenDrawer, kDispidWaitForDrawerClose, kDispidDrawerOpened}) {
    cd.failures[dispid] = notRegistered;
  }
  form.Open_Click();
  form.Close_Click();
  form.Claim_Click();
  form.Release_Click();
  form.Enable_Click();
  form.Freeze_Click();
  form.UnFreeze_Click();
  form.CheckHealth_Click();
  form.OpenDrawer_Click();
  form.WaitForDrawerClose_Click();
  form.ReadDrawer_Click();
  EXPECT_EQ(view.log, (Lines{"Open Error = -2147221164", "Close Error = -2147221164",
                             "Claim Error = -2147221164", "Release Error = -2147221164",
                             "Enable Error = -2147221164", "Freeze Error = -2147221164",
                             "UnFreeze Error = -2147221164", "CheckHealth Error = -2147221164",
                             "OpenDrawer Error = -2147221164", "Wait Error = -2147221164",
                             "ReadDrawer Error = -2147221164"}));
  EXPECT_FALSE(form.blnOpened());
  // No readout ran after a failed command.
  for (const std::string& call : cd.calls) EXPECT_NE(call, "get 12");
}

TEST_F(TesterDrawerTest, AFailingReadStopsTheReadoutButKeepsWhatItSet) {
  cd.failures[kDispidOpenResult] = -2147352567;
  form.Open_Click();
  EXPECT_EQ(view.log, (Lines{"Open Return = 0", "OpenResult Error = -2147352567"}));
  EXPECT_TRUE(form.blnOpened());

  cd.failures.clear();
  cd.failures[kDispidDeviceEnabled] = -2147352567;
  cd.numbers[kDispidClaimed] = -1;
  cd.calls.clear();
  form.Claim_Click();
  EXPECT_EQ(view.log.back(), "ReadProperties Error = -2147352567");
  EXPECT_TRUE(view.checked[ControlId::Claimed]);
  EXPECT_EQ(cd.calls.back(), "get 17");
}

}  // namespace
}  // namespace tester_test
