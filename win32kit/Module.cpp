#include "win32kit/Module.h"

#include <atomic>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace win32kit {

namespace {
std::atomic<long> gModuleCount{0};
}  // namespace

void LockModule() { gModuleCount.fetch_add(1); }
void UnlockModule() { gModuleCount.fetch_sub(1); }
long ModuleCount() { return gModuleCount.load(); }

HMODULE ModuleHandle() { return reinterpret_cast<HMODULE>(&__ImageBase); }

std::wstring ModuleFileName(HMODULE hModule) {
  std::wstring strPath(MAX_PATH, L'\0');
  for (;;) {
    const DWORD lngLength =
        GetModuleFileNameW(hModule, strPath.data(), static_cast<DWORD>(strPath.size()));
    if (lngLength == 0) return {};
    if (lngLength < strPath.size()) {
      strPath.resize(lngLength);
      return strPath;
    }
    // Truncated: the longest path the system handles is 32767 characters.
    if (strPath.size() > 32767) return {};
    strPath.resize(strPath.size() * 2);
  }
}

std::wstring ModulePath() { return ModuleFileName(ModuleHandle()); }

HRESULT LoadOwnTypeLib(ComRef<ITypeLib>& objTypeLib) {
  std::wstring strPath = ModulePath();
  if (strPath.empty()) return HRESULT_FROM_WIN32(GetLastError());
  return LoadTypeLibEx(strPath.c_str(), REGKIND_NONE, objTypeLib.Put());
}

}  // namespace win32kit
