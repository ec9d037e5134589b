#include "automation/text_logic.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace vantorelix;

namespace {
// Inputs and what a function makes of them.
template <class In>
using Cases = std::vector<std::pair<In, std::u16string>>;
}  // namespace

TEST(Numbers, DecimalHasNoSignLeadingZerosOrSeparators) {
  for (const auto& c :
       Cases<uint32_t>{{0, u"0"}, {87, u"87"}, {0x80070005u, u"2147942405"}, {0xFFFFFFFFu, u"4294967295"}})
    EXPECT_EQ(decimal(c.first), c.second) << c.first;
  for (const auto& c : Cases<int32_t>{{-1280, u"-1280"}, {INT32_MIN, u"-2147483648"}, {INT32_MAX, u"2147483647"}})
    EXPECT_EQ(signedDecimal(c.first), c.second) << c.first;
}

TEST(Numbers, HexIsUpperCaseAndFilledOnlyWhenAsked) {
  for (const auto& c : Cases<uint32_t>{{0x8000FFFFu, u"8000FFFF"}, {0x1Au, u"0000001A"}})
    EXPECT_EQ(hexUpper(c.first, 8), c.second) << c.first;
  for (const auto& c : Cases<uint32_t>{{0xE0434352u, u"E0434352"}, {0x5u, u"5"}, {0u, u"0"}})
    EXPECT_EQ(hexUpper(c.first), c.second) << c.first;
}

TEST(Trimming, RemovesSpacesControlCharactersAndPeriodsAtTheEnd) {
  const Cases<std::u16string> cases = {
      {u"Access is denied.\r\n", u"Access is denied"}, {u"a. . \t.", u"a"}, {u" . \r\n", u""},
      {u"\u30a8\u30e9\u30fc\u3002 ", u"\u30a8\u30e9\u30fc\u3002"},  // "。" is not "."
      {u"x\U0001F600 ", u"x\U0001F600"},  // a surrogate pair stays whole
      {u"inner. text", u"inner. text"},
  };
  for (const auto& c : cases) EXPECT_EQ(trimTrailing(c.first), c.second) << ::testing::PrintToString(c.first);
}

TEST(ClosingPeriod, AppendedOnlyAfterACharacterGreaterThanPeriod) {
  const Cases<std::u16string> cases = {
      {u"Cannot create", u"Cannot create."}, {u"code 7", u"code 7."}, {u"done.", u"done."}, {u"(x)", u"(x)"},
      {u"trailing ", u"trailing "}, {u"", u""}, {u"\u30a8\u30e9\u30fc", u"\u30a8\u30e9\u30fc."},
      {u"a\U0001F600", u"a\U0001F600."},
  };
  for (const auto& c : cases) EXPECT_EQ(withClosingPeriod(c.first), c.second) << ::testing::PrintToString(c.first);
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
