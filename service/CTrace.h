// The field trace of one logical device: what the application asked, what
// the drawer answered and when, one line per record, in a daily file
//   %ProgramData%\quillvane\logs\<device>-<yyyymmdd>.log
// A line holds tab-separated fields: local time with milliseconds, thread
// id, level word (ERROR, CALL, EVENT, REPORT; INFO for the trace's own
// lines), then the record's own fields. Text is UTF-8.
//
// Levels: 0 off, 1 errors, 2 calls, 3 events, 4 reports; a record is written
// when its level is at most the trace's. INFO lines go with any level but 0.
//
// The trace never fails a method and never changes a result: nothing here
// throws. A folder or file that cannot be written costs the records (they
// are counted, and the count is written once writing works again, tried at
// most once a minute). A day's file stops growing at the size cap: one line
// says so, and when the day ends or the trace stops one line says how many
// records were dropped. The file is opened once per day, on its first
// record (see HoldFile), and records are buffered: Flush() hands them to the file, which
// callers do at the end of each method and tick. The last 14 days of this
// device's files are kept; older ones of this device (and nothing else) are
// deleted when a day's file is opened.
//
// Single-threaded, like the service object.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <new>
#include <string>
#include <type_traits>

#include "contract/RuntimeError.h"
#include "service/ApiDeclarations.h"
#include "service/PlatformHandle.h"

namespace quillvane {

class CTrace {
 public:
  enum Level : std::int32_t { kOff = 0, kErrors = 1, kCalls = 2, kEvents = 3, kReports = 4 };
  static constexpr std::int32_t kDefaultLevel = kErrors;
  static constexpr std::uint32_t kDefaultMaxKB = 16 * 1024;
  static constexpr std::uint32_t kLargestMaxKB = 1024 * 1024;
  static constexpr int kKeepDays = 14;
  static constexpr std::uint32_t kRetryMs = 60000;
  // Records buffered beyond this size are handed to the file at once.
  static constexpr std::size_t kFlushBytes = 64 * 1024;

  struct Settings {
    std::int32_t lngLevel = kDefaultLevel;
    std::uint32_t lngMaxKB = kDefaultMaxKB;
  };
  // "TraceLevel" (0 to 4) and "TraceMaxKB" (1 to kLargestMaxKB) of the
  // device's key, else of HKLM\SOFTWARE\quillvane, else the defaults. A
  // value that is missing, unreadable or out of range counts as absent.
  static Settings ReadSettings(ApiDeclarations& api, const std::u16string& strDeviceName) noexcept;

  explicit CTrace(ApiDeclarations& api);
  ~CTrace();
  CTrace(const CTrace&) = delete;
  CTrace& operator=(const CTrace&) = delete;

  // Stops the trace running, then traces the device from here on.
  void Start(const std::u16string& strDeviceName, const Settings& settings) noexcept;
  // Hands what is buffered to the file, says how many records were dropped
  // (if any), closes the file; the trace is off until the next Start.
  void Stop() noexcept;

  bool Wants(std::int32_t lngLevel) const { return lngLevel <= mlngLevel && mlngLevel > kOff; }
  // Whether the file stays open between flushes (the default), or is closed
  // by each flush and opened again by the next record: an object that holds
  // no drawer holds no handle either.
  void HoldFile(bool blnHold) { mblnHoldFile = blnHold; }
  // One record at lngLevel (kErrors to kReports): its fields, tab-separated.
  void Write(std::int32_t lngLevel, const std::string& strRecord) noexcept;
  void Flush() noexcept;

  // Records lost for want of a writable file and not yet reported in it;
  // records dropped today after the cap.
  std::uint64_t LostCount() const { return mlngLost; }
  std::uint64_t DroppedCount() const { return mlngDropped; }

 private:
  // Adds one line for `now` to the buffer. A line that is not forced and
  // would take the day's file past the cap is dropped (the first such one
  // adds the cap line).
  void Append(const char* strWord, const std::string& strRecord, const SYSTEMTIME& now,
              bool blnForced);
  // Opens the file of `now`'s day (folders made, old files deleted); false
  // when that fails or, unless blnLastTry, the retry is not due yet.
  bool OpenDay(const SYSTEMTIME& now, std::int64_t lngDay, bool blnLastTry = false);
  bool OpenFile(const SYSTEMTIME& now);
  void DeleteOldFiles(std::int64_t lngToday);
  // Ends the day's file: buffered lines out, the dropped count, closed.
  void EndDay(const SYSTEMTIME& now);
  // Writing failed: records are lost from here until a retry works.
  void Failed(const char* strFunction, std::uint32_t lngError);
  void Failed(const std::string& strFailure);
  void WriteBuffer();

  ApiDeclarations& mApi;
  std::int32_t mlngLevel = kOff;
  std::uint64_t mlngMaxBytes = std::uint64_t{kDefaultMaxKB} * 1024;
  std::u16string mstrDeviceName;
  std::u16string mstrSafeName;
  std::u16string mstrFolder;
  UniqueFileHandle mhFile;
  std::int64_t mlngDay = 0;          // of the open file, or of the last one
  SYSTEMTIME mDayTime{};             // a time of that day
  std::int64_t mlngCleanedDay = -1;  // old files deleted; the header written
  bool mblnHoldFile = true;
  std::uint64_t mlngDayBytes = 0;  // the file's size plus what is buffered
  bool mblnCapReached = false;
  std::uint64_t mlngDropped = 0;
  std::string mstrBuffer;
  std::uint64_t mlngBufferedLines = 0;
  // Writing failed: records are lost until a retry (once a minute) works.
  bool mblnFailing = false;
  std::uint32_t mlngFailedTick = 0;
  std::string mstrFailure;
  std::uint64_t mlngLost = 0;
};

// One argument of a traced method call.
struct TraceArg {
  enum class Kind { kLong, kText, kObject };
  TraceArg(std::int32_t lngValue) : enmKind(Kind::kLong), lngValue(lngValue) {}
  TraceArg(const std::u16string& strValue) : enmKind(Kind::kText), pstrValue(&strValue) {}
  static TraceArg Object(bool blnPresent) {
    TraceArg arg(blnPresent ? 1 : 0);
    arg.enmKind = Kind::kObject;
    return arg;
  }

  Kind enmKind;
  std::int32_t lngValue = 0;
  const std::u16string* pstrValue = nullptr;
};

namespace trace_detail {

std::string CallText(const char* strMethod, std::initializer_list<TraceArg> args);
std::string ResultText(std::int32_t lngResult);
std::string ResultText(const std::u16string& strResult);
inline std::string ResultText() { return "done"; }
// The error a method ended with: "error=<n>" or "failed=0x<status>".
std::string ErrorText(std::int32_t lngHResult, std::int32_t lngNumber);
// Writes the method's line (ERROR when it failed, CALL otherwise) when the
// trace wants it, then flushes.
void EndCall(CTrace& trace, ApiDeclarations& api, bool blnTimed, std::uint32_t lngStart,
             const char* strMethod, std::initializer_list<TraceArg> args,
             const std::string& strOutcome, bool blnFailed) noexcept;

}  // namespace trace_detail

// Runs a public method's body and traces it: its arguments (as they are when
// it ends), its result or error, and its duration (from level 2; at level 1
// only a failure is traced, without duration). What the body buffered is
// flushed at the end. The body's result or exception passes through
// unchanged. blnAlwaysTimed times the call whatever the level, for the
// method that starts the trace.
template <typename Body>
auto TraceMethod(CTrace& trace, ApiDeclarations& api, const char* strMethod,
                 std::initializer_list<TraceArg> args, Body&& body, bool blnAlwaysTimed = false)
    -> std::invoke_result_t<Body> {
  using Result = std::invoke_result_t<Body>;
  const bool blnTimed = blnAlwaysTimed || trace.Wants(CTrace::kCalls);
  if (!blnTimed && !trace.Wants(CTrace::kErrors)) return body();
  const std::uint32_t lngStart = blnTimed ? api.GetTickCount() : 0;
  auto end = [&](const auto&... result) noexcept {
    try {
      if (!trace.Wants(CTrace::kCalls)) return trace.Flush();
      trace_detail::EndCall(trace, api, blnTimed, lngStart, strMethod, args,
                            trace_detail::ResultText(result...), false);
    } catch (...) {
      trace.Flush();
    }
  };
  auto failed = [&](std::int32_t lngHResult, std::int32_t lngNumber) noexcept {
    try {
      trace_detail::EndCall(trace, api, blnTimed, lngStart, strMethod, args,
                            trace_detail::ErrorText(lngHResult, lngNumber), true);
    } catch (...) {
      trace.Flush();
    }
  };
  try {
    if constexpr (std::is_void_v<Result>) {
      body();
      end();
    } else {
      Result result = body();
      end(result);
      return result;
    }
  } catch (const RuntimeError& error) {
    failed(error.HResult(), error.Number());
    throw;
  } catch (const std::bad_alloc&) {
    failed(HResultFromErrorNumber(kErrOutOfMemory), kErrOutOfMemory);
    throw;
  } catch (...) {
    failed(static_cast<std::int32_t>(0x8000FFFFu), 0);
    throw;
  }
}

}  // namespace quillvane
