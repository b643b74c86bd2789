// Text between portable code (UTF-16 in std::u16string) and Windows: the
// wide calls and BSTRs hold the same UTF-16 units; code pages (the system's
// ANSI one, UTF-8) go through one conversion each way, which takes the
// system's converter as a parameter so that a caller that binds its system
// functions by name at first use passes its own bound one.
#pragma once

#include <climits>
#include <cstddef>
#include <limits>
#include <string>

#include "win32kit/WinHeaders.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide calls take UTF-16 units");

namespace win32kit {

inline std::wstring ToWide(const std::u16string& strText) {
  return std::wstring(reinterpret_cast<const wchar_t*>(strText.data()), strText.size());
}

inline std::u16string FromWide(const wchar_t* strText, std::size_t lngLength) {
  return std::u16string(reinterpret_cast<const char16_t*>(strText), lngLength);
}

// A null BSTR is the empty text.
inline std::u16string FromBstr(BSTR strText) {
  if (!strText) return {};
  return FromWide(strText, SysStringLen(strText));
}

// A new BSTR, or null when memory runs out or the text is longer than a BSTR
// can be (null is also the empty text, so callers check the length).
inline BSTR ToBstr(const std::u16string& strText) {
  if (strText.size() > std::numeric_limits<UINT>::max()) return nullptr;
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(strText.data()),
                           static_cast<UINT>(strText.size()));
}

using WideToMultiByteFunction = decltype(&::WideCharToMultiByte);
using MultiByteToWideFunction = decltype(&::MultiByteToWideChar);

// strText in code page lngCodePage (CP_ACP, CP_UTF8). Empty text when the
// text is empty or cannot be converted at all, a text longer than the
// conversion's int count included (never a part of it).
inline std::string ToCodePage(const std::u16string& strText, UINT lngCodePage,
                              WideToMultiByteFunction lpConvert = &::WideCharToMultiByte) {
  if (strText.empty() || strText.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const auto* lpWide = reinterpret_cast<const wchar_t*>(strText.data());
  const int lngLength = static_cast<int>(strText.size());
  int lngBytes = lpConvert(lngCodePage, 0, lpWide, lngLength, nullptr, 0, nullptr, nullptr);
  if (lngBytes <= 0) return {};
  std::string strResult(static_cast<std::size_t>(lngBytes), '\0');
  lngBytes =
      lpConvert(lngCodePage, 0, lpWide, lngLength, strResult.data(), lngBytes, nullptr, nullptr);
  strResult.resize(static_cast<std::size_t>(lngBytes > 0 ? lngBytes : 0));
  return strResult;
}

// strText read in code page lngCodePage; empty text likewise.
inline std::u16string FromCodePage(const std::string& strText, UINT lngCodePage,
                                   MultiByteToWideFunction lpConvert = &::MultiByteToWideChar) {
  if (strText.empty() || strText.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const int lngLength = static_cast<int>(strText.size());
  int lngChars = lpConvert(lngCodePage, 0, strText.data(), lngLength, nullptr, 0);
  if (lngChars <= 0) return {};
  std::u16string strResult(static_cast<std::size_t>(lngChars), u'\0');
  lngChars = lpConvert(lngCodePage, 0, strText.data(), lngLength,
                       reinterpret_cast<wchar_t*>(strResult.data()), lngChars);
  strResult.resize(static_cast<std::size_t>(lngChars > 0 ? lngChars : 0));
  return strResult;
}

// ASCII text (names of libraries, functions, device paths) as UTF-16; bytes
// above 0x7F are taken as they are, as Latin-1.
inline std::u16string FromAscii(const char* strText) {
  std::u16string strResult;
  for (; *strText; ++strText) {
    strResult.push_back(static_cast<char16_t>(static_cast<unsigned char>(*strText)));
  }
  return strResult;
}

}  // namespace win32kit
