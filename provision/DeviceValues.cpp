#include "provision/DeviceValues.h"

#include <cmath>
#include <cstdio>

#include "contract/RuntimeError.h"
#include "provision/Text.h"
#include "service/Conversions.h"

namespace qvprovision {
namespace {

// The tester lists device names with a buffer of 255 characters, its
// terminator included: a longer name ends its list, hiding the devices after it.
constexpr std::size_t kLongestNewName = 254;
// The registry's own limit for a key name.
constexpr std::size_t kLongestKeyName = 255;

bool IsControl(char16_t ch) { return ch < 0x20 || (ch >= 0x7F && ch <= 0x9F); }
bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }
bool IsLetter(char16_t ch) { return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z'); }
bool IsRadixDigit(char16_t ch, int radix) {
  if (radix == 8) return ch >= u'0' && ch <= u'7';
  return IsDigit(ch) || (ch >= u'a' && ch <= u'f') || (ch >= u'A' && ch <= u'F');
}

// The radix of a "&H" or "&O" prefix, or 0.
int RadixPrefix(const std::u16string& compact) {
  if (compact.size() < 2 || compact[0] != u'&') return 0;
  if (compact[1] == u'H' || compact[1] == u'h') return 16;
  if (compact[1] == u'O' || compact[1] == u'o') return 8;
  return 0;
}

// The text without the blanks the numeric-prefix rule ignores.
std::u16string Compact(const std::u16string& text) {
  std::u16string compact;
  for (char16_t ch : text) {
    if (ch != u' ' && ch != u'\t' && ch != u'\n') compact.push_back(ch);
  }
  return compact;
}

// NumericPrefixValue gives 0 both for "0" and for text without a number;
// this tells them apart by the first characters the rule would read.
bool HoldsNumber(const std::u16string& compact) {
  if (int radix = RadixPrefix(compact))
    return compact.size() > 2 && IsRadixDigit(compact[2], radix);
  std::size_t pos = 0;
  if (pos < compact.size() && (compact[pos] == u'+' || compact[pos] == u'-')) ++pos;
  if (pos < compact.size() && compact[pos] == u'.') ++pos;
  return pos < compact.size() && IsDigit(compact[pos]);
}

// Only an optional sign and decimal digits: text that reads as it looks.
bool IsPlainInteger(const std::u16string& text) {
  std::size_t pos = (!text.empty() && (text[0] == u'+' || text[0] == u'-')) ? 1 : 0;
  if (pos == text.size()) return false;
  for (; pos < text.size(); ++pos) {
    if (!IsDigit(text[pos])) return false;
  }
  return true;
}

std::u16string NumberText(double value) {
  if (value == std::floor(value) && std::fabs(value) < 2147483648.0) {
    return quillvane::LongToText(static_cast<std::int32_t>(value));
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return quillvane::AsciiToText(buffer);
}

void CheckProductId(const std::u16string& given, std::vector<Finding>* findings) {
  const std::u16string text = Trimmed(given);
  const std::u16string quoted = u"PID \"" + text + u"\"";
  const std::u16string compact = Compact(text);
  if (!HoldsNumber(compact)) {
    findings->push_back({true, quoted + u" holds no number: give the drawer's USB product id in "
                                        u"decimal, e.g. 1234 for 0x04D2 (qvprovision hid lists "
                                        u"the drawers present)"});
    return;
  }
  double value = 0;
  try {
    value = quillvane::NumericPrefixValue(text);
  } catch (const quillvane::RuntimeError&) {
    findings->push_back(
        {true, quoted + u" is too large: the service object fails to open a device with it"});
    return;
  }
  const bool whole = value == std::floor(value);
  if (whole && value >= 32768 && value <= 65535) {
    const auto id = static_cast<std::uint16_t>(value);
    findings->push_back({false, quoted +
                                    u" can never match: product ids are compared as signed "
                                    u"16-bit numbers, so the drawer with product id " +
                                    HexId(id) + u" needs PID " +
                                    quillvane::LongToText(static_cast<std::int16_t>(id))});
  } else if (!whole || value < -32768 || value > 32767) {
    findings->push_back({false, quoted + u" reads as " + NumberText(value) +
                                    u", which can never match a product id: ids are whole "
                                    u"numbers from -32768 to 32767"});
  } else if (!RadixPrefix(compact) && !IsPlainInteger(text)) {
    findings->push_back({false, quoted + u" reads as the number " + NumberText(value) +
                                    u": the service object reads only its leading number"});
  }
}

void CheckVersion(const std::u16string& given, std::vector<Finding>* findings) {
  const std::u16string text = Trimmed(given);
  bool whole = text.find(u'.') == std::u16string::npos;
  try {
    quillvane::TextToLong(text);
  } catch (const quillvane::RuntimeError&) {
    whole = false;
  }
  if (!whole) {
    findings->push_back({true, u"Version \"" + text +
                                   u"\" is not a whole 32-bit number: give the service object's "
                                   u"version as one number, e.g. 1002001 for 1.2.1"});
  }
}

// A whole number from 0 to `highest`, written in plain digits.
std::optional<std::uint32_t> SmallNumber(const std::u16string& given, std::uint32_t highest) {
  const std::u16string text = Trimmed(given);
  if (text.empty() || text.size() > 2) return std::nullopt;
  std::uint32_t number = 0;
  for (char16_t ch : text) {
    if (!IsDigit(ch)) return std::nullopt;
    number = number * 10 + static_cast<std::uint32_t>(ch - u'0');
  }
  if (number > highest) return std::nullopt;
  return number;
}

void CheckProgId(const std::u16string& progId, std::vector<Finding>* findings) {
  bool valid = !progId.empty() && IsLetter(progId[0]);
  for (char16_t ch : progId) {
    valid = valid && (IsLetter(ch) || IsDigit(ch) || ch == u'.' || ch == u'_');
  }
  if (!valid) {
    findings->push_back({true, u"service ProgID \"" + progId +
                                   u"\" is not a ProgID: letters, digits, periods and underscores, "
                                   u"starting with a letter"});
  }
}

}  // namespace

bool DeviceSettings::Empty() const {
  return !productId && !progId && !serviceDescription && !description && !deviceName && !version &&
         !traceLevel && !reconnect;
}

std::optional<std::u16string> ExistingNameProblem(const std::u16string& name) {
  if (name.empty()) return u"a device name cannot be empty";
  if (name.find(u'\\') != std::u16string::npos) {
    return u"device name \"" + name +
           u"\" holds a backslash: a device is one key, and a backslash would name a key below "
           u"another";
  }
  if (name.size() > kLongestKeyName) {
    return u"device name is " + quillvane::LongToText(static_cast<std::int32_t>(name.size())) +
           u" characters long; a registry key name has at most 255";
  }
  return std::nullopt;
}

std::optional<std::u16string> NewNameProblem(const std::u16string& name) {
  if (auto problem = ExistingNameProblem(name)) return problem;
  if (name.size() > kLongestNewName) {
    return u"device name is 255 characters long; at most 254 are allowed, as Brindlemark's "
           u"device list ends at a longer name";
  }
  for (char16_t ch : name) {
    if (IsControl(ch)) {
      return u"device name holds the control character " + HexUnit(ch) +
             u"; use letters, digits, blanks and punctuation";
    }
  }
  return std::nullopt;
}

std::vector<Finding> CheckSettings(const DeviceSettings& settings) {
  std::vector<Finding> findings;
  if (settings.productId) CheckProductId(*settings.productId, &findings);
  if (settings.progId) CheckProgId(*settings.progId, &findings);
  if (settings.version) CheckVersion(*settings.version, &findings);
  if (settings.traceLevel && !SmallNumber(*settings.traceLevel, 4)) {
    findings.push_back({true, u"TraceLevel \"" + Trimmed(*settings.traceLevel) +
                                  u"\" is not one of 0 (off), 1 (errors), 2 (calls), 3 (events) "
                                  u"and 4 (reports)"});
  }
  if (settings.reconnect && !SmallNumber(*settings.reconnect, 1)) {
    findings.push_back({true, u"Reconnect \"" + Trimmed(*settings.reconnect) +
                                  u"\" is neither 0 (off) nor 1 (find the drawer again)"});
  }
  return findings;
}

std::vector<RegistryValue> ValuesToWrite(const DeviceSettings& settings,
                                         const std::u16string* newDeviceName) {
  std::vector<RegistryValue> values;
  auto add = [&](const char16_t* name, const std::optional<std::u16string>& given,
                 const std::u16string& fallback) {
    if (given) {
      values.push_back(TextValue(name, *given));
    } else if (newDeviceName) {
      values.push_back(TextValue(name, fallback));
    }
  };
  // The control object reads the default value first, to find the service object.
  add(u"", settings.progId, kDefaultProgId);
  add(u"PID", settings.productId ? std::optional(Trimmed(*settings.productId)) : std::nullopt, u"");
  add(u"Service", settings.serviceDescription, kDefaultServiceDescription);
  add(u"Description", settings.description, kDefaultDescription);
  add(u"Name", settings.deviceName, newDeviceName ? *newDeviceName : u"");
  add(u"Version", settings.version ? std::optional(Trimmed(*settings.version)) : std::nullopt,
      kDefaultVersion);
  // Checked before: both hold a small number.
  if (settings.traceLevel) {
    values.push_back(DwordValue(u"TraceLevel", SmallNumber(*settings.traceLevel, 4).value_or(1)));
  }
  if (settings.reconnect) {
    values.push_back(DwordValue(u"Reconnect", SmallNumber(*settings.reconnect, 1).value_or(0)));
  }
  return values;
}

std::u16string Trimmed(const std::u16string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && (text[begin] == u' ' || text[begin] == u'\t')) ++begin;
  while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t')) --end;
  return text.substr(begin, end - begin);
}

RegistryValue DwordValue(const std::u16string& name, std::uint32_t number) {
  RegistryValue value{name, kTypeDword, {}};
  for (int shift = 0; shift < 32; shift += 8) {
    value.data.push_back(static_cast<std::uint8_t>(number >> shift));
  }
  return value;
}

RegistryValue TextValue(const std::u16string& name, const std::u16string& text) {
  RegistryValue value{name, kTypeString, {}};
  for (char16_t unit : text) {
    value.data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    value.data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  value.data.push_back(0);
  value.data.push_back(0);
  return value;
}

}  // namespace qvprovision
