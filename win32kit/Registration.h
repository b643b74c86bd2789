// Self-registration of an in-process automation server: what
// DllRegisterServer writes and DllUnregisterServer removes, from one table.
// Only keys below HKEY_CLASSES_ROOT and the type library's own registration
// are touched; device configuration never is. quillvane.dll and the control
// object stand-in each describe themselves in a ServerIdentity.
#pragma once

#include "service/win32/WinHeaders.h"

namespace quillvane::win32 {

struct ServerIdentity {
  const wchar_t* strProgId;
  const wchar_t* strDescription;  // the class key's and the ProgID key's default value
  const CLSID* pClsid;
  const GUID* pLibId;  // the type library bound into the module, version 1.0
};

// Writes the table and registers the type library. On failure, removes what
// it wrote and gives the failure.
HRESULT RegisterServer(const ServerIdentity& objServer) noexcept;

// Unregisters the type library and removes every key of the table that is
// there (the class and programmatic identifier keys, the type library's key
// and the interface keys of the interfaces it describes), whatever else is
// already missing. Keys that are gone are no failure; a key that is there and
// cannot be removed is.
HRESULT UnregisterServer(const ServerIdentity& objServer) noexcept;

}  // namespace quillvane::win32
