#include "service/CTrace.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "contract/OposConstants.h"
#include "service/basRegistry.h"
#include "service/basTrace.h"

namespace quillvane {
namespace {

constexpr char16_t kMachineKey[] = u"SOFTWARE\\quillvane";
constexpr std::uint32_t kShareAll = kFileShareRead | kFileShareWrite | kFileShareDelete;

const char* WordOf(std::int32_t lngLevel) {
  switch (lngLevel) {
    case CTrace::kErrors:
      return "ERROR";
    case CTrace::kCalls:
      return "CALL";
    case CTrace::kEvents:
      return "EVENT";
    default:
      return "REPORT";
  }
}

// A whole number from a REG_DWORD, or from REG_SZ text of decimal digits
// (blanks around them allowed); nothing for anything else.
std::optional<std::int64_t> WholeNumber(const RegVariant& value) {
  if (value.blnIsLong) return value.lngValue;
  std::size_t begin = value.strValue.find_first_not_of(u' ');
  std::size_t end = value.strValue.find_last_not_of(u' ');
  if (begin == std::u16string::npos || end - begin >= 9) return std::nullopt;
  std::int64_t lngNumber = 0;
  for (std::size_t i = begin; i <= end; ++i) {
    const char16_t unit = value.strValue[i];
    if (unit < u'0' || unit > u'9') return std::nullopt;
    lngNumber = lngNumber * 10 + (unit - u'0');
  }
  return lngNumber;
}

// The first of the device's and the machine's value that is a whole number
// from lngLowest to lngHighest.
std::optional<std::int64_t> SettingOf(ApiDeclarations& api, const std::u16string& strDeviceName,
                                      const char16_t* strValueName, std::int64_t lngLowest,
                                      std::int64_t lngHighest) noexcept {
  for (int lngWhere = 0; lngWhere < 2; ++lngWhere) {
    try {
      const std::u16string strKey =
          lngWhere == 0 ? kCashDrawerCategoryKey + strDeviceName : std::u16string(kMachineKey);
      const std::optional<std::int64_t> lngValue =
          WholeNumber(basRegistry::GetRegValue(api, kHkeyLocalMachine, strKey, strValueName));
      if (lngValue && *lngValue >= lngLowest && *lngValue <= lngHighest) return lngValue;
    } catch (...) {
      // Unreadable: the next place, or the default.
    }
  }
  return std::nullopt;
}

std::string Number(std::uint64_t lngValue) { return std::to_string(lngValue); }

}  // namespace

CTrace::Settings CTrace::ReadSettings(ApiDeclarations& api,
                                      const std::u16string& strDeviceName) noexcept {
  Settings settings;
  if (auto lngLevel = SettingOf(api, strDeviceName, u"TraceLevel", kOff, kReports)) {
    settings.lngLevel = static_cast<std::int32_t>(*lngLevel);
  }
  // The cap matters only to a trace that writes.
  if (settings.lngLevel == kOff) return settings;
  if (auto lngMaxKB = SettingOf(api, strDeviceName, u"TraceMaxKB", 1, kLargestMaxKB)) {
    settings.lngMaxKB = static_cast<std::uint32_t>(*lngMaxKB);
  }
  return settings;
}

CTrace::CTrace(ApiDeclarations& api) : mApi(api) {}

CTrace::~CTrace() { Stop(); }

void CTrace::Start(const std::u16string& strDeviceName, const Settings& settings) noexcept {
  Stop();
  try {
    mstrDeviceName = strDeviceName;
    mstrSafeName = basTrace::SafeFileName(strDeviceName);
    mlngMaxBytes = std::uint64_t{settings.lngMaxKB} * 1024;
    mlngLevel = settings.lngLevel;
  } catch (...) {
    mlngLevel = kOff;
  }
}

void CTrace::Stop() noexcept {
  if (mlngLevel == kOff) return;
  try {
    SYSTEMTIME now{};
    mApi.GetLocalTime(&now);
    // Records lost a while ago are told now, if the file can be had: one
    // last try, due or not.
    if (!mhFile.IsOpen() && mlngLost > 0) {
      OpenDay(now, basTrace::DayNumber(now.wYear, now.wMonth, now.wDay), true);
    }
    if (mhFile.IsOpen() || mlngDropped > 0) EndDay(now);
  } catch (...) {
  }
  try {
    mhFile.Close();
  } catch (...) {
  }
  mlngLevel = kOff;
  mstrBuffer.clear();
  mlngBufferedLines = 0;
  mblnCapReached = false;
  mlngDropped = 0;
  mblnFailing = false;
  mlngLost = 0;
  mlngCleanedDay = -1;
  mblnHoldFile = true;
}

void CTrace::Write(std::int32_t lngLevel, const std::string& strRecord) noexcept {
  if (!Wants(lngLevel)) return;
  try {
    SYSTEMTIME now{};
    mApi.GetLocalTime(&now);
    const std::int64_t lngDay = basTrace::DayNumber(now.wYear, now.wMonth, now.wDay);
    if (lngDay != mlngDay && (mhFile.IsOpen() || mlngDropped > 0)) EndDay(now);
    if (!mhFile.IsOpen() && !OpenDay(now, lngDay)) {
      ++mlngLost;
      return;
    }
    Append(WordOf(lngLevel), strRecord, now, false);
    if (mstrBuffer.size() >= kFlushBytes) WriteBuffer();
  } catch (...) {
    ++mlngLost;
  }
}

void CTrace::Flush() noexcept {
  try {
    WriteBuffer();
    if (!mblnHoldFile) mhFile.Close();
  } catch (...) {
    mlngLost += mlngBufferedLines;
    mstrBuffer.clear();
    mlngBufferedLines = 0;
  }
}

void CTrace::Append(const char* strWord, const std::string& strRecord, const SYSTEMTIME& now,
                    bool blnForced) {
  std::string strLine = basTrace::Timestamp(now);
  strLine += '\t';
  strLine += Number(mApi.GetCurrentThreadId());
  strLine += '\t';
  strLine += strWord;
  strLine += '\t';
  strLine += strRecord;
  strLine += "\r\n";
  if (!blnForced && mlngDayBytes + strLine.size() > mlngMaxBytes) {
    if (!mblnCapReached) {
      mblnCapReached = true;
      Append("INFO",
             "size cap of " + Number(mlngMaxBytes / 1024) +
                 " KiB reached: the records of the rest of the day are dropped and counted",
             now, true);
    }
    ++mlngDropped;
    return;
  }
  mstrBuffer += strLine;
  mlngDayBytes += strLine.size();
  ++mlngBufferedLines;
}

bool CTrace::OpenDay(const SYSTEMTIME& now, std::int64_t lngDay, bool blnLastTry) {
  if (mblnFailing && !blnLastTry && mApi.GetTickCount() - mlngFailedTick < kRetryMs) return false;
  const bool blnSameDay = lngDay == mlngDay && mlngCleanedDay == lngDay;
  try {
    if (!OpenFile(now)) return false;
  } catch (const RuntimeError& error) {
    // A platform function that cannot be bound: tried again like any failure.
    Failed(std::string(error.what()) + " (run-time error " +
           Number(static_cast<std::uint64_t>(error.Number())) + ")");
    return false;
  }
  if (!blnSameDay) {
    mblnCapReached = false;
    mlngDropped = 0;
  }
  mlngDay = lngDay;
  mDayTime = now;
  if (mblnFailing) {
    mblnFailing = false;
    Append("INFO", Number(mlngLost) + " records lost: " + mstrFailure, now, true);
    mlngLost = 0;
  }
  // The first file of the day in this session: old files go, and a header
  // says whose trace follows.
  if (mlngCleanedDay != lngDay) {
    mlngCleanedDay = lngDay;
    try {
      DeleteOldFiles(lngDay);
    } catch (const RuntimeError&) {
      // Old files stay; the trace goes on.
    }
    Append("INFO",
           "trace\tdevice=\"" + basTrace::LineText(mstrDeviceName) +
               "\"\tlevel=" + Number(static_cast<std::uint64_t>(mlngLevel)) +
               "\tcap_kb=" + Number(mlngMaxBytes / 1024),
           now, false);
  }
  return true;
}

bool CTrace::OpenFile(const SYSTEMTIME& now) {
  if (mstrFolder.empty()) {
    char16_t strProgramData[kMaxPath + 1] = {};
    const std::int32_t lngStatus =
        mApi.SHGetFolderPathW(0, kCsidlCommonAppData, 0, 0, strProgramData);
    if (lngStatus < 0 || strProgramData[0] == 0) {
      Failed("SHGetFolderPathW", static_cast<std::uint32_t>(lngStatus));
      return false;
    }
    mstrFolder = std::u16string(strProgramData) + u"\\quillvane\\logs";
  }
  // Both folders, each time a file is opened: someone may have removed them.
  for (const std::u16string& strFolder :
       {mstrFolder.substr(0, mstrFolder.size() - 5), mstrFolder}) {
    if (mApi.CreateDirectoryW(strFolder.c_str(), nullptr) == 0) {
      const std::uint32_t lngError = mApi.GetLastError();
      if (lngError != kErrorAlreadyExists) {
        Failed("CreateDirectoryW", lngError);
        return false;
      }
    }
  }
  const std::u16string strPath = mstrFolder + u"\\" + basTrace::LogFileName(mstrSafeName, now);
  // Appending only: every write lands at the end, also beside another writer.
  mhFile = UniqueFileHandle(mApi, mApi.CreateFileW(strPath.c_str(), kFileAppendData, kShareAll,
                                                   nullptr, kOpenAlways, kFileAttributeNormal, 0));
  if (!mhFile.IsOpen()) {
    Failed("CreateFileW", mApi.GetLastError());
    return false;
  }
  std::uint32_t lngHigh = 0;
  const std::uint32_t lngLow = mApi.GetFileSize(mhFile.Get(), &lngHigh);
  mlngDayBytes = lngLow == kInvalidFileSize && mApi.GetLastError() != 0
                     ? 0
                     : (std::uint64_t{lngHigh} << 32) | lngLow;
  return true;
}

void CTrace::DeleteOldFiles(std::int64_t lngToday) {
  const std::u16string strPattern = mstrFolder + u"\\" + mstrSafeName + u"-*.log";
  WIN32_FIND_DATAW data{};
  UniqueFindHandle hFind(mApi, mApi.FindFirstFileW(strPattern.c_str(), &data));
  if (!hFind.IsOpen()) return;
  std::vector<std::u16string> old;
  do {
    data.cFileName[kMaxPath - 1] = 0;
    const std::u16string strName(data.cFileName);
    const std::optional<std::int64_t> lngDay = basTrace::LogFileDay(strName, mstrSafeName);
    if ((data.dwFileAttributes & kFileAttributeDirectory) == 0 && lngDay &&
        *lngDay <= lngToday - kKeepDays) {
      old.push_back(strName);
    }
  } while (mApi.FindNextFileW(hFind.Get(), &data) != 0);
  hFind.Close();
  // A file another program holds open stays until a later day.
  for (const std::u16string& strName : old)
    mApi.DeleteFileW((mstrFolder + u"\\" + strName).c_str());
}

void CTrace::EndDay(const SYSTEMTIME& now) {
  if (mlngDropped > 0) {
    // The count goes into the file of the day it belongs to, open or not.
    if (!mhFile.IsOpen()) {
      try {
        OpenFile(mDayTime);
      } catch (const RuntimeError&) {
      }
    }
    if (mhFile.IsOpen()) {
      Append("INFO",
             Number(mlngDropped) + " records dropped after the size cap of " +
                 Number(mlngMaxBytes / 1024) + " KiB",
             now, true);
    } else {
      ++mlngLost;
    }
  }
  WriteBuffer();
  mhFile.Close();
  mblnCapReached = false;
  mlngDropped = 0;
}

void CTrace::Failed(const char* strFunction, std::uint32_t lngError) {
  char strError[16];
  std::snprintf(strError, sizeof strError, lngError > 0xFFFF ? "0x%08X" : "%u",
                static_cast<unsigned>(lngError));
  Failed(std::string(strFunction) + " failed with error " + strError);
}

void CTrace::Failed(const std::string& strFailure) {
  mblnFailing = true;
  mstrFailure = strFailure;
  mhFile.Close();
  mlngFailedTick = mApi.GetTickCount();
}

void CTrace::WriteBuffer() {
  if (mstrBuffer.empty()) return;
  const std::uint64_t lngLines = mlngBufferedLines;
  bool blnWritten = false;
  if (mhFile.IsOpen()) {
    std::uint32_t lngWritten = 0;
    const auto lngSize = static_cast<std::uint32_t>(mstrBuffer.size());
    blnWritten =
        mApi.WriteFile(mhFile.Get(), mstrBuffer.data(), lngSize, &lngWritten, nullptr) != 0 &&
        lngWritten == lngSize;
    if (!blnWritten) Failed("WriteFile", mApi.GetLastError());
  }
  mstrBuffer.clear();
  mlngBufferedLines = 0;
  if (!blnWritten) mlngLost += lngLines;
}

namespace trace_detail {

namespace {

void AppendQuoted(std::string& out, const std::u16string& text) {
  out += '"';
  out += basTrace::LineText(text);
  out += '"';
}

}  // namespace

std::string CallText(const char* strMethod, std::initializer_list<TraceArg> args) {
  std::string out = strMethod;
  out += '(';
  bool blnFirst = true;
  for (const TraceArg& arg : args) {
    if (!blnFirst) out += ", ";
    blnFirst = false;
    switch (arg.enmKind) {
      case TraceArg::Kind::kLong:
        out += std::to_string(arg.lngValue);
        break;
      case TraceArg::Kind::kText:
        AppendQuoted(out, *arg.pstrValue);
        break;
      case TraceArg::Kind::kObject:
        out += arg.lngValue ? "<object>" : "<nothing>";
        break;
    }
  }
  out += ')';
  return out;
}

std::string ResultText(std::int32_t lngResult) { return "result=" + std::to_string(lngResult); }

std::string ResultText(const std::u16string& strResult) {
  std::string out = "result=";
  AppendQuoted(out, strResult);
  return out;
}

std::string ErrorText(std::int32_t lngHResult, std::int32_t lngNumber) {
  if (lngNumber != 0) return "error=" + std::to_string(lngNumber);
  char strStatus[24];
  std::snprintf(strStatus, sizeof strStatus, "failed=0x%08X", static_cast<unsigned>(lngHResult));
  return strStatus;
}

void EndCall(CTrace& trace, ApiDeclarations& api, bool blnTimed, std::uint32_t lngStart,
             const char* strMethod, std::initializer_list<TraceArg> args,
             const std::string& strOutcome, bool blnFailed) noexcept {
  const std::int32_t lngLevel = blnFailed ? CTrace::kErrors : CTrace::kCalls;
  try {
    if (trace.Wants(lngLevel)) {
      std::string strRecord = CallText(strMethod, args) + '\t' + strOutcome;
      if (blnTimed) strRecord += "\tms=" + std::to_string(api.GetTickCount() - lngStart);
      trace.Write(lngLevel, strRecord);
    }
  } catch (...) {
  }
  trace.Flush();
}

}  // namespace trace_detail
}  // namespace quillvane
