// The provisioning tool's registry: keys below HKEY_LOCAL_MACHINE through
// advapi32's wide calls, in the registry view of the program's own bitness
// unless UseView chooses the other one.
#pragma once

#include <map>

#include "provision/RegistryPort.h"
#include "win32kit/Owners.h"
#include "win32kit/RegistryView.h"

namespace qvprovision::win32 {

class Win32Registry : public RegistryPort {
 public:
  RegistryView View() const override;
  bool UseView(RegistryView view) override;
  std::int32_t OpenKey(const std::u16string& path, bool forWriting, KeyToken* key) override;
  std::int32_t CreateKey(const std::u16string& path, KeyToken* key, bool* created) override;
  void CloseKey(KeyToken key) override;
  std::int32_t EnumKey(KeyToken key, std::uint32_t index, std::u16string* name) override;
  std::int32_t EnumValue(KeyToken key, std::uint32_t index, RegistryValue* value) override;
  std::int32_t QueryValue(KeyToken key, const std::u16string& name, RegistryValue* value) override;
  std::int32_t SetValue(KeyToken key, const RegistryValue& value) override;
  std::int32_t DeleteValue(KeyToken key, const std::u16string& name) override;
  std::int32_t DeleteTree(const std::u16string& path) override;

 private:
  KeyToken Keep(win32kit::UniqueHkey key);
  HKEY KeyOf(KeyToken key) const;

  // The keys handed out, by token; a key not closed is closed with this object.
  std::map<KeyToken, win32kit::UniqueHkey> mKeys;
  KeyToken mLastToken = 0;
  win32kit::RegistryBitness mView = win32kit::kOwnBitness;
};

}  // namespace qvprovision::win32
