#include "automation/variant_logic.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <gtest/gtest.h>

using namespace vantorelix;

namespace {
// An input, the answer expected (nothing where none is), and why where it is not plain.
template <class In, class Out>
struct Case {
  In input;
  std::optional<Out> answer;
  const char* why = "";
};
using Literal = Case<std::string_view, int32_t>;
using Rounded = Case<double, int32_t>;
using Currency = Case<int64_t, int32_t>;
using Truth = Case<std::u16string_view, bool>;
const auto none = std::nullopt;
}  // namespace

TEST(IntegerLiteral, DecimalWithSpacesAndSignWithinTheSignedRange) {
  const Literal cases[] = {
      {"5", 5}, {"   42", 42}, {"+7", 7}, {"-2147483648", INT32_MIN}, {"2147483647", INT32_MAX}, {"000012", 12},
      {"2147483648", none}, {"-2147483649", none}, {"99999999999999999999", none},
  };
  for (const Literal& c : cases) EXPECT_EQ(parseIntegerLiteral(c.input), c.answer) << c.input;
}

TEST(IntegerLiteral, HexPrefixesStandForThe32BitPattern) {
  const Literal cases[] = {
      {"$FFFFFFFF", -1}, {"$80000000", INT32_MIN}, {"0x1f", 31}, {"0X1F", 31}, {"x10", 16}, {"X10", 16},
      {" -$10", -16},
      {"$00000000FF", 255, "leading zeros do not count towards 32 bits"},
      {"$100000000", none}, {"$", none}, {"0x", none}, {"$G", none},
  };
  for (const Literal& c : cases) EXPECT_EQ(parseIntegerLiteral(c.input), c.answer) << c.input << " " << c.why;
}

TEST(IntegerLiteral, NothingMayFollowOrStandBetween) {
  const Literal cases[] = {
      {"", none}, {"   ", none}, {"abc", none}, {"5 ", none}, {"5x", none}, {"- 5", none}, {"--5", none},
      {"\t5", none, "only spaces are skipped"},
      {"1.5", none}, {"$FF$", none}, {std::string_view("5\0", 2), none},
  };
  for (const Literal& c : cases)
    EXPECT_EQ(parseIntegerLiteral(c.input), c.answer) << ::testing::PrintToString(std::string(c.input)) << " " << c.why;
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  const Rounded cases[] = {
      {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {-0.5, 0}, {2.4999, 2}, {2.5001, 3}, {-2147483648.5, INT32_MIN},
      {2147483646.5, 2147483646},
  };
  for (const Rounded& c : cases) EXPECT_EQ(roundToInt32(c.input), c.answer) << c.input;
}

TEST(Rounding, OutsideTheSignedRangeOrNoNumberGivesNothing) {
  const Rounded cases[] = {
      {3e9, none},
      {2147483647.5, none, "rounds to the even 2147483648"},
      {-2147483649.0, none}, {std::numeric_limits<double>::quiet_NaN(), none},
      {std::numeric_limits<double>::infinity(), none},
  };
  for (const Rounded& c : cases) EXPECT_EQ(roundToInt32(c.input), c.answer) << c.input << " " << c.why;
}

TEST(Rounding, CurrencyIsDividedBy10000ThenRoundedTheSameWay) {
  const Currency cases[] = {
      {25000, 2}, {35000, 4}, {-25000, -2}, {-35000, -4}, {15001, 2}, {-15001, -2}, {0, 0},
      {int64_t{INT32_MIN} * 10000, INT32_MIN}, {int64_t{INT32_MAX} * 10000 + 5000, none}, {INT64_MIN, none},
      {INT64_MAX, none},
  };
  for (const Currency& c : cases) EXPECT_EQ(currencyToInt32(c.input), c.answer) << c.input;
}

TEST(TruthWords, TrueAndFalseInAnyCaseOnly) {
  const Truth cases[] = {
      {u"True", true}, {u"tRUE", true}, {u"FALSE", false}, {u"yes", none}, {u" true", none}, {u"truE!", none},
      {u"", none},
      {u"\uff34rue", none, "a fullwidth T is no letter of the word"},
  };
  for (const Truth& c : cases)
    EXPECT_EQ(parseTruthWord(c.input), c.answer) << ::testing::PrintToString(std::u16string(c.input)) << " " << c.why;
}

TEST(TypeNames, TableByNumberWithPrefixes) {
  const std::pair<uint16_t, std::u16string> cases[] = {
      {1, u"Null"}, {15, u"$0F"}, {20, u"Int64"}, {0x4005, u"ByRef Double"}, {0x600C, u"ByRef Array Variant"},
      {21, u"$0015"},  // past the table: the number in four digits
  };
  for (const auto& c : cases) EXPECT_EQ(variantTypeName(c.first), c.second) << c.first;
}
