#include "automation/text_logic.h"

#include <gtest/gtest.h>

using namespace vantorelix;

TEST(Numbers, DecimalHasNoSignLeadingZerosOrSeparators) {
  EXPECT_EQ(decimal(0), u"0");
  EXPECT_EQ(decimal(87), u"87");
  EXPECT_EQ(decimal(0x80070005u), u"2147942405");
  EXPECT_EQ(decimal(0xFFFFFFFFu), u"4294967295");
  EXPECT_EQ(signedDecimal(-1280), u"-1280");
  EXPECT_EQ(signedDecimal(INT32_MIN), u"-2147483648");
  EXPECT_EQ(signedDecimal(INT32_MAX), u"2147483647");
}

TEST(Numbers, HexIsUpperCaseAndFilledOnlyWhenAsked) {
  EXPECT_EQ(hexUpper(0x8000FFFFu, 8), u"8000FFFF");
  EXPECT_EQ(hexUpper(0x1Au, 8), u"0000001A");
  EXPECT_EQ(hexUpper(0xE0434352u), u"E0434352");
  EXPECT_EQ(hexUpper(0x5u), u"5");
  EXPECT_EQ(hexUpper(0u), u"0");
}

TEST(Trimming, RemovesSpacesControlCharactersAndPeriodsAtTheEnd) {
  EXPECT_EQ(trimTrailing(u"Access is denied.\r\n"), u"Access is denied");
  EXPECT_EQ(trimTrailing(u"a. . \t."), u"a");
  EXPECT_EQ(trimTrailing(u" . \r\n"), u"");
  EXPECT_EQ(trimTrailing(u"\u30a8\u30e9\u30fc\u3002 "), u"\u30a8\u30e9\u30fc\u3002");  // "。" is not "."
  EXPECT_EQ(trimTrailing(u"x\U0001F600 "), u"x\U0001F600");  // a surrogate pair stays whole
  EXPECT_EQ(trimTrailing(u"inner. text"), u"inner. text");
}

TEST(ClosingPeriod, AppendedOnlyAfterACharacterGreaterThanPeriod) {
  EXPECT_EQ(withClosingPeriod(u"Cannot create"), u"Cannot create.");
  EXPECT_EQ(withClosingPeriod(u"code 7"), u"code 7.");
  EXPECT_EQ(withClosingPeriod(u"done."), u"done.");
  EXPECT_EQ(withClosingPeriod(u"(x)"), u"(x)");
  EXPECT_EQ(withClosingPeriod(u"trailing "), u"trailing ");
  EXPECT_EQ(withClosingPeriod(u""), u"");
  EXPECT_EQ(withClosingPeriod(u"\u30a8\u30e9\u30fc"), u"\u30a8\u30e9\u30fc.");
  EXPECT_EQ(withClosingPeriod(u"a\U0001F600"), u"a\U0001F600.");
}

TEST(FillMessage, SequentialAndIndexedSpecifiers) {
  EXPECT_EQ(fillMessage(u"OLE \u30a8\u30e9\u30fc %.8x", {u"8000FFFF"}), u"OLE \u30a8\u30e9\u30fc 8000FFFF");
  EXPECT_EQ(fillMessage(u"%0:s\u578b\u304b\u3089 %1:s \u578b", {u"Null", u"Integer"}),
            u"Null\u578b\u304b\u3089 Integer \u578b");
  // Indexed specifiers may come in any order; a plain one continues after the last index.
  EXPECT_EQ(fillMessage(u"m '%1:s' a %0:p b %3:p c %2:s", {u"A", u"B", u"C", u"D"}), u"m 'B' a A b D c C");
  EXPECT_EQ(fillMessage(u"(%s%.8x)\r\n%s", {u"$", u"80004005", u"text"}), u"($80004005)\r\ntext");
  EXPECT_EQ(fillMessage(u"%1:s then %s", {u"a", u"b", u"c"}), u"b then c");
}

TEST(FillMessage, PercentSignsMissingArgumentsAndTrailingPercent) {
  EXPECT_EQ(fillMessage(u"100%% sure", {}), u"100% sure");
  EXPECT_EQ(fillMessage(u"[%s][%s]", {u"only"}), u"[only][]");
  EXPECT_EQ(fillMessage(u"ends with %", {u"x"}), u"ends with %");
  EXPECT_EQ(fillMessage(u"no specifiers", {u"x"}), u"no specifiers");
}
