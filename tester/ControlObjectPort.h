// The tester's view of the control object `cd`: members called by DISPID
// (contract/ControlObject.h), nothing else. The Win32 side binds it to the
// control object's IDispatch; the native tests give a fake.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <variant>
#include <vector>

namespace brindlemark {

// A call on `cd` that failed with an automation error instead of answering.
// Carries the failure status (an HRESULT; the scode of an exception that the
// control object raised).
class AutomationError : public std::exception {
 public:
  explicit AutomationError(std::int32_t lngStatus) : mlngStatus(lngStatus) {}
  std::int32_t Status() const { return mlngStatus; }
  const char* what() const noexcept override { return "automation call failed"; }

 private:
  std::int32_t mlngStatus;
};

// One argument of a method call: a 32-bit integer or a text, passed by value
// or by reference. A by-reference argument holds the callee's value after the
// call.
struct MethodArgument {
  std::variant<std::int32_t, std::u16string> varValue;
  bool blnByRef = false;
};

class ControlObjectPort {
 public:
  virtual ~ControlObjectPort() = default;

  // Property gets, the value converted to a 32-bit integer (booleans give -1
  // or 0) or to text. Throw AutomationError when the call fails.
  virtual std::int32_t GetNumber(std::int32_t lngDispid) = 0;
  virtual std::u16string GetText(std::int32_t lngDispid) = 0;

  // Property put of an automation boolean. Throws AutomationError.
  virtual void PutFlag(std::int32_t lngDispid, bool blnValue) = 0;

  // Method call; arguments in the member's declared order. Gives the result
  // code. Throws AutomationError.
  virtual std::int32_t Invoke(std::int32_t lngDispid, std::vector<MethodArgument>& objArgs) = 0;
};

}  // namespace brindlemark
