// A scripted session of the service object against a simulated drawer:
// open, claim, enable, fire the drawer, hear it open and shut, wait for it
// to close, read the properties, close. Prints each call with its result.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "contract/AutomationBoundary.h"
#include "contract/OposConstants.h"
#include "service/CashDrawer.h"
#include "sim/RecordingControlObject.h"
#include "sim/SimPlatform.h"
#include "win32kit/HidInterfaceGuid.h"

namespace {

using quillvane::CallMethod;

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

template <typename T>
void Print(const char* call, const quillvane::MethodOutcome<T>& outcome, std::uint64_t now) {
  if (outcome.hresult != 0) {
    std::printf("%7llu ms  %-40s failed 0x%08X (%s)\n", static_cast<unsigned long long>(now), call,
                static_cast<unsigned>(outcome.hresult), Narrow(outcome.description).c_str());
  } else if constexpr (std::is_same_v<T, std::u16string>) {
    std::printf("%7llu ms  %-40s = \"%s\"\n", static_cast<unsigned long long>(now), call,
                Narrow(outcome.value).c_str());
  } else if constexpr (std::is_same_v<T, void>) {
    std::printf("%7llu ms  %-40s done\n", static_cast<unsigned long long>(now), call);
  } else {
    std::printf("%7llu ms  %-40s = %d\n", static_cast<unsigned long long>(now), call,
                static_cast<int>(outcome.value));
  }
}

}  // namespace

int main() {
  sim::SimPlatform platform;
  const std::string key = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\DemoDrawer";
  platform.Registry().SetString(key, "", "quillvane.CashDrawer");
  platform.Registry().SetString(key, "PID", "1234");
  platform.Registry().SetString(key, "Service", "quillvane USB cash drawer");
  platform.Registry().SetString(key, "Description", "Simulated USB cash drawer");
  platform.Registry().SetString(key, "Name", "DemoDrawer");
  platform.Registry().SetString(key, "Version", "1002001");

  sim::HidDeviceConfig config;
  config.productId = 1234;
  config.path = std::string("\\\\?\\hid#vid_06e5&pid_04d2#demo#") + win32kit::kHidInterfaceGuidText;
  sim::SimHidDevice& device = platform.AddHidDevice(config);
  // The simulated operator shuts the drawer 1.5 s after each opening.
  device.Drawer().SetAutoShutAfter(1500);

  auto control = std::make_shared<sim::RecordingControlObject>(platform.Clock());
  control->SetHook([&](const sim::RecordedCall& call) {
    std::printf("%7llu ms    -> %s(%d)  (%s)\n", static_cast<unsigned long long>(call.at),
                Narrow(call.name).c_str(), call.value,
                call.value == 1 ? "drawer opened" : "drawer closed");
  });

  std::shared_ptr<quillvane::CashDrawer> drawer = quillvane::CashDrawer::Create(platform);
  // Runs one call and prints its outcome with the virtual time it started at.
  auto Run = [&](const char* label, auto body) {
    const std::uint64_t started = platform.Clock().Now();
    Print(label, CallMethod(body), started);
  };
  // An idle application's message loop: timer ticks arrive while it turns.
  auto idle = [&](int ms) {
    for (int i = 0; i < ms; ++i) {
      platform.Clock().AdvanceBy(1);
      platform.PumpMessages();
    }
  };
  std::printf("Simulated session: device \"DemoDrawer\", HID drawer %04X:%04X\n\n", config.vendorId,
              config.productId);

  Run("OpenService(\"CashDrawer\", \"DemoDrawer\")",
      [&] { return drawer->OpenService(u"CashDrawer", u"DemoDrawer", control); });
  Run("GetOpenResult()", [&] { return drawer->GetOpenResult(); });
  Run("ClaimDevice(1000)", [&] { return drawer->ClaimDevice(1000); });
  Run("SetPropertyNumber(DeviceEnabled, 1)",
      [&] { drawer->SetPropertyNumber(quillvane::PIDX_DeviceEnabled, 1); });
  Run("GetPropertyNumber(DeviceEnabled)",
      [&] { return drawer->GetPropertyNumber(quillvane::PIDX_DeviceEnabled); });
  Run("OpenDrawer()", [&] { return drawer->OpenDrawer(); });
  idle(100);
  Run("GetPropertyNumber(DrawerOpened)",
      [&] { return drawer->GetPropertyNumber(quillvane::PIDXCash_DrawerOpened); });
  Run("WaitForDrawerClose(500, 800, 100, 300)",
      [&] { return drawer->WaitForDrawerClose(500, 800, 100, 300); });
  for (const sim::BeepRecord& beep : platform.Beeper().Beeps()) {
    std::printf("%7llu ms    beep %u Hz for %u ms\n", static_cast<unsigned long long>(beep.at),
                beep.frequency, beep.duration);
  }
  idle(100);
  Run("GetPropertyNumber(DrawerOpened)",
      [&] { return drawer->GetPropertyNumber(quillvane::PIDXCash_DrawerOpened); });
  Run("CheckHealth(Internal)", [&] { return drawer->CheckHealth(1); });
  Run("GetPropertyString(CheckHealthText)",
      [&] { return drawer->GetPropertyString(quillvane::PIDX_CheckHealthText); });
  Run("GetPropertyString(ServiceObjectDescription)",
      [&] { return drawer->GetPropertyString(quillvane::PIDX_ServiceObjectDescription); });
  Run("GetPropertyNumber(ServiceObjectVersion)",
      [&] { return drawer->GetPropertyNumber(quillvane::PIDX_ServiceObjectVersion); });
  Run("DirectIO(0, 0, \"\")", [&] {
    std::int32_t data = 0;
    std::u16string text;
    return drawer->DirectIO(0, data, text);
  });
  Run("ReleaseDevice()", [&] { return drawer->ReleaseDevice(); });
  Run("CloseService()", [&] { return drawer->CloseService(); });
  drawer.reset();

  std::printf("\nPulse reports seen by the drawer: %u; handles left open: %zu\n",
              device.Drawer().PulseCount(), platform.LeakedHandles().size());
  return platform.LeakedHandles().empty() && platform.Violations().empty() ? 0 : 1;
}
