#include "provision/win32/Win32Registry.h"

#include <algorithm>
#include <vector>

#include "win32kit/Text.h"

namespace qvprovision::win32 {
namespace {

using win32kit::FromWide;
using win32kit::RegistryBitness;
using win32kit::ToWide;
using win32kit::UniqueHkey;

// Longest key name the registry allows, and its terminator.
constexpr DWORD kKeyNameChars = 256;
// A value that keeps growing between the size query and the read is given
// up on after this many tries.
constexpr int kReadAttempts = 4;

}  // namespace

RegistryView Win32Registry::View() const {
  return mView == RegistryBitness::k64 ? RegistryView::k64 : RegistryView::k32;
}

bool Win32Registry::UseView(RegistryView view) {
  const RegistryBitness bits =
      view == RegistryView::k64 ? RegistryBitness::k64 : RegistryBitness::k32;
  if (bits != win32kit::kOwnBitness && !win32kit::HasOtherView()) return false;
  mView = bits;
  return true;
}

KeyToken Win32Registry::Keep(UniqueHkey key) {
  mKeys.emplace(++mLastToken, std::move(key));
  return mLastToken;
}

HKEY Win32Registry::KeyOf(KeyToken key) const {
  auto found = mKeys.find(key);
  return found == mKeys.end() ? nullptr : found->second.Get();
}

std::int32_t Win32Registry::OpenKey(const std::u16string& path, bool forWriting, KeyToken* key) {
  UniqueHkey opened;
  const REGSAM access =
      (forWriting ? KEY_READ | KEY_SET_VALUE : KEY_READ) | win32kit::ViewFlag(mView);
  const LONG status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, ToWide(path).c_str(), 0, access, opened.Put());
  if (status == ERROR_SUCCESS) *key = Keep(std::move(opened));
  return status;
}

std::int32_t Win32Registry::CreateKey(const std::u16string& path, KeyToken* key, bool* created) {
  UniqueHkey opened;
  DWORD disposition = 0;
  const LONG status = RegCreateKeyExW(
      HKEY_LOCAL_MACHINE, ToWide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
      KEY_READ | KEY_SET_VALUE | win32kit::ViewFlag(mView), nullptr, opened.Put(), &disposition);
  if (status != ERROR_SUCCESS) return status;
  *created = disposition == REG_CREATED_NEW_KEY;
  *key = Keep(std::move(opened));
  return status;
}

void Win32Registry::CloseKey(KeyToken key) { mKeys.erase(key); }

std::int32_t Win32Registry::EnumKey(KeyToken key, std::uint32_t index, std::u16string* name) {
  wchar_t buffer[kKeyNameChars];
  DWORD length = kKeyNameChars;
  const LONG status =
      RegEnumKeyExW(KeyOf(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS) *name = FromWide(buffer, length);
  return status;
}

std::int32_t Win32Registry::EnumValue(KeyToken key, std::uint32_t index, RegistryValue* value) {
  DWORD nameChars = 0;
  DWORD dataBytes = 0;
  LONG status = RegQueryInfoKeyW(KeyOf(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, &nameChars, &dataBytes, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    std::vector<wchar_t> name(nameChars + 1);
    std::vector<std::uint8_t> data(std::max<DWORD>(dataBytes, 1));
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataLength = static_cast<DWORD>(data.size());
    DWORD type = 0;
    status = RegEnumValueW(KeyOf(key), index, name.data(), &nameLength, nullptr, &type, data.data(),
                           &dataLength);
    if (status == ERROR_MORE_DATA) {
      // The key changed since its sizes were asked for: try with more room.
      nameChars = std::max<DWORD>(nameChars * 2, 256);
      dataBytes = std::max(dataLength, dataBytes * 2);
      continue;
    }
    if (status == ERROR_SUCCESS) {
      data.resize(dataLength);
      *value = {FromWide(name.data(), nameLength), type, std::move(data)};
    }
    return status;
  }
  return status;
}

std::int32_t Win32Registry::QueryValue(KeyToken key, const std::u16string& name,
                                       RegistryValue* value) {
  const std::wstring wideName = ToWide(name);
  DWORD size = 0;
  LONG status = RegQueryValueExW(KeyOf(key), wideName.c_str(), nullptr, nullptr, nullptr, &size);
  for (int attempt = 0; status == ERROR_SUCCESS && attempt < kReadAttempts; ++attempt) {
    std::vector<std::uint8_t> data(std::max<DWORD>(size, 1));
    DWORD type = 0;
    size = static_cast<DWORD>(data.size());
    status = RegQueryValueExW(KeyOf(key), wideName.c_str(), nullptr, &type, data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      status = ERROR_SUCCESS;
      continue;
    }
    if (status == ERROR_SUCCESS) {
      data.resize(size);
      *value = {name, type, std::move(data)};
    }
    return status;
  }
  return status == ERROR_SUCCESS ? ERROR_MORE_DATA : status;
}

std::int32_t Win32Registry::SetValue(KeyToken key, const RegistryValue& value) {
  return RegSetValueExW(KeyOf(key), ToWide(value.name).c_str(), 0, value.type, value.data.data(),
                        static_cast<DWORD>(value.data.size()));
}

std::int32_t Win32Registry::DeleteValue(KeyToken key, const std::u16string& name) {
  return RegDeleteValueW(KeyOf(key), ToWide(name).c_str());
}

std::int32_t Win32Registry::DeleteTree(const std::u16string& path) {
  // RegDeleteTreeW takes no view: the key is opened in the view, emptied
  // through its handle, and then deleted itself in the view.
  const std::wstring widePath = ToWide(path);
  const REGSAM view = win32kit::ViewFlag(mView);
  UniqueHkey key;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0,
                              DELETE | KEY_READ | KEY_SET_VALUE | view, key.Put());
  if (status != ERROR_SUCCESS) return status;
  status = RegDeleteTreeW(key.Get(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  return RegDeleteKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), view, 0);
}

}  // namespace qvprovision::win32
