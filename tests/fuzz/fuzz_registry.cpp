// The registry reader over random typed values and sizes on the simulated
// registry, against what it must give: a REG_SZ's text up to its first NUL
// (error 6 when that NUL lies beyond position 32767), a REG_DWORD's signed
// value, empty text for anything else, for a missing key or value and for a
// name holding a NUL (then without calling the platform). Every key it opens
// is closed; no other error is raised.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "contract/RuntimeError.h"
#include "service/PlatformTypes.h"
#include "service/basRegistry.h"
#include "sim/SimPlatform.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

const std::string kKey = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\Fuzz";

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qvfuzz::FuzzInput input(data, size);
  static const std::uint32_t kTypes[] = {quillvane::kRegSz,       quillvane::kRegDword,
                                         quillvane::kRegExpandSz, quillvane::kRegMultiSz,
                                         quillvane::kRegBinary,   quillvane::kRegNone};
  const std::uint8_t choice = input.Byte();
  const std::uint32_t type = choice < 0xF0 ? kTypes[choice % 6] : input.Word();

  // The value's bytes: as given, or long enough to put its first NUL on
  // either side of position 32767.
  std::vector<std::uint8_t> bytes;
  const std::uint8_t shape = input.Byte();
  if (shape % 8 == 0) {
    const std::size_t nul = 32760 + input.Byte() % 16;
    bytes.assign(nul + 1 + input.Byte(), 'x');
    bytes[nul] = 0;
  } else {
    for (std::size_t n = input.Byte() % 24; n > 0 && !input.Empty(); --n)
      bytes.push_back(input.Byte());
  }
  const std::uint8_t naming = input.Byte();
  const bool keyExists = naming % 5 != 0;
  const bool nulInKey = naming % 7 == 1;
  const bool nulInName = naming % 11 == 2;

  sim::SimPlatform sim;
  if (keyExists) sim.Registry().SetValue(kKey, "Value", type, bytes);
  std::u16string keyPath = Wide(kKey);
  std::u16string name = u"Value";
  if (nulInKey) keyPath += std::u16string(1, u'\0') + u"x";
  if (nulInName) name += std::u16string(1, u'\0') + u"x";

  quillvane::RegVariant got;
  std::int32_t error = 0;
  try {
    got = quillvane::basRegistry::GetRegValue(sim, quillvane::kHkeyLocalMachine, keyPath, name);
  } catch (const quillvane::RuntimeError& raised) {
    error = raised.Number();
  }

  // What it must give.
  bool wantLong = false;
  std::int32_t wantValue = 0;
  std::u16string wantText;
  std::int32_t wantError = 0;
  if (keyExists && !nulInKey && !nulInName) {
    if (type == quillvane::kRegSz) {
      std::size_t end = 0;
      while (end < bytes.size() && bytes[end] != 0) ++end;
      if (end < bytes.size() && end + 1 > 32767) {
        wantError = quillvane::kErrOverflow;
      } else {
        for (std::size_t i = 0; i < end; ++i) wantText += static_cast<char16_t>(bytes[i]);
      }
    } else if (type == quillvane::kRegDword && bytes.size() <= 4) {
      std::uint32_t word = 0;
      for (std::size_t i = 0; i < bytes.size(); ++i)
        word |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
      wantLong = true;
      wantValue = static_cast<std::int32_t>(word);
    }
  }
  if (error != wantError) std::abort();
  if (error == 0 && (got.blnIsLong != wantLong || got.lngValue != wantValue ||
                     (!wantLong && got.strValue != wantText))) {
    std::abort();
  }
  if ((nulInKey || nulInName) && sim.CountCalls("RegOpenKeyA") != 0) std::abort();
  if (!sim.LeakedHandles().empty() || !sim.Violations().empty()) std::abort();
  const std::size_t opens = sim.CountCalls("RegOpenKeyA");
  const std::size_t closes = sim.CountCalls("RegCloseKey");
  if (closes != (keyExists && opens > 0 ? opens : 0)) std::abort();
  return 0;
}
