// Defines the identifiers the type library declares, once for the library.
// clang-format off
#include "win32kit/WinHeaders.h"
#include <initguid.h>
#include "service/win32/TypeLibDeclarations.h"
// clang-format on
