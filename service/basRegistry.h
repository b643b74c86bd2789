// The service object's one way to read the registry.
#pragma once

#include <cstdint>
#include <string>

#include "service/ApiDeclarations.h"

namespace quillvane {

// What GetRegValue gives: text, or a signed 32-bit integer.
struct RegVariant {
  bool blnIsLong = false;
  std::int32_t lngValue = 0;
  std::u16string strValue;

  // The value as text: a number becomes its decimal digits.
  std::u16string ToText() const;
};

namespace basRegistry {

// Reads one value of one key. REG_SZ gives its text up to the first NUL,
// REG_DWORD the signed integer; every failure and every other type give empty
// text. A NUL beyond position 32767 raises error 6. Every key opened is closed.
// A key path or value name holding a NUL names no key: empty text, and the
// platform is not called.
RegVariant GetRegValue(ApiDeclarations& api, Handle hRootKey, const std::u16string& strKeyPath,
                       const std::u16string& strValueName);

// The return code of this thread's most recent registry call of the reader.
std::int32_t lngRegStatus();

}  // namespace basRegistry
}  // namespace quillvane
