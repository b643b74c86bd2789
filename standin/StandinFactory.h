// The class factory of ControlObject, the one class the stand-in serves.
#pragma once

#include <unknwn.h>

#include "service/win32/WinHeaders.h"

namespace quillvane::standin {

// The factory for rclsid, queried for riid; CLASS_E_CLASSNOTAVAILABLE for
// any other class.
HRESULT GetStandinFactory(REFCLSID rclsid, REFIID riid, void** ppv);

}  // namespace quillvane::standin
