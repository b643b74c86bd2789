// The texts of the log and of the wait boxes.
#pragma once

#include <cstdint>
#include <string>

namespace brindlemark {

// The number in decimal, with a leading minus sign when negative and no
// leading zeros or spaces.
std::u16string Decimal(std::int32_t lngValue);

// A log line: the fixed text followed directly by the number in decimal,
// with a leading minus sign when negative.
std::u16string LogLine(const char16_t* strText, std::int32_t lngValue);

// Failure statuses a text that is not a whole 32-bit number gives, the ones
// the automation world uses for a type mismatch and an overflow.
constexpr std::int32_t kStatusTypeMismatch = static_cast<std::int32_t>(0x800A000DU);
constexpr std::int32_t kStatusOverflow = static_cast<std::int32_t>(0x800A0006U);

// Converts a wait text to a 32-bit integer: optional spaces around an
// optional sign and at least one decimal digit, nothing else. Gives 0 and
// sets `*lngValue`, or kStatusTypeMismatch for any other text, or
// kStatusOverflow for a whole number outside the 32-bit range.
std::int32_t ParseWholeNumber(const std::u16string& strText, std::int32_t* lngValue);

}  // namespace brindlemark
