// The one exception type of the service object: a run-time error with its
// number, or a failure status that came from another component and keeps it.
// It stands in contract/ because the automation boundary both sides share
// (AutomationBoundary.h) maps it, and the portable core throws it.
//
// Throwing one ends the current method at that point; the boundary turns it
// into the call's failure status. The description is UTF-16 text, as it
// reaches the caller.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace quillvane {

enum ErrorNumber : std::int32_t {
  kErrOutOfMemory = 7,
  kErrOverflow = 6,
  kErrSubscriptOutOfRange = 9,
  kErrTypeMismatch = 13,
  kErrDllLoad = 48,
  kErrObjectNotSet = 91,
  kErrEntryPoint = 453,
};

class RuntimeError : public std::exception {
 public:
  // A run-time error of this library, reported as 0x800A0000 | number. An
  // empty description takes the number's standard one.
  explicit RuntimeError(std::int32_t number, std::u16string description = {});
  // The same with an ASCII description (constant texts, library and
  // function names).
  RuntimeError(std::int32_t number, const std::string& asciiDescription);

  // A failure status of another component, reported unchanged.
  static RuntimeError Foreign(std::int32_t hresult, std::u16string description = {});
  static RuntimeError Foreign(std::int32_t hresult, const std::string& asciiDescription);

  // The run-time error number, or 0 for a foreign failure.
  std::int32_t Number() const { return mlngNumber; }
  // The failure status the call reports.
  std::int32_t HResult() const { return mlngHResult; }
  const std::u16string& Description() const { return mstrDescription; }
  // The description for diagnostics, characters beyond ASCII as '?'.
  const char* what() const noexcept override { return mstrNarrow.c_str(); }

 private:
  RuntimeError() = default;
  void SetDescription(std::u16string description);

  std::int32_t mlngNumber = 0;
  std::int32_t mlngHResult = 0;
  std::u16string mstrDescription;
  std::string mstrNarrow;
};

// The failure status of run-time error `number`: severity error, facility 10.
constexpr std::int32_t HResultFromErrorNumber(std::int32_t number) {
  return static_cast<std::int32_t>(0x800A0000u | (static_cast<std::uint32_t>(number) & 0xFFFFu));
}

// The standard description of a run-time error number (empty when none is known).
const char16_t* DescribeErrorNumber(std::int32_t number);

}  // namespace quillvane
