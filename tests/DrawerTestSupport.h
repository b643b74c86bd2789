// Shared set-up for tests that drive a CashDrawer on the simulated platform:
// a configured device key, drawers on the HID bus, a recording control object,
// and the checks every such test ends with (no handle misuse, none left open).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "contract/RuntimeError.h"
#include "service/CashDrawer.h"
#include "sim/RecordingControlObject.h"
#include "sim/SimPlatform.h"

namespace drawer_test {

inline const std::string kCategoryKey = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\";
inline const std::string kDeviceName = "TestDrawer";
inline const std::string kDeviceKey = kCategoryKey + kDeviceName;

// The record sizes Windows of the target's bitness takes: 32-bit Windows
// 28, 5 and 12; 64-bit Windows (the native build's) 32, 8 and 24. The
// 32-bit figures are also proven by the i686 build's compile-time checks.
constexpr bool kTarget64 = quillvane::kPointers64;
constexpr std::int64_t kInterfaceDataSize = kTarget64 ? 32 : 28;
constexpr std::int64_t kDetailDataSize = kTarget64 ? 8 : 5;
constexpr std::int64_t kSecurityAttributesSize = kTarget64 ? 24 : 12;

inline std::u16string Text(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// The run-time error number a call raises, or -1 when it raises none.
inline std::int32_t ErrorNumberOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const quillvane::RuntimeError& error) {
    return error.Number();
  }
  return -1;
}

class DrawerTest : public ::testing::Test {
 protected:
  sim::SimHidDevice& AddDrawer(std::uint16_t productId = 1234, std::uint16_t inputLength = 8,
                               std::uint16_t outputLength = 8, std::uint32_t reportPeriodMs = 10) {
    sim::HidDeviceConfig config;
    config.productId = productId;
    config.inputReportLength = inputLength;
    config.outputReportLength = outputLength;
    config.reportPeriodMs = reportPeriodMs;
    return sim.AddHidDevice(config);
  }

  void ConfigurePid(const std::string& pid) { sim.Registry().SetString(kDeviceKey, "PID", pid); }

  std::int32_t Open(const std::string& name = kDeviceName) {
    return drawer->OpenService(u"CashDrawer", Text(name), control);
  }

  // Configured device with PID 1234 and a matching drawer, opened.
  sim::SimHidDevice& OpenAnsweringDrawer(std::uint32_t reportPeriodMs = 10) {
    ConfigurePid("1234");
    sim::SimHidDevice& device = AddDrawer(1234, 8, 8, reportPeriodMs);
    EXPECT_EQ(Open(), 0);
    return device;
  }

  const quillvane::CashDrawerRecord& Rec() const { return drawer->Record(); }

  void TearDown() override {
    if (drawer) {
      drawer->CloseService();
      drawer.reset();
    }
    EXPECT_TRUE(sim.Violations().empty()) << ::testing::PrintToString(sim.Violations());
    EXPECT_TRUE(sim.LeakedHandles().empty()) << ::testing::PrintToString(sim.LeakedHandles());
    EXPECT_EQ(sim.PendingReadCount(), 0u);
  }

  // Declared first: it outlives everything that calls it.
  sim::SimPlatform sim;
  std::shared_ptr<sim::RecordingControlObject> control =
      std::make_shared<sim::RecordingControlObject>(sim.Clock());
  std::shared_ptr<quillvane::CashDrawer> drawer = quillvane::CashDrawer::Create(sim);
};

}  // namespace drawer_test
