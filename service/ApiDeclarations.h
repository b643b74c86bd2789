// The one seam between the service object and the platform.
//
// Every platform operation the service object uses is declared here once,
// with its Win32 name and argument order. Two implementations exist: the
// Win32 binding (service/win32/), which resolves each function by library
// and function name on its first call, and the simulated platform (sim/).
//
// Contract shared by every implementation:
// - An operation whose library cannot be loaded throws RuntimeError(48); one
//   whose entry point is missing throws RuntimeError(453). Either ends the
//   calling method, as any run-time error does.
// - Otherwise operations report failure the way the Win32 function does
//   (return codes, INVALID_HANDLE_VALUE, 0); they never throw for it.
// - All calls come from the thread that owns the calling object.
// - Texts cross in the system's ANSI code page; ToAnsi/FromAnsi are the
//   platform's conversion, used by the core right before and after a call.
#pragma once

#include <cstdint>
#include <string>

#include "service/PlatformTypes.h"

namespace quillvane {

// A system timer's id, as SetTimer gives it (UINT_PTR): pointer-sized.
using TimerId = std::uintptr_t;

// The system-timer callback: window handle, message, timer id, system time.
using TimerCallback = void (*)(Handle hwnd, std::uint32_t uMsg, TimerId idEvent,
                               std::uint32_t dwTime);

class ApiDeclarations {
 public:
  virtual ~ApiDeclarations() = default;

  // advapi32: the registry.
  virtual std::int32_t RegOpenKeyA(Handle hKey, const char* lpSubKey, Handle* phkResult) = 0;
  virtual std::int32_t RegQueryValueExA(Handle hKey, const char* lpValueName,
                                        std::uint32_t* lpReserved, std::uint32_t* lpType,
                                        std::uint8_t* lpData, std::uint32_t* lpcbData) = 0;
  virtual std::int32_t RegCloseKey(Handle hKey) = 0;

  // hid.dll.
  virtual void HidD_GetHidGuid(GUID* HidGuid) = 0;
  virtual std::int32_t HidD_GetAttributes(Handle HidDeviceObject, HIDD_ATTRIBUTES* Attributes) = 0;
  virtual std::int32_t HidD_GetPreparsedData(Handle HidDeviceObject, Handle* PreparsedData) = 0;
  virtual std::int32_t HidP_GetCaps(Handle PreparsedData, HIDP_CAPS* Capabilities) = 0;
  virtual std::int32_t HidD_FreePreparsedData(Handle PreparsedData) = 0;
  // Drops the input reports buffered for this handle, so that the next read
  // gets a report the device sends after this call.
  virtual std::int32_t HidD_FlushQueue(Handle HidDeviceObject) = 0;

  // setupapi.dll.
  virtual Handle SetupDiGetClassDevsA(const GUID* ClassGuid, const char* Enumerator,
                                      Handle hwndParent, std::uint32_t Flags) = 0;
  virtual std::int32_t SetupDiEnumDeviceInterfaces(
      Handle DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, const GUID* InterfaceClassGuid,
      std::uint32_t MemberIndex, SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData) = 0;
  virtual std::int32_t SetupDiGetDeviceInterfaceDetailA(
      Handle DeviceInfoSet, SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData,
      void* DeviceInterfaceDetailData, std::uint32_t DeviceInterfaceDetailDataSize,
      std::uint32_t* RequiredSize, SP_DEVINFO_DATA* DeviceInfoData) = 0;
  virtual std::int32_t SetupDiDestroyDeviceInfoList(Handle DeviceInfoSet) = 0;

  // kernel32: files, events, I/O.
  virtual Handle CreateFileA(const char* lpFileName, std::uint32_t dwDesiredAccess,
                             std::uint32_t dwShareMode, SECURITY_ATTRIBUTES* lpSecurityAttributes,
                             std::uint32_t dwCreationDisposition,
                             std::uint32_t dwFlagsAndAttributes, Handle hTemplateFile) = 0;
  virtual Handle CreateEventA(SECURITY_ATTRIBUTES* lpEventAttributes, std::int32_t bManualReset,
                              std::int32_t bInitialState, const char* lpName) = 0;
  virtual std::int32_t ReadFile(Handle hFile, void* lpBuffer, std::uint32_t nNumberOfBytesToRead,
                                std::uint32_t* lpNumberOfBytesRead, OVERLAPPED* lpOverlapped) = 0;
  virtual std::int32_t WriteFile(Handle hFile, const void* lpBuffer,
                                 std::uint32_t nNumberOfBytesToWrite,
                                 std::uint32_t* lpNumberOfBytesWritten,
                                 OVERLAPPED* lpOverlapped) = 0;
  virtual std::uint32_t WaitForSingleObject(Handle hHandle, std::uint32_t dwMilliseconds) = 0;
  virtual std::int32_t CancelIo(Handle hFile) = 0;
  virtual std::int32_t GetOverlappedResult(Handle hFile, OVERLAPPED* lpOverlapped,
                                           std::uint32_t* lpNumberOfBytesTransferred,
                                           std::int32_t bWait) = 0;
  virtual std::int32_t ResetEvent(Handle hEvent) = 0;
  virtual std::int32_t CloseHandle(Handle hObject) = 0;
  // The calling thread's last error code, as the last failing call left it
  // (997, ERROR_IO_PENDING, after a ReadFile that left its read pending).
  virtual std::uint32_t GetLastError() = 0;
  // Milliseconds since the system started; wraps after 49.7 days, so only
  // differences of two readings mean anything.
  virtual std::uint32_t GetTickCount() = 0;
  // The trace's log files, by UTF-16 path. WriteFile and CloseHandle above
  // serve their handles too; FindClose ends a FindFirstFileW search.
  virtual Handle CreateFileW(const char16_t* lpFileName, std::uint32_t dwDesiredAccess,
                             std::uint32_t dwShareMode, SECURITY_ATTRIBUTES* lpSecurityAttributes,
                             std::uint32_t dwCreationDisposition,
                             std::uint32_t dwFlagsAndAttributes, Handle hTemplateFile) = 0;
  virtual std::int32_t CreateDirectoryW(const char16_t* lpPathName,
                                        SECURITY_ATTRIBUTES* lpSecurityAttributes) = 0;
  virtual std::uint32_t GetFileSize(Handle hFile, std::uint32_t* lpFileSizeHigh) = 0;
  virtual Handle FindFirstFileW(const char16_t* lpFileName, WIN32_FIND_DATAW* lpFindFileData) = 0;
  virtual std::int32_t FindNextFileW(Handle hFindFile, WIN32_FIND_DATAW* lpFindFileData) = 0;
  virtual std::int32_t FindClose(Handle hFindFile) = 0;
  virtual std::int32_t DeleteFileW(const char16_t* lpFileName) = 0;
  // The local date and time, and the calling thread's id, for trace lines.
  virtual void GetLocalTime(SYSTEMTIME* lpSystemTime) = 0;
  virtual std::uint32_t GetCurrentThreadId() = 0;

  // kernel32: the beeper. Returns when the tone has finished.
  virtual std::int32_t Beep(std::uint32_t dwFreq, std::uint32_t dwDuration) = 0;

  // user32: window-less timers and the thread's message loop.
  // SetTimer(NULL, 0, ms, callback) gives the new timer's id, or 0 if refused.
  virtual TimerId SetTimer(Handle hWnd, TimerId nIDEvent, std::uint32_t uElapse,
                           TimerCallback lpTimerFunc) = 0;
  virtual std::int32_t KillTimer(Handle hWnd, TimerId uIDEvent) = 0;
  // Processes every message waiting in the calling thread's queue, then
  // returns true. When the application has posted WM_QUIT, gives false and
  // leaves WM_QUIT posted for the application's own message loop.
  virtual bool PumpMessages() = 0;
  // Sleeps until one of the handles is signalled (WAIT_OBJECT_0 + its index),
  // input of a kind in dwWakeMask arrives in the thread's queue
  // (WAIT_OBJECT_0 + nCount), or dwMilliseconds pass (WAIT_TIMEOUT);
  // WAIT_FAILED when it cannot wait. Dispatches nothing.
  virtual std::uint32_t MsgWaitForMultipleObjects(std::uint32_t nCount, const Handle* pHandles,
                                                  std::int32_t fWaitAll,
                                                  std::uint32_t dwMilliseconds,
                                                  std::uint32_t dwWakeMask) = 0;

  // shell32: a known folder's path (CSIDL_COMMON_APPDATA: ProgramData) into a
  // buffer of kMaxPath characters; an HRESULT.
  virtual std::int32_t SHGetFolderPathW(Handle hwnd, std::int32_t csidl, Handle hToken,
                                        std::uint32_t dwFlags, char16_t* pszPath) = 0;

  // Text conversion in the system's ANSI code page.
  virtual std::string ToAnsi(const std::u16string& text) = 0;
  virtual std::u16string FromAnsi(const std::string& text) = 0;
};

}  // namespace quillvane
