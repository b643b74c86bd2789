#include "service/basRegistry.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "contract/RuntimeError.h"
#include "service/Conversions.h"
#include "service/PlatformHandle.h"

namespace quillvane {
namespace {

thread_local std::int32_t tlsRegStatus = 0;

// Text up to its first NUL; positions are held in 16 signed bits, so a NUL
// beyond position 32767 overflows.
std::u16string TextBeforeNul(std::u16string text) {
  std::size_t nul = text.find(u'\0');
  if (nul == std::u16string::npos) return text;
  if (nul + 1 > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    throw RuntimeError(kErrOverflow);
  }
  text.resize(nul);
  return text;
}

}  // namespace

std::u16string RegVariant::ToText() const { return blnIsLong ? LongToText(lngValue) : strValue; }

namespace basRegistry {

std::int32_t lngRegStatus() { return tlsRegStatus; }

RegVariant GetRegValue(ApiDeclarations& api, Handle hRootKey, const std::u16string& strKeyPath,
                       const std::u16string& strValueName) {
  RegVariant varResult;
  // A NUL would end the text the platform sees: the call would read another
  // key or value than the one named. Such a name names none.
  if (strKeyPath.find(u'\0') != std::u16string::npos ||
      strValueName.find(u'\0') != std::u16string::npos) {
    return varResult;
  }
  Handle hKey = 0;
  std::uint32_t lngType = kRegNone;
  std::uint32_t lngSize = 0;

  tlsRegStatus = api.RegOpenKeyA(hRootKey, api.ToAnsi(strKeyPath).c_str(), &hKey);
  // The handle decides, not the return code.
  if (hKey == 0) return varResult;
  // Owned from here: closed on every way out, errors included.
  UniqueRegKey key(api, hKey);

  const std::string strAnsiName = api.ToAnsi(strValueName);
  tlsRegStatus =
      api.RegQueryValueExA(hKey, strAnsiName.c_str(), nullptr, &lngType, nullptr, &lngSize);
  if (lngType == kRegSz) {
    std::vector<std::uint8_t> bytBuffer(lngSize, static_cast<std::uint8_t>(' '));
    std::uint32_t lngSecondType = kRegNone;
    tlsRegStatus = api.RegQueryValueExA(hKey, strAnsiName.c_str(), nullptr, &lngSecondType,
                                        bytBuffer.data(), &lngSize);
    if (tlsRegStatus == 0) {
      // Only what the read gave: a value that shrank since the size query
      // leaves the rest of the buffer unwritten.
      const std::size_t lngRead = std::min<std::size_t>(lngSize, bytBuffer.size());
      std::string ansi(bytBuffer.begin(), bytBuffer.begin() + static_cast<std::ptrdiff_t>(lngRead));
      varResult.strValue = TextBeforeNul(api.FromAnsi(ansi));
    }
  } else if (lngType == kRegDword) {
    std::uint32_t lngWord = 0;
    lngSize = 4;
    tlsRegStatus = api.RegQueryValueExA(hKey, strAnsiName.c_str(), nullptr, &lngType,
                                        reinterpret_cast<std::uint8_t*>(&lngWord), &lngSize);
    if (tlsRegStatus == 0) {
      varResult.blnIsLong = true;
      varResult.lngValue = static_cast<std::int32_t>(lngWord);
    }
  }

  tlsRegStatus = key.Close();
  return varResult;
}

}  // namespace basRegistry
}  // namespace quillvane
