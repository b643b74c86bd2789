#include "tester/win32/Win32DeviceRegistry.h"

#include <vector>

#include "win32kit/Text.h"
#include "win32kit/WinHeaders.h"

namespace brindlemark::win32 {

using win32kit::FromWide;
using win32kit::ToWide;
namespace {

HKEY KeyOf(RegistryKeyToken objKey) { return reinterpret_cast<HKEY>(objKey); }

}  // namespace

std::int32_t Win32DeviceRegistry::OpenLocalMachineKey(const std::u16string& strSubKey,
                                                      std::uint32_t lngAccess,
                                                      RegistryKeyToken* objKey) {
  HKEY hKey = nullptr;
  const LONG lngStatus =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, ToWide(strSubKey).c_str(), 0, lngAccess, &hKey);
  if (lngStatus == ERROR_SUCCESS) *objKey = reinterpret_cast<RegistryKeyToken>(hKey);
  return lngStatus;
}

std::int32_t Win32DeviceRegistry::EnumKey(RegistryKeyToken objKey, std::uint32_t lngIndex,
                                          std::uint32_t lngNameChars, std::uint32_t lngClassChars,
                                          std::u16string* strName) {
  std::vector<wchar_t> strNameBuffer(lngNameChars + 1, L'\0');
  std::vector<wchar_t> strClassBuffer(lngClassChars + 1, L'\0');
  DWORD lngNameLength = lngNameChars;
  DWORD lngClassLength = lngClassChars;
  FILETIME objWritten;
  const LONG lngStatus =
      RegEnumKeyExW(KeyOf(objKey), lngIndex, strNameBuffer.data(), &lngNameLength, nullptr,
                    strClassBuffer.data(), &lngClassLength, &objWritten);
  if (lngStatus == ERROR_SUCCESS) *strName = FromWide(strNameBuffer.data(), lngNameLength);
  return lngStatus;
}

void Win32DeviceRegistry::CloseKey(RegistryKeyToken objKey) { RegCloseKey(KeyOf(objKey)); }

}  // namespace brindlemark::win32
