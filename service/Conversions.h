// Number and text conversions the service object performs, with the run-time
// errors they raise.
#pragma once

#include <cstdint>
#include <string>

namespace quillvane {

// The numeric-prefix rule: blanks, tabs and line feeds are ignored anywhere;
// "&H"/"&O" at the start read hexadecimal/octal (a signed 16-bit value when
// it fits in 16 bits, else signed 32-bit); otherwise sign, digits, fraction
// and exponent (E or D) are read up to the first character that cannot
// continue the number. No number gives 0. A value beyond 32 bits (radix
// prefixes) or beyond a double raises error 6.
double NumericPrefixValue(const std::u16string& text);

// Text to a 32-bit integer: optional surrounding blanks, optional sign,
// decimal digits and an optional fraction rounded half to even. No number
// (the empty text included) raises error 13; outside 32 bits, error 6.
std::int32_t TextToLong(const std::u16string& text);

// A 32-bit integer as decimal text, with a minus sign when negative.
std::u16string LongToText(std::int32_t value);

// ASCII text to UTF-16 (for constants).
std::u16string AsciiToText(const std::string& ascii);

}  // namespace quillvane
