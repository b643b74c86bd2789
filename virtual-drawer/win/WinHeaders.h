// windows.h as the virtual drawer's programs and DLLs take it. The service
// object's frame header also pulls in the HID and setup headers, which the
// replacement DLLs must include their own way (they define those functions).
#pragma once

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on
