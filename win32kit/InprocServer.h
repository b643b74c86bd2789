// What an in-process automation server serves: its creatable classes, from
// one table, and the type library embedded in its file. Every server built
// with win32kit_inproc_server() (win32kit.cmake) defines kInprocServer once;
// the toolkit's four exports (InprocServer.cpp, InprocServer.def) serve it:
// the class factory by class identifier, the unload check on the module
// count, and registration from the table (Registration.h).
#pragma once

#include <cstddef>

#include "win32kit/ClassFactory.h"
#include "win32kit/WinHeaders.h"

namespace win32kit {

struct ServedClass {
  const CLSID* pClsid;
  const wchar_t* strProgId;
  const wchar_t* strDescription;  // the class key's and the ProgID key's default value
  ClassFactory* objFactory;
};

struct InprocServer {
  const GUID* pLibId;  // the type library bound into the module, version 1.0
  const ServedClass* pClasses;
  std::size_t lngClasses;

  const ServedClass* begin() const { return pClasses; }
  const ServedClass* end() const { return pClasses + lngClasses; }
};

// Defined by the server.
extern const InprocServer kInprocServer;

// The factory of the class rclsid, queried for riid; CLASS_E_CLASSNOTAVAILABLE
// for a class the server does not serve.
HRESULT GetClassFactory(const InprocServer& objServer, REFCLSID rclsid, REFIID riid, void** ppv);

}  // namespace win32kit
