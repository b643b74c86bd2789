#include "tester/LogText.h"

namespace brindlemark {

std::u16string Decimal(std::int32_t lngValue) {
  // Digits of the magnitude, widened first so the most negative value works.
  std::int64_t lngMagnitude = lngValue;
  if (lngMagnitude < 0) lngMagnitude = -lngMagnitude;
  std::u16string strDigits;
  do {
    strDigits.insert(strDigits.begin(), static_cast<char16_t>(u'0' + lngMagnitude % 10));
    lngMagnitude /= 10;
  } while (lngMagnitude != 0);
  if (lngValue < 0) strDigits.insert(strDigits.begin(), u'-');
  return strDigits;
}

std::u16string LogLine(const char16_t* strText, std::int32_t lngValue) {
  return strText + Decimal(lngValue);
}

std::int32_t ParseWholeNumber(const std::u16string& strText, std::int32_t* lngValue) {
  std::size_t lngPos = 0;
  const std::size_t lngEnd = strText.size();
  while (lngPos < lngEnd && strText[lngPos] == u' ') ++lngPos;
  bool blnNegative = false;
  if (lngPos < lngEnd && (strText[lngPos] == u'-' || strText[lngPos] == u'+')) {
    blnNegative = strText[lngPos] == u'-';
    ++lngPos;
  }
  const std::size_t lngDigitsStart = lngPos;
  std::int64_t lngMagnitude = 0;
  bool blnTooLarge = false;
  while (lngPos < lngEnd && strText[lngPos] >= u'0' && strText[lngPos] <= u'9') {
    lngMagnitude = lngMagnitude * 10 + (strText[lngPos] - u'0');
    // Past any 32-bit value: stop growing, keep checking the text.
    if (lngMagnitude > 0x80000000LL) {
      blnTooLarge = true;
      lngMagnitude = 0x80000001LL;
    }
    ++lngPos;
  }
  if (lngPos == lngDigitsStart) return kStatusTypeMismatch;
  while (lngPos < lngEnd && strText[lngPos] == u' ') ++lngPos;
  if (lngPos != lngEnd) return kStatusTypeMismatch;
  const std::int64_t lngSigned = blnNegative ? -lngMagnitude : lngMagnitude;
  if (blnTooLarge || lngSigned > INT32_MAX || lngSigned < INT32_MIN) return kStatusOverflow;
  *lngValue = static_cast<std::int32_t>(lngSigned);
  return 0;
}

}  // namespace brindlemark
