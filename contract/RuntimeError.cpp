#include "contract/RuntimeError.h"

#include <utility>

namespace quillvane {

namespace {

std::u16string Widen(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

RuntimeError::RuntimeError(std::int32_t number, std::u16string description)
    : mlngNumber(number), mlngHResult(HResultFromErrorNumber(number)) {
  SetDescription(description.empty() ? DescribeErrorNumber(number) : std::move(description));
}

RuntimeError::RuntimeError(std::int32_t number, const std::string& asciiDescription)
    : RuntimeError(number, Widen(asciiDescription)) {}

RuntimeError RuntimeError::Foreign(std::int32_t hresult, std::u16string description) {
  RuntimeError error;
  error.mlngNumber = 0;
  error.mlngHResult = hresult;
  error.SetDescription(std::move(description));
  return error;
}

RuntimeError RuntimeError::Foreign(std::int32_t hresult, const std::string& asciiDescription) {
  return Foreign(hresult, Widen(asciiDescription));
}

void RuntimeError::SetDescription(std::u16string description) {
  mstrNarrow.reserve(description.size());
  for (char16_t ch : description) mstrNarrow += ch < 0x80 ? static_cast<char>(ch) : '?';
  mstrDescription = std::move(description);
}

const char16_t* DescribeErrorNumber(std::int32_t number) {
  switch (number) {
    case kErrOverflow:
      return u"Overflow";
    case kErrOutOfMemory:
      return u"Out of memory";
    case kErrSubscriptOutOfRange:
      return u"Subscript out of range";
    case kErrTypeMismatch:
      return u"Type mismatch";
    case kErrDllLoad:
      return u"Error in loading DLL";
    case kErrObjectNotSet:
      return u"Object variable or With block variable not set";
    case kErrEntryPoint:
      return u"Can't find DLL entry point";
    default:
      return u"";
  }
}

}  // namespace quillvane
