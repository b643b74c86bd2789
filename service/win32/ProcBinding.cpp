#include "service/win32/ProcBinding.h"

#include <string>

#include "service/RuntimeError.h"

namespace quillvane::win32 {

namespace {

HMODULE LoadBoundLibrary(BoundLibrary& objLibrary) {
  HMODULE hModule = objLibrary.hModule.load(std::memory_order_acquire);
  if (hModule) return hModule;
  hModule = ::LoadLibraryA(objLibrary.strName);
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
