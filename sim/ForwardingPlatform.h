// A platform that passes every call through to another one, unless a
// subclass overrides it. Tests inject a fault into one call without
// re-implementing the rest (the manner of leveldb's EnvWrapper).
//
// The service object under test is given the wrapper; the wrapped platform
// (usually a SimPlatform) keeps its own state, accounting and call log.
// Timer callbacks reach the service object directly, so the calls it makes
// from inside a tick go through the wrapper as well.
#pragma once

#include <cstdint>
#include <string>

#include "service/ApiDeclarations.h"

namespace sim {

class ForwardingPlatform : public quillvane::ApiDeclarations {
 public:
  explicit ForwardingPlatform(quillvane::ApiDeclarations& target) : mTarget(target) {}

  quillvane::ApiDeclarations& Target() { return mTarget; }

  std::int32_t RegOpenKeyA(quillvane::Handle hKey, const char* lpSubKey,
                           quillvane::Handle* phkResult) override {
    return mTarget.RegOpenKeyA(hKey, lpSubKey, phkResult);
  }
  std::int32_t RegQueryValueExA(quillvane::Handle hKey, const char* lpValueName,
                                std::uint32_t* lpReserved, std::uint32_t* lpType,
                                std::uint8_t* lpData, std::uint32_t* lpcbData) override {
    return mTarget.RegQueryValueExA(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
  }
  std::int32_t RegCloseKey(quillvane::Handle hKey) override { return mTarget.RegCloseKey(hKey); }

  void HidD_GetHidGuid(quillvane::GUID* HidGuid) override { mTarget.HidD_GetHidGuid(HidGuid); }
  std::int32_t HidD_GetAttributes(quillvane::Handle HidDeviceObject,
                                  quillvane::HIDD_ATTRIBUTES* Attributes) override {
    return mTarget.HidD_GetAttributes(HidDeviceObject, Attributes);
  }
  std::int32_t HidD_GetPreparsedData(quillvane::Handle HidDeviceObject,
                                     quillvane::Handle* PreparsedData) override {
    return mTarget.HidD_GetPreparsedData(HidDeviceObject, PreparsedData);
  }
  std::int32_t HidP_GetCaps(quillvane::Handle PreparsedData,
                            quillvane::HIDP_CAPS* Capabilities) override {
    return mTarget.HidP_GetCaps(PreparsedData, Capabilities);
  }
  std::int32_t HidD_FreePreparsedData(quillvane::Handle PreparsedData) override {
    return mTarget.HidD_FreePreparsedData(PreparsedData);
  }
  std::int32_t HidD_FlushQueue(quillvane::Handle HidDeviceObject) override {
    return mTarget.HidD_FlushQueue(HidDeviceObject);
  }

  quillvane::Handle SetupDiGetClassDevsA(const quillvane::GUID* ClassGuid, const char* Enumerator,
                                         quillvane::Handle hwndParent,
                                         std::uint32_t Flags) override {
    return mTarget.SetupDiGetClassDevsA(ClassGuid, Enumerator, hwndParent, Flags);
  }
  std::int32_t SetupDiEnumDeviceInterfaces(
      quillvane::Handle DeviceInfoSet, quillvane::SP_DEVINFO_DATA* DeviceInfoData,
      const quillvane::GUID* InterfaceClassGuid, std::uint32_t MemberIndex,
      quillvane::SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData) override {
    return mTarget.SetupDiEnumDeviceInterfaces(DeviceInfoSet, DeviceInfoData, InterfaceClassGuid,
                                               MemberIndex, DeviceInterfaceData);
  }
  std::int32_t SetupDiGetDeviceInterfaceDetailA(
      quillvane::Handle DeviceInfoSet, quillvane::SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData,
      void* DeviceInterfaceDetailData, std::uint32_t DeviceInterfaceDetailDataSize,
      std::uint32_t* RequiredSize, quillvane::SP_DEVINFO_DATA* DeviceInfoData) override {
    return mTarget.SetupDiGetDeviceInterfaceDetailA(
        DeviceInfoSet, DeviceInterfaceData, DeviceInterfaceDetailData,
        DeviceInterfaceDetailDataSize, RequiredSize, DeviceInfoData);
  }
  std::int32_t SetupDiDestroyDeviceInfoList(quillvane::Handle DeviceInfoSet) override {
    return mTarget.SetupDiDestroyDeviceInfoList(DeviceInfoSet);
  }

  quillvane::Handle CreateFileA(const char* lpFileName, std::uint32_t dwDesiredAccess,
                                std::uint32_t dwShareMode,
                                quillvane::SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                std::uint32_t dwCreationDisposition,
                                std::uint32_t dwFlagsAndAttributes,
                                quillvane::Handle hTemplateFile) override {
    return mTarget.CreateFileA(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                               dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
  }
  quillvane::Handle CreateEventA(quillvane::SECURITY_ATTRIBUTES* lpEventAttributes,
                                 std::int32_t bManualReset, std::int32_t bInitialState,
                                 const char* lpName) override {
    return mTarget.CreateEventA(lpEventAttributes, bManualReset, bInitialState, lpName);
  }
  std::int32_t ReadFile(quillvane::Handle hFile, void* lpBuffer, std::uint32_t nNumberOfBytesToRead,
                        std::uint32_t* lpNumberOfBytesRead,
                        quillvane::OVERLAPPED* lpOverlapped) override {
    return mTarget.ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead,
                            lpOverlapped);
  }
  std::int32_t WriteFile(quillvane::Handle hFile, const void* lpBuffer,
                         std::uint32_t nNumberOfBytesToWrite, std::uint32_t* lpNumberOfBytesWritten,
                         quillvane::OVERLAPPED* lpOverlapped) override {
    return mTarget.WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                             lpOverlapped);
  }
  std::uint32_t WaitForSingleObject(quillvane::Handle hHandle,
                                    std::uint32_t dwMilliseconds) override {
    return mTarget.WaitForSingleObject(hHandle, dwMilliseconds);
  }
  std::int32_t CancelIo(quillvane::Handle hFile) override { return mTarget.CancelIo(hFile); }
  std::int32_t GetOverlappedResult(quillvane::Handle hFile, quillvane::OVERLAPPED* lpOverlapped,
                                   std::uint32_t* lpNumberOfBytesTransferred,
                                   std::int32_t bWait) override {
    return mTarget.GetOverlappedResult(hFile, lpOverlapped, lpNumberOfBytesTransferred, bWait);
  }
  std::int32_t ResetEvent(quillvane::Handle hEvent) override { return mTarget.ResetEvent(hEvent); }
  std::int32_t CloseHandle(quillvane::Handle hObject) override {
    return mTarget.CloseHandle(hObject);
  }
  std::uint32_t GetLastError() override { return mTarget.GetLastError(); }
  std::uint32_t GetTickCount() override { return mTarget.GetTickCount(); }
  quillvane::Handle CreateFileW(const char16_t* lpFileName, std::uint32_t dwDesiredAccess,
                                std::uint32_t dwShareMode,
                                quillvane::SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                std::uint32_t dwCreationDisposition,
                                std::uint32_t dwFlagsAndAttributes,
                                quillvane::Handle hTemplateFile) override {
    return mTarget.CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                               dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
  }
  std::int32_t CreateDirectoryW(const char16_t* lpPathName,
                                quillvane::SECURITY_ATTRIBUTES* lpSecurityAttributes) override {
    return mTarget.CreateDirectoryW(lpPathName, lpSecurityAttributes);
  }
  std::uint32_t GetFileSize(quillvane::Handle hFile, std::uint32_t* lpFileSizeHigh) override {
    return mTarget.GetFileSize(hFile, lpFileSizeHigh);
  }
  quillvane::Handle FindFirstFileW(const char16_t* lpFileName,
                                   quillvane::WIN32_FIND_DATAW* lpFindFileData) override {
    return mTarget.FindFirstFileW(lpFileName, lpFindFileData);
  }
  std::int32_t FindNextFileW(quillvane::Handle hFindFile,
                             quillvane::WIN32_FIND_DATAW* lpFindFileData) override {
    return mTarget.FindNextFileW(hFindFile, lpFindFileData);
  }
  std::int32_t FindClose(quillvane::Handle hFindFile) override {
    return mTarget.FindClose(hFindFile);
  }
  std::int32_t DeleteFileW(const char16_t* lpFileName) override {
    return mTarget.DeleteFileW(lpFileName);
  }
  void GetLocalTime(quillvane::SYSTEMTIME* lpSystemTime) override {
    mTarget.GetLocalTime(lpSystemTime);
  }
  std::uint32_t GetCurrentThreadId() override { return mTarget.GetCurrentThreadId(); }

  std::int32_t Beep(std::uint32_t dwFreq, std::uint32_t dwDuration) override {
    return mTarget.Beep(dwFreq, dwDuration);
  }
  quillvane::TimerId SetTimer(quillvane::Handle hWnd, quillvane::TimerId nIDEvent,
                              std::uint32_t uElapse,
                              quillvane::TimerCallback lpTimerFunc) override {
    return mTarget.SetTimer(hWnd, nIDEvent, uElapse, lpTimerFunc);
  }
  std::int32_t KillTimer(quillvane::Handle hWnd, quillvane::TimerId uIDEvent) override {
    return mTarget.KillTimer(hWnd, uIDEvent);
  }
  bool PumpMessages() override { return mTarget.PumpMessages(); }
  std::uint32_t MsgWaitForMultipleObjects(std::uint32_t nCount, const quillvane::Handle* pHandles,
                                          std::int32_t fWaitAll, std::uint32_t dwMilliseconds,
                                          std::uint32_t dwWakeMask) override {
    return mTarget.MsgWaitForMultipleObjects(nCount, pHandles, fWaitAll, dwMilliseconds,
                                             dwWakeMask);
  }

  std::int32_t SHGetFolderPathW(quillvane::Handle hwnd, std::int32_t csidl,
                                quillvane::Handle hToken, std::uint32_t dwFlags,
                                char16_t* pszPath) override {
    return mTarget.SHGetFolderPathW(hwnd, csidl, hToken, dwFlags, pszPath);
  }

  std::string ToAnsi(const std::u16string& text) override { return mTarget.ToAnsi(text); }
  std::u16string FromAnsi(const std::string& text) override { return mTarget.FromAnsi(text); }

 private:
  quillvane::ApiDeclarations& mTarget;
};

}  // namespace sim
