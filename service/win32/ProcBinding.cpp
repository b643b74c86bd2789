#include "service/win32/ProcBinding.h"

#include <string>

#include "contract/RuntimeError.h"
#include "win32kit/Module.h"
#include "win32kit/Owners.h"
#include "win32kit/Text.h"

namespace quillvane::win32 {

namespace {

constexpr wchar_t kSwitchKey[] = L"Software\\quillvane\\VirtualDrawer";

bool ReadDevelopmentSwitch() {
  // The host program's full path.
  const std::wstring strProgram = win32kit::ModuleFileName(nullptr);
  if (strProgram.empty()) return false;
  win32kit::UniqueHkey hKey;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSwitchKey, 0, KEY_QUERY_VALUE, hKey.Put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD lngType = 0, lngValue = 0, lngSize = sizeof lngValue;
  return ::RegQueryValueExW(hKey.Get(), strProgram.c_str(), nullptr, &lngType,
                            reinterpret_cast<BYTE*>(&lngValue), &lngSize) == ERROR_SUCCESS &&
         lngType == REG_DWORD && lngSize == sizeof lngValue && lngValue != 0;
}

// 0 not read yet, 1 off, 2 on. Two threads racing to read it agree.
std::atomic<int> gDevelopmentSwitch{0};

bool DevelopmentSwitchOn() {
  int lngState = gDevelopmentSwitch.load(std::memory_order_acquire);
  if (lngState == 0) {
    lngState = ReadDevelopmentSwitch() ? 2 : 1;
    gDevelopmentSwitch.store(lngState, std::memory_order_release);
  }
  return lngState == 2;
}

// The library's copy in the system folder, by full path; its own imports are
// then looked up in that folder too.
HMODULE LoadFromSystemFolder(const char* strName) {
  const UINT lngNeeded = ::GetSystemDirectoryW(nullptr, 0);
  if (lngNeeded == 0) return nullptr;
  std::wstring strPath(lngNeeded, L'\0');
  const UINT lngLength = ::GetSystemDirectoryW(strPath.data(), lngNeeded);
  if (lngLength == 0 || lngLength >= lngNeeded) return nullptr;
  strPath.resize(lngLength);
  strPath += L'\\';
  strPath += win32kit::ToWide(win32kit::FromAscii(strName));
  return ::LoadLibraryExW(strPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadBoundLibrary(BoundLibrary& objLibrary) {
  HMODULE hModule = objLibrary.hModule.load(std::memory_order_acquire);
  if (hModule) return hModule;
  if (objLibrary.enmSearch == LibrarySearch::kDevelopmentSwitch && DevelopmentSwitchOn()) {
    hModule = ::LoadLibraryA(objLibrary.strName);
  } else {
    hModule = LoadFromSystemFolder(objLibrary.strName);
  }
  if (!hModule) {
    throw RuntimeError(kErrDllLoad, std::string("Error in loading DLL ") + objLibrary.strName);
  }
  HMODULE hExpected = nullptr;
  if (!objLibrary.hModule.compare_exchange_strong(hExpected, hModule)) {
    // Another thread bound it first: keep one reference only.
    ::FreeLibrary(hModule);
    hModule = hExpected;
  }
  return hModule;
}

}  // namespace

FARPROC Resolve(BoundFunction& objFunction) {
  FARPROC lpProc = objFunction.lpProc.load(std::memory_order_acquire);
  if (lpProc) return lpProc;
  // Binding must not disturb the last error a caller is about to read.
  const DWORD lngLastError = ::GetLastError();
  HMODULE hModule = LoadBoundLibrary(objFunction.objLibrary);
  lpProc = ::GetProcAddress(hModule, objFunction.strName);
  if (!lpProc) {
    throw RuntimeError(kErrEntryPoint, std::string("Can't find DLL entry point ") +
                                           objFunction.strName + " in " +
                                           objFunction.objLibrary.strName);
  }
  objFunction.lpProc.store(lpProc, std::memory_order_release);
  ::SetLastError(lngLastError);
  return lpProc;
}

}  // namespace quillvane::win32
