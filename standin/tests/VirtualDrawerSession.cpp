#include "standin/tests/VirtualDrawerSession.h"

#include <ocidl.h>

#include <functional>
#include <string>

#include "quillvane_control_h.h"
#include "standin/tests/ClientSupport.h"
#include "standin/tests/EventRecorder.h"
#include "virtual-drawer/win/ControlClient.h"

namespace standin_test {

namespace {

const wchar_t kDevice[] = L"QvStandinVirtual";
const wchar_t kDeviceKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\QvStandinVirtual";

// Turns this thread's message loop (which carries the service object's poll
// ticks) until `done` holds or `ms` have passed.
bool PumpUntil(DWORD ms, const std::function<bool()>& done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

void Simulator(const std::string& command) {
  std::string error;
  Expect(vdrawer::SendControl(command, 2000, &error).has_value(),
         "the simulator takes '" + command + "': " + error);
}

std::string Codes(const std::vector<long>& codes) {
  std::string text;
  for (long code : codes) text += (text.empty() ? "" : ",") + std::to_string(code);
  return "[" + text + "]";
}

}  // namespace

int RunVirtualDrawerSession() {
  const std::wstring service = L"quillvane.CashDrawer", product = L"1234";
  WriteDefaultValue(HKEY_LOCAL_MACHINE, kDeviceKey, &service);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeviceKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegSetValueExW(key, L"PID", 0, REG_SZ, reinterpret_cast<const BYTE*>(product.c_str()),
                   static_cast<DWORD>((product.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }

  EventRecorder events;
  {
    ComRef<IDispatch> cd = CreateStandIn();
    ComRef<IConnectionPointContainer> container;
    ComRef<IConnectionPoint> point;
    DWORD cookie = 0;
    if (cd)
      cd->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.Put()));
    if (container) container->FindConnectionPoint(DIID__IControlObjectEvents, point.Put());
    Expect(point && SUCCEEDED(point->Advise(&events, &cookie)), "advised to the status events");
    if (cd && point) {
      IDispatch* d = cd.Get();
      ExpectLong(OpenDevice(d, kDevice), 0, "Open finds the virtual drawer");
      ExpectLong(GetLong(d, contract::kDispidOpenResult, "OpenResult"), 450, "OpenResult");
      ExpectLong(CallLong(d, contract::kDispidClaimDevice, {LongArg(1000)}, "ClaimDevice"), 0,
                 "ClaimDevice");
      ExpectLong(GetFlag(d, contract::kDispidClaimed, "Claimed"), VARIANT_TRUE, "Claimed");
      ExpectLong(CallLong(d, contract::kDispidOpenDrawer, {}, "OpenDrawer"), 106,
                 "OpenDrawer before Enable");
      PutFlag(d, contract::kDispidDeviceEnabled, VARIANT_TRUE, "Enable");
      ExpectLong(GetFlag(d, contract::kDispidDeviceEnabled, "DeviceEnabled"), VARIANT_TRUE,
                 "the service object is enabled");
      ExpectLong(GetFlag(d, contract::kDispidCapStatus, "CapStatus"), VARIANT_TRUE, "CapStatus");

      ExpectLong(CallLong(d, contract::kDispidOpenDrawer, {}, "OpenDrawer"), 0, "OpenDrawer");
      Expect(PumpUntil(3000, [&] { return !events.status_updates.empty(); }),
             "a status update after the pulse");
      ExpectLong(GetFlag(d, contract::kDispidDrawerOpened, "DrawerOpened"), VARIANT_TRUE,
                 "the drawer reads open");
      Simulator("close 1");
      Expect(PumpUntil(3000, [&] { return events.status_updates.size() >= 2; }),
             "a status update after the drawer was shut");
      Expect(events.status_updates == std::vector<long>({1, 0}),
             "StatusUpdateEvent open, then closed: " + Codes(events.status_updates));
      ExpectLong(GetFlag(d, contract::kDispidDrawerOpened, "DrawerOpened"), VARIANT_FALSE,
                 "the drawer reads shut");
      LONG wait[4] = {10000, 500, 1000, 3000};
      ExpectLong(
          CallLong(d, contract::kDispidWaitForDrawerClose,
                   {LongRef(&wait[0]), LongRef(&wait[1]), LongRef(&wait[2]), LongRef(&wait[3])},
                   "WaitForDrawerClose"),
          0, "WaitForDrawerClose on a shut drawer");

      // Frozen events are held back until the freeze is lifted.
      PutFlag(d, contract::kDispidFreezeEvents, VARIANT_TRUE, "Freeze");
      ExpectLong(GetFlag(d, contract::kDispidFreezeEvents, "FreezeEvents"), VARIANT_TRUE, "frozen");
      ExpectLong(CallLong(d, contract::kDispidOpenDrawer, {}, "OpenDrawer"), 0, "OpenDrawer");
      PumpUntil(800, [] { return false; });
      ExpectLong(static_cast<long>(events.status_updates.size()), 2, "nothing while frozen");
      PutFlag(d, contract::kDispidFreezeEvents, VARIANT_FALSE, "UnFreeze");
      Expect(PumpUntil(3000, [&] { return events.status_updates.size() >= 3; }),
             "the held-back update after the freeze is lifted");
      Simulator("close 1");

      ExpectLong(CallLong(d, contract::kDispidClose, {}, "Close"), 0, "Close");
      ExpectLong(CallLong(d, contract::kDispidClaimDevice, {LongArg(1000)}, "ClaimDevice"), 101,
                 "closed after Close");
      point->Unadvise(cookie);
    }
  }
  ExpectLong(events.unexpected, 0, "nothing but status updates reached the sink");
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kDeviceKey);
  return FailureCount();
}

}  // namespace standin_test
