// The Win32 binding of the platform seam: every operation calls the real
// system function, bound by library and function name on its first call.
#pragma once

#include "service/ApiDeclarations.h"

namespace quillvane::win32 {

class Win32Api final : public ApiDeclarations {
 public:
  std::int32_t RegOpenKeyA(Handle hKey, const char* lpSubKey, Handle* phkResult) override;
  std::int32_t RegQueryValueExA(Handle hKey, const char* lpValueName, std::uint32_t* lpReserved,
                                std::uint32_t* lpType, std::uint8_t* lpData,
                                std::uint32_t* lpcbData) override;
  std::int32_t RegCloseKey(Handle hKey) override;

  void HidD_GetHidGuid(GUID* HidGuid) override;
  std::int32_t HidD_GetAttributes(Handle HidDeviceObject, HIDD_ATTRIBUTES* Attributes) override;
  std::int32_t HidD_GetPreparsedData(Handle HidDeviceObject, Handle* PreparsedData) override;
  std::int32_t HidP_GetCaps(Handle PreparsedData, HIDP_CAPS* Capabilities) override;
  std::int32_t HidD_FreePreparsedData(Handle PreparsedData) override;
  std::int32_t HidD_FlushQueue(Handle HidDeviceObject) override;

  Handle SetupDiGetClassDevsA(const GUID* ClassGuid, const char* Enumerator, Handle hwndParent,
                              std::uint32_t Flags) override;
  std::int32_t SetupDiEnumDeviceInterfaces(Handle DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                           const GUID* InterfaceClassGuid,
                                           std::uint32_t MemberIndex,
                                           SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData) override;
  std::int32_t SetupDiGetDeviceInterfaceDetailA(Handle DeviceInfoSet,
                                                SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData,
                                                void* DeviceInterfaceDetailData,
                                                std::uint32_t DeviceInterfaceDetailDataSize,
                                                std::uint32_t* RequiredSize,
                                                SP_DEVINFO_DATA* DeviceInfoData) override;
  std::int32_t SetupDiDestroyDeviceInfoList(Handle DeviceInfoSet) override;

  Handle CreateFileA(const char* lpFileName, std::uint32_t dwDesiredAccess,
                     std::uint32_t dwShareMode, SECURITY_ATTRIBUTES* lpSecurityAttributes,
                     std::uint32_t dwCreationDisposition, std::uint32_t dwFlagsAndAttributes,
                     Handle hTemplateFile) override;
  Handle CreateEventA(SECURITY_ATTRIBUTES* lpEventAttributes, std::int32_t bManualReset,
                      std::int32_t bInitialState, const char* lpName) override;
  std::int32_t ReadFile(Handle hFile, void* lpBuffer, std::uint32_t nNumberOfBytesToRead,
                        std::uint32_t* lpNumberOfBytesRead, OVERLAPPED* lpOverlapped) override;
  std::int32_t WriteFile(Handle hFile, const void* lpBuffer, std::uint32_t nNumberOfBytesToWrite,
                         std::uint32_t* lpNumberOfBytesWritten, OVERLAPPED* lpOverlapped) override;
  std::uint32_t WaitForSingleObject(Handle hHandle, std::uint32_t dwMilliseconds) override;
  std::int32_t CancelIo(Handle hFile) override;
  std::int32_t GetOverlappedResult(Handle hFile, OVERLAPPED* lpOverlapped,
                                   std::uint32_t* lpNumberOfBytesTransferred,
                                   std::int32_t bWait) override;
  std::int32_t ResetEvent(Handle hEvent) override;
  std::int32_t CloseHandle(Handle hObject) override;
  std::uint32_t GetLastError() override;
  std::uint32_t GetTickCount() override;
  Handle CreateFileW(const char16_t* lpFileName, std::uint32_t dwDesiredAccess,
                     std::uint32_t dwShareMode, SECURITY_ATTRIBUTES* lpSecurityAttributes,
                     std::uint32_t dwCreationDisposition, std::uint32_t dwFlagsAndAttributes,
                     Handle hTemplateFile) override;
  std::int32_t CreateDirectoryW(const char16_t* lpPathName,
                                SECURITY_ATTRIBUTES* lpSecurityAttributes) override;
  std::uint32_t GetFileSize(Handle hFile, std::uint32_t* lpFileSizeHigh) override;
  Handle FindFirstFileW(const char16_t* lpFileName, WIN32_FIND_DATAW* lpFindFileData) override;
  std::int32_t FindNextFileW(Handle hFindFile, WIN32_FIND_DATAW* lpFindFileData) override;
  std::int32_t FindClose(Handle hFindFile) override;
  std::int32_t DeleteFileW(const char16_t* lpFileName) override;
  void GetLocalTime(SYSTEMTIME* lpSystemTime) override;
  std::uint32_t GetCurrentThreadId() override;

  std::int32_t Beep(std::uint32_t dwFreq, std::uint32_t dwDuration) override;

  // The callback is reached through one stdcall thunk; the process has one
  // timer callback, so the most recent one given is the one called.
  TimerId SetTimer(Handle hWnd, TimerId nIDEvent, std::uint32_t uElapse,
                   TimerCallback lpTimerFunc) override;
  std::int32_t KillTimer(Handle hWnd, TimerId uIDEvent) override;
  // Dispatches every waiting message. A WM_QUIT taken from the queue is posted
  // again, so the thread's own loop still sees it, and the pump gives false.
  bool PumpMessages() override;
  std::uint32_t MsgWaitForMultipleObjects(std::uint32_t nCount, const Handle* pHandles,
                                          std::int32_t fWaitAll, std::uint32_t dwMilliseconds,
                                          std::uint32_t dwWakeMask) override;

  std::int32_t SHGetFolderPathW(Handle hwnd, std::int32_t csidl, Handle hToken,
                                std::uint32_t dwFlags, char16_t* pszPath) override;

  std::string ToAnsi(const std::u16string& text) override;
  std::u16string FromAnsi(const std::string& text) override;
};

// The binding every object of the library uses.
ApiDeclarations& Platform();

}  // namespace quillvane::win32
