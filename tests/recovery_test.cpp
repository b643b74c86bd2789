// A drawer lost and plugged back, with "Reconnect" set: searched for once a
// second, brought back as the application left it, its change while away
// and the power events reported in order; without "Reconnect" nothing of
// this happens.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "StatusTestSupport.h"
#include "contract/ControlObject.h"
#include "service/OposConstants.h"

namespace drawer_test {
namespace {

using namespace quillvane;
using contract::OPOS_SUE_POWER_OFF_OFFLINE;
using contract::OPOS_SUE_POWER_ONLINE;

class RecoveryTest : public TimedDrawerTest {
 protected:
  // Opened, claimed and enabled with "Reconnect"=1; power notification
  // asked for (while disabled) when `notify`.
  sim::SimHidDevice& OpenWithReconnect(bool notify) {
    sim.Registry().SetDword(kDeviceKey, "Reconnect", 1);
    sim::SimHidDevice& device = OpenAnsweringDrawer();
    EXPECT_EQ(drawer->ClaimDevice(0), OPOS_SUCCESS);
    if (notify) drawer->SetPropertyNumber(PIDX_PowerNotify, OPOS_PN_ENABLED);
    drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
    return device;
  }

  std::size_t Searches() { return sim.CountCalls("SetupDiGetClassDevsA"); }
  std::int32_t PowerState() { return drawer->GetPropertyNumber(PIDX_PowerState); }
  std::vector<std::string> TraceRecords() {
    std::vector<std::string> records;
    const std::string log =
        sim.Files().Contents(u"C:\\ProgramData\\quillvane\\logs\\TestDrawer-20240115.log");
    for (std::size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
      const std::string line = log.substr(at, end - at);
      records.push_back(line.substr(line.find('\t', line.find('\t') + 1) + 1));
    }
    return records;
  }
};

TEST_F(RecoveryTest, SearchedOnceASecondThenBackAsTheApplicationLeftIt) {
  sim.Registry().SetDword(kDeviceKey, "TraceLevel", 3);
  sim::SimHidDevice& device = OpenWithReconnect(false);
  drawer->COFreezeEvents(kTrue);
  device.Faults().unplugged = true;
  RunFor(100);
  EXPECT_EQ(drawer->GetOpenResult(), OPOS_ORS_NOPORT);
  EXPECT_EQ(device.OpenHandleCount(), 0u);

  const std::size_t searchesAtLoss = Searches();
  RunFor(3500);
  EXPECT_EQ(Searches() - searchesAtLoss, 3u);

  device.Faults().unplugged = false;
  RunFor(1000);
  EXPECT_EQ(Searches() - searchesAtLoss, 4u);
  EXPECT_EQ(drawer->GetOpenResult(), OPOS_ORS_SPECIFIC);
  EXPECT_EQ(device.OpenHandleCount(), 2u);
  EXPECT_EQ(Rec().blnClaimed, kTrue);
  EXPECT_EQ(Rec().blnDeviceEnabled, kTrue);
  EXPECT_EQ(Rec().blnFreezeEvents, kTrue);
  RunFor(2000);
  EXPECT_EQ(Searches() - searchesAtLoss, 4u) << "no search while the drawer is there";

  const std::size_t reportsBefore = device.OutputReports().size();
  EXPECT_EQ(drawer->OpenDrawer(), OPOS_SUCCESS);
  ASSERT_EQ(device.OutputReports().size(), reportsBefore + 1);
  EXPECT_EQ(device.OutputReports().back()[1], 0xFF);

  const std::vector<std::string> records = TraceRecords();
  std::size_t lost = records.size(), back = records.size();
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].rfind("ERROR\tdrawer lost\t", 0) == 0) lost = i;
    if (records[i].rfind("EVENT\tdrawer back\tafter_ms=", 0) == 0) back = i;
  }
  EXPECT_LT(lost, back);
  EXPECT_LT(back, records.size());
}

// The drawer's state at its return is reported when it differs from the last
// one reported, and only then.
TEST_F(RecoveryTest, OneStatusEventOnlyWhenTheDrawerChangedWhileAway) {
  for (const bool changed : {false, true}) {
    SCOPED_TRACE(changed ? "opened while away" : "unchanged");
    sim::SimPlatform platform;
    platform.Registry().SetString(kDeviceKey, "PID", "1234");
    platform.Registry().SetDword(kDeviceKey, "Reconnect", 1);
    sim::HidDeviceConfig config;
    config.productId = 1234;
    sim::SimHidDevice& device = platform.AddHidDevice(config);
    auto recorder = std::make_shared<sim::RecordingControlObject>(platform.Clock());
    auto subject = CashDrawer::Create(platform);
    ASSERT_EQ(subject->OpenService(u"CashDrawer", Text(kDeviceName), recorder), OPOS_SUCCESS);
    subject->SetPropertyNumber(PIDX_DeviceEnabled, 1);
    auto run = [&](std::uint64_t ms) {
      for (std::uint64_t i = 0; i < ms; ++i) {
        platform.Clock().AdvanceBy(1);
        platform.PumpMessages();
      }
    };
    device.Faults().unplugged = true;
    run(500);
    if (changed) device.Drawer().SetOpen(true, platform.Clock().Now());
    device.Faults().unplugged = false;
    run(1500);
    EXPECT_EQ(subject->GetOpenResult(), OPOS_ORS_SPECIFIC);
    EXPECT_EQ(recorder->DeliveredCodes(),
              changed ? std::vector<std::int32_t>{contract::CASH_SUE_DRAWEROPEN}
                      : std::vector<std::int32_t>{});
    subject->CloseService();
    subject.reset();
    EXPECT_TRUE(platform.LeakedHandles().empty());
  }
}

// Offline when lost, online when back, then the drawer's change: only with
// notification on, which can be set only while the device is disabled; a
// freeze holds the power codes with the drawer's.
TEST_F(RecoveryTest, PowerEventsInOrderOnlyWithNotificationOn) {
  struct Case {
    const char* name;
    bool notifyBeforeEnabling;
    bool notifyWhileEnabled;
    bool frozen;
    std::vector<std::int32_t> codes;
    std::vector<std::int32_t> states;  // PowerState: before, while lost, back
  };
  const std::vector<Case> cases = {
      {"on", true, false, false, {2004, 2001, 1}, {2001, 2004, 2001}},
      {"on, frozen", true, false, true, {2004, 2001, 1}, {2001, 2004, 2001}},
      {"off", false, false, false, {1}, {2000, 2000, 2000}},
      {"asked while enabled", false, true, false, {1}, {2000, 2000, 2000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimPlatform platform;
    platform.Registry().SetString(kDeviceKey, "PID", "1234");
    platform.Registry().SetDword(kDeviceKey, "Reconnect", 1);
    sim::HidDeviceConfig config;
    config.productId = 1234;
    sim::SimHidDevice& device = platform.AddHidDevice(config);
    auto recorder = std::make_shared<sim::RecordingControlObject>(platform.Clock());
    auto subject = CashDrawer::Create(platform);
    ASSERT_EQ(subject->OpenService(u"CashDrawer", Text(kDeviceName), recorder), OPOS_SUCCESS);
    EXPECT_EQ(subject->GetPropertyNumber(PIDX_CapPowerReporting), OPOS_PR_STANDARD);
    if (c.notifyBeforeEnabling) subject->SetPropertyNumber(PIDX_PowerNotify, OPOS_PN_ENABLED);
    subject->SetPropertyNumber(PIDX_DeviceEnabled, 1);
    if (c.notifyWhileEnabled) subject->SetPropertyNumber(PIDX_PowerNotify, OPOS_PN_ENABLED);
    if (c.frozen) subject->COFreezeEvents(kTrue);
    auto run = [&](std::uint64_t ms) {
      for (std::uint64_t i = 0; i < ms; ++i) {
        platform.Clock().AdvanceBy(1);
        platform.PumpMessages();
      }
    };
    std::vector<std::int32_t> states;
    states.push_back(subject->GetPropertyNumber(PIDX_PowerState));
    device.Faults().unplugged = true;
    run(500);
    states.push_back(subject->GetPropertyNumber(PIDX_PowerState));
    device.Drawer().SetOpen(true, platform.Clock().Now());
    device.Faults().unplugged = false;
    run(1500);
    states.push_back(subject->GetPropertyNumber(PIDX_PowerState));
    if (c.frozen) {
      EXPECT_TRUE(recorder->DeliveredCodes().empty());
      subject->COFreezeEvents(kFalse);
      run(60);
    }
    EXPECT_EQ(recorder->DeliveredCodes(), c.codes);
    EXPECT_EQ(states, c.states);
    EXPECT_EQ(subject->GetPropertyNumber(PIDX_PowerNotify),
              c.notifyBeforeEnabling ? OPOS_PN_ENABLED : OPOS_PN_DISABLED);
    subject->CloseService();
    subject.reset();
    EXPECT_TRUE(platform.LeakedHandles().empty());
  }
}

// "Reconnect" other than 1 (or absent) changes nothing: no search, the
// power properties read 0 and take nothing.
TEST_F(RecoveryTest, OnlyReconnectOneSearchesAndReportsPower) {
  struct Case {
    const char* name;
    int dword;         // -1: none
    const char* text;  // nullptr: none
    bool on;
  };
  const std::vector<Case> cases = {{"absent", -1, nullptr, false}, {"0", 0, nullptr, false},
                                   {"2", 2, nullptr, false},       {"text yes", -1, "yes", false},
                                   {"text 1", -1, "1", true},      {"1", 1, nullptr, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimPlatform platform;
    platform.Registry().SetString(kDeviceKey, "PID", "1234");
    if (c.dword >= 0) platform.Registry().SetDword(kDeviceKey, "Reconnect", c.dword);
    if (c.text) platform.Registry().SetString(kDeviceKey, "Reconnect", c.text);
    sim::HidDeviceConfig config;
    config.productId = 1234;
    sim::SimHidDevice& device = platform.AddHidDevice(config);
    auto subject = CashDrawer::Create(platform);
    ASSERT_EQ(subject->OpenService(u"CashDrawer", Text(kDeviceName), nullptr), OPOS_SUCCESS);
    subject->SetPropertyNumber(PIDX_PowerNotify, OPOS_PN_ENABLED);
    subject->SetPropertyNumber(PIDX_DeviceEnabled, 1);
    device.Faults().unplugged = true;
    for (int i = 0; i < 3000; ++i) {
      platform.Clock().AdvanceBy(1);
      platform.PumpMessages();
      if (i == 500) device.Faults().unplugged = false;
    }
    EXPECT_EQ(platform.CountCalls("SetupDiGetClassDevsA"), c.on ? 2u : 1u);
    EXPECT_EQ(subject->GetOpenResult(), c.on ? OPOS_ORS_SPECIFIC : OPOS_ORS_NOPORT);
    EXPECT_EQ(subject->GetPropertyNumber(PIDX_CapPowerReporting), c.on ? OPOS_PR_STANDARD : 0);
    EXPECT_EQ(subject->GetPropertyNumber(PIDX_PowerNotify), c.on ? OPOS_PN_ENABLED : 0);
    EXPECT_EQ(subject->GetPropertyNumber(PIDX_PowerState), c.on ? OPOS_PS_ONLINE : 0);
    subject->CloseService();
  }
}

// A search that raises is traced, not raised out of the tick, leaves nothing
// open and comes again a second later.
TEST_F(RecoveryTest, AFailingSearchIsTracedAndTriedAgain) {
  sim.Registry().SetDword(kDeviceKey, "TraceLevel", 1);
  sim::SimHidDevice& device = OpenWithReconnect(true);
  device.Faults().unplugged = true;
  RunFor(100);
  sim.SetMissingFunction("SetupDiGetClassDevsA");
  device.Faults().unplugged = false;
  RunFor(2500);
  EXPECT_EQ(device.OpenHandleCount(), 0u);
  sim.SetMissingFunction("SetupDiGetClassDevsA", false);
  RunFor(1000);
  EXPECT_EQ(device.OpenHandleCount(), 2u);
  EXPECT_EQ(control->DeliveredCodes(),
            (std::vector<std::int32_t>{OPOS_SUE_POWER_OFF_OFFLINE, OPOS_SUE_POWER_ONLINE}));
  std::size_t failures = 0;
  for (const std::string& record : TraceRecords()) {
    EXPECT_EQ(record.find("t2_Timer"), std::string::npos) << record;
    if (record == "ERROR\tsearch\terror=453") ++failures;
  }
  EXPECT_EQ(failures, 2u);
}

// The application closing the object from inside the offline event ends the
// searching, and nothing stays open.
TEST_F(RecoveryTest, ClosingInsideThePowerEventEndsTheSearch) {
  sim::SimHidDevice& device = OpenWithReconnect(true);
  control->SetHook([&](const sim::RecordedCall& call) {
    if (call.value == OPOS_SUE_POWER_OFF_OFFLINE) drawer->CloseService();
  });
  device.Faults().unplugged = true;
  RunFor(100);
  EXPECT_EQ(control->DeliveredCodes(), std::vector<std::int32_t>{OPOS_SUE_POWER_OFF_OFFLINE});
  const std::size_t searches = Searches();
  device.Faults().unplugged = false;
  RunFor(3000);
  EXPECT_EQ(Searches(), searches);
  EXPECT_EQ(device.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace drawer_test
