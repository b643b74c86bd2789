// How the tool spells ids, characters and stored registry values in its
// output.
#pragma once

#include <cstdint>
#include <string>

#include "provision/RegistryPort.h"

namespace qvprovision {

// A 16-bit id as 0x04D2.
std::u16string HexId(std::uint16_t id);
// A UTF-16 unit as U+0009.
std::u16string HexUnit(char16_t unit);
// A value type's name: REG_SZ, REG_DWORD, ..., or "type 99".
std::u16string TypeName(std::uint32_t type);
// A stored value as one line of text: text types up to their first NUL (the
// items of a REG_MULTI_SZ joined by "\0"), a REG_DWORD as the signed decimal
// number the service object reads, anything else as hexadecimal bytes.
std::u16string DataText(const RegistryValue& value);

}  // namespace qvprovision
