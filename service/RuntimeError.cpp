#include "service/RuntimeError.h"

#include <utility>

namespace quillvane {

RuntimeError::RuntimeError(std::int32_t number, std::string description)
    : mlngNumber(number),
      mlngHResult(HResultFromErrorNumber(number)),
      mstrDescription(description.empty() ? DescribeErrorNumber(number) : std::move(description)) {}

RuntimeError RuntimeError::Foreign(std::int32_t hresult, std::string description) {
  RuntimeError error;
  error.mlngNumber = 0;
  error.mlngHResult = hresult;
  error.mstrDescription = std::move(description);
  return error;
}

const char* DescribeErrorNumber(std::int32_t number) {
  switch (number) {
    case kErrOverflow:
      return "Overflow";
    case kErrOutOfMemory:
      return "Out of memory";
    case kErrSubscriptOutOfRange:
      return "Subscript out of range";
    case kErrTypeMismatch:
      return "Type mismatch";
    case kErrDllLoad:
      return "Error in loading DLL";
    case kErrObjectNotSet:
      return "Object variable or With block variable not set";
    case kErrEntryPoint:
      return "Can't find DLL entry point";
    default:
      return "";
  }
}

}  // namespace quillvane
