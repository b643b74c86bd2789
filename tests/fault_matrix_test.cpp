// One session (open, claim, enable, poll ticks, OpenDrawer, a wait, close) run
// again and again on the simulated platform, each time with one platform call
// failing once: an error return, a short read, a completion noticed late, or
// the drawer unplugged right before the call. Whatever fails, the session
// answers with the drawer's result codes, never reports a pulse or a shut
// drawer that did not happen, invents no status event, holds no tick, waits
// no longer than one read time-out per call, and leaves no handle open or
// closed twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "contract/AutomationBoundary.h"
#include "service/CashDrawer.h"
#include "service/MLiteTimer.h"
#include "sim/ForwardingPlatform.h"
#include "sim/RecordingControlObject.h"
#include "sim/SimPlatform.h"
#include "tests/DrawerTestSupport.h"

namespace {

using namespace quillvane;

enum class Fault { kNone, kErrorReturn, kShortRead, kLateCompletion, kUnplug };

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kErrorReturn:
      return "error return";
    case Fault::kShortRead:
      return "short read";
    case Fault::kLateCompletion:
      return "late completion";
    case Fault::kUnplug:
      return "unplugged before";
    case Fault::kNone:
      break;
  }
  return "";
}

constexpr std::uint32_t kErrorGenFailure = 31;

// The calls each fault applies to. Reading the clock or the last error
// cannot fail; a pump cannot fail but can be unplugged before.
bool Applies(const std::string& function, Fault fault) {
  static const std::set<std::string> kCannotFail = {"GetTickCount", "GetLastError", "PumpMessages",
                                                    "HidD_GetHidGuid"};
  switch (fault) {
    case Fault::kErrorReturn:
      return !kCannotFail.count(function);
    case Fault::kShortRead:
      return function == "ReadFile";
    case Fault::kLateCompletion:
      return function == "ReadFile" || function == "GetOverlappedResult" ||
             function == "WaitForSingleObject" || function == "MsgWaitForMultipleObjects";
    case Fault::kUnplug:
      return function != "GetTickCount" && function != "GetLastError";
    case Fault::kNone:
      break;
  }
  return false;
}

struct Site {
  std::string phase;
  std::string function;
  std::size_t nth = 0;  // 0-based, among the calls of that function in that phase
};

// Passes every call to the simulated platform, counting the calls of each
// phase, and fails the one armed call. Also measures how long each pump held
// the thread on the virtual clock.
class FaultInjector final : public sim::ForwardingPlatform {
 public:
  explicit FaultInjector(sim::SimPlatform& platform)
      : ForwardingPlatform(platform), mSim(platform) {}

  void BeginPhase(const std::string& phase) {
    mPhase = phase;
    mCounts.clear();
  }
  void Arm(const Site& site, Fault fault) {
    mArmed = site;
    mFault = fault;
  }
  const std::vector<Site>& Sites() const { return mSites; }
  bool Fired() const { return mFired; }
  std::uint64_t MaxPumpHold() const { return mMaxPumpHold; }

  std::int32_t RegOpenKeyA(Handle hKey, const char* lpSubKey, Handle* phkResult) override {
    if (Hit("RegOpenKeyA")) {
      if (phkResult) *phkResult = 0;
      return 2;
    }
    return ForwardingPlatform::RegOpenKeyA(hKey, lpSubKey, phkResult);
  }
  std::int32_t RegQueryValueExA(Handle hKey, const char* lpValueName, std::uint32_t* lpReserved,
                                std::uint32_t* lpType, std::uint8_t* lpData,
                                std::uint32_t* lpcbData) override {
    if (Hit("RegQueryValueExA")) return 2;
    return ForwardingPlatform::RegQueryValueExA(hKey, lpValueName, lpReserved, lpType, lpData,
                                                lpcbData);
  }
  std::int32_t RegCloseKey(Handle hKey) override {
    return CloseAnyway("RegCloseKey", 6, [&] { return ForwardingPlatform::RegCloseKey(hKey); });
  }
  void HidD_GetHidGuid(GUID* HidGuid) override {
    Hit("HidD_GetHidGuid");
    ForwardingPlatform::HidD_GetHidGuid(HidGuid);
  }
  std::int32_t HidD_GetAttributes(Handle device, HIDD_ATTRIBUTES* Attributes) override {
    if (Hit("HidD_GetAttributes")) return 0;
    return ForwardingPlatform::HidD_GetAttributes(device, Attributes);
  }
  std::int32_t HidD_GetPreparsedData(Handle device, Handle* PreparsedData) override {
    if (Hit("HidD_GetPreparsedData")) return 0;
    return ForwardingPlatform::HidD_GetPreparsedData(device, PreparsedData);
  }
  std::int32_t HidP_GetCaps(Handle PreparsedData, HIDP_CAPS* Capabilities) override {
    if (Hit("HidP_GetCaps")) return static_cast<std::int32_t>(0xC0110001u);
    return ForwardingPlatform::HidP_GetCaps(PreparsedData, Capabilities);
  }
  std::int32_t HidD_FreePreparsedData(Handle PreparsedData) override {
    return CloseAnyway("HidD_FreePreparsedData", 0,
                       [&] { return ForwardingPlatform::HidD_FreePreparsedData(PreparsedData); });
  }
  Handle SetupDiGetClassDevsA(const GUID* ClassGuid, const char* Enumerator, Handle hwndParent,
                              std::uint32_t Flags) override {
    if (Hit("SetupDiGetClassDevsA")) return FailWith<Handle>(kInvalidHandleValue);
    return ForwardingPlatform::SetupDiGetClassDevsA(ClassGuid, Enumerator, hwndParent, Flags);
  }
  std::int32_t SetupDiEnumDeviceInterfaces(Handle list, SP_DEVINFO_DATA* info, const GUID* guid,
                                           std::uint32_t index,
                                           SP_DEVICE_INTERFACE_DATA* data) override {
    if (Hit("SetupDiEnumDeviceInterfaces")) return FailWith(0);
    return ForwardingPlatform::SetupDiEnumDeviceInterfaces(list, info, guid, index, data);
  }
  std::int32_t SetupDiGetDeviceInterfaceDetailA(Handle list, SP_DEVICE_INTERFACE_DATA* data,
                                                void* detail, std::uint32_t size,
                                                std::uint32_t* required,
                                                SP_DEVINFO_DATA* info) override {
    if (Hit("SetupDiGetDeviceInterfaceDetailA")) return FailWith(0);
    return ForwardingPlatform::SetupDiGetDeviceInterfaceDetailA(list, data, detail, size, required,
                                                                info);
  }
  std::int32_t SetupDiDestroyDeviceInfoList(Handle list) override {
    return CloseAnyway("SetupDiDestroyDeviceInfoList", 0,
                       [&] { return ForwardingPlatform::SetupDiDestroyDeviceInfoList(list); });
  }
  Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share,
                     SECURITY_ATTRIBUTES* security, std::uint32_t disposition, std::uint32_t flags,
                     Handle templateFile) override {
    if (Hit("CreateFileA")) return FailWith<Handle>(kInvalidHandleValue);
    return ForwardingPlatform::CreateFileA(path, access, share, security, disposition, flags,
                                           templateFile);
  }
  Handle CreateEventA(SECURITY_ATTRIBUTES* security, std::int32_t manualReset,
                      std::int32_t initialState, const char* name) override {
    if (Hit("CreateEventA")) return FailWith<Handle>(0);
    return ForwardingPlatform::CreateEventA(security, manualReset, initialState, name);
  }
  std::int32_t ReadFile(Handle hFile, void* buffer, std::uint32_t length, std::uint32_t* read,
                        OVERLAPPED* overlapped) override {
    switch (HitFault("ReadFile")) {
      case Fault::kErrorReturn:
        return FailWith(0);
      case Fault::kShortRead:
        return ForwardingPlatform::ReadFile(hFile, buffer, length - 1, read, overlapped);
      case Fault::kLateCompletion:
        // Finished at once, but said to be pending.
        ForwardingPlatform::ReadFile(hFile, buffer, length, read, overlapped);
        return FailWith(0, kErrorIoPending);
      default:
        return ForwardingPlatform::ReadFile(hFile, buffer, length, read, overlapped);
    }
  }
  std::int32_t WriteFile(Handle hFile, const void* buffer, std::uint32_t length,
                         std::uint32_t* written, OVERLAPPED* overlapped) override {
    if (Hit("WriteFile")) return FailWith(0);
    return ForwardingPlatform::WriteFile(hFile, buffer, length, written, overlapped);
  }
  std::uint32_t WaitForSingleObject(Handle hHandle, std::uint32_t ms) override {
    return Wait("WaitForSingleObject", ms,
                [&] { return ForwardingPlatform::WaitForSingleObject(hHandle, ms); });
  }
  std::uint32_t MsgWaitForMultipleObjects(std::uint32_t count, const Handle* handles,
                                          std::int32_t waitAll, std::uint32_t ms,
                                          std::uint32_t wakeMask) override {
    return Wait("MsgWaitForMultipleObjects", ms, [&] {
      return ForwardingPlatform::MsgWaitForMultipleObjects(count, handles, waitAll, ms, wakeMask);
    });
  }
  std::int32_t CancelIo(Handle hFile) override {
    if (Hit("CancelIo")) return FailWith(0);
    return ForwardingPlatform::CancelIo(hFile);
  }
  std::int32_t GetOverlappedResult(Handle hFile, OVERLAPPED* overlapped, std::uint32_t* transferred,
                                   std::int32_t wait) override {
    switch (HitFault("GetOverlappedResult")) {
      case Fault::kErrorReturn:
        return FailWith(0);
      case Fault::kLateCompletion:
        return FailWith(0, kErrorIoIncomplete);
      default:
        return ForwardingPlatform::GetOverlappedResult(hFile, overlapped, transferred, wait);
    }
  }
  std::int32_t CloseHandle(Handle hObject) override {
    return CloseAnyway("CloseHandle", 0, [&] { return ForwardingPlatform::CloseHandle(hObject); });
  }
  std::uint32_t GetLastError() override {
    Hit("GetLastError");
    return mInjectedError ? *mInjectedError : ForwardingPlatform::GetLastError();
  }
  std::uint32_t GetTickCount() override {
    Hit("GetTickCount");
    return ForwardingPlatform::GetTickCount();
  }
  std::int32_t Beep(std::uint32_t frequency, std::uint32_t duration) override {
    if (Hit("Beep")) return 0;
    return ForwardingPlatform::Beep(frequency, duration);
  }
  TimerId SetTimer(Handle hWnd, TimerId id, std::uint32_t elapse, TimerCallback callback) override {
    if (Hit("SetTimer")) return 0;
    return ForwardingPlatform::SetTimer(hWnd, id, elapse, callback);
  }
  std::int32_t KillTimer(Handle hWnd, TimerId id) override {
    if (Hit("KillTimer")) return 0;
    return ForwardingPlatform::KillTimer(hWnd, id);
  }
  bool PumpMessages() override {
    Hit("PumpMessages");
    const std::uint64_t before = mSim.Clock().Now();
    const bool result = ForwardingPlatform::PumpMessages();
    mMaxPumpHold = std::max(mMaxPumpHold, mSim.Clock().Now() - before);
    return result;
  }

 private:
  // Counts the call. Gives the armed fault when this is its call, except an
  // unplug, which happens here and lets the call through.
  Fault HitFault(const char* function) {
    mInjectedError.reset();
    const std::size_t nth = mCounts[function]++;
    mSites.push_back(Site{mPhase, function, nth});
    if (mFired || !mArmed || mArmed->phase != mPhase || mArmed->function != function ||
        mArmed->nth != nth) {
      return Fault::kNone;
    }
    mFired = true;
    if (mFault == Fault::kUnplug) {
      for (std::size_t i = 0; i < mSim.DeviceCount(); ++i) {
        mSim.Device(i).Faults().unplugged = true;
      }
      return Fault::kNone;
    }
    return mFault;
  }
  bool Hit(const char* function) { return HitFault(function) != Fault::kNone; }

  // A wait that fails, or that runs out although its read has finished.
  template <typename Forward>
  std::uint32_t Wait(const char* function, std::uint32_t ms, Forward forward) {
    switch (HitFault(function)) {
      case Fault::kErrorReturn:
        return FailWith(kWaitFailed);
      case Fault::kLateCompletion:
        mSim.Clock().AdvanceBy(ms);
        return kWaitTimeout;
      default:
        return forward();
    }
  }

  // A close that is to fail still closes: the handle goes either way, only
  // the answer differs.
  template <typename Close>
  std::int32_t CloseAnyway(const char* function, std::int32_t failure, Close close) {
    const bool fail = Hit(function);
    const std::int32_t result = close();
    return fail ? failure : result;
  }

  template <typename T>
  T FailWith(T result, std::uint32_t error = kErrorGenFailure) {
    mInjectedError = error;
    return result;
  }

  sim::SimPlatform& mSim;
  std::string mPhase;
  std::map<std::string, std::size_t> mCounts;
  std::vector<Site> mSites;
  std::optional<Site> mArmed;
  Fault mFault = Fault::kErrorReturn;
  bool mFired = false;
  std::optional<std::uint32_t> mInjectedError;
  std::uint64_t mMaxPumpHold = 0;
};

// What a method call gave: its result, or the run-time error it raised.
struct Outcome {
  std::int32_t result = 0;
  std::int32_t error = 0;  // 0: none
  std::uint64_t tookMs = 0;
};

struct Session {
  std::map<std::string, Outcome> outcomes;
  std::uint32_t pulses = 0;
  bool shutWhenTheWaitEnded = false;
  std::vector<std::int32_t> delivered;
  std::vector<Site> sites;
  bool fired = false;
  std::uint64_t maxPumpHold = 0;
  std::vector<std::string> violations;
  std::vector<std::string> leaked;
  std::size_t pendingReads = 0;
  bool timerTableLeft = false;
};

Session RunSession(const std::optional<Site>& site, Fault fault) {
  Session session;
  sim::SimPlatform platform;
  FaultInjector api(platform);
  if (site) api.Arm(*site, fault);
  platform.Registry().SetString(drawer_test::kDeviceKey, "PID", "1234");
  sim::HidDeviceConfig config;
  config.productId = 1234;
  sim::SimHidDevice& device = platform.AddHidDevice(config);
  device.Drawer().SetAutoShutAfter(300);
  auto control = std::make_shared<sim::RecordingControlObject>(platform.Clock());
  auto drawer = CashDrawer::Create(api);

  auto phase = [&](const std::string& name, const std::function<std::int32_t()>& body) {
    api.BeginPhase(name);
    const std::uint64_t start = platform.Clock().Now();
    const MethodOutcome<std::int32_t> outcome = CallMethod(body);
    Outcome& recorded = session.outcomes[name];
    recorded.result = outcome.value;
    recorded.error = outcome.hresult == 0 ? 0 : outcome.hresult & 0xFFFF;
    recorded.tookMs = platform.Clock().Now() - start;
  };
  phase("open", [&] { return drawer->OpenService(u"CashDrawer", u"TestDrawer", control); });
  phase("claim", [&] { return drawer->ClaimDevice(0); });
  phase("enable", [&] {
    drawer->SetPropertyNumber(PIDX_DeviceEnabled, 1);
    return drawer->Record().blnDeviceEnabled;
  });
  phase("tick", [&] {
    for (int ms = 0; ms < 120; ++ms) {
      platform.Clock().AdvanceBy(1);
      api.PumpMessages();
    }
    return 0;
  });
  phase("pulse", [&] { return drawer->OpenDrawer(); });
  phase("wait", [&] { return drawer->WaitForDrawerClose(200, 440, 10, 100); });
  session.shutWhenTheWaitEnded = !device.Drawer().IsOpenAt(platform.Clock().Now());
  phase("close", [&] { return drawer->CloseService(); });
  drawer.reset();

  session.pulses = device.Drawer().PulseCount();
  session.delivered = control->DeliveredCodes();
  session.sites = api.Sites();
  session.fired = api.Fired();
  session.maxPumpHold = api.MaxPumpHold();
  session.violations = platform.Violations();
  session.leaked = platform.LeakedHandles();
  session.pendingReads = platform.PendingReadCount();
  session.timerTableLeft = MLiteTimer::HasTable();
  return session;
}

// Every call site of every phase, the first three calls of each function in
// each phase, under every fault that applies to it.
TEST(FaultMatrix, EveryPlatformCallFailingOnceLeavesAnHonestSession) {
  const Session baseline = RunSession(std::nullopt, Fault::kNone);
  ASSERT_EQ(baseline.outcomes.at("open").result, OPOS_SUCCESS);
  ASSERT_EQ(baseline.outcomes.at("pulse").result, OPOS_SUCCESS);
  ASSERT_EQ(baseline.outcomes.at("wait").result, OPOS_SUCCESS);
  ASSERT_EQ(baseline.delivered, (std::vector<std::int32_t>{1, 0}));

  const std::map<std::string, std::set<std::int32_t>> allowed = {
      {"open", {OPOS_SUCCESS, OPOS_E_ILLEGAL}},
      {"claim", {OPOS_SUCCESS, OPOS_E_NOHARDWARE}},
      {"enable", {kTrue, kFalse}},
      {"tick", {0}},
      {"pulse", {OPOS_SUCCESS, OPOS_E_ILLEGAL, OPOS_E_NOHARDWARE, OPOS_E_FAILURE}},
      {"wait", {OPOS_SUCCESS, OPOS_E_NOHARDWARE, OPOS_E_FAILURE}},
      {"close", {OPOS_SUCCESS}}};

  std::size_t runs = 0;
  for (const Site& site : baseline.sites) {
    if (site.nth >= 3) continue;
    for (Fault fault :
         {Fault::kErrorReturn, Fault::kShortRead, Fault::kLateCompletion, Fault::kUnplug}) {
      if (!Applies(site.function, fault)) continue;
      ++runs;
      const Session s = RunSession(site, fault);
      SCOPED_TRACE(std::string(FaultName(fault)) + " at " + site.function + " #" +
                   std::to_string(site.nth) + " in " + site.phase);
      ASSERT_TRUE(s.fired);
      for (const auto& [name, outcome] : s.outcomes) {
        // The only run-time error: report lengths the platform never gave.
        if (outcome.error != 0) {
          EXPECT_EQ(outcome.error, kErrSubscriptOutOfRange) << name;
        } else {
          EXPECT_TRUE(allowed.at(name).count(outcome.result)) << name << " " << outcome.result;
        }
        // No call waits longer than one read time-out (and the pulse's grace
        // and the drawer's 350 ms for the wait).
        if (name != "tick") {
          EXPECT_LE(outcome.tookMs, 6000u + 1500u) << name;
        }
      }
      const Outcome& pulse = s.outcomes.at("pulse");
      EXPECT_EQ(pulse.error == 0 && pulse.result == OPOS_SUCCESS, s.pulses == 1u);
      const Outcome& wait = s.outcomes.at("wait");
      if (wait.error == 0 && wait.result == OPOS_SUCCESS) {
        EXPECT_TRUE(s.shutWhenTheWaitEnded);
      }
      EXPECT_LE(s.delivered.size(), 2u);
      for (std::size_t i = 0; i < s.delivered.size(); ++i) {
        EXPECT_EQ(s.delivered[i], i == 0 ? 1 : 0) << "invented event";
      }
      EXPECT_EQ(s.maxPumpHold, 0u);
      EXPECT_TRUE(s.violations.empty()) << ::testing::PrintToString(s.violations);
      EXPECT_TRUE(s.leaked.empty()) << ::testing::PrintToString(s.leaked);
      EXPECT_EQ(s.pendingReads, 0u);
      EXPECT_FALSE(s.timerTableLeft);
    }
  }
  EXPECT_GT(runs, 100u);
}

}  // namespace
