// The version conversion against a reference: text of the form [blanks]
// [sign] digits [. digits] [blanks] gives its value rounded half to even, or
// overflow (error 6) outside 32 bits; any other text gives a type mismatch
// (error 13). Nothing else is thrown.
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "contract/RuntimeError.h"
#include "service/Conversions.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

bool IsBlank(char16_t ch) { return ch == u' ' || ch == u'\t'; }
bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }

// The number the text stands for, when it is one and the reference can tell
// it exactly enough (up to 15 fraction digits); `known` false otherwise.
struct Reference {
  bool number = false;
  bool known = false;
  long double value = 0;
};

Reference Expect(const std::u16string& text) {
  Reference ref;
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::size_t pos = begin;
  bool negative = false;
  if (pos < end && (text[pos] == u'+' || text[pos] == u'-')) negative = text[pos++] == u'-';
  std::string intDigits, fracDigits;
  while (pos < end && IsDigit(text[pos])) intDigits += static_cast<char>(text[pos++]);
  if (pos < end && text[pos] == u'.') {
    ++pos;
    while (pos < end && IsDigit(text[pos])) fracDigits += static_cast<char>(text[pos++]);
  }
  ref.number = pos == end && !(intDigits.empty() && fracDigits.empty());
  if (!ref.number) return ref;
  // Leading zeros say nothing; past 12 digits the value overflows anyway.
  const std::size_t firstNonZero = intDigits.find_first_not_of('0');
  intDigits = firstNonZero == std::string::npos ? "0" : intDigits.substr(firstNonZero);
  const bool tooBig = intDigits.size() > 12;
  if (!tooBig && fracDigits.size() > 15) {
    // Digits beyond the 15th matter only for an exact half.
    const bool zeros = fracDigits.find_first_not_of('0', 15) == std::string::npos;
    if (!zeros) return ref;
    fracDigits.resize(15);
  }
  ref.known = true;
  if (tooBig) {
    ref.value = negative ? -1e13L : 1e13L;
    return ref;
  }
  const std::string number = intDigits + "." + (fracDigits.empty() ? "0" : fracDigits);
  ref.value = std::strtold(number.c_str(), nullptr);
  if (negative) ref.value = -ref.value;
  return ref;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qvfuzz::FuzzInput input(data, size);
  const std::u16string text = input.Rest();

  std::int32_t error = 0;
  std::int32_t value = 0;
  try {
    value = quillvane::TextToLong(text);
  } catch (const quillvane::RuntimeError& raised) {
    error = raised.Number();
  }

  const Reference ref = Expect(text);
  if (!ref.number) {
    if (error != quillvane::kErrTypeMismatch) std::abort();
    return 0;
  }
  if (error == quillvane::kErrTypeMismatch) std::abort();
  if (!ref.known) {
    if (error != 0 && error != quillvane::kErrOverflow) std::abort();
    return 0;
  }
  std::fesetround(FE_TONEAREST);
  const long double rounded = std::nearbyint(ref.value);
  if (rounded < -2147483648.0L || rounded > 2147483647.0L) {
    if (error != quillvane::kErrOverflow) std::abort();
  } else if (error != 0 || value != static_cast<std::int32_t>(rounded)) {
    std::abort();
  }
  return 0;
}
