// The registry as the provisioning tool uses it: keys below
// HKEY_LOCAL_MACHINE, opened by path and then read, written or enumerated
// through a token. Results are the platform's status codes (0 success; the
// named ones below are those the commands tell apart). Every key a call
// opens must be given to CloseKey once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvprovision {

inline constexpr std::int32_t kStatusOk = 0;
inline constexpr std::int32_t kStatusNotFound = 2;
inline constexpr std::int32_t kStatusAccessDenied = 5;
inline constexpr std::int32_t kStatusNoMoreItems = 259;

// Value types as the registry numbers them.
inline constexpr std::uint32_t kTypeString = 1;        // REG_SZ
inline constexpr std::uint32_t kTypeExpandString = 2;  // REG_EXPAND_SZ
inline constexpr std::uint32_t kTypeDword = 4;         // REG_DWORD
inline constexpr std::uint32_t kTypeMultiString = 7;   // REG_MULTI_SZ

// The registry views of 64-bit Windows: a POS application reads the view of
// its own bitness. 32-bit Windows has the 32-bit view only.
enum class RegistryView { k32 = 32, k64 = 64 };

// An open key: pointer-sized, so a platform handle fits on every bitness.
using KeyToken = std::uintptr_t;

// One value exactly as stored: text types hold UTF-16LE bytes.
struct RegistryValue {
  std::u16string name;  // empty: the key's default value
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

class RegistryPort {
 public:
  virtual ~RegistryPort() = default;
  // The view the keys are opened in: the program's own bitness until
  // UseView chooses another.
  virtual RegistryView View() const = 0;
  // Opens the keys of every later call in `view`; false, and nothing
  // changed, when the machine has no such view.
  virtual bool UseView(RegistryView view) = 0;
  // Opens `path`, for reading, or for reading and changing values.
  virtual std::int32_t OpenKey(const std::u16string& path, bool forWriting, KeyToken* key) = 0;
  // Opens `path` for reading and writing, creating it (and missing parents)
  // when absent; `*created` tells whether this call made it.
  virtual std::int32_t CreateKey(const std::u16string& path, KeyToken* key, bool* created) = 0;
  virtual void CloseKey(KeyToken key) = 0;
  // The name of the subkey at `index`; kStatusNoMoreItems past the last.
  virtual std::int32_t EnumKey(KeyToken key, std::uint32_t index, std::u16string* name) = 0;
  // The value at `index`; kStatusNoMoreItems past the last.
  virtual std::int32_t EnumValue(KeyToken key, std::uint32_t index, RegistryValue* value) = 0;
  // The value named `name`; kStatusNotFound when there is none.
  virtual std::int32_t QueryValue(KeyToken key, const std::u16string& name,
                                  RegistryValue* value) = 0;
  virtual std::int32_t SetValue(KeyToken key, const RegistryValue& value) = 0;
  virtual std::int32_t DeleteValue(KeyToken key, const std::u16string& name) = 0;
  // Deletes the key at `path` with everything below it.
  virtual std::int32_t DeleteTree(const std::u16string& path) = 0;
};

}  // namespace qvprovision
