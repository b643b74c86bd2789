// Where a method call of CashDrawer becomes an automation call's outcome.
//
// The automation frame runs every method body through CallMethod: a normal
// return gives status 0 and the value; a RuntimeError gives its failure status
// and an empty value (0 or empty text); memory exhaustion gives error 7. No
// exception leaves this function, so none can cross a COM boundary. State the
// body changed before the error stays changed.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "service/RuntimeError.h"

namespace quillvane {

template <typename T>
struct MethodOutcome {
  std::int32_t hresult = 0;
  T value{};
  std::string description;  // of the error, when hresult is a failure
};

template <>
struct MethodOutcome<void> {
  std::int32_t hresult = 0;
  std::string description;
};

template <typename Body>
auto CallMethod(Body&& body) -> MethodOutcome<std::invoke_result_t<Body>> {
  using Result = std::invoke_result_t<Body>;
  MethodOutcome<Result> outcome;
  try {
    if constexpr (std::is_void_v<Result>) {
      std::forward<Body>(body)();
    } else {
      outcome.value = std::forward<Body>(body)();
    }
  } catch (const RuntimeError& error) {
    outcome = {};
    outcome.hresult = error.HResult();
    outcome.description = error.Description();
  } catch (const std::bad_alloc&) {
    outcome = {};
    outcome.hresult = HResultFromErrorNumber(kErrOutOfMemory);
    outcome.description = DescribeErrorNumber(kErrOutOfMemory);
  }
  return outcome;
}

}  // namespace quillvane
