// The numeric-prefix rule: any text gives a finite number or overflow (error
// 6), nothing else; blanks, tabs and line feeds anywhere change nothing; a
// radix prefix gives an integer of 32 bits.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "contract/RuntimeError.h"
#include "service/Conversions.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

struct Outcome {
  double value = 0;
  std::int32_t error = 0;
};

Outcome Parse(const std::u16string& text) {
  Outcome outcome;
  try {
    outcome.value = quillvane::NumericPrefixValue(text);
  } catch (const quillvane::RuntimeError& error) {
    outcome.error = error.Number();
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qvfuzz::FuzzInput input(data, size);
  const std::uint8_t every = static_cast<std::uint8_t>(1 + input.Byte() % 4);
  const std::u16string text = input.Rest();

  const Outcome plain = Parse(text);
  if (plain.error != 0 && plain.error != quillvane::kErrOverflow) std::abort();
  if (plain.error == 0 && !std::isfinite(plain.value)) std::abort();

  std::u16string compact;
  for (char16_t ch : text) {
    if (ch != u' ' && ch != u'\t' && ch != u'\n') compact += ch;
  }
  if (compact.size() >= 2 && compact[0] == u'&' &&
      (compact[1] == u'H' || compact[1] == u'h' || compact[1] == u'O' || compact[1] == u'o') &&
      plain.error == 0 &&
      (plain.value != std::trunc(plain.value) || plain.value < -2147483648.0 ||
       plain.value > 2147483647.0)) {
    std::abort();
  }

  // Blanks spread through the text, and none at all, read the same.
  std::u16string spread;
  for (std::size_t i = 0; i < text.size(); ++i) {
    spread += text[i];
    if (i % every == 0) spread += u" \t\n"[i % 3];
  }
  for (const std::u16string& other : {spread, compact}) {
    const Outcome again = Parse(other);
    if (again.error != plain.error || (plain.error == 0 && again.value != plain.value)) {
      std::abort();
    }
  }
  return 0;
}
