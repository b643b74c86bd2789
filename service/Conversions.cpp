#include "service/Conversions.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "contract/RuntimeError.h"

namespace quillvane {
namespace {

bool IsIgnoredBlank(char16_t ch) { return ch == u' ' || ch == u'\t' || ch == u'\n'; }
bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }

int DigitValue(char16_t ch, int radix) {
  int value = -1;
  if (ch >= u'0' && ch <= u'9') value = ch - u'0';
  if (ch >= u'a' && ch <= u'f') value = ch - u'a' + 10;
  if (ch >= u'A' && ch <= u'F') value = ch - u'A' + 10;
  return value < radix ? value : -1;
}

// "&H" and "&O" numbers: 16-bit when they fit, else 32-bit, else overflow.
double RadixPrefixValue(const std::u16string& digits, int radix) {
  std::uint64_t value = 0;
  for (char16_t ch : digits) {
    int digit = DigitValue(ch, radix);
    if (digit < 0) break;
    value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFull) throw RuntimeError(kErrOverflow);
  }
  if (value <= 0xFFFFu) return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

double NumericPrefixValue(const std::u16string& text) {
  std::u16string compact;
  for (char16_t ch : text) {
    if (!IsIgnoredBlank(ch)) compact.push_back(ch);
  }
  if (compact.size() >= 2 && compact[0] == u'&') {
    char16_t kind = compact[1];
    if (kind == u'H' || kind == u'h') return RadixPrefixValue(compact.substr(2), 16);
    if (kind == u'O' || kind == u'o') return RadixPrefixValue(compact.substr(2), 8);
  }

  // The longest prefix that reads as a decimal number, copied as ASCII for strtod.
  std::string number;
  std::size_t pos = 0;
  if (pos < compact.size() && (compact[pos] == u'+' || compact[pos] == u'-')) {
    number.push_back(static_cast<char>(compact[pos++]));
  }
  bool hasDigits = false;
  while (pos < compact.size() && IsDigit(compact[pos])) {
    number.push_back(static_cast<char>(compact[pos++]));
    hasDigits = true;
  }
  if (pos < compact.size() && compact[pos] == u'.') {
    number.push_back('.');
    ++pos;
    while (pos < compact.size() && IsDigit(compact[pos])) {
      number.push_back(static_cast<char>(compact[pos++]));
      hasDigits = true;
    }
  }
  if (!hasDigits) return 0.0;
  if (pos < compact.size() && (compact[pos] == u'E' || compact[pos] == u'e' ||
                               compact[pos] == u'D' || compact[pos] == u'd')) {
    std::size_t expPos = pos + 1;
    std::string exponent = "e";
    if (expPos < compact.size() && (compact[expPos] == u'+' || compact[expPos] == u'-')) {
      exponent.push_back(static_cast<char>(compact[expPos++]));
    }
    if (expPos < compact.size() && IsDigit(compact[expPos])) {
      while (expPos < compact.size() && IsDigit(compact[expPos])) {
        exponent.push_back(static_cast<char>(compact[expPos++]));
      }
      number += exponent;
    }
  }
  double value = std::strtod(number.c_str(), nullptr);
  if (std::isinf(value)) throw RuntimeError(kErrOverflow);
  return value;
}

std::int32_t TextToLong(const std::u16string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && (text[begin] == u' ' || text[begin] == u'\t')) ++begin;
  while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t')) --end;

  std::size_t pos = begin;
  bool negative = false;
  if (pos < end && (text[pos] == u'+' || text[pos] == u'-')) negative = text[pos++] == u'-';
  std::size_t intBegin = pos;
  while (pos < end && IsDigit(text[pos])) ++pos;
  std::size_t intEnd = pos;
  std::size_t fracBegin = pos;
  std::size_t fracEnd = pos;
  if (pos < end && text[pos] == u'.') {
    fracBegin = ++pos;
    while (pos < end && IsDigit(text[pos])) ++pos;
    fracEnd = pos;
  }
  if (pos != end || (intBegin == intEnd && fracBegin == fracEnd)) {
    throw RuntimeError(kErrTypeMismatch);
  }

  // Integer part, exactly; anything above 2^31 overflows whatever the sign.
  std::uint64_t magnitude = 0;
  for (std::size_t i = intBegin; i < intEnd; ++i) {
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - u'0');
    if (magnitude > 0x80000000ull) throw RuntimeError(kErrOverflow);
  }
  // Fraction, rounded half to even, decided on the digits themselves.
  if (fracBegin < fracEnd) {
    int first = text[fracBegin] - u'0';
    bool restNonZero = false;
    for (std::size_t i = fracBegin + 1; i < fracEnd; ++i) restNonZero |= text[i] != u'0';
    bool roundUp = first > 5 || (first == 5 && (restNonZero || (magnitude % 2) == 1));
    if (roundUp) ++magnitude;
  }
  const std::uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
  if (magnitude > limit) throw RuntimeError(kErrOverflow);
  return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                  : static_cast<std::int32_t>(magnitude);
}

std::u16string LongToText(std::int32_t value) { return AsciiToText(std::to_string(value)); }

std::u16string AsciiToText(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace quillvane
