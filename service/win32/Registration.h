// Self-registration: what DllRegisterServer writes and DllUnregisterServer
// removes, from one table. Only keys below HKEY_CLASSES_ROOT and the type
// library's own registration are touched; device configuration never is.
#pragma once

#include "service/win32/WinHeaders.h"

namespace quillvane::win32 {

// Writes the table and registers the type library. On failure, removes what
// it wrote and gives the failure.
HRESULT RegisterServer();

// Unregisters the type library and removes the table's keys, deepest first.
// Keys that are already gone are no failure.
HRESULT UnregisterServer();

}  // namespace quillvane::win32
