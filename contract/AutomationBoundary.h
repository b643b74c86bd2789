// Where a method call becomes an automation call's outcome: the one boundary
// of the service object and of the control object stand-in.
//
// Every COM method runs its body, argument preparation and conversions
// included, through CallMethod. A normal return gives status 0 and the value.
// A RuntimeError gives its failure status and description; memory exhaustion
// (std::bad_alloc, or std::length_error for a size no allocation can serve)
// gives run-time error 7; any other exception gives E_UNEXPECTED. Failures
// leave an empty value (0, empty text). Nothing leaves CallMethod, so nothing
// crosses a COM boundary. State the body changed before the error stays
// changed.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "contract/RuntimeError.h"

namespace quillvane {

// E_UNEXPECTED: an exception that is no run-time error and no lack of memory.
constexpr std::int32_t kUnexpectedFailure = static_cast<std::int32_t>(0x8000FFFFu);
inline constexpr char16_t kUnexpectedDescription[] = u"Unexpected failure";

template <typename T>
struct MethodOutcome {
  std::int32_t hresult = 0;
  T value{};
  std::u16string description;  // of the error, when hresult is a failure
};

template <>
struct MethodOutcome<void> {
  std::int32_t hresult = 0;
  std::u16string description;
};

namespace boundary_detail {

// Records a failure. The status always lands; a description that cannot be
// copied for lack of memory is left empty rather than thrown.
template <typename T, typename Text>
void Fail(MethodOutcome<T>& outcome, std::int32_t hresult, const Text& description) noexcept {
  if constexpr (!std::is_void_v<T>) outcome.value = T{};
  outcome.hresult = hresult;
  try {
    outcome.description = description;
  } catch (...) {
    outcome.description.clear();
  }
}

}  // namespace boundary_detail

template <typename Body>
auto CallMethod(Body&& body) noexcept -> MethodOutcome<std::invoke_result_t<Body>> {
  using Result = std::invoke_result_t<Body>;
  static_assert(std::is_void_v<Result> || std::is_nothrow_default_constructible_v<Result>,
                "a failed call leaves the empty value");
  MethodOutcome<Result> outcome;
  try {
    if constexpr (std::is_void_v<Result>) {
      std::forward<Body>(body)();
    } else {
      outcome.value = std::forward<Body>(body)();
    }
  } catch (const RuntimeError& error) {
    boundary_detail::Fail(outcome, error.HResult(), error.Description());
  } catch (const std::bad_alloc&) {
    boundary_detail::Fail(outcome, HResultFromErrorNumber(kErrOutOfMemory),
                          DescribeErrorNumber(kErrOutOfMemory));
  } catch (const std::length_error&) {
    boundary_detail::Fail(outcome, HResultFromErrorNumber(kErrOutOfMemory),
                          DescribeErrorNumber(kErrOutOfMemory));
  } catch (...) {
    boundary_detail::Fail(outcome, kUnexpectedFailure, kUnexpectedDescription);
  }
  return outcome;
}

}  // namespace quillvane
