// The values of one logical cash-drawer device as the tool writes them, the
// defaults of a new device, and the checks every input passes before
// anything is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "provision/RegistryPort.h"
#include "quillvane_version.h"

namespace qvprovision {

// Below HKEY_LOCAL_MACHINE; each subkey is one logical device.
inline constexpr char16_t kCategoryPath[] = u"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";

inline constexpr char16_t kDefaultProgId[] = u"quillvane.CashDrawer";
inline constexpr char16_t kDefaultServiceDescription[] = u"quillvane cash drawer service object";
inline constexpr char16_t kDefaultDescription[] = u"USB cash drawer";
// quillvane.dll's own version in the standard's form major * 1000000 +
// minor * 1000 + build, from the version its resource carries.
inline constexpr char16_t kDefaultVersion[] = u"" QV_VERSION_OPOS_TEXT;

// The USB vendor id the service object looks for.
inline constexpr std::uint16_t kDrawerVendorId = 0x06E5;

// What the command line gave for one device; an empty optional was not given.
struct DeviceSettings {
  std::optional<std::u16string> productId;           // "PID"
  std::optional<std::u16string> progId;              // the key's default value
  std::optional<std::u16string> serviceDescription;  // "Service"
  std::optional<std::u16string> description;         // "Description"
  std::optional<std::u16string> deviceName;          // "Name"
  std::optional<std::u16string> version;             // "Version"
  std::optional<std::u16string> traceLevel;          // "TraceLevel", 0 to 4
  std::optional<std::u16string> reconnect;           // "Reconnect", 0 or 1

  bool Empty() const;
};

struct Finding {
  bool isError = false;  // false: a warning; the value is still written
  std::u16string text;
};

// Problems of a name for a device about to be made: empty, a backslash,
// control characters, or too long for the tester's device list.
std::optional<std::u16string> NewNameProblem(const std::u16string& name);
// Problems of a name that must address exactly one existing device key:
// empty, a backslash, or longer than any key name can be.
std::optional<std::u16string> ExistingNameProblem(const std::u16string& name);

// The checks of every value given; errors stop the command, warnings do not.
std::vector<Finding> CheckSettings(const DeviceSettings& settings);

// The values to write, in order: those given, and for a new device the
// defaults of the others ("Name" defaults to the device's name), as REG_SZ
// text; "TraceLevel" and "Reconnect" as REG_DWORD numbers, only when given
// (absent, the service object takes its defaults).
std::vector<RegistryValue> ValuesToWrite(const DeviceSettings& settings,
                                         const std::u16string* newDeviceName);

// Text with the blanks and tabs at both ends removed.
std::u16string Trimmed(const std::u16string& text);

// REG_SZ data: the text's UTF-16LE units and a terminating NUL.
RegistryValue TextValue(const std::u16string& name, const std::u16string& text);
// REG_DWORD data: the number's 4 bytes, little-endian.
RegistryValue DwordValue(const std::u16string& name, std::uint32_t number);

}  // namespace qvprovision
