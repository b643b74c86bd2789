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

// Text of the system code page as a wide string.
inline std::wstring WidenAnsi(const std::string& text) {
  if (text.empty()) return {};
  int lngChars =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring strResult(static_cast<std::size_t>(lngChars > 0 ? lngChars : 0), L'\0');
  if (lngChars > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), strResult.data(),
                        lngChars);
  }
  return strResult;
}

}  // namespace quillvane::win32
