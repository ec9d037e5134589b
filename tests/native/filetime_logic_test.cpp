#include "utils/filetime_logic.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace vantorelix;

namespace {
TimeFields fields(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, uint16_t ms = 0) {
  TimeFields f;
  f.year = y; f.month = mo; f.day = d; f.hour = h; f.minute = mi; f.second = s; f.milliseconds = ms;
  return f;
}

// The seven fields in their order, to compare whole records.
std::vector<int> numbersOf(const TimeFields& f) {
  return {f.year, f.month, f.day, f.hour, f.minute, f.second, f.milliseconds};
}
}  // namespace

TEST(TimeText, DateWithoutLeadingZerosTimeInTwoDigitsNoMilliseconds) {
  const std::pair<TimeFields, std::u16string> cases[] = {
      {fields(2024, 3, 5, 7, 8, 9, 250), u"2024/3/5 07:08:09"},
      {fields(1999, 12, 31, 23, 59, 59), u"1999/12/31 23:59:59"},
      {fields(2020, 1, 1, 0, 0, 0), u"2020/1/1 00:00:00"},
      {fields(1601, 10, 9, 10, 0, 5), u"1601/10/9 10:00:05"},
      {fields(30827, 12, 31, 23, 59, 59, 999), u"30827/12/31 23:59:59"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(formatFileTime(c.first), c.second) << ::testing::PrintToString(numbersOf(c.first));
}

TEST(TimeFieldsOfNumbers, TakeTheLow16Bits) {
  const int32_t numbers[7] = {2020, 65537, -1, 0x10005, 0, 59, 1000};
  EXPECT_EQ(numbersOf(timeFieldsOf(numbers)), (std::vector<int>{2020, 1, 65535, 5, 0, 59, 1000}));
}

TEST(CalendarDefaults, MonthAndDayZeroActAsOneTimeFieldsStay) {
  EXPECT_EQ(numbersOf(withCalendarDefaults(fields(2020, 0, 0, 0, 0, 0, 0))),
            (std::vector<int>{2020, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(numbersOf(withCalendarDefaults(fields(0, 13, 40, 25, 61, 61, 1000))),
            (std::vector<int>{0, 13, 40, 25, 61, 61, 1000}))
      << "no range check: the platform rejects it";
}

namespace {
std::string picked(std::u16string_view type) {
  TimeSelection s = selectTimes(type);
  std::string out;
  out += s.selected[creationTime] ? 'C' : '-';
  out += s.selected[lastAccessTime] ? 'A' : '-';
  out += s.selected[lastWriteTime] ? 'W' : '-';
  return out;
}
}  // namespace

TEST(TimeSelectionLetters, FirstThreeUnitsByTheirLowByte) {
  struct Case {
    std::u16string type;
    const char* picked;
    const char* why;
  };
  const Case cases[] = {
      {u"cw", "C-W", ""},
      {u"CAW", "CAW", ""},
      {u"Access", "CA-", "letters A, c, c"},
      {u"LastWrite", "-A-", "letters L, a, s"},
      {u"xyzW", "---", "the fourth unit is never examined"},
      {u"\uff57", "--W", "fullwidth w has the low byte 0x57"},
      {u"\u0157", "--W", ""},
      {u"\u0143", "C--", ""},
      {u"ww", "--W", ""},
      {u"", "---", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(picked(c.type), c.picked) << c.why;
  const std::pair<std::u16string, bool> any[] = {{u"", false}, {u"xyz", false}, {u"xya", true}};
  for (const auto& c : any) EXPECT_EQ(selectTimes(c.first).any(), c.second) << picked(c.first);
}

TEST(TimeSelectionLetters, PrefixesByPosition) {
  EXPECT_EQ(timePrefix(creationTime), u"CreationTime: ");
  EXPECT_EQ(timePrefix(lastAccessTime), u"LastAccessTime: ");
  EXPECT_EQ(timePrefix(lastWriteTime), u"LastWriteTime: ");
}
