// The portable parts of the virtual drawer: the per-handle report ring, the
// device names the replacement DLLs read back, the control language, and the
// one report encoding it shares with the simulated platform.
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>

#include "sim/SimPlatform.h"
#include "virtual-drawer/core/ControlCommand.h"
#include "virtual-drawer/core/DeviceIdentity.h"
#include "virtual-drawer/core/FlushMarker.h"
#include "virtual-drawer/core/ReportRing.h"
#include "virtual-drawer/simulator/VirtualDevice.h"

namespace {

using vdrawer::ControlCommand;
using vdrawer::DeviceIdentity;
using vdrawer::FlushMarkerReport;
using vdrawer::FlushMarkerScanner;
using vdrawer::IsFlushRequest;
using vdrawer::kFlushMarker;
using vdrawer::kFlushRequest;
using vdrawer::ParseControlCommand;
using vdrawer::ParseDeviceName;
using vdrawer::ParseDeviceSpec;
using vdrawer::ReportRing;
using vdrawer::Verb;
using Ring = ReportRing<int>;

using Added = Ring::Added;

TEST(ReportRingTest, KeepsThePipeAtTheNewest32WhileTheClientReadsNowAndThen) {
  Ring ring;
  for (int report = 1; report <= 32; ++report) EXPECT_EQ(ring.Add(report, 0), Added::kWrite);
  // Unread for less than the dormancy: each new report replaces the oldest.
  EXPECT_EQ(ring.Add(33, 999), Added::kWriteAndWithdrawOldest);
  EXPECT_EQ(ring.InPipe(), 32u);
  EXPECT_EQ(ring.Held(), 0u);
  // A read frees room and restarts the clock.
  EXPECT_TRUE(ring.Read(1500).empty());
  EXPECT_EQ(ring.Add(34, 1500), Added::kWrite);
  EXPECT_EQ(ring.Add(35, 2499), Added::kWriteAndWithdrawOldest);
}

TEST(ReportRingTest, HoldsTheNewest32ForAHandleNobodyReadsAndHandsThemOverOnItsNextRead) {
  Ring ring;
  for (int report = 1; report <= 32; ++report) ring.Add(report, 0);
  for (int report = 33; report <= 80; ++report) EXPECT_EQ(ring.Add(report, 1000), Added::kHeld);
  EXPECT_EQ(ring.Held(), 32u);
  const std::deque<int> held = ring.Read(2000);
  ASSERT_EQ(held.size(), 32u);
  EXPECT_EQ(held.front(), 49);
  EXPECT_EQ(held.back(), 80);
  // The held reports replace the pipe's: they are what it holds now.
  EXPECT_EQ(ring.InPipe(), 32u);
  EXPECT_EQ(ring.Held(), 0u);
  EXPECT_EQ(ring.Add(81, 2000), Added::kWriteAndWithdrawOldest);
}

TEST(ReportRingTest, ClearDropsEverythingAndTheNextReportGoesToThePipe) {
  Ring ring;
  for (int report = 1; report <= 40; ++report) ring.Add(report, 5000);
  ring.Clear();
  EXPECT_EQ(ring.Held(), 0u);
  EXPECT_EQ(ring.Add(41, 9000), Added::kWrite);
  EXPECT_EQ(ring.InPipe(), 1u);
}

// The client reads the pipe in byte mode: a stale report and the marker may
// arrive whole, together or split anywhere.
TEST(FlushMarkerTest, FoundOnlyOnceTheWholeMarkerHasArrivedInAnyPieces) {
  const std::string report("\x00\x80\x00\x00\x07\x00\x00\x00", 8);
  const std::string marker(kFlushMarker);
  for (std::size_t split = 0; split <= report.size() + marker.size(); ++split) {
    const std::string stream = report + marker;
    FlushMarkerScanner scanner;
    const bool early = scanner.Feed(std::string_view(stream).substr(0, split));
    EXPECT_EQ(early, split == stream.size()) << "split at " << split;
    EXPECT_TRUE(scanner.Feed(std::string_view(stream).substr(split))) << "split at " << split;
  }
  // Fed a byte at a time, it is found at the marker's last byte, not before.
  FlushMarkerScanner byteByByte;
  const std::string stream = report + marker + report;
  std::size_t fed = 0;
  while (fed < stream.size() && !byteByByte.Feed(std::string_view(&stream[fed], 1))) ++fed;
  EXPECT_EQ(fed + 1, report.size() + marker.size());
}

TEST(FlushMarkerTest, APartialMarkerFollowedByAReportIsNoMarker) {
  FlushMarkerScanner scanner;
  EXPECT_FALSE(scanner.Feed(kFlushMarker.substr(0, 10)));
  EXPECT_FALSE(scanner.Feed(std::string(8, '\0')));
  EXPECT_FALSE(scanner.Feed(kFlushMarker.substr(10)));
  EXPECT_TRUE(scanner.Feed(kFlushMarker));
}

TEST(FlushMarkerTest, TheRequestIsRecognisedExactly) {
  const std::string request(kFlushRequest);
  EXPECT_TRUE(IsFlushRequest(std::vector<std::uint8_t>(request.begin(), request.end())));
  EXPECT_FALSE(IsFlushRequest(std::vector<std::uint8_t>(request.begin(), request.end() - 1)));
  EXPECT_FALSE(IsFlushRequest({0x00, 0xFF, 0, 0, 0, 0, 0, 0}));  // the pulse report
  EXPECT_FALSE(IsFlushRequest(FlushMarkerReport()));
}

TEST(DeviceNameTest, RoundTripsThroughThePipePathAndTheHandleName) {
  DeviceIdentity device;
  device.vendorId = 0x06E5;
  device.productId = 0xFFFE;
  device.inputLength = 3;
  device.outputLength = 1024;
  device.serial = "Drawer_2-b";
  const std::string path = vdrawer::PipePathOf(device);
  EXPECT_EQ(path, R"(\\.\pipe\vhid#vid_06e5&pid_fffe&in_3&out_1024#Drawer_2-b)");
  for (const std::string& name :
       {path, std::string(R"(\vhid#vid_06e5&pid_fffe&in_3&out_1024#Drawer_2-b)")}) {
    const auto parsed = ParseDeviceName(name);
    ASSERT_TRUE(parsed) << name;
    EXPECT_EQ(parsed->vendorId, 0x06E5);
    EXPECT_EQ(parsed->productId, 0xFFFE);
    EXPECT_EQ(parsed->inputLength, 3);
    EXPECT_EQ(parsed->outputLength, 1024);
    EXPECT_EQ(parsed->serial, "Drawer_2-b");
  }
}

TEST(DeviceNameTest, RefusesAnythingThatIsNotExactlyADeviceName) {
  for (const char* name : {
           R"(\\.\pipe\quillvane-virtual-drawer)",
           R"(\\.\pipe\vhid#vid_06e5&pid_04d2&in_8#1)",           // no output length
           R"(\\.\pipe\vhid#vid_06e5&pid_10000&in_8&out_8#1)",    // product id above 16 bits
           R"(\\.\pipe\vhid#vid_06g5&pid_04d2&in_8&out_8#1)",     // not hexadecimal
           R"(\\.\pipe\vhid#vid_06e5&pid_04d2&in_8&out_1025#1)",  // report too long
           R"(\\.\pipe\vhid#vid_06e5&pid_04d2&in_8&out_8#)",      // no serial
           R"(\\.\pipe\vhid#vid_06e5&pid_04d2&in_8&out_8#1#2)",   // junk after the serial
           R"(\\.\pipe\vhid#pid_04d2&vid_06e5&in_8&out_8#1)",     // fields out of order
       }) {
    EXPECT_FALSE(ParseDeviceName(name)) << name;
  }
}

ControlCommand Parsed(const std::string& text) {
  const auto parsed = ParseControlCommand(text);
  EXPECT_TRUE(parsed.command) << text << ": " << parsed.error;
  return parsed.command.value_or(ControlCommand{});
}

TEST(ControlCommandTest, ReadsVerbsSerialsAndMilliseconds) {
  EXPECT_EQ(Parsed("close").verb, Verb::kClose);
  EXPECT_FALSE(Parsed("close").serial);
  EXPECT_EQ(Parsed("  unplug   2 ").serial, "2");
  const ControlCommand shut = Parsed("shut-after 300");
  EXPECT_EQ(shut.verb, Verb::kShutAfter);
  EXPECT_EQ(shut.number, 300u);
  const ControlCommand off = Parsed("shut-after off 1");
  EXPECT_FALSE(off.number);
  EXPECT_EQ(off.serial, "1");
  EXPECT_EQ(Parsed("rate 50").number, 50u);
  EXPECT_EQ(Parsed("switch-delay 0 2").verb, Verb::kSwitchDelay);
  EXPECT_EQ(Parsed("switch-delay 0 2").number, 0u);
}

TEST(ControlCommandTest, RefusesWhatItCannotDo) {
  for (const char* text : {"", "frobnicate", "shut-after", "shut-after soon", "rate 0", "rate 5 1",
                           "stop 1", "open 1 2", "open a#b", "shut-after -5"}) {
    const auto parsed = ParseControlCommand(text);
    EXPECT_FALSE(parsed.command) << text;
    EXPECT_FALSE(parsed.error.empty()) << text;
  }
}

TEST(DeviceSpecTest, ReadsIdsLengthsAndSerial) {
  const auto plain = ParseDeviceSpec("06e5:04d2", "7");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->productId, 0x04D2);
  EXPECT_EQ(plain->inputLength, 8);
  EXPECT_EQ(plain->serial, "7");
  const auto full = ParseDeviceSpec("1234:8001:3:2:left", "7");
  ASSERT_TRUE(full);
  EXPECT_EQ(full->vendorId, 0x1234);
  EXPECT_EQ(full->productId, 0x8001);
  EXPECT_EQ(full->inputLength, 3);
  EXPECT_EQ(full->outputLength, 2);
  EXPECT_EQ(full->serial, "left");
  for (const char* text : {"06e5", "06e5:04d2:8", "06e5:10000", "006e5:04d2", "06e5:04d2:0:8",
                           "06e5:04d2:8:1025", "06e5:04d2:8:8:a b", "06e5:04d2:8:8:1:2"}) {
    EXPECT_FALSE(ParseDeviceSpec(text, "1")) << text;
  }
}

// Both simulated drawers read an output report the same way: only report id
// 0 with command 0xFF fires the drawer (the simulated platform once fired on
// byte 1 alone), and both send the same input report for the same state.
TEST(DrawerReportsTest, TheSimulatedPlatformAndTheVirtualDrawerAnswerAlike) {
  using Bytes = std::vector<std::uint8_t>;
  const struct {
    Bytes output;
    bool pulses;
  } cases[] = {
      {{0x00, 0xFF, 0, 0, 0, 0, 0, 0}, true},  {{0x00, 0xFF}, true},
      {{0x01, 0xFF, 0, 0, 0, 0, 0, 0}, false}, {{0x00, 0x00, 0, 0, 0, 0, 0, 0}, false},
      {{0x00, 0xFE, 0, 0, 0, 0, 0, 0}, false}, {{0xFF}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.output));
    sim::SimPlatform platform;
    sim::SimHidDevice& device = platform.AddHidDevice(sim::HidDeviceConfig{});
    const quillvane::Handle file =
        platform.CreateFileA(device.Config().path.c_str(), quillvane::kGenericWrite, 0, nullptr,
                             quillvane::kOpenExisting, 0, 0);
    std::uint32_t written = 0;
    ASSERT_EQ(platform.WriteFile(file, c.output.data(), static_cast<std::uint32_t>(c.output.size()),
                                 &written, nullptr),
              1);
    EXPECT_EQ(device.Drawer().PulseCount(), c.pulses ? 1u : 0u);
    EXPECT_EQ(platform.CloseHandle(file), 1);

    vdrawer::VirtualDevice virtualDevice;
    virtualDevice.ReceiveOutput(c.output.data(), c.output.size(), 0);
    EXPECT_EQ(virtualDevice.drawer.PulseCount(), c.pulses ? 1u : 0u);
  }

  for (const bool open : {false, true}) {
    SCOPED_TRACE(open ? "open" : "closed");
    sim::SimPlatform platform;
    sim::SimHidDevice& device = platform.AddHidDevice(sim::HidDeviceConfig{});
    device.Drawer().SetOpen(open, 0);
    const quillvane::Handle file =
        platform.CreateFileA(device.Config().path.c_str(), quillvane::kGenericRead, 0, nullptr,
                             quillvane::kOpenExisting, 0, 0);
    Bytes simulated(8, 0xEE);
    std::uint32_t read = 0;
    ASSERT_EQ(platform.ReadFile(file, simulated.data(), 8, &read, nullptr), 1);
    EXPECT_EQ(platform.CloseHandle(file), 1);

    vdrawer::VirtualDevice virtualDevice;
    virtualDevice.drawer.SetOpen(open, 0);
    Bytes virtualReport = virtualDevice.NextInputReport(0);
    // Bytes 4 to 7 carry the virtual drawer's own sequence number.
    std::fill(virtualReport.begin() + 4, virtualReport.end(), 0);
    EXPECT_EQ(simulated, virtualReport);
    EXPECT_EQ(simulated[1], open ? 0x80 : 0x00);
  }
}

}  // namespace
