// What a variant passed by reference stands for. Script clients hand over
// their variables as VT_BYREF|VT_VARIANT; a chain of such references is
// followed a few levels only, so a reference that leads back to itself ends
// instead of looping.
#pragma once

#include "win32kit/WinHeaders.h"

namespace win32kit {

// More levels than any client builds: VBScript and VBA pass one.
constexpr int kMaxVariantRefDepth = 8;

// The variant at the end of a VT_BYREF|VT_VARIANT chain, or `varValue` itself
// when it is no such reference. Null for a null reference or a chain longer
// than kMaxVariantRefDepth.
inline const VARIANT* ResolveVariantRef(const VARIANT* varValue) {
  for (int lngDepth = 0; varValue && varValue->vt == (VT_BYREF | VT_VARIANT); ++lngDepth) {
    if (lngDepth == kMaxVariantRefDepth) return nullptr;
    varValue = varValue->pvarVal;
  }
  return varValue;
}

inline VARIANT* ResolveVariantRef(VARIANT* varValue) {
  return const_cast<VARIANT*>(ResolveVariantRef(static_cast<const VARIANT*>(varValue)));
}

}  // namespace win32kit
