// Self-registration of the stand-in: what DllRegisterServer writes and
// DllUnregisterServer removes, from one table, below HKEY_CLASSES_ROOT, plus
// the type library's own registration. Its programmatic identifier is its
// own, so it never replaces a standard control object on the machine.
#pragma once

#include "service/win32/WinHeaders.h"

namespace quillvane::standin {

// Writes the table and registers the type library. On failure, removes what
// it wrote and gives the failure.
HRESULT RegisterStandin();

// Unregisters the type library and removes the table's keys, deepest first.
// Keys that are already gone are no failure.
HRESULT UnregisterStandin();

}  // namespace quillvane::standin
