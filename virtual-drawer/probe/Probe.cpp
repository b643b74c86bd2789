// vd-probe.exe: proves the replacement setupapi.dll and hid.dll and the
// simulator on their own, the way the service object will use them, without
// quillvane.dll. Run beside the replacement DLLs (install-for) with the
// simulator started as the test script starts it.
//   vd-probe dlls      discovery, attributes, capabilities, refusals, unplug, busy opens
//   vd-probe reports   per-handle rings, output reports, silence, handle accounting
#include <cstring>
#include <string>
#include <vector>

#include "virtual-drawer/core/DeviceIdentity.h"
#include "virtual-drawer/win/Check.h"
#include "virtual-drawer/win/ControlClient.h"
#include "win32kit/DeviceHeaders.h"
#include "win32kit/Owners.h"

namespace {

using vdrawer::Checks;
using vdrawer::Control;
using vdrawer::DeviceField;
using win32kit::UniqueHandle;

// The functions, bound by name as the service object binds them.
struct Bindings {
  HMODULE hid = LoadLibraryA("hid.dll");
  HMODULE setupapi = LoadLibraryA("setupapi.dll");
  template <typename F>
  F Bind(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  decltype(&HidD_GetHidGuid) getHidGuid = Bind<decltype(&HidD_GetHidGuid)>(hid, "HidD_GetHidGuid");
  decltype(&HidD_GetAttributes) getAttributes =
      Bind<decltype(&HidD_GetAttributes)>(hid, "HidD_GetAttributes");
  decltype(&HidD_GetPreparsedData) getPreparsed =
      Bind<decltype(&HidD_GetPreparsedData)>(hid, "HidD_GetPreparsedData");
  decltype(&HidD_FreePreparsedData) freePreparsed =
      Bind<decltype(&HidD_FreePreparsedData)>(hid, "HidD_FreePreparsedData");
  decltype(&HidP_GetCaps) getCaps = Bind<decltype(&HidP_GetCaps)>(hid, "HidP_GetCaps");
  decltype(&HidD_FlushQueue) flushQueue = Bind<decltype(&HidD_FlushQueue)>(hid, "HidD_FlushQueue");
  decltype(&SetupDiGetClassDevsA) getClassDevs =
      Bind<decltype(&SetupDiGetClassDevsA)>(setupapi, "SetupDiGetClassDevsA");
  decltype(&SetupDiEnumDeviceInterfaces) enumInterfaces =
      Bind<decltype(&SetupDiEnumDeviceInterfaces)>(setupapi, "SetupDiEnumDeviceInterfaces");
  decltype(&SetupDiGetDeviceInterfaceDetailA) getDetail =
      Bind<decltype(&SetupDiGetDeviceInterfaceDetailA)>(setupapi,
                                                        "SetupDiGetDeviceInterfaceDetailA");
  decltype(&SetupDiDestroyDeviceInfoList) destroyList =
      Bind<decltype(&SetupDiDestroyDeviceInfoList)>(setupapi, "SetupDiDestroyDeviceInfoList");

  bool Complete() const {
    return getHidGuid && getAttributes && getPreparsed && freePreparsed && getCaps && flushQueue &&
           getClassDevs && enumInterfaces && getDetail && destroyList;
  }
};

// The interface paths the replacement setupapi lists, as the service object asks.
std::vector<std::string> ListPaths(Checks& checks, Bindings& api) {
  std::vector<std::string> paths;
  GUID guid{};
  api.getHidGuid(&guid);
  HDEVINFO list = api.getClassDevs(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (!checks.Expect(list != INVALID_HANDLE_VALUE, "SetupDiGetClassDevsA gives a list"))
    return paths;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!api.enumInterfaces(list, nullptr, &guid, index, &data)) {
      checks.ExpectEq(GetLastError(), DWORD{ERROR_NO_MORE_ITEMS}, "end of the list");
      break;
    }
    DWORD needed = 0;
    const BOOL sized = api.getDetail(list, &data, nullptr, 0, &needed, nullptr);
    checks.Expect(!sized && GetLastError() == ERROR_INSUFFICIENT_BUFFER,
                  "a size query answers FALSE with ERROR_INSUFFICIENT_BUFFER");
    std::vector<char> buffer(needed + 1, 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    // Each bitness takes its own cbSize only: 5 on 32-bit, 8 on 64-bit.
    const DWORD ownSize = sizeof(void*) == 8 ? 8 : 5;
    detail->cbSize = sizeof(void*) == 8 ? 5 : 8;
    checks.Expect(!api.getDetail(list, &data, detail, needed, nullptr, nullptr) &&
                      GetLastError() == ERROR_INVALID_USER_BUFFER,
                  "a detail record with the other bitness's cbSize is refused");
    detail->cbSize = ownSize;
    if (!checks.Expect(api.getDetail(list, &data, detail, needed, nullptr, nullptr) != FALSE,
                       "the detail with the cbSize of this bitness")) {
      continue;
    }
    paths.emplace_back(detail->DevicePath);
    checks.ExpectEq(needed, DWORD(4 + paths.back().size() + 1), "needed size of the detail");
  }
  checks.Expect(api.destroyList(list) != FALSE, "SetupDiDestroyDeviceInfoList");
  return paths;
}

UniqueHandle OpenDevice(const std::string& path, DWORD flags) {
  return UniqueHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                                  nullptr));
}

// Expected simulator: 06e5:04d2:8:8:1, 1234:04d2:8:8:2, 06e5:8001:3:3:3.
int Dlls() {
  Checks checks("dlls");
  Bindings api;
  if (!checks.Expect(api.hid && api.setupapi && api.Complete(), "the replacement DLLs bind")) {
    return checks.Finish();
  }
  char exe[MAX_PATH], hid[MAX_PATH], setupapi[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  GetModuleFileNameA(api.hid, hid, MAX_PATH);
  GetModuleFileNameA(api.setupapi, setupapi, MAX_PATH);
  std::string folder(exe);
  folder.resize(folder.rfind('\\') + 1);
  checks.Expect(std::string(hid) == folder + "hid.dll", std::string("hid.dll from ") + hid);
  checks.Expect(std::string(setupapi) == folder + "setupapi.dll",
                std::string("setupapi.dll from ") + setupapi);
  checks.Expect(GetProcAddress(api.hid, "HidD_GetFeature") == nullptr &&
                    GetProcAddress(api.setupapi, "SetupDiGetClassDevsW") == nullptr,
                "nothing is exported beyond what the service object uses");

  GUID guid{};
  api.getHidGuid(&guid);
  checks.Expect(std::memcmp(&guid, &win32kit::kHidInterfaceGuid, sizeof guid) == 0,
                "the HID interface class GUID");

  const std::vector<std::string> paths = ListPaths(checks, api);
  checks.ExpectEq(paths.size(), std::size_t{3}, "three devices listed");
  const struct {
    USHORT vid, pid, in, out;
  } expected[] = {{0x06E5, 0x04D2, 8, 8}, {0x1234, 0x04D2, 8, 8}, {0x06E5, 0x8001, 3, 3}};
  for (std::size_t i = 0; i < paths.size() && i < 3; ++i) {
    for (DWORD flags : {DWORD{0}, DWORD{FILE_FLAG_OVERLAPPED}}) {
      UniqueHandle device = OpenDevice(paths[i], flags);
      if (!checks.Expect(device.IsOpen(), "open " + paths[i])) continue;
      HIDD_ATTRIBUTES attributes{};
      attributes.Size = sizeof attributes;
      checks.Expect(api.getAttributes(device.Get(), &attributes) != FALSE, "attributes");
      checks.ExpectEq(attributes.VendorID, expected[i].vid, "vendor id of " + paths[i]);
      checks.ExpectEq(attributes.ProductID, expected[i].pid, "product id of " + paths[i]);
      PHIDP_PREPARSED_DATA preparsed = nullptr;
      checks.Expect(api.getPreparsed(device.Get(), &preparsed) != FALSE, "preparsed data");
      HIDP_CAPS caps{};
      checks.ExpectEq(api.getCaps(preparsed, &caps), NTSTATUS(0x00110000), "HidP_GetCaps");
      checks.ExpectEq(caps.InputReportByteLength, expected[i].in, "input length");
      checks.ExpectEq(caps.OutputReportByteLength, expected[i].out, "output length");
      checks.Expect(api.freePreparsed(preparsed) != FALSE, "free preparsed data");
      checks.Expect(api.freePreparsed(preparsed) == FALSE, "a second free is refused");
      checks.ExpectEq(api.getCaps(preparsed, &caps), NTSTATUS(0xC0110001),
                      "freed preparsed data is refused");
    }
  }

  // What is not a virtual device, or not a record of ours, is refused.
  UniqueHandle file(
      CreateFileA(exe, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof attributes;
  checks.Expect(api.getAttributes(file.Get(), &attributes) == FALSE,
                "a plain file has no HID attributes");
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  checks.Expect(api.getPreparsed(file.Get(), &preparsed) == FALSE,
                "a plain file has no preparsed data");
  checks.Expect(api.getClassDevs(&guid, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT) ==
                        INVALID_HANDLE_VALUE &&
                    GetLastError() == ERROR_INVALID_FLAGS,
                "unsupported flags are refused");
  checks.Expect(api.destroyList(reinterpret_cast<HDEVINFO>(file.Get())) == FALSE &&
                    GetLastError() == ERROR_INVALID_HANDLE,
                "destroying a list it did not give is refused");
  const GUID other = {0x1, 0x2, 0x3, {0, 0, 0, 0, 0, 0, 0, 4}};
  HDEVINFO empty =
      api.getClassDevs(&other, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  checks.Expect(
      empty != INVALID_HANDLE_VALUE && !api.enumInterfaces(empty, nullptr, &other, 0, &data),
      "another interface class lists nothing");
  api.destroyList(empty);

  // Unplugged: the device leaves the list and its open handles fail at once.
  UniqueHandle second = OpenDevice(paths.size() > 1 ? paths[1] : "", FILE_FLAG_OVERLAPPED);
  Control(checks, "unplug 2");
  checks.ExpectEq(ListPaths(checks, api).size(), std::size_t{2}, "devices listed after an unplug");
  BYTE report[8];
  OVERLAPPED overlapped{};
  UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  overlapped.hEvent = event.Get();
  const BOOL started = ReadFile(second.Get(), report, sizeof report, nullptr, &overlapped);
  DWORD got = 0;
  checks.Expect(!started && (GetLastError() != ERROR_IO_PENDING ||
                             !GetOverlappedResult(second.Get(), &overlapped, &got, TRUE)),
                "a read on an unplugged device fails");
  checks.Expect(!OpenDevice(paths.size() > 1 ? paths[1] : "", 0).IsOpen(),
                "an unplugged device cannot be opened");
  Control(checks, "plug 2");
  checks.ExpectEq(ListPaths(checks, api).size(), std::size_t{3}, "devices listed after a plug");

  // Failing opens: still listed, every open finds the pipe busy, open
  // handles keep working.
  UniqueHandle kept = OpenDevice(paths.empty() ? "" : paths[0], 0);
  Control(checks, "fail-opens 1");
  checks.ExpectEq(ListPaths(checks, api).size(), std::size_t{3}, "a busy device is listed");
  checks.Expect(
      !OpenDevice(paths.empty() ? "" : paths[0], 0).IsOpen() && GetLastError() == ERROR_PIPE_BUSY,
      "opens fail with ERROR_PIPE_BUSY");
  const BYTE idle[8] = {0};
  DWORD written = 0;
  checks.Expect(WriteFile(kept.Get(), idle, sizeof idle, &written, nullptr) && written == 8,
                "an open handle still writes");
  Control(checks, "accept-opens 1");
  checks.Expect(OpenDevice(paths.empty() ? "" : paths[0], 0).IsOpen(), "opens work again");
  return checks.Finish();
}

// Reads one input report on an overlapped handle; false on time-out.
// `waitedMs` gets how long the read waited after it was started, `atOnce`
// whether it had completed when ReadFile returned.
bool ReadReport(HANDLE device, std::vector<BYTE>& report, DWORD waitMs, double* waitedMs = nullptr,
                bool* atOnce = nullptr) {
  OVERLAPPED overlapped{};
  UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  overlapped.hEvent = event.Get();
  report.assign(8, 0);
  if (!ReadFile(device, report.data(), 8, nullptr, &overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  // What HasOverlappedIoCompleted tests (win32kit/WinHeaders.h undoes that macro).
  if (atOnce) *atOnce = overlapped.Internal != STATUS_PENDING;
  LARGE_INTEGER started, ended, frequency;
  QueryPerformanceCounter(&started);
  const DWORD waited = WaitForSingleObject(event.Get(), waitMs);
  QueryPerformanceCounter(&ended);
  QueryPerformanceFrequency(&frequency);
  if (waitedMs) *waitedMs = 1000.0 * (ended.QuadPart - started.QuadPart) / frequency.QuadPart;
  if (waited != WAIT_OBJECT_0) {
    CancelIo(device);
    DWORD got = 0;
    GetOverlappedResult(device, &overlapped, &got, TRUE);
    return false;
  }
  return true;
}

std::uint32_t SequenceOf(const std::vector<BYTE>& report) {
  std::uint32_t sequence = 0;
  for (int i = 3; i >= 0; --i) sequence = (sequence << 8) | report[4 + i];
  return sequence;
}

// Expected simulator: one device 06e5:04d2:8:8:1, reports every 10 ms.
int Reports() {
  Checks checks("reports");
  const std::string path = vdrawer::PipePathOf(vdrawer::DeviceIdentity{});
  UniqueHandle writer = OpenDevice(path, 0);
  UniqueHandle first = OpenDevice(path, FILE_FLAG_OVERLAPPED);
  UniqueHandle second = OpenDevice(path, FILE_FLAG_OVERLAPPED);
  if (!checks.Expect(writer.IsOpen() && first.IsOpen() && second.IsOpen(), "three opens")) {
    return checks.Finish();
  }
  checks.Expect(DeviceField(checks, "1", "handles") == "3", "the simulator counts three handles");

  // Idle for 800 ms (about 80 reports): each handle holds the newest 32.
  // Read them and one more, which the device makes after the drain: the
  // first held report is then at most 32 (and a few made while draining)
  // older than the last one, and none is skipped. The held ones are read
  // back to back, without waiting for the simulator, as from the driver.
  Sleep(800);
  std::vector<std::uint32_t> firstSequences, secondSequences;
  std::vector<BYTE> report;
  int waitedForHeld = 0;
  for (int i = 0; i < 33; ++i) {
    bool atOnce = false;
    if (!checks.Expect(ReadReport(first.Get(), report, 1000, nullptr, &atOnce), "read a report")) {
      break;
    }
    if (i < 30 && !atOnce) ++waitedForHeld;
    firstSequences.push_back(SequenceOf(report));
    checks.ExpectEq(report[0], BYTE{0}, "report id");
    checks.ExpectEq(report[1], BYTE{0x00}, "a closed drawer");
  }
  for (int i = 0; i < 33 && ReadReport(second.Get(), report, 1000); ++i) {
    secondSequences.push_back(SequenceOf(report));
  }
  if (firstSequences.size() == 33) {
    const std::uint32_t span = firstSequences.back() - firstSequences.front();
    checks.Expect(span <= 40, "the oldest held report is recent (oldest dropped): " +
                                  std::to_string(span) + " reports older than the newest");
    bool consecutive = true;
    for (std::size_t i = 1; i < firstSequences.size(); ++i) {
      consecutive = consecutive && firstSequences[i] == firstSequences[i - 1] + 1;
    }
    checks.Expect(consecutive, "held reports come oldest first, none skipped");
  }
  checks.ExpectEq(waitedForHeld, 0, "reads of held reports that did not complete at once");
  // The second handle still holds reports the first one has already read.
  checks.Expect(secondSequences.size() == 33 && !firstSequences.empty() &&
                    secondSequences.front() <= firstSequences.back(),
                "every handle gets every report, through its own ring");

  // An output report is recorded, and a pulse opens the drawer once the
  // switch has moved.
  Control(checks, "switch-delay 300 1");
  const BYTE pulse[8] = {0x00, 0xFF, 0x00, 0, 0, 0, 0, 0};
  DWORD written = 0;
  checks.Expect(WriteFile(writer.Get(), pulse, sizeof pulse, &written, nullptr) && written == 8,
                "the pulse is written");
  const std::string reports = Control(checks, "reports 1");
  checks.Expect(reports.find("00 FF 00 00 00 00 00 00") != std::string::npos,
                "the simulator recorded the pulse bytes: " + reports);
  checks.Expect(DeviceField(checks, "1", "drawer") == "closed",
                "the switch has not moved right after the pulse");
  std::string drawer;
  for (int i = 0; i < 100 && drawer != "open"; ++i, Sleep(10)) {
    drawer = DeviceField(checks, "1", "drawer");
  }
  checks.Expect(drawer == "open", "the pulse opened the drawer");
  checks.Expect(DeviceField(checks, "1", "pulses") == "1", "one pulse counted");
  Control(checks, "switch-delay 50 1");
  bool sawOpen = false;
  for (int i = 0; i < 40 && !sawOpen && ReadReport(first.Get(), report, 1000); ++i) {
    sawOpen = (report[1] & 0x80) != 0;
  }
  checks.Expect(sawOpen, "input reports show the open drawer (bit 7 of byte 1)");

  // A flush drops what the handle holds: the next read gets a report made
  // after it, some 30 newer than the oldest still held by the other handle.
  Bindings api;
  Sleep(400);
  checks.Expect(api.flushQueue && api.flushQueue(second.Get()), "HidD_FlushQueue");
  std::vector<BYTE> older;
  if (checks.Expect(ReadReport(second.Get(), report, 1000) && ReadReport(first.Get(), older, 1000),
                    "a read on each handle")) {
    checks.Expect(SequenceOf(report) >= SequenceOf(older) + 25,
                  "after the flush the read is fresh: report " +
                      std::to_string(SequenceOf(report)) + " against the oldest held " +
                      std::to_string(SequenceOf(older)));
  }
  UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  checks.Expect(api.flushQueue && !api.flushQueue(event.Get()),
                "HidD_FlushQueue fails on a handle that is no device");

  // With a report every millisecond, reports follow the flush's marker in the
  // pipe before the flush reads it: the flush stops at the marker and leaves
  // them, whole, to the reads that follow.
  Control(checks, "rate 1");
  int badFlushes = 0;
  for (int i = 0; i < 20 && api.flushQueue; ++i) {
    const DWORD started = GetTickCount();
    const bool flushed = api.flushQueue(first.Get()) && GetTickCount() - started < 500;
    if (!flushed || !ReadReport(first.Get(), report, 1000) || report[0] != 0) ++badFlushes;
  }
  checks.ExpectEq(badFlushes, 0, "flushes that failed, were slow or left a torn report");
  Control(checks, "rate 10");

  // A handle nobody read for a while costs the simulator nothing, and once
  // read again it reaches the newest reports: a drain (reading until a read
  // has to wait for the device) ends within a few reports of one made after
  // a flush on the other handle.
  Sleep(1500);
  std::uint32_t drained = 0;
  for (int i = 0; i < 200; ++i) {
    double waitedMs = 0;
    if (!ReadReport(first.Get(), report, 1000, &waitedMs)) break;
    drained = SequenceOf(report);
    if (waitedMs > 5.0) break;
  }
  if (checks.Expect(
          api.flushQueue && api.flushQueue(second.Get()) && ReadReport(second.Get(), report, 1000),
          "a flushed handle's next report")) {
    checks.Expect(SequenceOf(report) <= drained + 3,
                  "after a pause the drain reaches report " + std::to_string(drained) +
                      ", the newest is " + std::to_string(SequenceOf(report)));
  }

  // Silenced: nothing more arrives, not even what was held; a flush still
  // completes.
  Control(checks, "silence 1");
  checks.Expect(!ReadReport(second.Get(), report, 300), "a silenced device's read times out");
  checks.Expect(api.flushQueue && api.flushQueue(first.Get()), "HidD_FlushQueue while silent");
  checks.Expect(!ReadReport(first.Get(), report, 300), "and nothing follows the flush");
  Control(checks, "resume 1");
  checks.Expect(ReadReport(second.Get(), report, 1000), "reports flow again after resume");

  // Closing the handles leaves no pipe connected.
  writer.Reset();
  first.Reset();
  second.Reset();
  std::string handles;
  for (int i = 0; i < 50 && handles != "0"; ++i, Sleep(20))
    handles = DeviceField(checks, "1", "handles");
  checks.Expect(handles == "0", "no handle left connected after closing: " + handles);
  return checks.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scenario = argc > 1 ? argv[1] : "";
  if (scenario == "dlls") return Dlls();
  if (scenario == "reports") return Reports();
  std::fprintf(stderr, "usage: vd-probe dlls|reports\n");
  return 100;
}
