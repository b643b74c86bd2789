// The reconnect scenario of vd-client: a device configured with
// "Reconnect"=1 and "TraceLevel"=4 (its name holds a character not allowed
// in file names and one beyond ASCII) is unplugged while the poll runs,
// opened by hand while away and plugged back. The application hears
// offline, online and the opening, in this order, OpenDrawer works again
// without a new open, and the trace file tells the same story.
#include <string>
#include <vector>

#include "virtual-drawer/client/Scenarios.h"
#include "virtual-drawer/client/Session.h"
#include "win32kit/Owners.h"
// After the Windows headers: SHGetFolderPathW and CSIDL_COMMON_APPDATA.
#include <shlobj.h>

namespace vdrawer {

using win32kit::UniqueHandle;
namespace {

constexpr long kPowerNotify = 13, kPowerState = 14, kCapPowerReporting = 501;
constexpr long kOnline = 2001, kOffline = 2004;
const std::wstring kName = L"Till:\u00e9";
// The name in the trace file's name: ':' is not allowed there.
const std::wstring kSafeName = L"Till_\u00e9";

std::wstring LogFolder() {
  wchar_t programData[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, programData))) return {};
  return std::wstring(programData) + L"\\quillvane\\logs";
}

// The trace files of this device (one, unless a day ended meanwhile).
std::vector<std::wstring> LogFiles() {
  std::vector<std::wstring> files;
  WIN32_FIND_DATAW found;
  const std::wstring folder = LogFolder();
  HANDLE search = FindFirstFileW((folder + L"\\" + kSafeName + L"-*.log").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    files.push_back(folder + L"\\" + found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return files;
}

std::string ReadAll(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
  std::string text;
  if (!file.IsOpen()) return text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    text.append(buffer, read);
  }
  return text;
}

bool ConfigureWide(const std::wstring& name) {
  win32kit::UniqueHkey key;
  const std::wstring path = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\" + name;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      key.Put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const wchar_t pid[] = L"1234";
  const DWORD reconnect = 1, level = 4;
  return RegSetValueExW(key.Get(), L"PID", 0, REG_SZ, reinterpret_cast<const BYTE*>(pid),
                        sizeof pid) == ERROR_SUCCESS &&
         RegSetValueExW(key.Get(), L"Reconnect", 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&reconnect), 4) == ERROR_SUCCESS &&
         RegSetValueExW(key.Get(), L"TraceLevel", 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&level), 4) == ERROR_SUCCESS;
}

void RemoveWide(const std::wstring& name) {
  RegDeleteKeyW(HKEY_LOCAL_MACHINE,
                (L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\" + name).c_str());
}

// Each of `wanted` starts a record of the trace, in this order.
bool ExpectInOrder(Checks& checks, const std::string& trace,
                   const std::vector<std::string>& wanted) {
  std::size_t next = 0;
  std::size_t at = 0;
  for (std::size_t end; next < wanted.size() && (end = trace.find("\r\n", at)) != std::string::npos;
       at = end + 2) {
    const std::string line = trace.substr(at, end - at);
    // Time, thread, then the record.
    const std::size_t second = line.find('\t', line.find('\t') + 1);
    if (second != std::string::npos &&
        line.compare(second + 1, wanted[next].size(), wanted[next]) == 0) {
      ++next;
    }
  }
  return checks.Expect(next == wanted.size(),
                       "the trace holds, in order, \"" +
                           (next < wanted.size() ? wanted[next] : std::string()) +
                           "\" and what follows");
}

}  // namespace

int Reconnect() {
  Checks checks("reconnect");
  // Files of this device are this scenario's own: none is left from before.
  for (const std::wstring& file : LogFiles()) DeleteFileW(file.c_str());
  if (!checks.Expect(ConfigureWide(kName), "configure the device")) return checks.Finish();

  Session s;
  if (s.Open(checks, kSuccess, kName)) {
    checks.ExpectEq(s.Call(L"ClaimDevice", {Arg::Long(0)}), kSuccess, "ClaimDevice");
    checks.ExpectEq(s.Call(L"GetPropertyNumber", {Arg::Long(kCapPowerReporting)}), 1L,
                    "CapPowerReporting");
    s.Call(L"SetPropertyNumber", {Arg::Long(kPowerNotify), Arg::Long(1)});
    checks.ExpectEq(s.Call(L"GetPropertyNumber", {Arg::Long(kPowerNotify)}), 1L, "PowerNotify");
    s.Enable(true);
    checks.ExpectEq(s.Call(L"GetPropertyNumber", {Arg::Long(kPowerState)}), kOnline,
                    "PowerState while plugged");
    PumpFor(200);

    Control(checks, "unplug 1");
    checks.Expect(s.AwaitCalls(1), "a status update after the unplug");
    checks.ExpectEq(s.Call(L"GetPropertyNumber", {Arg::Long(kPowerState)}), kOffline,
                    "PowerState while unplugged");
    checks.ExpectEq(s.Call(L"GetOpenResult"), kNoPort, "GetOpenResult while unplugged");
    Control(checks, "open 1");
    PumpFor(1500);

    const std::int64_t pluggedAt = AnswerTicks(Control(checks, "plug 1"));
    checks.Expect(s.AwaitCalls(3, 4000), "status updates after the plug");
    checks.ExpectEq(Join(s.Codes()), std::string("[2004,2001,1]"),
                    "offline, online, then the drawer opened while away");
    if (s.control.Calls().size() >= 2 && pluggedAt != 0) {
      checks.Note("plug to the first status update: " +
                  std::to_string(TicksToMs(s.control.Calls()[1].ticks - pluggedAt)) + " ms");
    }
    checks.ExpectEq(s.Call(L"GetOpenResult"), kSpecific, "GetOpenResult after the plug");
    checks.ExpectEq(s.Call(L"GetPropertyNumber", {Arg::Long(kClaimed)}), -1L, "still claimed");
    checks.ExpectEq(s.Call(L"GetPropertyNumber", {Arg::Long(kDeviceEnabled)}), -1L,
                    "still enabled");
    checks.ExpectEq(s.Call(L"OpenDrawer"), kSuccess, "OpenDrawer without a new open");
    const std::vector<std::string> reports = OutputReports(checks);
    checks.Expect(!reports.empty() && reports.back() == "00 FF 00 00 00 00 00 00",
                  "the pulse reached the drawer");
    Control(checks, "close 1");
    checks.Expect(s.AwaitCalls(4), "the shutting reported");
    s.Close(checks);
    checks.Expect(NoHandlesLeft(checks, "1"), "CloseService leaves no handle on the drawer");
  }

  const std::vector<std::wstring> files = LogFiles();
  checks.Expect(!files.empty(), "a trace file named after the device, made safe");
  std::string trace;
  for (const std::wstring& file : files) trace += ReadAll(file);
  const bool header = checks.Expect(
      trace.find("\tINFO\ttrace\tdevice=\"Till:\xC3\xA9\"\tlevel=4\t") != std::string::npos,
      "the header names the device in UTF-8");
  const bool sequence = ExpectInOrder(
      checks, trace,
      {"CALL\tOpenService(\"CashDrawer\", \"Till:\xC3\xA9\", <object>)\tresult=0",
       "ERROR\tdrawer lost", "EVENT\tqueued\t2004\tOPOS_SUE_POWER_OFF_OFFLINE",
       "EVENT\tdelivered\t2004", "EVENT\tdrawer found",
       "EVENT\tdrawer back\tafter_ms=", "EVENT\tdelivered\t2001", "REPORT\tin\t00 80",
       "EVENT\tdelivered\t1", "CALL\tOpenDrawer()\tresult=0", "CALL\tCloseService()\tresult=0"});
  if (!header || !sequence) std::printf("%s", trace.c_str());
  for (const std::wstring& file : files) DeleteFileW(file.c_str());
  RemoveWide(kName);
  return checks.Finish();
}

}  // namespace vdrawer
