// One quillvane.CashDrawer driven the way the control object drives it, with
// the recording control object it reports to, and the helpers the Wine test
// scenarios share: simulator status, result codes, timed calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "virtual-drawer/client/RecordingControl.h"
#include "virtual-drawer/client/ServiceObject.h"
#include "virtual-drawer/win/Check.h"
#include "win32kit/WinHeaders.h"

namespace vdrawer {

inline constexpr char kDeviceName[] = "VirtualDrawer";
inline constexpr long kSuccess = 0, kIllegal = 106, kNoHardware = 107, kFailure = 111;
inline constexpr long kNoPort = 401, kSpecific = 450;
inline constexpr long kClaimed = 1, kDeviceEnabled = 3, kFreezeEvents = 4, kDrawerOpened = 1001;
inline constexpr long kDrawerClosedCode = 0, kDrawerOpenCode = 1;
// Long enough for a change to reach the next 50 ms poll tick on a loaded
// machine.
inline constexpr DWORD kStatusWaitMs = 2000;
// The service object's read time-out.
inline constexpr DWORD kReadTimeoutMs = 6000;

struct Session {
  ServiceObject drawer;
  RecordingControl control;

  // Creates the object and opens `device`; false when either fails.
  bool Open(Checks& checks, long expected, const std::wstring& device = L"VirtualDrawer");
  // Open, claimed and enabled: false (a failed check) when any step fails.
  bool OpenEnabled(Checks& checks, const std::wstring& device = L"VirtualDrawer");
  long Call(const wchar_t* name, const std::vector<Arg>& args = {}) {
    return drawer.CallLong(name, args);
  }
  long Enable(bool on) {
    return Call(L"SetPropertyNumber", {Arg::Long(kDeviceEnabled), Arg::Long(on ? 1 : 0)});
  }
  // Pumps until `count` status updates have arrived in all.
  bool AwaitCalls(std::size_t count, DWORD ms = kStatusWaitMs) {
    return PumpUntil(ms, [&] { return control.Calls().size() >= count; });
  }
  std::vector<long> Codes() const;
  // CloseService, which answers 0, and the object let go.
  void Close(Checks& checks) {
    checks.ExpectEq(Call(L"CloseService"), kSuccess, "CloseService");
    drawer.Release();
  }
};

// "[1,0]": status codes as a check message shows them.
std::string Join(const std::vector<long>& codes);

// The output reports the simulator received from device 1, as hex lines.
std::vector<std::string> OutputReports(Checks& checks);

// Waits (up to 1 s) until the simulator counts no open handle on the device.
bool NoHandlesLeft(Checks& checks, const std::string& serial);

// Milliseconds since `startTicks` (a NowTicks value).
inline double MsSince(std::int64_t startTicks) { return TicksToMs(NowTicks() - startTicks); }

}  // namespace vdrawer
