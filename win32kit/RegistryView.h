// The two registry views of 64-bit Windows. A 64-bit process sees the 64-bit
// view of HKLM\SOFTWARE and of the per-view keys of HKEY_CLASSES_ROOT (CLSID,
// Interface); a 32-bit process under WOW64 sees the 32-bit view (the
// Wow6432Node keys). Either may open a key in the other view with
// KEY_WOW64_32KEY or KEY_WOW64_64KEY. On 32-bit Windows there is one view.
#pragma once

#include "win32kit/WinHeaders.h"

namespace win32kit {

enum class RegistryBitness { k32, k64 };

// The bitness of this process, and so of the view it sees by default.
constexpr RegistryBitness kOwnBitness =
    sizeof(void*) == 8 ? RegistryBitness::k64 : RegistryBitness::k32;

constexpr RegistryBitness OtherBitness(RegistryBitness enmBits) {
  return enmBits == RegistryBitness::k64 ? RegistryBitness::k32 : RegistryBitness::k64;
}

// Whether the machine has a view of the other bitness: always for a 64-bit
// process, for a 32-bit one when it runs under WOW64.
bool HasOtherView();

// The access flag that opens a key in the view of enmBits, to be or-ed into
// the access mask. 0 for the process's own view.
REGSAM ViewFlag(RegistryBitness enmBits);

}  // namespace win32kit
