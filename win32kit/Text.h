// Text between the core (UTF-16 in std::u16string) and automation (BSTR).
#pragma once

#include <string>

#include "service/win32/WinHeaders.h"

namespace quillvane::win32 {

// A null BSTR is the empty text.
inline std::u16string FromBstr(BSTR text) {
  if (!text) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

// A new BSTR, or null when memory runs out (null is also the empty text, so
// callers check the length).
inline BSTR ToBstr(const std::u16string& text) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
}

}  // namespace quillvane::win32
