// The declarations widl generates from quillvane.idl (_CashDrawer, the
// identifiers), read after the Windows headers as the frame includes them.
#pragma once

#include "win32kit/WinHeaders.h"
// clang-format off
#include "quillvane_h.h"
// clang-format on
