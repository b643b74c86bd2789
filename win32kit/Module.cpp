#include "service/win32/Module.h"

#include <atomic>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace quillvane::win32 {

namespace {
std::atomic<long> gModuleCount{0};
}  // namespace

void LockModule() { gModuleCount.fetch_add(1); }
void UnlockModule() { gModuleCount.fetch_sub(1); }
long ModuleCount() { return gModuleCount.load(); }

HMODULE ModuleHandle() { return reinterpret_cast<HMODULE>(&__ImageBase); }

std::wstring ModulePath() {
  std::wstring strPath(MAX_PATH, L'\0');
  for (;;) {
    DWORD lngLength =
        GetModuleFileNameW(ModuleHandle(), strPath.data(), static_cast<DWORD>(strPath.size()));
    if (lngLength == 0) return {};
    if (lngLength < strPath.size()) {
      strPath.resize(lngLength);
      return strPath;
    }
    strPath.resize(strPath.size() * 2);
  }
}

HRESULT LoadOwnTypeLib(ComRef<ITypeLib>& objTypeLib) {
  std::wstring strPath = ModulePath();
  if (strPath.empty()) return HRESULT_FROM_WIN32(GetLastError());
  return LoadTypeLibEx(strPath.c_str(), REGKIND_NONE, objTypeLib.Put());
}

}  // namespace quillvane::win32
