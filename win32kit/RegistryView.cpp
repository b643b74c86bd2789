#include "win32kit/RegistryView.h"

namespace win32kit {

bool HasOtherView() {
  if constexpr (kOwnBitness == RegistryBitness::k64) {
    return true;
  } else {
    BOOL blnWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &blnWow64) && blnWow64;
  }
}

REGSAM ViewFlag(RegistryBitness enmBits) {
  if (enmBits == kOwnBitness) return 0;
  return enmBits == RegistryBitness::k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

}  // namespace win32kit
