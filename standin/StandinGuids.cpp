// Defines the identifiers the stand-in's type library declares, once.
#include "win32kit/WinHeaders.h"
// clang-format off
#include <initguid.h>
#include "quillvane_control_h.h"
// clang-format on
