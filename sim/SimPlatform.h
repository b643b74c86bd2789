// The simulated platform: a real test double of everything the service object
// asks of Windows, on a virtual clock.
//
// - Registry: a tree under HKEY_LOCAL_MACHINE with typed raw values; key names
//   compare case-insensitively, as Windows does.
// - HID bus: any number of devices, each with an interface path, ids, report
//   lengths, a drawer model and switchable faults. A device sends an input
//   report every report period; as the HID class driver does, each report
//   completes the oldest read pending on each open handle of the device, or
//   else goes into that handle's ring of 32 (the oldest dropped). A read
//   started while the ring holds a report completes at once with the oldest.
//   HidD_FlushQueue empties the ring.
// - Events and overlapped reads: a wait (WaitForSingleObject,
//   MsgWaitForMultipleObjects) moves the clock to the moment a report, a
//   timer or the limit ends it, and returns at once.
// - Timers, the message queue (WM_QUIT included), the pump and the beeper
//   (SimTimers.h).
// - Handle accounting: every handle is a fresh number, never reused. Closing a
//   handle twice, using a closed or unknown handle, starting a read with an
//   OVERLAPPED whose read is still pending, or waiting on an event that no
//   pending read will ever signal is recorded as a violation; tests assert
//   Violations() is empty and LeakedHandles() is empty at the end.
// - A call log with each call's arguments.
// - Binding faults: a missing library or function makes its calls throw
//   RuntimeError 48 or 453, as the Win32 binding does.
//
// Reports are produced lazily: the platform catches a device up to the
// virtual clock at each call, and before a test touches the device's drawer,
// faults or configuration, so what a report says is the drawer's state at
// the report's own time.
//
// Single-threaded, like the service object it serves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "service/ApiDeclarations.h"
#include "sim/DrawerModel.h"
#include "sim/SimFileSystem.h"
#include "sim/SimTimers.h"
#include "sim/VirtualClock.h"

namespace sim {

// One platform call as the service object made it. `args` holds the call's
// numeric arguments in order; a pointer argument is logged as 0 when null
// and 1 otherwise, unless the function's note in SimPlatform.cpp says
// otherwise; `text` holds the call's ANSI text argument, if any.
struct SimCall {
  std::string function;
  std::vector<std::int64_t> args;
  std::string text;
};

struct HidDeviceConfig {
  std::string path;  // device interface path; made unique when empty
  std::uint16_t vendorId = 0x06E5;
  std::uint16_t productId = 0;
  std::uint16_t versionNumber = 0x0100;
  std::uint16_t inputReportLength = 8;   // report id byte included
  std::uint16_t outputReportLength = 8;  // report id byte included
  // Virtual ms between two input reports (the first is due one period after
  // the device was added).
  std::uint32_t reportPeriodMs = 10;
  // Virtual ms from a pulse until the drawer's switch reads open.
  std::uint32_t switchDelayMs = 50;
};

// Faults a device can have, switchable at any time.
struct HidDeviceFaults {
  bool openFails = false;                // CreateFileA gives INVALID_HANDLE_VALUE
  bool attributesFail = false;           // HidD_GetAttributes gives false
  bool capabilitiesUnavailable = false;  // HidD_GetPreparsedData gives false
  bool silent = false;                   // sends no reports: reads never complete
  bool waitFails = false;                // a wait on a read of this device gives WAIT_FAILED
  bool shortReports = false;             // reports are one byte shorter than the length
  bool readsFail = false;                // reads finish with an error status, no data
  bool detailSizeBelow5 = false;         // the detail size query answers 4
  // CancelIo (or a close) does not finish the read at once: the read finishes
  // later, writing a report into its buffer, at the next ReadFile,
  // WaitForSingleObject, PumpMessages or Beep call, or when the platform is
  // destroyed; GetOverlappedResult with bWait true finishes it at once.
  bool cancelCompletesLate = false;
  // Opens fail; pending reads fail with STATUS_DEVICE_NOT_CONNECTED, later
  // reads and writes on open handles with ERROR_DEVICE_NOT_CONNECTED.
  bool unplugged = false;
};

class SimPlatform;

class SimHidDevice {
 public:
  SimHidDevice(HidDeviceConfig config, SimPlatform& platform, std::size_t index);

  const HidDeviceConfig& Config() const { return mConfig; }
  // The three below first bring the device's reports up to the virtual
  // clock, so a change made through them takes effect from now on.
  HidDeviceConfig& MutableConfig();
  HidDeviceFaults& Faults();
  DrawerModel& Drawer();

  // Every output report received, in order, as written.
  const std::vector<std::vector<std::uint8_t>>& OutputReports() const { return mOutputReports; }
  // How many CreateFileA calls opened this device, and how many of its handles are open now.
  std::size_t OpenCount() const { return mOpenCount; }
  std::size_t OpenHandleCount() const { return mOpenHandles; }

 private:
  friend class SimPlatform;
  SimPlatform& mPlatform;
  std::size_t mIndex;
  HidDeviceConfig mConfig;
  HidDeviceFaults mFaults;
  DrawerModel mDrawer;
  std::vector<std::vector<std::uint8_t>> mOutputReports;
  std::size_t mOpenCount = 0;
  std::size_t mOpenHandles = 0;
  // When the device was added (its reports keep that phase), and the virtual
  // time of its next input report while it has open handles.
  std::uint64_t mAddedAt = 0;
  std::uint64_t mNextReportAt = 0;
};

// The registry under HKEY_LOCAL_MACHINE. Paths are below the root, with
// backslashes, without a leading backslash.
class SimRegistry {
 public:
  void CreateKey(const std::string& path);
  void DeleteKey(const std::string& path);  // with its subkeys
  // Raw value of any type and size, stored as given.
  void SetValue(const std::string& path, const std::string& name, std::uint32_t type,
                const std::vector<std::uint8_t>& data);
  // REG_SZ holding `text`, with a terminating NUL unless withNul is false.
  void SetString(const std::string& path, const std::string& name, const std::string& text,
                 bool withNul = true);
  void SetDword(const std::string& path, const std::string& name, std::uint32_t value);
  void DeleteValue(const std::string& path, const std::string& name);
  bool KeyExists(const std::string& path) const;

  struct Value {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
  };
  struct Key {
    std::map<std::string, Value> values;                  // by lower-cased name
    std::map<std::string, std::unique_ptr<Key>> subkeys;  // by lower-cased name
  };
  // Lookup for the platform side; nullptr when absent.
  const Key* FindKey(const std::string& path) const;

 private:
  Key* FindOrCreate(const std::string& path);
  Key mRoot;
};

class SimPlatform final : public quillvane::ApiDeclarations {
 public:
  SimPlatform();
  ~SimPlatform() override;

  VirtualClock& Clock() { return mClock; }
  SimRegistry& Registry() { return mRegistry; }
  SimTimers& Timers() { return mTimers; }
  SimBeeper& Beeper() { return mBeeper; }
  // Files and folders (the trace's logs); the local time GetLocalTime gives
  // at virtual time 0 (2024-01-15 10:00:00.000 unless set), and the thread
  // id GetCurrentThreadId gives.
  SimFileSystem& Files() { return mFiles; }
  void SetLocalTimeAtStart(int year, int month, int day, int hour, int minute, int second);
  static constexpr std::uint32_t kThreadId = 2700;
  // SHGetFolderPathW fails (E_FAIL).
  void SetProgramDataFails(bool fails) { mProgramDataFails = fails; }

  SimHidDevice& AddHidDevice(HidDeviceConfig config);
  std::size_t DeviceCount() const { return mDevices.size(); }
  SimHidDevice& Device(std::size_t index) { return *mDevices.at(index); }
  // SetupDiGetClassDevsA fails (INVALID_HANDLE_VALUE).
  void SetClassDevsFails(bool fails) { mClassDevsFails = fails; }

  // Binding faults: calls into that library or function throw 48 / 453.
  void SetMissingLibrary(const std::string& library, bool missing = true);
  void SetMissingFunction(const std::string& function, bool missing = true);

  // Handle accounting.
  const std::vector<std::string>& Violations() const { return mViolations; }
  // Descriptions of every handle still open (kind and number).
  std::vector<std::string> LeakedHandles() const;
  // Reads started and not finished yet (including late-cancelled ones).
  std::size_t PendingReadCount() const;

  // The call log.
  const std::vector<SimCall>& Calls() const { return mCalls; }
  std::size_t CountCalls(const std::string& function) const;
  void ClearCalls() { mCalls.clear(); }

  // quillvane::ApiDeclarations.
  std::int32_t RegOpenKeyA(quillvane::Handle hKey, const char* lpSubKey,
                           quillvane::Handle* phkResult) override;
  std::int32_t RegQueryValueExA(quillvane::Handle hKey, const char* lpValueName,
                                std::uint32_t* lpReserved, std::uint32_t* lpType,
                                std::uint8_t* lpData, std::uint32_t* lpcbData) override;
  std::int32_t RegCloseKey(quillvane::Handle hKey) override;
  void HidD_GetHidGuid(quillvane::GUID* HidGuid) override;
  std::int32_t HidD_GetAttributes(quillvane::Handle HidDeviceObject,
                                  quillvane::HIDD_ATTRIBUTES* Attributes) override;
  std::int32_t HidD_GetPreparsedData(quillvane::Handle HidDeviceObject,
                                     quillvane::Handle* PreparsedData) override;
  std::int32_t HidP_GetCaps(quillvane::Handle PreparsedData,
                            quillvane::HIDP_CAPS* Capabilities) override;
  std::int32_t HidD_FreePreparsedData(quillvane::Handle PreparsedData) override;
  std::int32_t HidD_FlushQueue(quillvane::Handle HidDeviceObject) override;
  quillvane::Handle SetupDiGetClassDevsA(const quillvane::GUID* ClassGuid, const char* Enumerator,
                                         quillvane::Handle hwndParent,
                                         std::uint32_t Flags) override;
  std::int32_t SetupDiEnumDeviceInterfaces(
      quillvane::Handle DeviceInfoSet, quillvane::SP_DEVINFO_DATA* DeviceInfoData,
      const quillvane::GUID* InterfaceClassGuid, std::uint32_t MemberIndex,
      quillvane::SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData) override;
  std::int32_t SetupDiGetDeviceInterfaceDetailA(
      quillvane::Handle DeviceInfoSet, quillvane::SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData,
      void* DeviceInterfaceDetailData, std::uint32_t DeviceInterfaceDetailDataSize,
      std::uint32_t* RequiredSize, quillvane::SP_DEVINFO_DATA* DeviceInfoData) override;
  std::int32_t SetupDiDestroyDeviceInfoList(quillvane::Handle DeviceInfoSet) override;
  quillvane::Handle CreateFileA(const char* lpFileName, std::uint32_t dwDesiredAccess,
                                std::uint32_t dwShareMode,
                                quillvane::SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                std::uint32_t dwCreationDisposition,
                                std::uint32_t dwFlagsAndAttributes,
                                quillvane::Handle hTemplateFile) override;
  quillvane::Handle CreateEventA(quillvane::SECURITY_ATTRIBUTES* lpEventAttributes,
                                 std::int32_t bManualReset, std::int32_t bInitialState,
                                 const char* lpName) override;
  std::int32_t ReadFile(quillvane::Handle hFile, void* lpBuffer, std::uint32_t nNumberOfBytesToRead,
                        std::uint32_t* lpNumberOfBytesRead,
                        quillvane::OVERLAPPED* lpOverlapped) override;
  std::int32_t WriteFile(quillvane::Handle hFile, const void* lpBuffer,
                         std::uint32_t nNumberOfBytesToWrite, std::uint32_t* lpNumberOfBytesWritten,
                         quillvane::OVERLAPPED* lpOverlapped) override;
  std::uint32_t WaitForSingleObject(quillvane::Handle hHandle,
                                    std::uint32_t dwMilliseconds) override;
  // Waits on events only. A message or a timer tick counts as input for any
  // non-zero wake mask.
  std::uint32_t MsgWaitForMultipleObjects(std::uint32_t nCount, const quillvane::Handle* pHandles,
                                          std::int32_t fWaitAll, std::uint32_t dwMilliseconds,
                                          std::uint32_t dwWakeMask) override;
  std::int32_t CancelIo(quillvane::Handle hFile) override;
  std::int32_t GetOverlappedResult(quillvane::Handle hFile, quillvane::OVERLAPPED* lpOverlapped,
                                   std::uint32_t* lpNumberOfBytesTransferred,
                                   std::int32_t bWait) override;
  std::int32_t ResetEvent(quillvane::Handle hEvent) override;
  std::int32_t CloseHandle(quillvane::Handle hObject) override;
  // 997 (ERROR_IO_PENDING) after a ReadFile that left its read pending; the
  // Win32 error of the latest failing call otherwise.
  std::uint32_t GetLastError() override;
  // The virtual clock, as 32-bit milliseconds.
  std::uint32_t GetTickCount() override;
  std::int32_t Beep(std::uint32_t dwFreq, std::uint32_t dwDuration) override;
  quillvane::TimerId SetTimer(quillvane::Handle hWnd, quillvane::TimerId nIDEvent,
                              std::uint32_t uElapse, quillvane::TimerCallback lpTimerFunc) override;
  std::int32_t KillTimer(quillvane::Handle hWnd, quillvane::TimerId uIDEvent) override;
  bool PumpMessages() override;
  // Latin-1: each character below 256 is one byte; others become '?'.
  std::string ToAnsi(const std::u16string& text) override;
  std::u16string FromAnsi(const std::string& text) override;
  // Files: SimFiles.cpp. Folders and files live in Files(); paths are
  // logged as UTF-8 text.
  quillvane::Handle CreateFileW(const char16_t* lpFileName, std::uint32_t dwDesiredAccess,
                                std::uint32_t dwShareMode,
                                quillvane::SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                std::uint32_t dwCreationDisposition,
                                std::uint32_t dwFlagsAndAttributes,
                                quillvane::Handle hTemplateFile) override;
  std::int32_t CreateDirectoryW(const char16_t* lpPathName,
                                quillvane::SECURITY_ATTRIBUTES* lpSecurityAttributes) override;
  std::uint32_t GetFileSize(quillvane::Handle hFile, std::uint32_t* lpFileSizeHigh) override;
  quillvane::Handle FindFirstFileW(const char16_t* lpFileName,
                                   quillvane::WIN32_FIND_DATAW* lpFindFileData) override;
  std::int32_t FindNextFileW(quillvane::Handle hFindFile,
                             quillvane::WIN32_FIND_DATAW* lpFindFileData) override;
  std::int32_t FindClose(quillvane::Handle hFindFile) override;
  std::int32_t DeleteFileW(const char16_t* lpFileName) override;
  void GetLocalTime(quillvane::SYSTEMTIME* lpSystemTime) override;
  std::uint32_t GetCurrentThreadId() override;
  std::int32_t SHGetFolderPathW(quillvane::Handle hwnd, std::int32_t csidl,
                                quillvane::Handle hToken, std::uint32_t dwFlags,
                                char16_t* pszPath) override;

 private:
  friend class SimHidDevice;
  // The implementation's private state lives in SimPlatformState.h.
  struct State;

  // The two waits: on `count` events, and on the message queue too when
  // wakeMask is not 0.
  std::uint32_t WaitOn(const quillvane::Handle* handles, std::uint32_t count,
                       std::uint32_t milliseconds, std::uint32_t wakeMask, const char* function);

  VirtualClock mClock;
  SimRegistry mRegistry;
  SimTimers mTimers;
  SimBeeper mBeeper;
  SimFileSystem mFiles;
  // Milliseconds since 1970-01-01 of the local time at virtual time 0.
  std::uint64_t mLocalTimeAtStart = 1705312800000;  // 2024-01-15 10:00:00.000
  bool mProgramDataFails = false;
  std::vector<std::unique_ptr<SimHidDevice>> mDevices;
  bool mClassDevsFails = false;
  std::set<std::string> mMissingLibraries;
  std::set<std::string> mMissingFunctions;
  std::vector<std::string> mViolations;
  std::vector<SimCall> mCalls;
  std::unique_ptr<State> mState;
};

}  // namespace sim
