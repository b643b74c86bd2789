#include "service/win32/Win32Api.h"

#include <atomic>
#include <cstddef>

#include "service/win32/ProcBinding.h"
#include "win32kit/DeviceHeaders.h"
#include "win32kit/Text.h"
// After the Windows headers: SHGetFolderPathW and CSIDL_COMMON_APPDATA.
#include <shlobj.h>

namespace quillvane::win32 {

// The core's records are passed to the system by address: their layouts must
// be the system's, on both targets. The sizes are also checked against the
// figures each bitness of Windows documents, so that the portable records can
// never drift together with a wrong header.
#define QV_SAME_FIELD(Ours, Theirs, Field) \
  static_assert(offsetof(Ours, Field) == offsetof(Theirs, Field), #Ours "." #Field)

static_assert(sizeof(quillvane::GUID) == sizeof(::GUID));
QV_SAME_FIELD(quillvane::GUID, ::GUID, Data2);
QV_SAME_FIELD(quillvane::GUID, ::GUID, Data3);
QV_SAME_FIELD(quillvane::GUID, ::GUID, Data4);

static_assert(sizeof(quillvane::HIDD_ATTRIBUTES) == sizeof(::HIDD_ATTRIBUTES));
QV_SAME_FIELD(quillvane::HIDD_ATTRIBUTES, ::HIDD_ATTRIBUTES, VendorID);
QV_SAME_FIELD(quillvane::HIDD_ATTRIBUTES, ::HIDD_ATTRIBUTES, ProductID);
QV_SAME_FIELD(quillvane::HIDD_ATTRIBUTES, ::HIDD_ATTRIBUTES, VersionNumber);

static_assert(sizeof(quillvane::HIDP_CAPS) == sizeof(::HIDP_CAPS));
QV_SAME_FIELD(quillvane::HIDP_CAPS, ::HIDP_CAPS, UsagePage);
QV_SAME_FIELD(quillvane::HIDP_CAPS, ::HIDP_CAPS, InputReportByteLength);
QV_SAME_FIELD(quillvane::HIDP_CAPS, ::HIDP_CAPS, OutputReportByteLength);
QV_SAME_FIELD(quillvane::HIDP_CAPS, ::HIDP_CAPS, FeatureReportByteLength);
QV_SAME_FIELD(quillvane::HIDP_CAPS, ::HIDP_CAPS, Reserved);
QV_SAME_FIELD(quillvane::HIDP_CAPS, ::HIDP_CAPS, NumberLinkCollectionNodes);
QV_SAME_FIELD(quillvane::HIDP_CAPS, ::HIDP_CAPS, NumberFeatureDataIndices);

static_assert(sizeof(quillvane::OVERLAPPED) == sizeof(::OVERLAPPED));
QV_SAME_FIELD(quillvane::OVERLAPPED, ::OVERLAPPED, Internal);
QV_SAME_FIELD(quillvane::OVERLAPPED, ::OVERLAPPED, InternalHigh);
QV_SAME_FIELD(quillvane::OVERLAPPED, ::OVERLAPPED, hEvent);
QV_SAME_FIELD(quillvane::OVERLAPPED, ::OVERLAPPED, Offset);
QV_SAME_FIELD(quillvane::OVERLAPPED, ::OVERLAPPED, OffsetHigh);

static_assert(sizeof(quillvane::SP_DEVICE_INTERFACE_DATA) == sizeof(::SP_DEVICE_INTERFACE_DATA));
QV_SAME_FIELD(quillvane::SP_DEVICE_INTERFACE_DATA, ::SP_DEVICE_INTERFACE_DATA, InterfaceClassGuid);
QV_SAME_FIELD(quillvane::SP_DEVICE_INTERFACE_DATA, ::SP_DEVICE_INTERFACE_DATA, Flags);
QV_SAME_FIELD(quillvane::SP_DEVICE_INTERFACE_DATA, ::SP_DEVICE_INTERFACE_DATA, Reserved);

static_assert(sizeof(quillvane::SP_DEVINFO_DATA) == sizeof(::SP_DEVINFO_DATA));
QV_SAME_FIELD(quillvane::SP_DEVINFO_DATA, ::SP_DEVINFO_DATA, ClassGuid);
QV_SAME_FIELD(quillvane::SP_DEVINFO_DATA, ::SP_DEVINFO_DATA, DevInst);
QV_SAME_FIELD(quillvane::SP_DEVINFO_DATA, ::SP_DEVINFO_DATA, Reserved);

static_assert(sizeof(quillvane::SECURITY_ATTRIBUTES) == sizeof(::SECURITY_ATTRIBUTES));
QV_SAME_FIELD(quillvane::SECURITY_ATTRIBUTES, ::SECURITY_ATTRIBUTES, lpSecurityDescriptor);
QV_SAME_FIELD(quillvane::SECURITY_ATTRIBUTES, ::SECURITY_ATTRIBUTES, bInheritHandle);

static_assert(kDeviceInterfaceDetailDataSize == sizeof(::SP_DEVICE_INTERFACE_DETAIL_DATA_A));
static_assert(kDeviceInterfaceDetailPathOffset ==
              offsetof(::SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath));

static_assert(sizeof(quillvane::SYSTEMTIME) == sizeof(::SYSTEMTIME));
QV_SAME_FIELD(quillvane::SYSTEMTIME, ::SYSTEMTIME, wDay);
QV_SAME_FIELD(quillvane::SYSTEMTIME, ::SYSTEMTIME, wMilliseconds);

static_assert(sizeof(quillvane::WIN32_FIND_DATAW) == sizeof(::WIN32_FIND_DATAW));
QV_SAME_FIELD(quillvane::WIN32_FIND_DATAW, ::WIN32_FIND_DATAW, nFileSizeLow);
QV_SAME_FIELD(quillvane::WIN32_FIND_DATAW, ::WIN32_FIND_DATAW, cFileName);
QV_SAME_FIELD(quillvane::WIN32_FIND_DATAW, ::WIN32_FIND_DATAW, cAlternateFileName);
static_assert(sizeof(char16_t) == sizeof(wchar_t), "UTF-16 paths pass as they are");

#undef QV_SAME_FIELD

#ifdef _WIN64
static_assert(sizeof(::OVERLAPPED) == 32 && offsetof(::OVERLAPPED, hEvent) == 24);
static_assert(sizeof(::SECURITY_ATTRIBUTES) == 24);
static_assert(sizeof(::SP_DEVICE_INTERFACE_DATA) == 32 && sizeof(::SP_DEVINFO_DATA) == 32);
static_assert(sizeof(::SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8);
#else
static_assert(sizeof(::OVERLAPPED) == 20 && offsetof(::OVERLAPPED, hEvent) == 16);
static_assert(sizeof(::SECURITY_ATTRIBUTES) == 12);
static_assert(sizeof(::SP_DEVICE_INTERFACE_DATA) == 28 && sizeof(::SP_DEVINFO_DATA) == 28);
static_assert(sizeof(::SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5);
#endif
static_assert(sizeof(::HIDD_ATTRIBUTES) == 12 && sizeof(::HIDP_CAPS) == 64);

static_assert(sizeof(Handle) == sizeof(HANDLE) && sizeof(Handle) == sizeof(HWND) &&
                  sizeof(Handle) == sizeof(HKEY),
              "handles are pointer-sized");
static_assert(sizeof(TimerId) == sizeof(UINT_PTR), "timer ids are UINT_PTR");
static_assert(kWaitTimeout == WAIT_TIMEOUT && kWaitFailed == WAIT_FAILED &&
              kWaitObject0 == WAIT_OBJECT_0);
static_assert(kWmTimer == WM_TIMER && kStatusPending == STATUS_PENDING);
static_assert(kGenericRead == GENERIC_READ && kGenericWrite == GENERIC_WRITE &&
              kFileFlagOverlapped == FILE_FLAG_OVERLAPPED && kOpenExisting == OPEN_EXISTING);
static_assert(kDigcfPresent == DIGCF_PRESENT && kDigcfDeviceInterface == DIGCF_DEVICEINTERFACE);
static_assert(kRegSz == REG_SZ && kRegDword == REG_DWORD);
static_assert(kErrorIoPending == ERROR_IO_PENDING && kErrorIoIncomplete == ERROR_IO_INCOMPLETE &&
              kErrorOperationAborted == ERROR_OPERATION_ABORTED);
static_assert(kErrorDeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED &&
              kErrorDevNotExist == ERROR_DEV_NOT_EXIST &&
              kErrorDeviceRemoved == ERROR_DEVICE_REMOVED &&
              kErrorBrokenPipe == ERROR_BROKEN_PIPE &&
              kErrorPipeNotConnected == ERROR_PIPE_NOT_CONNECTED && kErrorNoData == ERROR_NO_DATA);
static_assert(kQsAllInput == QS_ALLINPUT && kInfinite == INFINITE);
static_assert(kFileAppendData == FILE_APPEND_DATA && kFileShareDelete == FILE_SHARE_DELETE &&
              kOpenAlways == OPEN_ALWAYS && kFileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY &&
              kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL &&
              kInvalidFileSize == INVALID_FILE_SIZE &&
              kErrorAlreadyExists == ERROR_ALREADY_EXISTS &&
              kCsidlCommonAppData == CSIDL_COMMON_APPDATA && kMaxPath == MAX_PATH);

namespace {

BoundLibrary gAdvapi32{"advapi32.dll"};
// The virtual drawer replaces these two, for a program it is set up for.
BoundLibrary gHid{"hid.dll", LibrarySearch::kDevelopmentSwitch};
BoundLibrary gSetupapi{"setupapi.dll", LibrarySearch::kDevelopmentSwitch};
BoundLibrary gKernel32{"kernel32.dll"};
BoundLibrary gUser32{"user32.dll"};
BoundLibrary gShell32{"shell32.dll"};

// Binds one system function by its library and name, on the first call from
// this call site, and gives it with its own type.
#define QV_BIND(library, function)                      \
  Bound<decltype(&::function)>([]() -> BoundFunction& { \
    static BoundFunction slot{library, #function};      \
    return slot;                                        \
  }())

template <typename T>
T* ToPointer(Handle value) {
  return reinterpret_cast<T*>(static_cast<UINT_PTR>(value));
}
HANDLE ToHandle(Handle value) { return ToPointer<void>(value); }
HKEY ToHkey(Handle value) { return reinterpret_cast<HKEY>(static_cast<UINT_PTR>(value)); }
HWND ToHwnd(Handle value) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value)); }
template <typename T>
Handle FromPointer(T* value) {
  return reinterpret_cast<UINT_PTR>(value);
}

::GUID* ToGuid(quillvane::GUID* value) { return reinterpret_cast<::GUID*>(value); }
const ::GUID* ToGuid(const quillvane::GUID* value) {
  return reinterpret_cast<const ::GUID*>(value);
}
::OVERLAPPED* ToOverlapped(quillvane::OVERLAPPED* value) {
  return reinterpret_cast<::OVERLAPPED*>(value);
}
::SECURITY_ATTRIBUTES* ToSecurity(quillvane::SECURITY_ATTRIBUTES* value) {
  return reinterpret_cast<::SECURITY_ATTRIBUTES*>(value);
}
DWORD* ToDword(std::uint32_t* value) { return reinterpret_cast<DWORD*>(value); }
const wchar_t* ToWide(const char16_t* value) { return reinterpret_cast<const wchar_t*>(value); }

std::atomic<TimerCallback> gTimerCallback{nullptr};

// user32 calls timer procedures with the stdcall convention; the core's
// callback is a plain function. Nothing may unwind into user32.
void CALLBACK TimerThunk(HWND hwnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime) {
  TimerCallback lpCallback = gTimerCallback.load(std::memory_order_acquire);
  if (!lpCallback) return;
  try {
    lpCallback(FromPointer(hwnd), uMsg, idEvent, dwTime);
  } catch (...) {
    // The callback reports its own errors; an escape is dropped here.
  }
}

}  // namespace

std::int32_t Win32Api::RegOpenKeyA(Handle hKey, const char* lpSubKey, Handle* phkResult) {
  HKEY hResult = nullptr;
  LONG lngStatus = QV_BIND(gAdvapi32, RegOpenKeyA)(ToHkey(hKey), lpSubKey, &hResult);
  if (phkResult) *phkResult = FromPointer(hResult);
  return lngStatus;
}

std::int32_t Win32Api::RegQueryValueExA(Handle hKey, const char* lpValueName,
                                        std::uint32_t* lpReserved, std::uint32_t* lpType,
                                        std::uint8_t* lpData, std::uint32_t* lpcbData) {
  return QV_BIND(gAdvapi32, RegQueryValueExA)(ToHkey(hKey), lpValueName, ToDword(lpReserved),
                                              ToDword(lpType), lpData, ToDword(lpcbData));
}

std::int32_t Win32Api::RegCloseKey(Handle hKey) {
  return QV_BIND(gAdvapi32, RegCloseKey)(ToHkey(hKey));
}

void Win32Api::HidD_GetHidGuid(GUID* HidGuid) { QV_BIND(gHid, HidD_GetHidGuid)(ToGuid(HidGuid)); }

std::int32_t Win32Api::HidD_GetAttributes(Handle HidDeviceObject, HIDD_ATTRIBUTES* Attributes) {
  return QV_BIND(gHid, HidD_GetAttributes)(ToHandle(HidDeviceObject),
                                           reinterpret_cast<::HIDD_ATTRIBUTES*>(Attributes));
}

std::int32_t Win32Api::HidD_GetPreparsedData(Handle HidDeviceObject, Handle* PreparsedData) {
  PHIDP_PREPARSED_DATA lpData = nullptr;
  BOOLEAN blnResult = QV_BIND(gHid, HidD_GetPreparsedData)(ToHandle(HidDeviceObject), &lpData);
  if (PreparsedData) *PreparsedData = FromPointer(lpData);
  return blnResult;
}

std::int32_t Win32Api::HidP_GetCaps(Handle PreparsedData, HIDP_CAPS* Capabilities) {
  return QV_BIND(gHid, HidP_GetCaps)(ToPointer<_HIDP_PREPARSED_DATA>(PreparsedData),
                                     reinterpret_cast<::HIDP_CAPS*>(Capabilities));
}

std::int32_t Win32Api::HidD_FlushQueue(Handle HidDeviceObject) {
  return QV_BIND(gHid, HidD_FlushQueue)(ToHandle(HidDeviceObject));
}

std::int32_t Win32Api::HidD_FreePreparsedData(Handle PreparsedData) {
  return QV_BIND(gHid, HidD_FreePreparsedData)(ToPointer<_HIDP_PREPARSED_DATA>(PreparsedData));
}

Handle Win32Api::SetupDiGetClassDevsA(const GUID* ClassGuid, const char* Enumerator,
                                      Handle hwndParent, std::uint32_t Flags) {
  return FromPointer(QV_BIND(gSetupapi, SetupDiGetClassDevsA)(ToGuid(ClassGuid), Enumerator,
                                                              ToHwnd(hwndParent), Flags));
}

std::int32_t Win32Api::SetupDiEnumDeviceInterfaces(Handle DeviceInfoSet,
                                                   SP_DEVINFO_DATA* DeviceInfoData,
                                                   const GUID* InterfaceClassGuid,
                                                   std::uint32_t MemberIndex,
                                                   SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData) {
  return QV_BIND(gSetupapi, SetupDiEnumDeviceInterfaces)(
      ToHandle(DeviceInfoSet), reinterpret_cast<::SP_DEVINFO_DATA*>(DeviceInfoData),
      ToGuid(InterfaceClassGuid), MemberIndex,
      reinterpret_cast<::SP_DEVICE_INTERFACE_DATA*>(DeviceInterfaceData));
}

std::int32_t Win32Api::SetupDiGetDeviceInterfaceDetailA(
    Handle DeviceInfoSet, SP_DEVICE_INTERFACE_DATA* DeviceInterfaceData,
    void* DeviceInterfaceDetailData, std::uint32_t DeviceInterfaceDetailDataSize,
    std::uint32_t* RequiredSize, SP_DEVINFO_DATA* DeviceInfoData) {
  return QV_BIND(gSetupapi, SetupDiGetDeviceInterfaceDetailA)(
      ToHandle(DeviceInfoSet), reinterpret_cast<::SP_DEVICE_INTERFACE_DATA*>(DeviceInterfaceData),
      static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(DeviceInterfaceDetailData),
      DeviceInterfaceDetailDataSize, ToDword(RequiredSize),
      reinterpret_cast<::SP_DEVINFO_DATA*>(DeviceInfoData));
}

std::int32_t Win32Api::SetupDiDestroyDeviceInfoList(Handle DeviceInfoSet) {
  return QV_BIND(gSetupapi, SetupDiDestroyDeviceInfoList)(ToHandle(DeviceInfoSet));
}

Handle Win32Api::CreateFileA(const char* lpFileName, std::uint32_t dwDesiredAccess,
                             std::uint32_t dwShareMode, SECURITY_ATTRIBUTES* lpSecurityAttributes,
                             std::uint32_t dwCreationDisposition,
                             std::uint32_t dwFlagsAndAttributes, Handle hTemplateFile) {
  return FromPointer(QV_BIND(gKernel32, CreateFileA)(
      lpFileName, dwDesiredAccess, dwShareMode, ToSecurity(lpSecurityAttributes),
      dwCreationDisposition, dwFlagsAndAttributes, ToHandle(hTemplateFile)));
}

Handle Win32Api::CreateEventA(SECURITY_ATTRIBUTES* lpEventAttributes, std::int32_t bManualReset,
                              std::int32_t bInitialState, const char* lpName) {
  return FromPointer(QV_BIND(gKernel32, CreateEventA)(ToSecurity(lpEventAttributes), bManualReset,
                                                      bInitialState, lpName));
}

std::int32_t Win32Api::ReadFile(Handle hFile, void* lpBuffer, std::uint32_t nNumberOfBytesToRead,
                                std::uint32_t* lpNumberOfBytesRead, OVERLAPPED* lpOverlapped) {
  return QV_BIND(gKernel32, ReadFile)(ToHandle(hFile), lpBuffer, nNumberOfBytesToRead,
                                      ToDword(lpNumberOfBytesRead), ToOverlapped(lpOverlapped));
}

std::int32_t Win32Api::WriteFile(Handle hFile, const void* lpBuffer,
                                 std::uint32_t nNumberOfBytesToWrite,
                                 std::uint32_t* lpNumberOfBytesWritten, OVERLAPPED* lpOverlapped) {
  return QV_BIND(gKernel32, WriteFile)(ToHandle(hFile), lpBuffer, nNumberOfBytesToWrite,
                                       ToDword(lpNumberOfBytesWritten), ToOverlapped(lpOverlapped));
}

std::uint32_t Win32Api::WaitForSingleObject(Handle hHandle, std::uint32_t dwMilliseconds) {
  return QV_BIND(gKernel32, WaitForSingleObject)(ToHandle(hHandle), dwMilliseconds);
}

std::int32_t Win32Api::CancelIo(Handle hFile) {
  return QV_BIND(gKernel32, CancelIo)(ToHandle(hFile));
}

std::int32_t Win32Api::GetOverlappedResult(Handle hFile, OVERLAPPED* lpOverlapped,
                                           std::uint32_t* lpNumberOfBytesTransferred,
                                           std::int32_t bWait) {
  return QV_BIND(gKernel32, GetOverlappedResult)(ToHandle(hFile), ToOverlapped(lpOverlapped),
                                                 ToDword(lpNumberOfBytesTransferred), bWait);
}

std::int32_t Win32Api::ResetEvent(Handle hEvent) {
  return QV_BIND(gKernel32, ResetEvent)(ToHandle(hEvent));
}

std::int32_t Win32Api::CloseHandle(Handle hObject) {
  return QV_BIND(gKernel32, CloseHandle)(ToHandle(hObject));
}

std::uint32_t Win32Api::GetLastError() { return QV_BIND(gKernel32, GetLastError)(); }

std::uint32_t Win32Api::GetTickCount() { return QV_BIND(gKernel32, GetTickCount)(); }

Handle Win32Api::CreateFileW(const char16_t* lpFileName, std::uint32_t dwDesiredAccess,
                             std::uint32_t dwShareMode, SECURITY_ATTRIBUTES* lpSecurityAttributes,
                             std::uint32_t dwCreationDisposition,
                             std::uint32_t dwFlagsAndAttributes, Handle hTemplateFile) {
  return FromPointer(QV_BIND(gKernel32, CreateFileW)(
      ToWide(lpFileName), dwDesiredAccess, dwShareMode, ToSecurity(lpSecurityAttributes),
      dwCreationDisposition, dwFlagsAndAttributes, ToHandle(hTemplateFile)));
}

std::int32_t Win32Api::CreateDirectoryW(const char16_t* lpPathName,
                                        SECURITY_ATTRIBUTES* lpSecurityAttributes) {
  return QV_BIND(gKernel32, CreateDirectoryW)(ToWide(lpPathName), ToSecurity(lpSecurityAttributes));
}

std::uint32_t Win32Api::GetFileSize(Handle hFile, std::uint32_t* lpFileSizeHigh) {
  return QV_BIND(gKernel32, GetFileSize)(ToHandle(hFile), ToDword(lpFileSizeHigh));
}

Handle Win32Api::FindFirstFileW(const char16_t* lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
  return FromPointer(QV_BIND(gKernel32, FindFirstFileW)(
      ToWide(lpFileName), reinterpret_cast<::WIN32_FIND_DATAW*>(lpFindFileData)));
}

std::int32_t Win32Api::FindNextFileW(Handle hFindFile, WIN32_FIND_DATAW* lpFindFileData) {
  return QV_BIND(gKernel32, FindNextFileW)(ToHandle(hFindFile),
                                           reinterpret_cast<::WIN32_FIND_DATAW*>(lpFindFileData));
}

std::int32_t Win32Api::FindClose(Handle hFindFile) {
  return QV_BIND(gKernel32, FindClose)(ToHandle(hFindFile));
}

std::int32_t Win32Api::DeleteFileW(const char16_t* lpFileName) {
  return QV_BIND(gKernel32, DeleteFileW)(ToWide(lpFileName));
}

void Win32Api::GetLocalTime(SYSTEMTIME* lpSystemTime) {
  QV_BIND(gKernel32, GetLocalTime)(reinterpret_cast<::SYSTEMTIME*>(lpSystemTime));
}

std::uint32_t Win32Api::GetCurrentThreadId() { return QV_BIND(gKernel32, GetCurrentThreadId)(); }

std::int32_t Win32Api::SHGetFolderPathW(Handle hwnd, std::int32_t csidl, Handle hToken,
                                        std::uint32_t dwFlags, char16_t* pszPath) {
  return QV_BIND(gShell32, SHGetFolderPathW)(ToHwnd(hwnd), csidl, ToHandle(hToken), dwFlags,
                                             reinterpret_cast<wchar_t*>(pszPath));
}

std::int32_t Win32Api::Beep(std::uint32_t dwFreq, std::uint32_t dwDuration) {
  return QV_BIND(gKernel32, Beep)(dwFreq, dwDuration);
}

TimerId Win32Api::SetTimer(Handle hWnd, TimerId nIDEvent, std::uint32_t uElapse,
                           TimerCallback lpTimerFunc) {
  auto lpSetTimer = QV_BIND(gUser32, SetTimer);
  if (lpTimerFunc) gTimerCallback.store(lpTimerFunc, std::memory_order_release);
  return lpSetTimer(ToHwnd(hWnd), nIDEvent, uElapse, lpTimerFunc ? &TimerThunk : nullptr);
}

std::int32_t Win32Api::KillTimer(Handle hWnd, TimerId uIDEvent) {
  return QV_BIND(gUser32, KillTimer)(ToHwnd(hWnd), uIDEvent);
}

bool Win32Api::PumpMessages() {
  auto lpPeek = QV_BIND(gUser32, PeekMessageW);
  auto lpTranslate = QV_BIND(gUser32, TranslateMessage);
  auto lpDispatch = QV_BIND(gUser32, DispatchMessageW);
  MSG msg;
  while (lpPeek(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      QV_BIND(gUser32, PostQuitMessage)(static_cast<int>(msg.wParam));
      return false;
    }
    lpTranslate(&msg);
    lpDispatch(&msg);
  }
  return true;
}

std::uint32_t Win32Api::MsgWaitForMultipleObjects(std::uint32_t nCount, const Handle* pHandles,
                                                  std::int32_t fWaitAll,
                                                  std::uint32_t dwMilliseconds,
                                                  std::uint32_t dwWakeMask) {
  auto lpWait = QV_BIND(gUser32, MsgWaitForMultipleObjects);
  HANDLE hHandles[MAXIMUM_WAIT_OBJECTS - 1];
  if (nCount > MAXIMUM_WAIT_OBJECTS - 1) return WAIT_FAILED;
  for (std::uint32_t i = 0; i < nCount; ++i) hHandles[i] = ToHandle(pHandles[i]);
  return lpWait(nCount, nCount > 0 ? hHandles : nullptr, fWaitAll, dwMilliseconds, dwWakeMask);
}

std::string Win32Api::ToAnsi(const std::u16string& text) {
  if (text.empty()) return {};
  return win32kit::ToCodePage(text, CP_ACP, QV_BIND(gKernel32, WideCharToMultiByte));
}

std::u16string Win32Api::FromAnsi(const std::string& text) {
  if (text.empty()) return {};
  return win32kit::FromCodePage(text, CP_ACP, QV_BIND(gKernel32, MultiByteToWideChar));
}

ApiDeclarations& Platform() {
  static Win32Api objApi;
  return objApi;
}

}  // namespace quillvane::win32
