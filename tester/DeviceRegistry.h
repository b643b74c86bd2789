// The registry as the device list reads it: open a key under
// HKEY_LOCAL_MACHINE, enumerate its subkeys with given buffer sizes, close it.
// Results are the platform's status codes (0 success, 234 a name that does
// not fit, 259 no more subkeys).
#pragma once

#include <cstdint>
#include <string>

namespace brindlemark {

using RegistryKeyToken = std::uintptr_t;

class DeviceRegistry {
 public:
  virtual ~DeviceRegistry() = default;
  // Opens `strSubKey` under HKEY_LOCAL_MACHINE with `lngAccess`; on success
  // `*objKey` is a key that must be given to CloseKey once.
  virtual std::int32_t OpenLocalMachineKey(const std::u16string& strSubKey, std::uint32_t lngAccess,
                                           RegistryKeyToken* objKey) = 0;
  // The subkey at `lngIndex`, with a name buffer of `lngNameChars` and a class
  // buffer of `lngClassChars` characters, terminators included.
  virtual std::int32_t EnumKey(RegistryKeyToken objKey, std::uint32_t lngIndex,
                               std::uint32_t lngNameChars, std::uint32_t lngClassChars,
                               std::u16string* strName) = 0;
  virtual void CloseKey(RegistryKeyToken objKey) = 0;
};

}  // namespace brindlemark
