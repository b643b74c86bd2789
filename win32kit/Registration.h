// Self-registration of an in-process automation server: what
// DllRegisterServer writes and DllUnregisterServer removes, from one table.
// Only keys below HKEY_CLASSES_ROOT and the type library's own registration
// are touched; device configuration never is. Each server describes itself
// in its InprocServer table.
#pragma once

#include "win32kit/InprocServer.h"
#include "win32kit/WinHeaders.h"

namespace win32kit {

// Writes the table and registers the type library. On failure, removes what
// it wrote and gives the failure.
HRESULT RegisterServer(const InprocServer& objServer) noexcept;

// Unregisters the type library and removes every key of the table that is
// there (the class and programmatic identifier keys, the type library's key
// and the interface keys of the interfaces it describes), whatever else is
// already missing. Keys that are gone are no failure; a key that is there and
// cannot be removed is.
HRESULT UnregisterServer(const InprocServer& objServer) noexcept;

}  // namespace win32kit
