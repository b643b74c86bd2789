// The simulated platform itself: the behaviours the service object's tests
// rely on (virtual-time waits, read completion, late cancels, handle
// accounting, registry values, binding faults).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimPlatform.h"
#include "tests/DrawerTestSupport.h"

namespace {

using drawer_test::ErrorNumberOf;
using quillvane::Handle;
using quillvane::OVERLAPPED;

constexpr std::uint32_t kStatusCancelled = 0xC0000120u;
constexpr std::uint32_t kFileFlags = quillvane::kGenericRead | quillvane::kGenericWrite;
constexpr std::uint32_t kShare = quillvane::kFileShareRead | quillvane::kFileShareWrite;

void IgnoreTick(Handle, std::uint32_t, quillvane::TimerId, std::uint32_t) {}

class SimPlatformTest : public ::testing::Test {
 protected:
  sim::SimHidDevice& AddDevice(std::uint16_t productId = 1234, std::uint32_t periodMs = 10) {
    sim::HidDeviceConfig config;
    config.productId = productId;
    config.reportPeriodMs = periodMs;
    return sim.AddHidDevice(config);
  }

  Handle Open(const sim::SimHidDevice& device, bool overlapped) {
    return sim.CreateFileA(device.Config().path.c_str(), kFileFlags, kShare, nullptr,
                           quillvane::kOpenExisting,
                           overlapped ? quillvane::kFileFlagOverlapped : 0, 0);
  }

  // An overlapped read handle and a manual-reset event, with a read started.
  void StartRead(const sim::SimHidDevice& device, std::uint8_t* buffer, std::uint32_t length) {
    readHandle = Open(device, true);
    event = sim.CreateEventA(nullptr, 1, 1, "");
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event;
    std::uint32_t read = 0;
    ASSERT_EQ(sim.ReadFile(readHandle, buffer, length, &read, &overlapped), 0);
    ASSERT_EQ(sim.GetLastError(), 997u);
  }

  void CloseReadHandles() {
    EXPECT_EQ(sim.CloseHandle(readHandle), 1);
    EXPECT_EQ(sim.CloseHandle(event), 1);
  }

  std::vector<std::string> Devices() {
    std::vector<std::string> paths;
    quillvane::GUID guid{};
    sim.HidD_GetHidGuid(&guid);
    Handle list = sim.SetupDiGetClassDevsA(&guid, nullptr, 0, 0x12);
    quillvane::SP_DEVICE_INTERFACE_DATA data{};
    for (std::uint32_t i = 0;; ++i) {
      data.cbSize = drawer_test::kInterfaceDataSize;
      if (!sim.SetupDiEnumDeviceInterfaces(list, nullptr, &guid, i, &data)) break;
      std::uint32_t size = 0;
      EXPECT_EQ(sim.SetupDiGetDeviceInterfaceDetailA(list, &data, nullptr, 0, &size, nullptr), 0);
      std::vector<std::uint8_t> detail(size + 1, 0);
      detail[0] = drawer_test::kDetailDataSize;
      EXPECT_EQ(
          sim.SetupDiGetDeviceInterfaceDetailA(list, &data, detail.data(), size, nullptr, nullptr),
          1);
      paths.emplace_back(reinterpret_cast<const char*>(detail.data() + 4));
    }
    sim.SetupDiDestroyDeviceInfoList(list);
    return paths;
  }

  sim::SimPlatform sim;
  Handle readHandle = 0;
  Handle event = 0;
  OVERLAPPED overlapped{};
};

// --- reads on virtual time --------------------------------------------------

TEST_F(SimPlatformTest, WaitOnSilentDeviceAdvancesByItsLimitAndTimesOut) {
  sim::SimHidDevice& device = AddDevice();
  device.Faults().silent = true;
  std::vector<std::uint8_t> buffer(8, 0xAA);
  StartRead(device, buffer.data(), 8);
  sim.Clock().AdvanceBy(5);
  EXPECT_EQ(sim.WaitForSingleObject(event, 6000), 0x102u);
  EXPECT_EQ(sim.Clock().Now(), 6005u);
  EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0xAA));
  EXPECT_EQ(overlapped.Internal, quillvane::kStatusPending);
  EXPECT_EQ(sim.CancelIo(readHandle), 1);
  EXPECT_EQ(overlapped.Internal, kStatusCancelled);
  EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0xAA));  // a cancelled read writes nothing
  EXPECT_EQ(sim.WaitForSingleObject(event, 0), 0u);       // but signals its event
  CloseReadHandles();
  EXPECT_TRUE(sim.Violations().empty());
  EXPECT_TRUE(sim.LeakedHandles().empty());
}

TEST_F(SimPlatformTest, ReadCompletesAtItsDueTimeWithTheDrawerStateThen) {
  sim::SimHidDevice& device = AddDevice(1234, 40);
  device.Drawer().SetOpen(true, 0);
  device.Drawer().ShutAt(30);  // shut before the report is due
  std::vector<std::uint8_t> buffer(8, 0xAA);
  StartRead(device, buffer.data(), 8);
  EXPECT_EQ(sim.WaitForSingleObject(event, 6000), 0u);
  EXPECT_EQ(sim.Clock().Now(), 40u);
  EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0));
  EXPECT_EQ(overlapped.Internal, 0u);
  EXPECT_EQ(overlapped.InternalHigh, 8u);
  EXPECT_EQ(sim.PendingReadCount(), 0u);

  // A pulse opens the drawer once its switch has moved (50 ms): the report at
  // 80 still says closed, the one at 120 says open in bit 7 of byte 1.
  Handle writeHandle = Open(device, false);
  std::uint8_t pulse[8] = {0, 0xFF};
  std::uint32_t written = 0;
  EXPECT_EQ(sim.WriteFile(writeHandle, pulse, 8, &written, nullptr), 1);
  EXPECT_EQ(written, 8u);
  EXPECT_EQ(device.OutputReports().back(), std::vector<std::uint8_t>(pulse, pulse + 8));
  EXPECT_EQ(device.Drawer().PulseCount(), 1u);
  std::uint32_t read = 0;
  for (const std::uint8_t expected : {0x00, 0x80}) {
    sim.ReadFile(readHandle, buffer.data(), 2, &read, &overlapped);  // short read: 2 bytes
    buffer[2] = 0x55;
    EXPECT_EQ(sim.WaitForSingleObject(event, 6000), 0u);
    EXPECT_EQ(buffer[1], expected) << sim.Clock().Now();
    EXPECT_EQ(buffer[2], 0x55);
    EXPECT_EQ(overlapped.InternalHigh, 2u);
  }
  EXPECT_EQ(sim.Clock().Now(), 120u);
  EXPECT_EQ(sim.CloseHandle(writeHandle), 1);
  CloseReadHandles();
  EXPECT_TRUE(sim.Violations().empty());
}

// As the HID class driver: each open handle keeps the reports no read took,
// 32 at most, the oldest dropped; a read takes the oldest at once; a flush
// empties one handle's ring only.
TEST_F(SimPlatformTest, ReportsWaitInARingOf32PerHandle) {
  sim::SimHidDevice& device = AddDevice(1234, 10);
  device.Drawer().SetOpen(true, 0);
  device.Drawer().ShutAt(255);
  std::vector<std::uint8_t> buffer(8, 0xAA);
  StartRead(device, buffer.data(), 8);  // pending: takes the report at 10
  const Handle other = Open(device, true);
  sim.Clock().AdvanceTo(500);  // 50 reports; the rings keep those from 190 on
  EXPECT_EQ(sim.WaitForSingleObject(event, 0), 0u);
  EXPECT_EQ(buffer[1], 0x80);

  std::vector<std::uint8_t> states;
  std::uint32_t read = 0;
  while (sim.ReadFile(readHandle, buffer.data(), 8, &read, &overlapped) == 1) {
    EXPECT_EQ(read, 8u);
    states.push_back(buffer[1]);
  }
  EXPECT_EQ(sim.GetLastError(), 997u);  // the 33rd waits for the report at 510
  ASSERT_EQ(states.size(), 32u);
  EXPECT_EQ(states.front(), 0x80);  // the report at 190
  EXPECT_EQ(states[6], 0x80);       // 250
  EXPECT_EQ(states[7], 0x00);       // 260
  EXPECT_EQ(states.back(), 0x00);   // 500

  EXPECT_EQ(sim.HidD_FlushQueue(other), 1);
  OVERLAPPED otherOverlapped{};
  otherOverlapped.hEvent = sim.CreateEventA(nullptr, 1, 0, "");
  std::vector<std::uint8_t> otherBuffer(8);
  EXPECT_EQ(sim.ReadFile(other, otherBuffer.data(), 8, &read, &otherOverlapped), 0);
  EXPECT_EQ(sim.GetLastError(), 997u);
  EXPECT_EQ(sim.WaitForSingleObject(otherOverlapped.hEvent, 6000), 0u);
  EXPECT_EQ(sim.Clock().Now(), 510u);
  EXPECT_EQ(sim.CloseHandle(other), 1);
  EXPECT_EQ(sim.CloseHandle(otherOverlapped.hEvent), 1);
  CloseReadHandles();
  EXPECT_TRUE(sim.Violations().empty());
}

// How a pending read finishes when the device fails it, and what the
// caller's GetOverlappedResult then says.
TEST_F(SimPlatformTest, FailingReadsFinishAsTheDriverReportsThem) {
  struct Case {
    bool sim::HidDeviceFaults::*fault;
    std::int32_t result;
    std::uint32_t error;
    std::uint32_t bytes;
  };
  const Case cases[] = {{&sim::HidDeviceFaults::unplugged, 0, 1167, 0},
                        {&sim::HidDeviceFaults::readsFail, 0, 31, 0},
                        {&sim::HidDeviceFaults::shortReports, 1, 0, 7}};
  for (const Case& c : cases) {
    sim::SimPlatform platform;
    sim::HidDeviceConfig config;
    sim::SimHidDevice& device = platform.AddHidDevice(config);
    const Handle file = platform.CreateFileA(device.Config().path.c_str(), kFileFlags, kShare,
                                             nullptr, 3, quillvane::kFileFlagOverlapped, 0);
    OVERLAPPED ov{};
    ov.hEvent = platform.CreateEventA(nullptr, 1, 0, "");
    std::vector<std::uint8_t> buffer(8, 0xAA);
    std::uint32_t count = 0;
    ASSERT_EQ(platform.ReadFile(file, buffer.data(), 8, &count, &ov), 0);
    device.Faults().*(c.fault) = true;
    EXPECT_EQ(platform.WaitForSingleObject(ov.hEvent, 6000), 0u);
    count = 99;
    EXPECT_EQ(platform.GetOverlappedResult(file, &ov, &count, 0), c.result);
    if (c.result == 0) {
      EXPECT_EQ(platform.GetLastError(), c.error);
    }
    EXPECT_EQ(count, c.bytes);
    if (c.fault == &sim::HidDeviceFaults::unplugged) {
      EXPECT_EQ(platform.ReadFile(file, buffer.data(), 8, &count, &ov), 0);
      EXPECT_EQ(platform.GetLastError(), 1167u);
      EXPECT_EQ(platform.WriteFile(file, buffer.data(), 8, &count, &ov), 0);
      EXPECT_EQ(platform.GetLastError(), 1167u);
    }
    EXPECT_EQ(platform.CloseHandle(file), 1);
    EXPECT_EQ(platform.CloseHandle(ov.hEvent), 1);
    EXPECT_TRUE(platform.Violations().empty());
  }
}

// The message wait ends at the first of: a read finishing, a timer falling
// due, a message posted, the limit. WM_QUIT stops the pump before any tick.
TEST_F(SimPlatformTest, MessageWaitWakesForTheFirstThingThatHappens) {
  sim::SimHidDevice& device = AddDevice(1234, 100);
  std::vector<std::uint8_t> buffer(8);
  StartRead(device, buffer.data(), 8);
  const quillvane::TimerId timer = sim.SetTimer(0, 0, 30, &IgnoreTick);
  constexpr std::uint32_t kAll = quillvane::kQsAllInput;
  EXPECT_EQ(sim.MsgWaitForMultipleObjects(1, &event, 0, 6000, kAll), 1u);  // the tick
  EXPECT_EQ(sim.Clock().Now(), 30u);
  EXPECT_TRUE(sim.PumpMessages());
  EXPECT_EQ(sim.MsgWaitForMultipleObjects(1, &event, 0, 6000, 0), 0u);  // the report
  EXPECT_EQ(sim.Clock().Now(), 100u);
  EXPECT_EQ(sim.MsgWaitForMultipleObjects(0, nullptr, 0, 5, 0), quillvane::kWaitTimeout);
  EXPECT_EQ(sim.Clock().Now(), 105u);

  sim.Timers().PostQuitMessage(0);
  EXPECT_EQ(sim.MsgWaitForMultipleObjects(0, nullptr, 0, 6000, kAll), 0u);
  sim.Clock().AdvanceBy(100);
  const std::size_t ticks = sim.Timers().DispatchedTickCount();
  EXPECT_FALSE(sim.PumpMessages());
  EXPECT_EQ(sim.Timers().DispatchedTickCount(), ticks);
  EXPECT_TRUE(sim.Timers().QuitPosted());
  EXPECT_EQ(sim.KillTimer(0, timer), 1);
  EXPECT_TRUE(sim.Violations().empty());

  // Nothing pends on the event any more: waiting on it is a mistake.
  EXPECT_EQ(sim.ResetEvent(event), 1);
  EXPECT_EQ(sim.MsgWaitForMultipleObjects(1, &event, 0, 50, 0), quillvane::kWaitTimeout);
  ASSERT_EQ(sim.Violations().size(), 1u);
  EXPECT_NE(sim.Violations()[0].find("nothing will signal"), std::string::npos);
  CloseReadHandles();
}

TEST_F(SimPlatformTest, FailedWaitDoesNotAdvanceTheClockAndLeavesTheReadPending) {
  sim::SimHidDevice& device = AddDevice();
  device.Faults().waitFails = true;
  std::uint8_t buffer[8] = {};
  StartRead(device, buffer, 8);
  EXPECT_EQ(sim.WaitForSingleObject(event, 6000), quillvane::kWaitFailed);
  EXPECT_EQ(sim.Clock().Now(), 0u);
  EXPECT_EQ(sim.PendingReadCount(), 1u);
  // Waiting for the read itself still works.
  std::uint32_t transferred = 0;
  EXPECT_EQ(sim.GetOverlappedResult(readHandle, &overlapped, &transferred, 1), 1);
  EXPECT_EQ(transferred, 8u);
  EXPECT_EQ(sim.Clock().Now(), 10u);
  CloseReadHandles();
}

TEST_F(SimPlatformTest, LateCancelWritesIntoTheBufferAtTheNextWait) {
  sim::SimHidDevice& device = AddDevice();
  device.Faults().silent = true;
  device.Faults().cancelCompletesLate = true;
  std::vector<std::uint8_t> buffer(8, 0xAA);
  StartRead(device, buffer.data(), 8);
  device.Drawer().SetOpen(true, 0);
  EXPECT_EQ(sim.WaitForSingleObject(event, 6000), 0x102u);
  EXPECT_EQ(sim.CancelIo(readHandle), 1);
  EXPECT_EQ(sim.CloseHandle(readHandle), 1);
  EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0xAA));
  EXPECT_EQ(overlapped.Internal, quillvane::kStatusPending);
  EXPECT_EQ(sim.PendingReadCount(), 1u);

  EXPECT_EQ(sim.WaitForSingleObject(event, 100), 0u);  // the late report lands here
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 0x80);
  EXPECT_EQ(overlapped.Internal, 0u);
  EXPECT_EQ(sim.PendingReadCount(), 0u);
  EXPECT_EQ(sim.CloseHandle(event), 1);
  EXPECT_TRUE(sim.Violations().empty());
}

TEST_F(SimPlatformTest, GetOverlappedResultFinishesALateCancelledReadAsCancelled) {
  sim::SimHidDevice& device = AddDevice();
  device.Faults().cancelCompletesLate = true;
  std::vector<std::uint8_t> buffer(8, 0xAA);
  StartRead(device, buffer.data(), 8);
  std::uint32_t transferred = 7;
  EXPECT_EQ(sim.GetOverlappedResult(readHandle, &overlapped, &transferred, 0), 0);
  EXPECT_EQ(sim.GetLastError(), 996u);  // ERROR_IO_INCOMPLETE
  EXPECT_EQ(sim.CancelIo(readHandle), 1);
  EXPECT_EQ(sim.GetOverlappedResult(readHandle, &overlapped, &transferred, 1), 0);
  EXPECT_EQ(sim.GetLastError(), 995u);  // ERROR_OPERATION_ABORTED
  EXPECT_EQ(transferred, 0u);
  EXPECT_EQ(overlapped.Internal, kStatusCancelled);
  EXPECT_EQ(sim.PendingReadCount(), 0u);
  sim.PumpMessages();
  EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0xAA));  // nothing lands later
  CloseReadHandles();
}

#if defined(__SANITIZE_ADDRESS__)
TEST_F(SimPlatformTest, LateCancelIntoAFreedBufferIsCaughtByAddressSanitizer) {
  EXPECT_DEATH(
      {
        sim::SimHidDevice& device = AddDevice();
        device.Faults().silent = true;
        device.Faults().cancelCompletesLate = true;
        auto* buffer = new std::uint8_t[8];
        StartRead(device, buffer, 8);
        sim.WaitForSingleObject(event, 6000);
        sim.CancelIo(readHandle);
        delete[] buffer;
        sim.Beep(800, 100);
      },
      "heap-use-after-free");
}
#endif

TEST_F(SimPlatformTest, CloseWithAPendingReadCancelsIt) {
  sim::SimHidDevice& device = AddDevice();
  device.Faults().silent = true;
  std::uint8_t buffer[8] = {};
  StartRead(device, buffer, 8);
  EXPECT_EQ(sim.CloseHandle(readHandle), 1);
  EXPECT_EQ(overlapped.Internal, kStatusCancelled);
  EXPECT_EQ(sim.PendingReadCount(), 0u);
  EXPECT_EQ(sim.CloseHandle(event), 1);
}

TEST_F(SimPlatformTest, WaitingForeverOnASilentDeviceIsAViolation) {
  sim::SimHidDevice& device = AddDevice();
  device.Faults().silent = true;
  std::uint8_t buffer[8] = {};
  StartRead(device, buffer, 8);
  std::uint32_t transferred = 0;
  EXPECT_EQ(sim.GetOverlappedResult(readHandle, &overlapped, &transferred, 1), 0);
  ASSERT_EQ(sim.Violations().size(), 1u);
  EXPECT_NE(sim.Violations()[0].find("block forever"), std::string::npos);
  EXPECT_EQ(sim.PendingReadCount(), 1u);
  CloseReadHandles();
}

// --- handle accounting ------------------------------------------------------

TEST_F(SimPlatformTest, HandleMisuseIsRecordedAndFailsWithoutCrashing) {
  sim::SimHidDevice& device = AddDevice();
  Handle file = Open(device, false);
  Handle second = Open(device, false);
  EXPECT_NE(file, second);
  EXPECT_EQ(device.OpenHandleCount(), 2u);
  ASSERT_EQ(sim.LeakedHandles().size(), 2u);
  EXPECT_EQ(sim.CloseHandle(file), 1);
  EXPECT_EQ(sim.CloseHandle(file), 0);  // double close
  std::uint8_t report[8] = {};
  std::uint32_t written = 0;
  EXPECT_EQ(sim.WriteFile(file, report, 8, &written, nullptr), 0);  // use after close
  quillvane::HIDD_ATTRIBUTES attributes{12, 0, 0, 0};
  EXPECT_EQ(sim.HidD_GetAttributes(0x7FFF0000, &attributes), 0);  // unknown handle
  EXPECT_EQ(sim.RegCloseKey(second), 6);                          // wrong close function
  EXPECT_EQ(sim.GetLastError(), 6u);

  ASSERT_EQ(sim.Violations().size(), 4u);
  const std::string fileText = sim.Violations()[0];
  EXPECT_NE(fileText.find("CloseHandle"), std::string::npos);
  EXPECT_NE(fileText.find("closed twice"), std::string::npos);
  EXPECT_NE(sim.Violations()[1].find("WriteFile"), std::string::npos);
  EXPECT_NE(sim.Violations()[1].find("used after close"), std::string::npos);
  EXPECT_NE(sim.Violations()[2].find("unknown handle 0x7FFF0000"), std::string::npos);
  EXPECT_NE(sim.Violations()[3].find("RegCloseKey"), std::string::npos);

  ASSERT_EQ(sim.LeakedHandles().size(), 1u);  // the wrong close closed nothing
  EXPECT_EQ(sim.CloseHandle(second), 1);
  EXPECT_TRUE(sim.LeakedHandles().empty());
  EXPECT_EQ(device.OpenCount(), 2u);
  EXPECT_EQ(device.OpenHandleCount(), 0u);
  EXPECT_GT(Open(device, false), second);  // numbers are never reused
}

TEST_F(SimPlatformTest, ReusingTheOverlappedOfAPendingReadIsAViolation) {
  sim::SimHidDevice& device = AddDevice();
  std::uint8_t buffer[8] = {};
  StartRead(device, buffer, 8);
  std::uint8_t other[8] = {};
  std::uint32_t read = 0;
  EXPECT_EQ(sim.ReadFile(readHandle, other, 8, &read, &overlapped), 0);
  ASSERT_EQ(sim.Violations().size(), 1u);
  EXPECT_NE(sim.Violations()[0].find("OVERLAPPED"), std::string::npos);
  EXPECT_EQ(sim.PendingReadCount(), 1u);
  EXPECT_EQ(sim.WaitForSingleObject(event, 6000), 0u);
  CloseReadHandles();
}

// --- device discovery -------------------------------------------------------

TEST_F(SimPlatformTest, DiscoveryListsPresentDevicesInOrderAndOpensByPath) {
  sim::SimHidDevice& first = AddDevice(1);
  sim::SimHidDevice& gone = AddDevice(2);
  sim::SimHidDevice& third = AddDevice(3);
  gone.Faults().unplugged = true;
  EXPECT_EQ(Devices(), (std::vector<std::string>{first.Config().path, third.Config().path}));

  std::string upper = third.Config().path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Handle file = sim.CreateFileA(upper.c_str(), kFileFlags, kShare, nullptr, 3, 0, 0);
  ASSERT_NE(file, quillvane::kInvalidHandleValue);
  quillvane::HIDD_ATTRIBUTES attributes{12, 0, 0, 0};
  EXPECT_EQ(sim.HidD_GetAttributes(file, &attributes), 1);
  EXPECT_EQ(attributes.VendorID, 0x06E5);
  EXPECT_EQ(attributes.ProductID, 3);
  third.Faults().attributesFail = true;
  EXPECT_EQ(sim.HidD_GetAttributes(file, &attributes), 0);

  Handle preparsed = 0;
  EXPECT_EQ(sim.HidD_GetPreparsedData(file, &preparsed), 1);
  quillvane::HIDP_CAPS caps{};
  EXPECT_EQ(sim.HidP_GetCaps(preparsed, &caps), 0x00110000);
  EXPECT_EQ(caps.InputReportByteLength, 8);
  EXPECT_EQ(caps.OutputReportByteLength, 8);
  EXPECT_EQ(sim.HidD_FreePreparsedData(preparsed), 1);
  third.Faults().capabilitiesUnavailable = true;
  Handle untouched = 77;
  EXPECT_EQ(sim.HidD_GetPreparsedData(file, &untouched), 0);
  EXPECT_EQ(untouched, 77u);
  EXPECT_EQ(sim.CloseHandle(file), 1);

  EXPECT_EQ(Open(gone, false), quillvane::kInvalidHandleValue);
  first.Faults().openFails = true;
  EXPECT_EQ(Open(first, false), quillvane::kInvalidHandleValue);
  EXPECT_EQ(sim.CreateFileA("\\\\?\\nothing", kFileFlags, kShare, nullptr, 3, 0, 0),
            quillvane::kInvalidHandleValue);
  sim.SetClassDevsFails(true);
  EXPECT_EQ(sim.SetupDiGetClassDevsA(nullptr, nullptr, 0, 0x12), quillvane::kInvalidHandleValue);
  EXPECT_TRUE(sim.Violations().empty());
  EXPECT_TRUE(sim.LeakedHandles().empty());
}

TEST_F(SimPlatformTest, DetailQueryFollowsTheSizeProtocol) {
  sim::SimHidDevice& device = AddDevice();
  const std::uint32_t needed = static_cast<std::uint32_t>(4 + device.Config().path.size() + 1);
  quillvane::GUID guid{};
  sim.HidD_GetHidGuid(&guid);
  EXPECT_EQ(guid.Data1, 0x4D1E55B2u);
  Handle list = sim.SetupDiGetClassDevsA(&guid, nullptr, 0, 0x12);
  // Each bitness takes its own record sizes only (28 and 5, or 32 and 8).
  using drawer_test::kDetailDataSize;
  using drawer_test::kInterfaceDataSize;
  const std::int64_t otherInterfaceSize = drawer_test::kTarget64 ? 28 : 32;
  const std::uint8_t otherDetailSize = drawer_test::kTarget64 ? 5 : 8;
  quillvane::SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = otherInterfaceSize;
  EXPECT_EQ(sim.SetupDiEnumDeviceInterfaces(list, nullptr, &guid, 0, &data), 0);
  data.cbSize = kInterfaceDataSize;
  ASSERT_EQ(sim.SetupDiEnumDeviceInterfaces(list, nullptr, &guid, 0, &data), 1);
  EXPECT_EQ(sim.SetupDiEnumDeviceInterfaces(list, nullptr, &guid, 1, &data), 0);
  data.cbSize = kInterfaceDataSize;
  ASSERT_EQ(sim.SetupDiEnumDeviceInterfaces(list, nullptr, &guid, 0, &data), 1);

  std::uint32_t size = 0;
  EXPECT_EQ(sim.SetupDiGetDeviceInterfaceDetailA(list, &data, nullptr, 0, &size, nullptr), 0);
  EXPECT_EQ(size, needed);
  std::vector<std::uint8_t> detail(needed, 0xEE);
  detail[0] = otherDetailSize;
  detail[1] = detail[2] = detail[3] = 0;
  EXPECT_EQ(
      sim.SetupDiGetDeviceInterfaceDetailA(list, &data, detail.data(), needed, nullptr, nullptr),
      0);  // the other bitness's cbSize
  detail[0] = static_cast<std::uint8_t>(kDetailDataSize);
  EXPECT_EQ(sim.SetupDiGetDeviceInterfaceDetailA(list, &data, detail.data(), needed - 1, nullptr,
                                                 nullptr),
            0);  // one byte short
  EXPECT_EQ(detail[4], 0xEE);
  EXPECT_EQ(
      sim.SetupDiGetDeviceInterfaceDetailA(list, &data, detail.data(), needed, nullptr, nullptr),
      1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(detail.data() + 4)), device.Config().path);
  EXPECT_EQ(sim.Calls().back().args.back(), kDetailDataSize);  // the cbSize given is logged

  device.Faults().detailSizeBelow5 = true;
  EXPECT_EQ(sim.SetupDiGetDeviceInterfaceDetailA(list, &data, nullptr, 0, &size, nullptr), 0);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(sim.SetupDiDestroyDeviceInfoList(list), 1);
  EXPECT_TRUE(sim.LeakedHandles().empty());
}

TEST_F(SimPlatformTest, CreateFileLogsItsArguments) {
  sim::SimHidDevice& device = AddDevice();
  quillvane::SECURITY_ATTRIBUTES security{12, 0, 1};
  Handle file = sim.CreateFileA(device.Config().path.c_str(), kFileFlags, kShare, &security, 3,
                                quillvane::kFileFlagOverlapped, 0);
  const sim::SimCall& call = sim.Calls().back();
  EXPECT_EQ(call.function, "CreateFileA");
  EXPECT_EQ(call.text, device.Config().path);
  EXPECT_EQ(call.args, (std::vector<std::int64_t>{0xC0000000, 3, 12, 0, 1, 3, 0x40000000, 0}));
  sim.CloseHandle(file);
}

// --- registry ---------------------------------------------------------------

class SimRegistryTest : public SimPlatformTest {
 protected:
  static constexpr const char* kKey = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\Drawer";

  Handle OpenKey(const char* path) {
    Handle key = 0xDEAD;
    const std::int32_t status = sim.RegOpenKeyA(quillvane::kHkeyLocalMachine, path, &key);
    EXPECT_EQ(status == 0, key != 0) << path;
    return key;
  }
};

TEST_F(SimRegistryTest, ValuesOfEveryTypeAndSizeReportTypeAndStoredSize) {
  sim.Registry().SetString(kKey, "WithNul", "1234");
  sim.Registry().SetString(kKey, "NoNul", "1234", false);
  sim.Registry().SetDword(kKey, "Dword", 0xFFFFFFFF);
  sim.Registry().SetValue(kKey, "Multi", quillvane::kRegMultiSz, {'a', 0, 'b', 0, 0});
  sim.Registry().SetValue(kKey, "Empty", quillvane::kRegSz, {});
  sim.Registry().SetValue(kKey, "Huge", quillvane::kRegBinary,
                          std::vector<std::uint8_t>(100 * 1024, 0x5A));
  struct Case {
    const char* name;
    std::uint32_t type;
    std::uint32_t size;
  };
  const Case cases[] = {{"WithNul", 1, 5}, {"nonul", 1, 4}, {"DWORD", 4, 4},
                        {"Multi", 7, 5},   {"Empty", 1, 0}, {"Huge", 3, 100 * 1024}};
  Handle key = OpenKey(kKey);
  for (const Case& c : cases) {
    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(sim.RegQueryValueExA(key, c.name, nullptr, &type, nullptr, &size), 0) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(size, c.size) << c.name;
    std::vector<std::uint8_t> data(size + 1, 0xEE);
    EXPECT_EQ(sim.RegQueryValueExA(key, c.name, nullptr, &type, data.data(), &size), 0) << c.name;
    EXPECT_EQ(data.back(), 0xEE) << c.name;  // nothing written beyond the value
  }
  std::uint32_t word = 0, size = 4;
  sim.RegQueryValueExA(key, "Dword", nullptr, nullptr, reinterpret_cast<std::uint8_t*>(&word),
                       &size);
  EXPECT_EQ(word, 0xFFFFFFFFu);

  std::uint8_t small[3] = {0xEE, 0xEE, 0xEE};
  size = 3;
  EXPECT_EQ(sim.RegQueryValueExA(key, "WithNul", nullptr, nullptr, small, &size), 234);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(small[0], 0xEE);

  std::uint32_t type = 99;
  size = 0;
  EXPECT_EQ(sim.RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), 2);
  EXPECT_EQ(type, 99u);
  EXPECT_EQ(sim.RegCloseKey(key), 0);
  EXPECT_TRUE(sim.LeakedHandles().empty());
}

TEST_F(SimRegistryTest, KeyPathsOpenLikeWindows) {
  sim.Registry().CreateKey(kKey);
  Handle exact = OpenKey("software\\oleforretail\\serviceopos\\cashdrawer\\DRAWER");
  Handle trailing = OpenKey("SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\");
  Handle root = OpenKey("");
  EXPECT_NE(exact, 0u);
  EXPECT_NE(trailing, 0u);
  EXPECT_NE(root, 0u);
  EXPECT_EQ(OpenKey("SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\Other"), 0u);
  Handle child = 0;
  EXPECT_EQ(sim.RegOpenKeyA(trailing, "Drawer", &child), 0);  // relative to an open key
  EXPECT_NE(child, 0u);
  EXPECT_EQ(sim.LeakedHandles().size(), 4u);
  for (Handle key : {exact, trailing, root, child}) EXPECT_EQ(sim.RegCloseKey(key), 0);

  Handle result = 0xDEAD;
  EXPECT_EQ(sim.RegOpenKeyA(0x80000001, "Software", &result), 6);  // HKEY_CURRENT_USER
  EXPECT_EQ(sim.RegOpenKeyA(exact, "", &result), 6);               // a closed key
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(sim.Violations().size(), 2u);
  EXPECT_TRUE(sim.LeakedHandles().empty());
}

// --- binding ----------------------------------------------------------------

TEST_F(SimPlatformTest, MissingLibraryOrFunctionThrowsBeforeTheCallIsLogged) {
  std::uint32_t type = 0, size = 0;
  Handle key = 0;
  sim.SetMissingLibrary("ADVAPI32.DLL");
  EXPECT_EQ(ErrorNumberOf([&] { sim.RegOpenKeyA(quillvane::kHkeyLocalMachine, "", &key); }), 48);
  EXPECT_EQ(
      ErrorNumberOf([&] { sim.RegQueryValueExA(key, "PID", nullptr, &type, nullptr, &size); }), 48);
  sim.SetMissingLibrary("advapi32.dll", false);
  EXPECT_EQ(sim.CountCalls("RegOpenKeyA"), 0u);

  sim.SetMissingLibrary("user32.dll");
  EXPECT_EQ(ErrorNumberOf([&] { sim.PumpMessages(); }), 48);
  EXPECT_EQ(sim.ToAnsi(u"\u00e9x\u4e2d"), "\xe9x?");  // conversion is not bound
  sim.SetMissingLibrary("user32.dll", false);

  sim.SetMissingFunction("PeekMessageA");
  EXPECT_EQ(ErrorNumberOf([&] { sim.PumpMessages(); }), 453);
  sim.SetMissingFunction("CancelIo");
  EXPECT_EQ(ErrorNumberOf([&] { sim.CancelIo(4); }), 453);
  EXPECT_EQ(ErrorNumberOf([&] { sim.Beep(800, 100); }), -1);
  EXPECT_EQ(sim.CountCalls("Beep"), 1u);
  EXPECT_EQ(sim.Calls().size(), 1u);
  EXPECT_TRUE(sim.Violations().empty());
}

// --- drawer model -----------------------------------------------------------

TEST(DrawerModelTest, PulsesOpenAndOperatorsShutOnVirtualTime) {
  sim::DrawerModel drawer;
  EXPECT_FALSE(drawer.IsOpenAt(0));
  drawer.ShutAt(50);
  drawer.Pulse(100);  // a shut due before the opening does not close it
  EXPECT_TRUE(drawer.IsOpenAt(100));
  drawer.Pulse(120);
  EXPECT_EQ(drawer.PulseCount(), 2u);
  drawer.ShutAt(200);
  EXPECT_TRUE(drawer.IsOpenAt(199));
  EXPECT_EQ(drawer.StatusByteAt(200), 0x00);

  drawer.SetAutoShutAfter(1000);
  drawer.SetOpen(true, 300);
  EXPECT_TRUE(drawer.IsOpenAt(1299));
  EXPECT_FALSE(drawer.IsOpenAt(1300));
  drawer.Pulse(2000);  // each opening is shut again after the same time
  EXPECT_EQ(drawer.StatusByteAt(2999), 0x80);
  EXPECT_EQ(drawer.StatusByteAt(3000), 0x00);
}

TEST(DrawerModelTest, SwitchMovesAfterItsDelayAndShutsStayOrdered) {
  sim::DrawerModel drawer;
  drawer.SetSwitchDelay(50);
  drawer.SetAutoShutAfter(1000);
  drawer.ShutAt(120);  // falls due while the switch has not moved yet
  drawer.Pulse(100);
  drawer.Pulse(110);  // a second pulse in the delay does not move the opening
  EXPECT_FALSE(drawer.IsOpenAt(149));
  EXPECT_TRUE(drawer.IsOpenAt(150));  // the earlier shut did not cancel it
  EXPECT_EQ(drawer.PulseCount(), 2u);
  EXPECT_TRUE(drawer.IsOpenAt(1149));  // the automatic shut counts from the opening
  EXPECT_FALSE(drawer.IsOpenAt(1150));
}

}  // namespace
