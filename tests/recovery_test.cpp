// A drawer lost and plugged back, with "Reconnect" set: searched for once a
// second, brought back as the application left it, its change while away
// and the power events reported in order; without "Reconnect" nothing of
// this happens.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "StatusTestSupport.h"
#include "contract/ControlObject.h"
#include "contract/OposConstants.h"

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

// One enabled drawer on a platform of its own, for the tests that loop
// over cases; "Reconnect" as `configure` sets it (1 unless given).
struct Rig {
  explicit Rig(const std::function<void(sim::SimRegistry&)>& configure = {}) {
    platform.Registry().SetString(kDeviceKey, "PID", "1234");
    if (configure) {
      configure(platform.Registry());
    } else {
      platform.Registry().SetDword(kDeviceKey, "Reconnect", 1);
    }
    sim::HidDeviceConfig config;
    config.productId = 1234;
    device = &platform.AddHidDevice(config);
    EXPECT_EQ(subject->OpenService(u"CashDrawer", Text(kDeviceName), recorder), OPOS_SUCCESS);
  }
  ~Rig() {
    subject->CloseService();
    subject.reset();
    EXPECT_TRUE(platform.LeakedHandles().empty());
  }
  void Run(std::uint64_t ms) {
    for (std::uint64_t i = 0; i < ms; ++i) {
      platform.Clock().AdvanceBy(1);
      platform.PumpMessages();
    }
  }
  // Unplugged for half a second, opened by hand while away when `open`,
  // plugged back and polled for 1.5 s.
  void AwayAndBack(bool open) {
    device->Faults().unplugged = true;
    Run(500);
    if (open) device->Drawer().SetOpen(true, platform.Clock().Now());
    device->Faults().unplugged = false;
    Run(1500);
  }
  std::int32_t Number(std::int32_t index) { return subject->GetPropertyNumber(index); }

  sim::SimPlatform platform;
  sim::SimHidDevice* device = nullptr;
  std::shared_ptr<sim::RecordingControlObject> recorder =
      std::make_shared<sim::RecordingControlObject>(platform.Clock());
  std::shared_ptr<CashDrawer> subject = CashDrawer::Create(platform);
};

// The drawer's state at its return is reported when it differs from the last
// one reported, and only then.
TEST(Recovery, OneStatusEventOnlyWhenTheDrawerChangedWhileAway) {
  for (const bool changed : {false, true}) {
    SCOPED_TRACE(changed ? "opened while away" : "unchanged");
    Rig rig;
    rig.subject->SetPropertyNumber(PIDX_DeviceEnabled, 1);
    rig.AwayAndBack(changed);
    EXPECT_EQ(rig.subject->GetOpenResult(), OPOS_ORS_SPECIFIC);
    EXPECT_EQ(rig.recorder->DeliveredCodes(),
              changed ? std::vector<std::int32_t>{contract::CASH_SUE_DRAWEROPEN}
                      : std::vector<std::int32_t>{});
  }
}

// Offline when lost, online when back, then the drawer's change: only with
// notification on, which can be set only while the device is disabled; a
// freeze holds the power codes with the drawer's.
TEST(Recovery, PowerEventsInOrderOnlyWithNotificationOn) {
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
    Rig rig;
    EXPECT_EQ(rig.Number(PIDX_CapPowerReporting), OPOS_PR_STANDARD);
    if (c.notifyBeforeEnabling) rig.subject->SetPropertyNumber(PIDX_PowerNotify, OPOS_PN_ENABLED);
    rig.subject->SetPropertyNumber(PIDX_DeviceEnabled, 1);
    if (c.notifyWhileEnabled) rig.subject->SetPropertyNumber(PIDX_PowerNotify, OPOS_PN_ENABLED);
    if (c.frozen) rig.subject->COFreezeEvents(kTrue);
    std::vector<std::int32_t> states = {rig.Number(PIDX_PowerState)};
    rig.device->Faults().unplugged = true;
    rig.Run(500);
    states.push_back(rig.Number(PIDX_PowerState));
    rig.device->Drawer().SetOpen(true, rig.platform.Clock().Now());
    rig.device->Faults().unplugged = false;
    rig.Run(1500);
    states.push_back(rig.Number(PIDX_PowerState));
    if (c.frozen) {
      EXPECT_TRUE(rig.recorder->DeliveredCodes().empty());
      rig.subject->COFreezeEvents(kFalse);
      rig.Run(60);
    }
    EXPECT_EQ(rig.recorder->DeliveredCodes(), c.codes);
    EXPECT_EQ(states, c.states);
    EXPECT_EQ(rig.Number(PIDX_PowerNotify),
              c.notifyBeforeEnabling ? OPOS_PN_ENABLED : OPOS_PN_DISABLED);
  }
}

// "Reconnect" other than 1 (or absent) changes nothing: no search, the
// power properties read 0 and take nothing.
TEST(Recovery, OnlyReconnectOneSearchesAndReportsPower) {
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
    Rig rig([&](sim::SimRegistry& registry) {
      if (c.dword >= 0) registry.SetDword(kDeviceKey, "Reconnect", c.dword);
      if (c.text) registry.SetString(kDeviceKey, "Reconnect", c.text);
    });
    rig.subject->SetPropertyNumber(PIDX_PowerNotify, OPOS_PN_ENABLED);
    rig.subject->SetPropertyNumber(PIDX_DeviceEnabled, 1);
    rig.AwayAndBack(false);
    EXPECT_EQ(rig.platform.CountCalls("SetupDiGetClassDevsA"), c.on ? 2u : 1u);
    EXPECT_EQ(rig.subject->GetOpenResult(), c.on ? OPOS_ORS_SPECIFIC : OPOS_ORS_NOPORT);
    EXPECT_EQ(rig.Number(PIDX_CapPowerReporting), c.on ? OPOS_PR_STANDARD : 0);
    EXPECT_EQ(rig.Number(PIDX_PowerNotify), c.on ? OPOS_PN_ENABLED : 0);
    EXPECT_EQ(rig.Number(PIDX_PowerState), c.on ? OPOS_PS_ONLINE : 0);
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
