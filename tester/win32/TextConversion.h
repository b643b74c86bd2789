// Text between the portable logic (UTF-16 in std::u16string) and the wide
// Win32 calls: both are UTF-16 with 16-bit units on this target.
#pragma once

#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide calls take UTF-16 units");

namespace brindlemark::win32 {

inline std::wstring ToWide(const std::u16string& strText) {
  return std::wstring(reinterpret_cast<const wchar_t*>(strText.data()), strText.size());
}

inline std::u16string FromWide(const wchar_t* strText, std::size_t lngLength) {
  return std::u16string(reinterpret_cast<const char16_t*>(strText), lngLength);
}

}  // namespace brindlemark::win32
