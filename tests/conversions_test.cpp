#include "service/Conversions.h"

#include <gtest/gtest.h>

#include "contract/AutomationBoundary.h"
#include "contract/RuntimeError.h"
#include "tests/DrawerTestSupport.h"

namespace {

using drawer_test::ErrorNumberOf;
using quillvane::NumericPrefixValue;
using quillvane::TextToLong;

TEST(NumericPrefixValue, ReadsTheDecimalPrefixIgnoringBlanksTabsAndLineFeeds) {
  EXPECT_EQ(NumericPrefixValue(u"1234"), 1234);
  EXPECT_EQ(NumericPrefixValue(u"12 34"), 1234);
  EXPECT_EQ(NumericPrefixValue(u"\t1\n2 3 4"), 1234);
  EXPECT_EQ(NumericPrefixValue(u"1234abc"), 1234);
  EXPECT_EQ(NumericPrefixValue(u"+7"), 7);
  EXPECT_EQ(NumericPrefixValue(u"-12.5e1"), -125);
  EXPECT_EQ(NumericPrefixValue(u"1D2"), 100);
  EXPECT_EQ(NumericPrefixValue(u"1e"), 1);
  EXPECT_EQ(NumericPrefixValue(u"1.5.5"), 1.5);
  EXPECT_EQ(NumericPrefixValue(u".5"), 0.5);
}

TEST(NumericPrefixValue, TextWithoutANumberGivesZero) {
  EXPECT_EQ(NumericPrefixValue(u""), 0);
  EXPECT_EQ(NumericPrefixValue(u"abc"), 0);
  EXPECT_EQ(NumericPrefixValue(u"-"), 0);
  EXPECT_EQ(NumericPrefixValue(u"0x4D2"), 0);
  EXPECT_EQ(NumericPrefixValue(u"&H"), 0);
}

TEST(NumericPrefixValue, RadixPrefixesAreSixteenBitWhenTheyFit) {
  EXPECT_EQ(NumericPrefixValue(u"&H4D2"), 1234);
  EXPECT_EQ(NumericPrefixValue(u"&h4d2"), 1234);
  EXPECT_EQ(NumericPrefixValue(u"&H7FFF"), 32767);
  EXPECT_EQ(NumericPrefixValue(u"&H8000"), -32768);
  EXPECT_EQ(NumericPrefixValue(u"&HFFFF"), -1);
  EXPECT_EQ(NumericPrefixValue(u"&H10000"), 65536);
  EXPECT_EQ(NumericPrefixValue(u"&HFFFFFFFF"), -1);
  EXPECT_EQ(NumericPrefixValue(u"&O17"), 15);
  EXPECT_EQ(NumericPrefixValue(u"&O178"), 15);
  EXPECT_EQ(NumericPrefixValue(u"& H 4D2"), 1234);
}

TEST(NumericPrefixValue, NumbersBeyondRangeOverflow) {
  EXPECT_EQ(ErrorNumberOf([] { NumericPrefixValue(u"&H100000000"); }), quillvane::kErrOverflow);
  EXPECT_EQ(ErrorNumberOf([] { NumericPrefixValue(u"1e999"); }), quillvane::kErrOverflow);
}

TEST(TextToLong, RoundsFractionsHalfToEven) {
  EXPECT_EQ(TextToLong(u"42"), 42);
  EXPECT_EQ(TextToLong(u"  42  "), 42);
  EXPECT_EQ(TextToLong(u"-7"), -7);
  EXPECT_EQ(TextToLong(u"+7"), 7);
  EXPECT_EQ(TextToLong(u"2.5"), 2);
  EXPECT_EQ(TextToLong(u"3.5"), 4);
  EXPECT_EQ(TextToLong(u"-2.5"), -2);
  EXPECT_EQ(TextToLong(u"2.5000001"), 3);
  EXPECT_EQ(TextToLong(u"2.4999999999999999999"), 2);
  EXPECT_EQ(TextToLong(u".5"), 0);
  EXPECT_EQ(TextToLong(u"5."), 5);
}

TEST(TextToLong, KeepsTheFullThirtyTwoBitRangeAndOverflowsBeyondIt) {
  EXPECT_EQ(TextToLong(u"2147483647"), 2147483647);
  EXPECT_EQ(TextToLong(u"-2147483648"), -2147483647 - 1);
  EXPECT_EQ(TextToLong(u"-2147483648.5"), -2147483647 - 1);
  EXPECT_EQ(TextToLong(u"00000000000000000012"), 12);
  for (const char16_t* text : {u"2147483648", u"2147483647.5", u"-2147483649", u"-2147483648.6",
                               u"99999999999999999999"}) {
    EXPECT_EQ(ErrorNumberOf([text] { TextToLong(text); }), quillvane::kErrOverflow);
  }
}

TEST(TextToLong, TextThatIsNoNumberIsATypeMismatch) {
  for (const char16_t* text : {u"", u"   ", u"+", u".", u"abc", u"1a", u"1 2", u"1e3", u"--1"}) {
    EXPECT_EQ(ErrorNumberOf([text] { TextToLong(text); }), quillvane::kErrTypeMismatch);
  }
}

TEST(AutomationBoundary, RunTimeErrorsBecomeFacilityTenFailuresWithAnEmptyResult) {
  auto outcome = quillvane::CallMethod(
      []() -> std::int32_t { throw quillvane::RuntimeError(quillvane::kErrSubscriptOutOfRange); });
  EXPECT_EQ(static_cast<std::uint32_t>(outcome.hresult), 0x800A0009u);
  EXPECT_EQ(outcome.value, 0);
  EXPECT_EQ(outcome.description, u"Subscript out of range");

  auto text = quillvane::CallMethod(
      []() -> std::u16string { throw quillvane::RuntimeError(quillvane::kErrTypeMismatch); });
  EXPECT_EQ(static_cast<std::uint32_t>(text.hresult), 0x800A000Du);
  EXPECT_TRUE(text.value.empty());
}

TEST(AutomationBoundary, ForeignFailuresKeepTheirStatusAndSuccessKeepsTheValue) {
  auto foreign = quillvane::CallMethod([]() -> std::int32_t {
    throw quillvane::RuntimeError::Foreign(static_cast<std::int32_t>(0x80020006u), "unknown name");
  });
  EXPECT_EQ(static_cast<std::uint32_t>(foreign.hresult), 0x80020006u);
  EXPECT_EQ(foreign.value, 0);

  auto fine = quillvane::CallMethod([] { return std::int32_t{450}; });
  EXPECT_EQ(fine.hresult, 0);
  EXPECT_EQ(fine.value, 450);
}

}  // namespace
