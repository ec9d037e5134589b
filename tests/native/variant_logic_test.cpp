#include "automation/variant_logic.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>


using namespace vantorelix;

TEST(IntegerLiteral, DecimalWithSpacesAndSignWithinTheSignedRange) {
  EXPECT_EQ(parseIntegerLiteral("5"), 5);
  EXPECT_EQ(parseIntegerLiteral("   42"), 42);
  EXPECT_EQ(parseIntegerLiteral("+7"), 7);
  EXPECT_EQ(parseIntegerLiteral("-2147483648"), INT32_MIN);
  EXPECT_EQ(parseIntegerLiteral("2147483647"), INT32_MAX);
  EXPECT_EQ(parseIntegerLiteral("000012"), 12);
  EXPECT_FALSE(parseIntegerLiteral("2147483648"));
  EXPECT_FALSE(parseIntegerLiteral("-2147483649"));
  EXPECT_FALSE(parseIntegerLiteral("99999999999999999999"));
}

TEST(IntegerLiteral, HexPrefixesStandForThe32BitPattern) {
  EXPECT_EQ(parseIntegerLiteral("$FFFFFFFF"), -1);
  EXPECT_EQ(parseIntegerLiteral("$80000000"), INT32_MIN);
  EXPECT_EQ(parseIntegerLiteral("0x1f"), 31);
  EXPECT_EQ(parseIntegerLiteral("0X1F"), 31);
  EXPECT_EQ(parseIntegerLiteral("x10"), 16);
  EXPECT_EQ(parseIntegerLiteral("X10"), 16);
  EXPECT_EQ(parseIntegerLiteral(" -$10"), -16);
  EXPECT_EQ(parseIntegerLiteral("$00000000FF"), 255) << "leading zeros do not count towards 32 bits";
  EXPECT_FALSE(parseIntegerLiteral("$100000000"));
  EXPECT_FALSE(parseIntegerLiteral("$"));
  EXPECT_FALSE(parseIntegerLiteral("0x"));
  EXPECT_FALSE(parseIntegerLiteral("$G"));
}

TEST(IntegerLiteral, NothingMayFollowOrStandBetween) {
  EXPECT_FALSE(parseIntegerLiteral(""));
  EXPECT_FALSE(parseIntegerLiteral("   "));
  EXPECT_FALSE(parseIntegerLiteral("abc"));
  EXPECT_FALSE(parseIntegerLiteral("5 "));
  EXPECT_FALSE(parseIntegerLiteral("5x"));
  EXPECT_FALSE(parseIntegerLiteral("- 5"));
  EXPECT_FALSE(parseIntegerLiteral("--5"));
  EXPECT_FALSE(parseIntegerLiteral("\t5")) << "only spaces are skipped";
  EXPECT_FALSE(parseIntegerLiteral("1.5"));
  EXPECT_FALSE(parseIntegerLiteral("$FF$"));
  EXPECT_FALSE(parseIntegerLiteral(std::string_view("5\0", 2)));
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(roundToInt32(2.5), 2);
  EXPECT_EQ(roundToInt32(3.5), 4);
  EXPECT_EQ(roundToInt32(-2.5), -2);
  EXPECT_EQ(roundToInt32(-3.5), -4);
  EXPECT_EQ(roundToInt32(-0.5), 0);
  EXPECT_EQ(roundToInt32(2.4999), 2);
  EXPECT_EQ(roundToInt32(2.5001), 3);
  EXPECT_EQ(roundToInt32(-2147483648.5), INT32_MIN);
  EXPECT_EQ(roundToInt32(2147483646.5), 2147483646);
}

TEST(Rounding, OutsideTheSignedRangeOrNoNumberGivesNothing) {
  EXPECT_FALSE(roundToInt32(3e9));
  EXPECT_FALSE(roundToInt32(2147483647.5)) << "rounds to the even 2147483648";
  EXPECT_FALSE(roundToInt32(-2147483649.0));
  EXPECT_FALSE(roundToInt32(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(roundToInt32(std::numeric_limits<double>::infinity()));
}

TEST(Rounding, CurrencyIsDividedBy10000ThenRoundedTheSameWay) {
  EXPECT_EQ(currencyToInt32(25000), 2);
  EXPECT_EQ(currencyToInt32(35000), 4);
  EXPECT_EQ(currencyToInt32(-25000), -2);
  EXPECT_EQ(currencyToInt32(-35000), -4);
  EXPECT_EQ(currencyToInt32(15001), 2);
  EXPECT_EQ(currencyToInt32(-15001), -2);
  EXPECT_EQ(currencyToInt32(0), 0);
  EXPECT_EQ(currencyToInt32(int64_t{INT32_MIN} * 10000), INT32_MIN);
  EXPECT_FALSE(currencyToInt32(int64_t{INT32_MAX} * 10000 + 5000));
  EXPECT_FALSE(currencyToInt32(INT64_MIN));
  EXPECT_FALSE(currencyToInt32(INT64_MAX));
}

TEST(TruthWords, TrueAndFalseInAnyCaseOnly) {
  EXPECT_EQ(parseTruthWord(u"True"), true);
  EXPECT_EQ(parseTruthWord(u"tRUE"), true);
  EXPECT_EQ(parseTruthWord(u"FALSE"), false);
  EXPECT_FALSE(parseTruthWord(u"yes"));
  EXPECT_FALSE(parseTruthWord(u" true"));
  EXPECT_FALSE(parseTruthWord(u"truE!"));
  EXPECT_FALSE(parseTruthWord(u""));
  EXPECT_FALSE(parseTruthWord(u"\uff34rue")) << "a fullwidth T is no letter of the word";
}

TEST(TypeNames, TableByNumberWithPrefixes) {
  EXPECT_EQ(variantTypeName(1), u"Null");
  EXPECT_EQ(variantTypeName(15), u"$0F");
  EXPECT_EQ(variantTypeName(20), u"Int64");
  EXPECT_EQ(variantTypeName(0x4005), u"ByRef Double");
  EXPECT_EQ(variantTypeName(0x600C), u"ByRef Array Variant");
  EXPECT_EQ(variantTypeName(21), u"$0015") << "past the table: the number in four digits";
}
