// Loading the device list: the key and access asked for, the buffer sizes,
// the enumeration order and where it stops, and the key closed once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TesterFakes.h"
#include "tester/Form1.h"
#include "tester/LogText.h"

namespace tester_test {
namespace {

class DeviceListTest : public ::testing::Test {
 protected:
  FakeControlObject cd;
  FakeView view;
  FakeRegistry registry;
  brindlemark::Form1 form{cd, view};
};

TEST_F(DeviceListTest, ListsSubkeysInOrderWithFullSizeBuffersAndClosesTheKey) {
  registry.subkeys = {u"Zeta", u"Alpha", u"Drawer 2"};
  view.texts[ControlId::OpenName] = u"left over";
  form.Form_Load(registry);
  EXPECT_EQ(registry.openedPath, "Software\\OLEforRetail\\ServiceOPOS\\CashDrawer");
  EXPECT_EQ(registry.openedAccess, 0x3Fu);
  EXPECT_EQ(view.openNameItems, (std::vector<std::u16string>{u"Zeta", u"Alpha", u"Drawer 2"}));
  EXPECT_EQ(registry.enumCalls,
            (std::vector<std::string>{"0 255 255", "1 255 255", "2 255 255", "3 255 255"}));
  EXPECT_EQ(registry.closes, 1);
  EXPECT_EQ(view.openNameClears, 1);
  EXPECT_TRUE(view.texts[ControlId::OpenName].empty());
  EXPECT_FALSE(view.disabled[ControlId::OpenName]);
  EXPECT_TRUE(view.log.empty());
  EXPECT_TRUE(cd.calls.empty());
}

TEST_F(DeviceListTest, AKeyWithoutSubkeysLeavesTheListEmptyButEnabled) {
  form.Form_Load(registry);
  EXPECT_TRUE(view.openNameItems.empty());
  EXPECT_FALSE(view.disabled[ControlId::OpenName]);
  EXPECT_EQ(registry.closes, 1);
}

TEST_F(DeviceListTest, ANameThatDoesNotFitEndsTheList) {
  registry.subkeys = {u"First", std::u16string(254, u'x'), std::u16string(255, u'y'), u"Later"};
  form.Form_Load(registry);
  ASSERT_EQ(view.openNameItems.size(), 2u);
  EXPECT_EQ(view.openNameItems[1].size(), 254u);
  EXPECT_EQ(registry.enumCalls.size(), 3u);
  EXPECT_EQ(registry.closes, 1);
}

TEST_F(DeviceListTest, AKeyThatCannotBeOpenedDisablesOpenNameAndOpenStillPassesItsText) {
  registry.openStatus = 5;  // access denied
  form.Form_Load(registry);
  EXPECT_TRUE(view.disabled[ControlId::OpenName]);
  EXPECT_TRUE(view.openNameItems.empty());
  EXPECT_EQ(registry.closes, 0);
  EXPECT_TRUE(registry.enumCalls.empty());
  form.Open_Click();
  EXPECT_EQ(cd.calls.front(), "call 37 (\"\" val)");
}

TEST(LogTextTest, NumbersAreWrittenInPlainDecimal) {
  EXPECT_EQ(brindlemark::LogLine(u"Wait Result = ", 0), u"Wait Result = 0");
  EXPECT_EQ(brindlemark::LogLine(u"X = ", -2147483647 - 1), u"X = -2147483648");
  EXPECT_EQ(brindlemark::LogLine(u"X = ", 2147483647), u"X = 2147483647");
  EXPECT_EQ(brindlemark::LogLine(u"X = ", -106), u"X = -106");
}

}  // namespace
}  // namespace tester_test
