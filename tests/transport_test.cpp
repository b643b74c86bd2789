// Discovery, the two opens, the report lengths, the status read and the
// output reports of the drawer, observed through the simulated platform.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contract/OposConstants.h"
#include "sim/ForwardingPlatform.h"
#include "tests/DrawerTestSupport.h"
#include "tests/StatusTestSupport.h"

namespace {

using drawer_test::DrawerTest;
using drawer_test::ErrorNumberOf;
using Bytes = std::vector<std::uint8_t>;

std::vector<sim::SimCall> CallsNamed(const sim::SimPlatform& platform, const std::string& name) {
  std::vector<sim::SimCall> found;
  for (const sim::SimCall& call : platform.Calls()) {
    if (call.function == name) found.push_back(call);
  }
  return found;
}

std::size_t IndexOf(const sim::SimPlatform& platform, const std::string& name,
                    std::size_t nth = 0) {
  for (std::size_t i = 0; i < platform.Calls().size(); ++i) {
    if (platform.Calls()[i].function == name && nth-- == 0) return i;
  }
  return platform.Calls().size();
}

using Discovery = DrawerTest;

TEST_F(Discovery, OpensTheDrawerTwiceWithTheAgreedArguments) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  EXPECT_EQ(drawer->GetOpenResult(), quillvane::OPOS_ORS_SPECIFIC);
  EXPECT_EQ(device.OpenCount(), 2u);

  auto classDevs = CallsNamed(sim, "SetupDiGetClassDevsA");
  ASSERT_EQ(classDevs.size(), 1u);
  EXPECT_EQ(classDevs[0].args, (std::vector<std::int64_t>{1, 0, 0, 0x12}));

  auto opens = CallsNamed(sim, "CreateFileA");
  ASSERT_EQ(opens.size(), 2u);
  // access, share, nLength, descriptor, inherit, disposition, flags, template:
  // neither handle is inherited by a process the application starts.
  const std::int64_t size = drawer_test::kSecurityAttributesSize;
  EXPECT_EQ(opens[0].args, (std::vector<std::int64_t>{0xC0000000, 3, size, 0, 0, 3, 0, 0}));
  EXPECT_EQ(opens[1].args,
            (std::vector<std::int64_t>{0xC0000000, 3, size, 0, 0, 3, 0x40000000, 0}));
  EXPECT_EQ(opens[0].text, device.Config().path);
  EXPECT_EQ(opens[1].text, device.Config().path);

  auto events = CallsNamed(sim, "CreateEventA");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].args[0], 0);  // no security attributes
  EXPECT_NE(events[0].args[1], 0);  // manual reset
  EXPECT_EQ(events[0].args[2], 0);  // not signalled: no read has finished
  EXPECT_EQ(events[0].text, "");    // no name

  // One idle report, written after the read handle and the event exist.
  ASSERT_EQ(device.OutputReports().size(), 1u);
  EXPECT_EQ(device.OutputReports()[0], Bytes(8, 0));
  EXPECT_LT(IndexOf(sim, "CreateFileA", 1), IndexOf(sim, "WriteFile"));
  EXPECT_LT(IndexOf(sim, "CreateEventA"), IndexOf(sim, "WriteFile"));
  // The search's device list is gone before the drawer is used.
  EXPECT_LT(IndexOf(sim, "SetupDiDestroyDeviceInfoList"), IndexOf(sim, "CreateFileA", 1));
}

TEST_F(Discovery, MatchesVendorAndProductIdAsConfigured) {
  struct Case {
    std::string pid;
    bool asDword;
    std::uint16_t deviceProductId;
    std::uint16_t deviceVendorId;
    std::int32_t expected;
  };
  const std::vector<Case> cases = {
      {"1234", false, 1234, 0x06E5, 0},     {"&H4D2", false, 1234, 0x06E5, 0},
      {"1234", true, 1234, 0x06E5, 0},      {"0x4D2", false, 1234, 0x06E5, 106},
      {"12 34", false, 1234, 0x06E5, 0},    {"1234 drawer", false, 1234, 0x06E5, 0},
      {"1234", false, 1234, 0x06E6, 106},   {"1235", false, 1234, 0x06E5, 106},
      {"-32767", false, 0x8001, 0x06E5, 0}, {"32769", false, 0x8001, 0x06E5, 106},
      {"&HFFFF", false, 0xFFFF, 0x06E5, 0}, {"1234.0", false, 1234, 0x06E5, 0},
      {"1234.5", false, 1234, 0x06E5, 106},
  };
  for (const Case& c : cases) {
    sim::SimPlatform platform;
    auto control = std::make_shared<sim::RecordingControlObject>(platform.Clock());
    if (c.asDword) {
      platform.Registry().SetDword(drawer_test::kDeviceKey, "PID", 1234);
    } else {
      platform.Registry().SetString(drawer_test::kDeviceKey, "PID", c.pid);
    }
    sim::HidDeviceConfig config;
    config.productId = c.deviceProductId;
    config.vendorId = c.deviceVendorId;
    platform.AddHidDevice(config);
    auto subject = quillvane::CashDrawer::Create(platform);
    EXPECT_EQ(
        subject->OpenService(u"CashDrawer", drawer_test::Text(drawer_test::kDeviceName), control),
        c.expected)
        << "PID " << c.pid;
    EXPECT_EQ(subject->GetOpenResult(), c.expected == 0 ? 450 : 401) << "PID " << c.pid;
    subject->CloseService();
    subject.reset();
    EXPECT_TRUE(platform.LeakedHandles().empty()) << "PID " << c.pid;
    EXPECT_TRUE(platform.Violations().empty()) << "PID " << c.pid;
  }
}

TEST_F(Discovery, MissingPidMatchesOnlyProductIdZero) {
  sim::SimHidDevice& other = AddDrawer(1234);
  EXPECT_EQ(Open(), quillvane::OPOS_E_ILLEGAL);
  EXPECT_EQ(drawer->GetOpenResult(), quillvane::OPOS_ORS_NOPORT);
  EXPECT_EQ(other.OpenHandleCount(), 0u);

  sim::SimHidDevice& zero = AddDrawer(0);
  EXPECT_EQ(Open("NoSuchDeviceName"), 0);
  EXPECT_EQ(zero.OpenHandleCount(), 2u);
}

TEST_F(Discovery, FirstMatchWinsAndLaterDevicesAreNeverOpened) {
  ConfigurePid("1234");
  sim::SimHidDevice& first = AddDrawer(1234);
  sim::SimHidDevice& second = AddDrawer(1234);
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(first.OpenCount(), 2u);
  EXPECT_EQ(second.OpenCount(), 0u);
}

TEST_F(Discovery, SkipsDevicesThatFailAndClosesEveryRejectedOne) {
  ConfigurePid("1234");
  AddDrawer(1234).Faults().openFails = true;
  AddDrawer(1234).Faults().attributesFail = true;
  sim::SimHidDevice& noDetail = AddDrawer(1234);
  noDetail.Faults().detailSizeBelow5 = true;
  sim::SimHidDevice& wrongProduct = AddDrawer(99);
  sim::SimHidDevice& target = AddDrawer(1234);

  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(noDetail.OpenCount(), 0u);
  EXPECT_EQ(wrongProduct.OpenCount(), 1u);
  EXPECT_EQ(wrongProduct.OpenHandleCount(), 0u);
  EXPECT_EQ(target.OpenHandleCount(), 2u);
  EXPECT_EQ(sim.Device(1).OpenHandleCount(), 0u);
}

TEST_F(Discovery, AThousandNonMatchingDevicesLeaveNothingOpen) {
  ConfigurePid("1234");
  for (int i = 0; i < 1000; ++i) AddDrawer(static_cast<std::uint16_t>(2000 + i));
  EXPECT_EQ(Open(), quillvane::OPOS_E_ILLEGAL);
  EXPECT_EQ(sim.CountCalls("CreateFileA"), 1000u);
  EXPECT_EQ(sim.CountCalls("CloseHandle"), 1000u);
  EXPECT_TRUE(sim.LeakedHandles().empty());
}

TEST_F(Discovery, NoDeviceOrNoDeviceListFindsNothing) {
  ConfigurePid("1234");
  EXPECT_EQ(Open(), quillvane::OPOS_E_ILLEGAL);
  EXPECT_EQ(sim.CountCalls("CreateFileA"), 0u);

  AddDrawer(1234);
  sim.SetClassDevsFails(true);
  EXPECT_EQ(Open(), quillvane::OPOS_E_ILLEGAL);
  EXPECT_EQ(sim.CountCalls("SetupDiEnumDeviceInterfaces"), 1u);
  EXPECT_EQ(sim.CountCalls("CreateFileA"), 0u);
}

TEST_F(Discovery, ReopeningClosesWhatTheEarlierOpenHeld) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(device.OpenHandleCount(), 2u);
  EXPECT_EQ(sim.CountCalls("CreateEventA"), 1u);  // the event is reused
}

// A search the platform cannot complete honestly finds nothing, and leaves
// nothing open: no read handle or no event for it, an absurd size for the
// device path, or a device name that no registry key can have.
enum class Refusal { kReadOpen, kEvent, kDetailSize, kNulInName };

class RefusingPlatform final : public sim::ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  Refusal refusal = Refusal::kReadOpen;

  quillvane::Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share,
                                quillvane::SECURITY_ATTRIBUTES* security, std::uint32_t disposition,
                                std::uint32_t flags, quillvane::Handle templateFile) override {
    if (refusal == Refusal::kReadOpen && (flags & quillvane::kFileFlagOverlapped)) {
      return quillvane::kInvalidHandleValue;
    }
    return ForwardingPlatform::CreateFileA(path, access, share, security, disposition, flags,
                                           templateFile);
  }
  quillvane::Handle CreateEventA(quillvane::SECURITY_ATTRIBUTES* security, std::int32_t manual,
                                 std::int32_t initial, const char* name) override {
    if (refusal == Refusal::kEvent) return 0;
    return ForwardingPlatform::CreateEventA(security, manual, initial, name);
  }
  std::int32_t SetupDiGetDeviceInterfaceDetailA(quillvane::Handle list,
                                                quillvane::SP_DEVICE_INTERFACE_DATA* data,
                                                void* detail, std::uint32_t size,
                                                std::uint32_t* required,
                                                quillvane::SP_DEVINFO_DATA* info) override {
    if (refusal == Refusal::kDetailSize && detail == nullptr) {
      *required = 0xFFFFFFFFu;
      return 0;
    }
    return ForwardingPlatform::SetupDiGetDeviceInterfaceDetailA(list, data, detail, size, required,
                                                                info);
  }
};

class OpenRefusal : public DrawerTest, public ::testing::WithParamInterface<Refusal> {
 protected:
  RefusingPlatform api{sim};
};

TEST_P(OpenRefusal, FindsNoDrawerAndLeavesNothingOpen) {
  api.refusal = GetParam();
  drawer = quillvane::CashDrawer::Create(api);
  std::u16string name = u"TestDrawer";
  if (GetParam() == Refusal::kNulInName) {
    // "Test" names a configured drawer; the name must not be cut short to it.
    sim.Registry().SetString(drawer_test::kCategoryKey + "Test", "PID", "1234");
    name = std::u16string(u"Test\0Drawer", 11);
  }
  ConfigurePid("1234");
  sim::SimHidDevice& device = AddDrawer(1234);
  EXPECT_EQ(drawer->OpenService(u"CashDrawer", name, control), quillvane::OPOS_E_ILLEGAL);
  EXPECT_EQ(drawer->GetOpenResult(), quillvane::OPOS_ORS_NOPORT);
  EXPECT_EQ(device.OpenHandleCount(), 0u);
  EXPECT_TRUE(sim.LeakedHandles().empty()) << ::testing::PrintToString(sim.LeakedHandles());
  if (GetParam() == Refusal::kNulInName) {
    EXPECT_EQ(sim.CountCalls("RegOpenKeyA"), 0u);
    EXPECT_EQ(sim.CountCalls("SetupDiGetClassDevsA"), 0u);
  }
  if (GetParam() == Refusal::kDetailSize) {
    EXPECT_EQ(device.OpenCount(), 0u);
  }
}

const char* Name(Refusal refusal) {
  static const char* const kNames[] = {"NoReadHandle", "NoEvent", "AbsurdDetailSize",
                                       "NulInTheName"};
  return kNames[static_cast<int>(refusal)];
}
void PrintTo(Refusal refusal, std::ostream* out) { *out << Name(refusal); }
std::string RefusalName(const ::testing::TestParamInfo<Refusal>& info) { return Name(info.param); }

INSTANTIATE_TEST_SUITE_P(Search, OpenRefusal,
                         ::testing::Values(Refusal::kReadOpen, Refusal::kEvent,
                                           Refusal::kDetailSize, Refusal::kNulInName),
                         RefusalName);

using Reports = DrawerTest;

TEST_F(Reports, OutputReportsHaveTheReportLength) {
  ConfigurePid("1234");
  sim::SimHidDevice& device = AddDrawer(1234, 8, 3);
  EXPECT_EQ(Open(), 0);
  ASSERT_EQ(device.OutputReports().size(), 1u);
  EXPECT_EQ(device.OutputReports()[0], Bytes(3, 0));
}

TEST_F(Reports, OutputReportsShorterThanThreeBytesAreOutOfRange) {
  for (std::uint16_t length : {0, 1, 2, 0x8003}) {
    sim::SimPlatform platform;
    platform.Registry().SetString(drawer_test::kDeviceKey, "PID", "1234");
    sim::HidDeviceConfig config;
    config.productId = 1234;
    config.outputReportLength = length;
    sim::SimHidDevice& device = platform.AddHidDevice(config);
    auto subject = quillvane::CashDrawer::Create(platform);
    EXPECT_EQ(ErrorNumberOf([&] {
                subject->OpenService(u"", drawer_test::Text(drawer_test::kDeviceName), nullptr);
              }),
              quillvane::kErrSubscriptOutOfRange)
        << length;
    // The error came after the drawer was found and both handles opened.
    EXPECT_EQ(subject->GetOpenResult(), quillvane::OPOS_ORS_SPECIFIC);
    EXPECT_EQ(device.OpenHandleCount(), 2u);
    EXPECT_TRUE(device.OutputReports().empty());
    subject->CloseService();
    subject.reset();
    EXPECT_TRUE(platform.LeakedHandles().empty());
    EXPECT_TRUE(platform.Violations().empty());
  }
}

TEST_F(Reports, UnavailableCapabilitiesLeaveLengthsZeroAndTheIdleWriteFails) {
  ConfigurePid("1234");
  AddDrawer(1234).Faults().capabilitiesUnavailable = true;
  EXPECT_EQ(ErrorNumberOf([&] { Open(); }), quillvane::kErrSubscriptOutOfRange);
  EXPECT_EQ(Rec().hidCapabilities.OutputReportByteLength, 0);
  EXPECT_EQ(Rec().blnDeviceDetected, quillvane::kTrue);
  EXPECT_EQ(sim.CountCalls("HidD_FreePreparsedData"), 0u);
}

TEST_F(Reports, InputReportsShorterThanTwoBytesAreOutOfRange) {
  ConfigurePid("1234");
  sim::SimHidDevice& device = AddDrawer(1234, 1, 8);
  // Length 1: the read runs and waits, then decoding is out of range.
  EXPECT_EQ(ErrorNumberOf([&] { Open(); }), quillvane::kErrSubscriptOutOfRange);
  EXPECT_GE(sim.CountCalls("ReadFile"), 1u);
  EXPECT_EQ(sim.CountCalls("WaitForSingleObject"), 1u);

  // Length 0: the read is refused before it starts.
  device.MutableConfig().inputReportLength = 0;
  sim.ClearCalls();
  EXPECT_EQ(ErrorNumberOf([&] { Open(); }), quillvane::kErrSubscriptOutOfRange);
  EXPECT_EQ(sim.CountCalls("ReadFile"), 0u);
}

using StatusRead = DrawerTest;

TEST_F(StatusRead, ReadsTheDrawerStateFromBitSevenOfByteOne) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  EXPECT_EQ(Rec().blnDrawerOpened, quillvane::kFalse);
  device.Drawer().SetOpen(true, sim.Clock().Now());
  EXPECT_EQ(drawer->CheckHealth(quillvane::OPOS_CH_INTERNAL), 0);
  EXPECT_EQ(Rec().blnDrawerOpened, quillvane::kTrue);
  // One read stays in flight for the next call.
  EXPECT_EQ(sim.PendingReadCount(), 1u);
}

// The driver holds what arrived since the last read, oldest first: a read
// answers with the newest report, never with an old one, and needs no flush.
TEST_F(StatusRead, AnswersWithTheNewestReportTheHandleHolds) {
  for (const bool finallyOpen : {false, true}) {
    sim::SimPlatform platform;
    platform.Registry().SetString(drawer_test::kDeviceKey, "PID", "1234");
    sim::HidDeviceConfig config;
    config.productId = 1234;
    sim::SimHidDevice& device = platform.AddHidDevice(config);
    auto subject = quillvane::CashDrawer::Create(platform);
    ASSERT_EQ(subject->OpenService(u"", drawer_test::Text(drawer_test::kDeviceName), nullptr), 0);
    // Nobody reads for 200 ms while the drawer changes three times.
    const std::vector<bool> states = {!finallyOpen, finallyOpen, !finallyOpen, finallyOpen};
    for (bool open : states) {
      device.Drawer().SetOpen(open, platform.Clock().Now());
      platform.Clock().AdvanceBy(50);
    }
    const std::uint64_t before = platform.Clock().Now();
    EXPECT_EQ(subject->CheckHealth(quillvane::OPOS_CH_INTERNAL), 0);
    EXPECT_EQ(platform.Clock().Now(), before);  // what had arrived was enough
    EXPECT_EQ(subject->Record().blnDrawerOpened, quillvane::ToBoolean(finallyOpen));
    EXPECT_EQ(platform.CountCalls("HidD_FlushQueue"), 0u);
    subject->CloseService();
    subject.reset();
    EXPECT_TRUE(platform.Violations().empty());
  }
}

TEST_F(StatusRead, ATimeOutClosesBothHandlesOnceAndNothingWaitsAfterwards) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  device.Drawer().SetOpen(true, sim.Clock().Now());
  device.Faults().silent = true;

  const std::uint64_t before = sim.Clock().Now();
  EXPECT_EQ(drawer->ClaimDevice(1000), quillvane::OPOS_E_NOHARDWARE);
  EXPECT_LE(sim.Clock().Now() - before, 6000u);
  EXPECT_EQ(Rec().blnDeviceDetected, quillvane::kFalse);
  EXPECT_EQ(drawer->GetOpenResult(), quillvane::OPOS_ORS_NOPORT);
  EXPECT_EQ(device.OpenHandleCount(), 0u);
  EXPECT_EQ(sim.CountCalls("CancelIo"), 1u);

  // A lost drawer stays lost, and no later call waits for it again: the
  // drawer reads as closed, the pulse writes nowhere.
  const std::uint64_t lost = sim.Clock().Now();
  device.Faults().silent = false;
  EXPECT_EQ(drawer->CheckHealth(quillvane::OPOS_CH_EXTERNAL), quillvane::OPOS_E_NOHARDWARE);
  EXPECT_EQ(drawer->GetPropertyNumber(quillvane::PIDXCash_DrawerOpened), quillvane::kFalse);
  drawer->SetPropertyNumber(quillvane::PIDX_DeviceEnabled, 1);
  EXPECT_EQ(Rec().blnDeviceEnabled, quillvane::kFalse);
  EXPECT_EQ(sim.Clock().Now(), lost);
  // CloseService must not close either handle again (checked in TearDown).
}

TEST_F(StatusRead, ACancelledReadThatFinishesLateNeverWritesIntoFreedMemory) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  device.Faults().silent = true;
  device.Faults().cancelCompletesLate = true;
  EXPECT_EQ(drawer->ClaimDevice(0), quillvane::OPOS_E_NOHARDWARE);
  // The read was finished before the procedure let go of its buffer.
  EXPECT_EQ(sim.PendingReadCount(), 0u);
  EXPECT_EQ(drawer->CheckHealth(quillvane::OPOS_CH_INTERNAL), quillvane::OPOS_E_NOHARDWARE);
  sim.PumpMessages();
}

TEST_F(StatusRead, AFailedWaitLosesTheDrawerButKeepsTheHandles) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  device.Faults().waitFails = true;
  EXPECT_EQ(drawer->CheckHealth(quillvane::OPOS_CH_INTERACTIVE), quillvane::OPOS_E_NOHARDWARE);
  EXPECT_EQ(Rec().blnDeviceDetected, quillvane::kFalse);
  EXPECT_EQ(device.OpenHandleCount(), 2u);

  // A read that succeeds afterwards answers but leaves the drawer lost.
  device.Faults().waitFails = false;
  EXPECT_EQ(drawer->CheckHealth(quillvane::OPOS_CH_INTERNAL), 0);
  EXPECT_EQ(drawer->GetOpenResult(), quillvane::OPOS_ORS_NOPORT);
}

// A read that finishes with an error or short is no answer: nothing is
// decoded from it (the drawer stays open as last seen, so no closed event is
// invented), and a device-gone error loses the drawer at once.
struct ReadFault {
  const char* name;
  bool sim::HidDeviceFaults::*fault;
  bool lost;
  friend void PrintTo(const ReadFault& f, std::ostream* out) { *out << f.name; }
};

class NoAnswer : public drawer_test::TimedDrawerTest,
                 public ::testing::WithParamInterface<ReadFault> {};

TEST_P(NoAnswer, AFailedReadDecidesNothing) {
  sim::SimHidDevice& device = OpenEnabledDrawer();
  SetDrawerOpen(device, true);
  RunFor(100);
  ASSERT_EQ(control->DeliveredCodes(), std::vector<std::int32_t>{1});
  device.Faults().*(GetParam().fault) = true;
  RunFor(60);  // a tick takes what arrived before the fault, and meets it

  const std::uint64_t start = Now();
  EXPECT_EQ(drawer->CheckHealth(quillvane::OPOS_CH_INTERNAL), quillvane::OPOS_E_NOHARDWARE);
  EXPECT_LE(Now() - start, 10u);  // no longer than the next report
  EXPECT_EQ(drawer->GetOpenResult(), quillvane::OPOS_ORS_NOPORT);
  EXPECT_EQ(Rec().blnDrawerOpened, quillvane::kTrue);
  EXPECT_EQ(device.OpenHandleCount(), GetParam().lost ? 0u : 2u);
  RunFor(500);
  EXPECT_EQ(control->DeliveredCodes(), std::vector<std::int32_t>{1});
}

INSTANTIATE_TEST_SUITE_P(
    Reads, NoAnswer,
    ::testing::Values(ReadFault{"ErrorStatus", &sim::HidDeviceFaults::readsFail, false},
                      ReadFault{"ShortReport", &sim::HidDeviceFaults::shortReports, false},
                      ReadFault{"Unplugged", &sim::HidDeviceFaults::unplugged, true}),
    [](const ::testing::TestParamInfo<ReadFault>& info) { return info.param.name; });

TEST_F(StatusRead, AnUnpluggedDrawerTimesOut) {
  sim::SimHidDevice& device = OpenAnsweringDrawer();
  device.Faults().unplugged = true;
  EXPECT_EQ(drawer->CheckHealth(quillvane::OPOS_CH_INTERNAL), quillvane::OPOS_E_NOHARDWARE);
  EXPECT_EQ(drawer->GetOpenResult(), quillvane::OPOS_ORS_NOPORT);
  EXPECT_EQ(device.OpenHandleCount(), 0u);
}

}  // namespace
