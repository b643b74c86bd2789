// Text and date helpers of the trace: what a line and a log file name are
// made of. Pure functions, no platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "service/PlatformTypes.h"

namespace quillvane::basTrace {

// UTF-8 of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string Utf8(const std::u16string& text);

// Text as it may stand inside a line: UTF-8, with every control character
// (tab, CR and LF included) written as '?', so a line stays one line with
// the fields a script splits at tabs.
std::string LineText(const std::u16string& text);

// A device name made safe for a file name: control characters and
// < > : " / \ | ? * become '_', as do trailing blanks and dots; the empty
// name is "_"; at most kMaxSafeNameLength UTF-16 units (a surrogate pair is
// never cut in two).
constexpr std::size_t kMaxSafeNameLength = 120;
std::u16string SafeFileName(const std::u16string& strDeviceName);

// "00 FF 00": each byte as two upper-case hex digits, separated by blanks.
std::string HexBytes(const std::uint8_t* bytes, std::size_t count);

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
std::int64_t DayNumber(int lngYear, int lngMonth, int lngDay);
void DateOfDay(std::int64_t lngDayNumber, int& lngYear, int& lngMonth, int& lngDay);

// "yyyy-mm-dd hh:mm:ss.mmm".
std::string Timestamp(const SYSTEMTIME& time);

// The log file of a device for a day: "<safe name>-yyyymmdd.log".
std::u16string LogFileName(const std::u16string& strSafeName, const SYSTEMTIME& day);

// The day of a log file of this device (safe name), or nothing when the file
// name is anything else: another device's file, another pattern, no valid
// date. ASCII letters of the name compare without case, as file names do.
std::optional<std::int64_t> LogFileDay(const std::u16string& strFileName,
                                       const std::u16string& strSafeName);

}  // namespace quillvane::basTrace
