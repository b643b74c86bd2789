// The Windows headers as the frame and binding include them, all through
// here: windows.h defines a few names as macros that the core and the
// interface use as member names, so those are undone once, after every
// Windows header has been read.
#pragma once

// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <setupapi.h>
#include <hidsdi.h>
#include <hidpi.h>
// clang-format on

#undef HasOverlappedIoCompleted
#undef OpenService
