// Defines the identifiers the type library declares, once for the library.
// clang-format off
#include "service/win32/WinHeaders.h"
#include <initguid.h>
#include "service/win32/TypeLibDeclarations.h"
// clang-format on
