#include "provision/Text.h"

#include <cstdio>
#include <vector>

#include "service/Conversions.h"

namespace qvprovision {
namespace {

std::u16string Printed(const char* format, unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, value);
  return quillvane::AsciiToText(buffer);
}

std::vector<std::u16string> TextItems(const std::vector<std::uint8_t>& data) {
  std::vector<std::u16string> items(1);
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const auto unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) {
      items.emplace_back();
    } else {
      items.back().push_back(unit);
    }
  }
  return items;
}

}  // namespace

std::u16string HexId(std::uint16_t id) { return Printed("0x%04X", id); }

std::u16string HexUnit(char16_t unit) { return Printed("U+%04X", unit); }

std::u16string TypeName(std::uint32_t type) {
  static const char* const kNames[] = {"REG_NONE",
                                       "REG_SZ",
                                       "REG_EXPAND_SZ",
                                       "REG_BINARY",
                                       "REG_DWORD",
                                       "REG_DWORD_BIG_ENDIAN",
                                       "REG_LINK",
                                       "REG_MULTI_SZ",
                                       "REG_RESOURCE_LIST",
                                       "REG_FULL_RESOURCE_DESCRIPTOR",
                                       "REG_RESOURCE_REQUIREMENTS_LIST",
                                       "REG_QWORD"};
  if (type < sizeof kNames / sizeof kNames[0]) return quillvane::AsciiToText(kNames[type]);
  return Printed("type %u", type);
}

std::u16string DataText(const RegistryValue& value) {
  if (value.type == kTypeString || value.type == kTypeExpandString) {
    return TextItems(value.data).front();
  }
  if (value.type == kTypeMultiString) {
    std::vector<std::u16string> items = TextItems(value.data);
    // The list ends at its first empty item (the closing double NUL).
    std::u16string text;
    for (std::size_t i = 0; i < items.size() && !items[i].empty(); ++i) {
      if (i) text += u"\\0";
      text += items[i];
    }
    return text;
  }
  if (value.type == kTypeDword && value.data.size() == 4) {
    const std::uint32_t bits = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                               (static_cast<std::uint32_t>(value.data[3]) << 24);
    return quillvane::LongToText(static_cast<std::int32_t>(bits));
  }
  std::u16string text;
  for (std::uint8_t byte : value.data) {
    if (!text.empty()) text += u' ';
    text += Printed("%02X", byte);
  }
  return text;
}

}  // namespace qvprovision
