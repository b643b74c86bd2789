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

// Removes this bitness's registration, whatever of it is already missing:
// the class keys of its own registry view, the type library's platform
// subkey (win32 or win64) and, once no other platform, version or locale is
// left under them, the type library's common keys. The keys the two
// bitnesses share on 64-bit Windows (the programmatic identifier keys, and
// the interface keys of both views) go only when the server of the other
// bitness is not registered, so that it stays whole. Keys that are gone are
// no failure; a key that is there and cannot be removed is.
HRESULT UnregisterServer(const InprocServer& objServer) noexcept;

}  // namespace win32kit
