// The device list's registry reads through advapi32's wide calls.
#pragma once

#include "tester/DeviceRegistry.h"

namespace brindlemark::win32 {

class Win32DeviceRegistry : public DeviceRegistry {
 public:
  std::int32_t OpenLocalMachineKey(const std::u16string& strSubKey, std::uint32_t lngAccess,
                                   RegistryKeyToken* objKey) override;
  std::int32_t EnumKey(RegistryKeyToken objKey, std::uint32_t lngIndex, std::uint32_t lngNameChars,
                       std::uint32_t lngClassChars, std::u16string* strName) override;
  void CloseKey(RegistryKeyToken objKey) override;
};

}  // namespace brindlemark::win32
