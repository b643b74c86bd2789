// What the library knows about itself: its file, its embedded type library,
// and the count of live objects and class-factory locks that decides whether
// it may be unloaded.
#pragma once

#include <string>

#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace win32kit {

void LockModule();
void UnlockModule();
// Live objects plus locks.
long ModuleCount();

HMODULE ModuleHandle();
// The full path of this library file.
std::wstring ModulePath();
// The full path of the file of hModule (null: the program's), or empty text
// when it cannot be had.
std::wstring ModuleFileName(HMODULE hModule);

// The type library embedded as resource 1 of this file, not registered.
HRESULT LoadOwnTypeLib(ComRef<ITypeLib>& objTypeLib);

// Keeps the module locked for as long as it lives.
class ModuleLock {
 public:
  ModuleLock() { LockModule(); }
  ~ModuleLock() { UnlockModule(); }
  ModuleLock(const ModuleLock&) = delete;
  ModuleLock& operator=(const ModuleLock&) = delete;
};

}  // namespace win32kit
