// The Windows headers as every Windows piece includes them, all through
// here: windows.h defines a few names as macros that our interfaces use as
// member names, so those are undone once, after every Windows header has
// been read. The HID and device-setup headers come with DeviceHeaders.h.
#pragma once

// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <ocidl.h>
// clang-format on

#undef HasOverlappedIoCompleted
#undef OpenService
