#include "service/basTrace.h"

#include <cstdio>

namespace quillvane::basTrace {
namespace {

void AppendUtf8(std::string& out, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsControl(char16_t unit) { return unit < 0x20 || unit == 0x7F; }

char16_t FoldAscii(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

void AppendDigits(std::u16string& out, int value, int digits) {
  char buffer[12];
  std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
  for (const char* p = buffer; *p; ++p) out += static_cast<char16_t>(*p);
}

}  // namespace

std::string Utf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) +
                          (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::string LineText(const std::u16string& text) {
  std::u16string clean = text;
  for (char16_t& unit : clean) {
    if (IsControl(unit)) unit = u'?';
  }
  return Utf8(clean);
}

std::u16string SafeFileName(const std::u16string& strDeviceName) {
  static const std::u16string kForbidden = u"<>:\"/\\|?*";
  std::u16string strSafe = strDeviceName.substr(0, kMaxSafeNameLength);
  // Cut no surrogate pair in two.
  if (strSafe.size() < strDeviceName.size() && !strSafe.empty() &&
      IsHighSurrogate(strSafe.back())) {
    strSafe.pop_back();
  }
  for (char16_t& unit : strSafe) {
    if (IsControl(unit) || kForbidden.find(unit) != std::u16string::npos) unit = u'_';
  }
  // Windows drops trailing blanks and dots from a name; keep them visible.
  for (std::size_t i = strSafe.size(); i-- > 0 && (strSafe[i] == u' ' || strSafe[i] == u'.');) {
    strSafe[i] = u'_';
  }
  return strSafe.empty() ? u"_" : strSafe;
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    if (i) text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

// The civil-date algorithms of H. Hinnant ("chrono-compatible low-level date
// algorithms"), for any year.
std::int64_t DayNumber(int lngYear, int lngMonth, int lngDay) {
  const std::int64_t y = static_cast<std::int64_t>(lngYear) - (lngMonth <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (lngMonth + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + lngDay - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void DateOfDay(std::int64_t lngDayNumber, int& lngYear, int& lngMonth, int& lngDay) {
  const std::int64_t z = lngDayNumber + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  lngDay = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  lngMonth = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  lngYear = static_cast<int>(yoe + era * 400 + (lngMonth <= 2 ? 1 : 0));
}

std::string Timestamp(const SYSTEMTIME& time) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u.%03u",
                static_cast<unsigned>(time.wYear), static_cast<unsigned>(time.wMonth),
                static_cast<unsigned>(time.wDay), static_cast<unsigned>(time.wHour),
                static_cast<unsigned>(time.wMinute), static_cast<unsigned>(time.wSecond),
                static_cast<unsigned>(time.wMilliseconds));
  return buffer;
}

std::u16string LogFileName(const std::u16string& strSafeName, const SYSTEMTIME& day) {
  std::u16string strName = strSafeName + u"-";
  AppendDigits(strName, day.wYear, 4);
  AppendDigits(strName, day.wMonth, 2);
  AppendDigits(strName, day.wDay, 2);
  return strName + u".log";
}

std::optional<std::int64_t> LogFileDay(const std::u16string& strFileName,
                                       const std::u16string& strSafeName) {
  static const std::u16string kSuffix = u".log";
  const std::size_t lngPrefix = strSafeName.size() + 1;
  if (strFileName.size() != lngPrefix + 8 + kSuffix.size()) return std::nullopt;
  for (std::size_t i = 0; i < strSafeName.size(); ++i) {
    if (FoldAscii(strFileName[i]) != FoldAscii(strSafeName[i])) return std::nullopt;
  }
  if (strFileName[strSafeName.size()] != u'-') return std::nullopt;
  for (std::size_t i = 0; i < kSuffix.size(); ++i) {
    if (FoldAscii(strFileName[lngPrefix + 8 + i]) != kSuffix[i]) return std::nullopt;
  }
  int lngDate = 0;
  for (std::size_t i = lngPrefix; i < lngPrefix + 8; ++i) {
    if (strFileName[i] < u'0' || strFileName[i] > u'9') return std::nullopt;
    lngDate = lngDate * 10 + (strFileName[i] - u'0');
  }
  const int lngYear = lngDate / 10000;
  const int lngMonth = lngDate / 100 % 100;
  const int lngDay = lngDate % 100;
  const std::int64_t lngDayNumber = DayNumber(lngYear, lngMonth, lngDay);
  // A date that does not exist (month 13, February 30) names no day.
  int lngCheckYear = 0, lngCheckMonth = 0, lngCheckDay = 0;
  DateOfDay(lngDayNumber, lngCheckYear, lngCheckMonth, lngCheckDay);
  if (lngMonth < 1 || lngMonth > 12 || lngCheckYear != lngYear || lngCheckMonth != lngMonth ||
      lngCheckDay != lngDay) {
    return std::nullopt;
  }
  return lngDayNumber;
}

}  // namespace quillvane::basTrace
