// The simulated platform: binding, the call log, handle accounting, the
// registry operations, closing, and the forwarding to timers and beeper.
// HID and setupapi live in SimHidBus.cpp, events and reads in
// SimOverlappedIo.cpp.
//
// Call log: each call is logged after its binding check, so a call that
// throws 48 or 453 is not logged. Handles are logged as their numbers,
// pointers as 1 (given) or 0 (null), unless noted:
//   RegOpenKeyA              {hKey, phkResult}; text = subkey ("<null>" for null)
//   RegQueryValueExA         {hKey, lpReserved, lpType, lpData, *lpcbData or -1}; text = name
//   RegCloseKey              {hKey}
//   HidD_GetHidGuid          {HidGuid}
//   HidD_GetAttributes       {handle, Attributes->Size or -1}
//   HidD_GetPreparsedData    {handle, PreparsedData}
//   HidP_GetCaps             {preparsed data, Capabilities}
//   HidD_FreePreparsedData   {preparsed data}
//   HidD_FlushQueue          {handle}
//   SetupDiGetClassDevsA     {ClassGuid, Enumerator, hwndParent, Flags}
//   SetupDiEnumDeviceInterfaces
//                            {list, DeviceInfoData, InterfaceClassGuid, MemberIndex,
//                             DeviceInterfaceData->cbSize or -1}
//   SetupDiGetDeviceInterfaceDetailA
//                            {list, DeviceInterfaceData, buffer, buffer size, RequiredSize,
//                             DeviceInfoData, the buffer's first 4 bytes or -1}
//   SetupDiDestroyDeviceInfoList {list}
//   CreateFileA              {access, share, sa ? nLength : -1, sa ? lpSecurityDescriptor : -1,
//                             sa ? bInheritHandle : -1, disposition, flags, template};
//                            text = path
//   CreateEventA             {attributes, bManualReset, bInitialState}; text = name or "<null>"
//   ReadFile                 {hFile, nNumberOfBytesToRead, lpOverlapped}
//   WriteFile                {hFile, nNumberOfBytesToWrite, lpOverlapped}; the bytes go to the
//                            device's OutputReports()
//   WaitForSingleObject      {hHandle, dwMilliseconds}
//   MsgWaitForMultipleObjects {nCount, pHandles, fWaitAll, dwMilliseconds, dwWakeMask}
//   CancelIo, ResetEvent, CloseHandle {handle}
//   GetLastError, GetTickCount {}
//   GetOverlappedResult      {hFile, lpOverlapped, lpNumberOfBytesTransferred, bWait}
//   Beep                     {dwFreq, dwDuration}
//   SetTimer                 {hWnd, nIDEvent, uElapse}
//   KillTimer                {hWnd, uIDEvent}
//   PumpMessages             {}; bound as user32 "PeekMessageA", the first function the
//                            Win32 pump needs
// ToAnsi and FromAnsi are neither bound nor logged.
#include "sim/SimPlatform.h"

#include <algorithm>
#include <cstring>

#include "contract/RuntimeError.h"
#include "service/basTrace.h"
#include "sim/SimPlatformState.h"

namespace sim {

using quillvane::Handle;

namespace {

// Registry calls give their error as the return value.
constexpr std::int32_t kRegSuccess = 0;
constexpr std::int32_t kRegFileNotFound = 2;
constexpr std::int32_t kRegInvalidHandle = 6;
constexpr std::int32_t kRegInvalidParameter = 87;
constexpr std::int32_t kRegBadPathname = 161;
constexpr std::int32_t kRegMoreData = 234;
constexpr std::int32_t kRegKeyDeleted = 1018;

const char* LibraryOf(const std::string& function) {
  static const std::map<std::string, const char*> kLibraries = {
      {"RegOpenKeyA", "advapi32.dll"},
      {"RegQueryValueExA", "advapi32.dll"},
      {"RegCloseKey", "advapi32.dll"},
      {"HidD_GetHidGuid", "hid.dll"},
      {"HidD_GetAttributes", "hid.dll"},
      {"HidD_GetPreparsedData", "hid.dll"},
      {"HidP_GetCaps", "hid.dll"},
      {"HidD_FreePreparsedData", "hid.dll"},
      {"HidD_FlushQueue", "hid.dll"},
      {"SetupDiGetClassDevsA", "setupapi.dll"},
      {"SetupDiEnumDeviceInterfaces", "setupapi.dll"},
      {"SetupDiGetDeviceInterfaceDetailA", "setupapi.dll"},
      {"SetupDiDestroyDeviceInfoList", "setupapi.dll"},
      {"CreateFileA", "kernel32.dll"},
      {"CreateEventA", "kernel32.dll"},
      {"ReadFile", "kernel32.dll"},
      {"WriteFile", "kernel32.dll"},
      {"WaitForSingleObject", "kernel32.dll"},
      {"CancelIo", "kernel32.dll"},
      {"GetOverlappedResult", "kernel32.dll"},
      {"ResetEvent", "kernel32.dll"},
      {"CloseHandle", "kernel32.dll"},
      {"GetLastError", "kernel32.dll"},
      {"GetTickCount", "kernel32.dll"},
      {"Beep", "kernel32.dll"},
      {"SetTimer", "user32.dll"},
      {"KillTimer", "user32.dll"},
      {"PeekMessageA", "user32.dll"},
      {"MsgWaitForMultipleObjects", "user32.dll"},
      {"CreateFileW", "kernel32.dll"},
      {"CreateDirectoryW", "kernel32.dll"},
      {"GetFileSize", "kernel32.dll"},
      {"FindFirstFileW", "kernel32.dll"},
      {"FindNextFileW", "kernel32.dll"},
      {"FindClose", "kernel32.dll"},
      {"DeleteFileW", "kernel32.dll"},
      {"GetLocalTime", "kernel32.dll"},
      {"GetCurrentThreadId", "kernel32.dll"},
      {"SHGetFolderPathW", "shell32.dll"},
  };
  auto it = kLibraries.find(function);
  return it == kLibraries.end() ? "" : it->second;
}

}  // namespace

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

const char* HandleKindName(HandleKind kind) {
  switch (kind) {
    case HandleKind::RegistryKey:
      return "registry key";
    case HandleKind::DeviceList:
      return "device list";
    case HandleKind::File:
      return "file";
    case HandleKind::Event:
      return "event";
    case HandleKind::PreparsedData:
      return "preparsed data";
    case HandleKind::DiskFile:
      return "disk file";
    case HandleKind::FileSearch:
      return "file search";
  }
  return "handle";
}

// --- State: binding, log, accounting ---------------------------------------

void SimPlatform::State::Enter(const char* bindName, const char* logName,
                               std::vector<std::int64_t> args, std::string text) {
  const std::string library = LibraryOf(bindName);
  if (platform.mMissingLibraries.count(LowerAscii(library))) {
    throw quillvane::RuntimeError(quillvane::kErrDllLoad,
                                  "File not found: " + library + " (" + bindName + ")");
  }
  if (platform.mMissingFunctions.count(bindName) || platform.mMissingFunctions.count(logName)) {
    throw quillvane::RuntimeError(
        quillvane::kErrEntryPoint,
        std::string("Can't find DLL entry point ") + bindName + " in " + library);
  }
  platform.mCalls.push_back(SimCall{logName, std::move(args), std::move(text)});
}

void SimPlatform::State::Violation(const std::string& text) {
  platform.mViolations.push_back(text);
}

std::string SimPlatform::State::Hex(std::uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + digits;
}

// Handles are numbered kFirstHandle, +4, +8, ... and never reused. Only open
// ones keep an entry; the kind of every number ever given is remembered
// (one byte each) to tell a closed handle from an unknown one.
Handle SimPlatform::State::NewHandle(HandleEntry entry) {
  const auto handle = static_cast<Handle>(kFirstHandle + kHandleStep * issuedKinds.size());
  issuedKinds.push_back(entry.kind);
  handles.emplace(handle, std::move(entry));
  return handle;
}

std::optional<HandleKind> SimPlatform::State::IssuedKind(Handle handle) const {
  if (handle < kFirstHandle || (handle - kFirstHandle) % kHandleStep != 0) return std::nullopt;
  const std::size_t index = (handle - kFirstHandle) / kHandleStep;
  if (index >= issuedKinds.size()) return std::nullopt;
  return issuedKinds[index];
}

HandleEntry* SimPlatform::State::Use(const char* function, Handle handle,
                                     std::initializer_list<HandleKind> kinds) {
  auto it = handles.find(handle);
  if (it == handles.end()) {
    const std::optional<HandleKind> closedKind = IssuedKind(handle);
    if (closedKind) {
      Violation(std::string(function) + ": handle " + Hex(handle) + " (" +
                HandleKindName(*closedKind) + ") used after close");
    } else {
      Violation(std::string(function) + ": unknown handle " + Hex(handle));
    }
    return Fail<HandleEntry*>(kErrorInvalidHandle, nullptr);
  }
  HandleEntry& entry = it->second;
  bool kindFits = false;
  std::string wanted;
  for (HandleKind kind : kinds) {
    kindFits = kindFits || entry.kind == kind;
    wanted += (wanted.empty() ? "" : " or ") + std::string(HandleKindName(kind));
  }
  if (!kindFits) {
    Violation(std::string(function) + ": handle " + Hex(handle) + " is a " +
              HandleKindName(entry.kind) + ", not a " + wanted);
    return Fail<HandleEntry*>(kErrorInvalidHandle, nullptr);
  }
  return &entry;
}

std::optional<HandleEntry> SimPlatform::State::Close(const char* function, Handle handle,
                                                     std::initializer_list<HandleKind> kinds) {
  if (!handles.count(handle) && IssuedKind(handle)) {
    Violation(std::string(function) + ": handle " + Hex(handle) + " (" +
              HandleKindName(*IssuedKind(handle)) + ") closed twice");
    return Fail<std::optional<HandleEntry>>(kErrorInvalidHandle, std::nullopt);
  }
  HandleEntry* entry = Use(function, handle, kinds);
  if (!entry) return std::nullopt;
  std::optional<HandleEntry> closed = std::move(*entry);
  handles.erase(handle);
  return closed;
}

// --- SimPlatform ------------------------------------------------------------

SimPlatform::SimPlatform()
    : mTimers(mClock), mBeeper(mClock), mState(std::make_unique<State>(*this)) {}

// A read cancelled late that nobody waited for lands when the platform goes
// away at the latest, so a buffer freed too early is caught even when the
// test makes no further call.
SimPlatform::~SimPlatform() {
  mState->CatchUp();
  mState->LandLateReads();
}

void SimPlatform::SetMissingLibrary(const std::string& library, bool missing) {
  if (missing) {
    mMissingLibraries.insert(LowerAscii(library));
  } else {
    mMissingLibraries.erase(LowerAscii(library));
  }
}

void SimPlatform::SetMissingFunction(const std::string& function, bool missing) {
  if (missing) {
    mMissingFunctions.insert(function);
  } else {
    mMissingFunctions.erase(function);
  }
}

std::vector<std::string> SimPlatform::LeakedHandles() const {
  std::map<Handle, const HandleEntry*> open;
  for (const auto& [handle, entry] : mState->handles) open.emplace(handle, &entry);
  std::vector<std::string> leaked;
  for (const auto& [handle, entryPointer] : open) {
    const HandleEntry& entry = *entryPointer;
    std::string text = std::string(HandleKindName(entry.kind)) + " " + State::Hex(handle);
    if (entry.kind == HandleKind::RegistryKey) text += " HKLM\\" + entry.keyPath;
    if (entry.kind == HandleKind::File || entry.kind == HandleKind::PreparsedData) {
      text += " " + mDevices[entry.device]->Config().path;
    }
    if (entry.kind == HandleKind::DiskFile) text += " " + quillvane::basTrace::Utf8(entry.diskPath);
    leaked.push_back(text);
  }
  return leaked;
}

std::size_t SimPlatform::PendingReadCount() const { return mState->reads.size(); }

std::size_t SimPlatform::CountCalls(const std::string& function) const {
  std::size_t count = 0;
  for (const SimCall& call : mCalls) count += call.function == function ? 1 : 0;
  return count;
}

// --- advapi32 ---------------------------------------------------------------

std::int32_t SimPlatform::RegOpenKeyA(Handle hKey, const char* lpSubKey, Handle* phkResult) {
  mState->Enter("RegOpenKeyA", LogArgs(hKey, phkResult != nullptr), lpSubKey ? lpSubKey : "<null>");
  if (!phkResult) {
    mState->Violation("RegOpenKeyA: null phkResult");
    return kRegInvalidParameter;
  }
  *phkResult = 0;
  std::string base;
  if (hKey != quillvane::kHkeyLocalMachine) {
    HandleEntry* key = mState->Use("RegOpenKeyA", hKey, {HandleKind::RegistryKey});
    if (!key) return kRegInvalidHandle;
    base = key->keyPath;
  }
  const std::string subKey = lpSubKey ? lpSubKey : "";
  // A subkey may not start with a backslash; doubled and trailing ones are
  // skipped, as the registry does.
  if (!subKey.empty() && subKey[0] == '\\') return kRegBadPathname;
  const std::string path = NormalizeKeyPath(base + "\\" + subKey);
  if (!mRegistry.FindKey(path)) return kRegFileNotFound;
  HandleEntry entry;
  entry.kind = HandleKind::RegistryKey;
  entry.keyPath = path;
  *phkResult = mState->NewHandle(entry);
  return kRegSuccess;
}

std::int32_t SimPlatform::RegQueryValueExA(Handle hKey, const char* lpValueName,
                                           std::uint32_t* lpReserved, std::uint32_t* lpType,
                                           std::uint8_t* lpData, std::uint32_t* lpcbData) {
  mState->Enter("RegQueryValueExA",
                LogArgs(hKey, lpReserved != nullptr, lpType != nullptr, lpData != nullptr,
                        lpcbData ? static_cast<std::int64_t>(*lpcbData) : -1),
                lpValueName ? lpValueName : "<null>");
  std::string path;
  if (hKey != quillvane::kHkeyLocalMachine) {
    HandleEntry* key = mState->Use("RegQueryValueExA", hKey, {HandleKind::RegistryKey});
    if (!key) return kRegInvalidHandle;
    path = key->keyPath;
  }
  if (lpReserved) return kRegInvalidParameter;
  if (lpData && !lpcbData) {
    mState->Violation("RegQueryValueExA: data buffer without a size");
    return kRegInvalidParameter;
  }
  const SimRegistry::Key* key = mRegistry.FindKey(path);
  if (!key) return kRegKeyDeleted;
  auto it = key->values.find(LowerAscii(lpValueName ? lpValueName : ""));
  if (it == key->values.end()) return kRegFileNotFound;
  const SimRegistry::Value& value = it->second;
  const auto size = static_cast<std::uint32_t>(value.data.size());
  if (lpType) *lpType = value.type;
  if (!lpData) {
    if (lpcbData) *lpcbData = size;
    return kRegSuccess;
  }
  if (*lpcbData < size) {
    *lpcbData = size;
    return kRegMoreData;
  }
  if (size > 0) std::memcpy(lpData, value.data.data(), size);
  *lpcbData = size;
  return kRegSuccess;
}

std::int32_t SimPlatform::RegCloseKey(Handle hKey) {
  mState->Enter("RegCloseKey", LogArgs(hKey));
  // Closing a predefined root is allowed and does nothing.
  if (hKey == quillvane::kHkeyLocalMachine) return kRegSuccess;
  return mState->Close("RegCloseKey", hKey, {HandleKind::RegistryKey}) ? kRegSuccess
                                                                       : kRegInvalidHandle;
}

// --- kernel32: closing, beeper; user32: timers, pump -------------------------

std::int32_t SimPlatform::CloseHandle(Handle hObject) {
  mState->Enter("CloseHandle", LogArgs(hObject));
  mState->CatchUp();
  std::optional<HandleEntry> entry = mState->Close(
      "CloseHandle", hObject, {HandleKind::File, HandleKind::Event, HandleKind::DiskFile});
  if (!entry) return 0;
  if (entry->kind == HandleKind::File) {
    mState->CancelReadsOf(hObject);
    --mDevices[entry->device]->mOpenHandles;
    std::vector<Handle>& files = mState->deviceFiles[entry->device];
    files.erase(std::find(files.begin(), files.end(), hObject));
    if (files.empty()) mState->activeDevices.erase(entry->device);
  }
  return 1;
}

std::uint32_t SimPlatform::GetLastError() {
  mState->Enter("GetLastError", LogArgs());
  return mState->lastError;
}

std::uint32_t SimPlatform::GetTickCount() {
  mState->Enter("GetTickCount", LogArgs());
  return static_cast<std::uint32_t>(mClock.Now());
}

std::int32_t SimPlatform::Beep(std::uint32_t dwFreq, std::uint32_t dwDuration) {
  mState->Enter("Beep", LogArgs(dwFreq, dwDuration));
  mState->CatchUp();
  mState->LandLateReads();
  return mBeeper.Beep(dwFreq, dwDuration);
}

quillvane::TimerId SimPlatform::SetTimer(Handle hWnd, quillvane::TimerId nIDEvent,
                                         std::uint32_t uElapse,
                                         quillvane::TimerCallback lpTimerFunc) {
  mState->Enter("SetTimer", LogArgs(hWnd, nIDEvent, uElapse));
  return mTimers.SetTimer(hWnd, nIDEvent, uElapse, lpTimerFunc);
}

std::int32_t SimPlatform::KillTimer(Handle hWnd, quillvane::TimerId uIDEvent) {
  mState->Enter("KillTimer", LogArgs(hWnd, uIDEvent));
  return mTimers.KillTimer(hWnd, uIDEvent);
}

bool SimPlatform::PumpMessages() {
  mState->Enter("PeekMessageA", "PumpMessages", LogArgs());
  mState->CatchUp();
  mState->LandLateReads();
  return mTimers.PumpMessages();
}

// --- text -------------------------------------------------------------------

std::string SimPlatform::ToAnsi(const std::u16string& text) {
  std::string ansi;
  ansi.reserve(text.size());
  for (char16_t c : text) ansi += c < 256 ? static_cast<char>(c) : '?';
  return ansi;
}

std::u16string SimPlatform::FromAnsi(const std::string& text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (char c : text) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  return wide;
}

}  // namespace sim
