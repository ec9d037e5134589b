#include "utils/filetime_logic.h"

#include <gtest/gtest.h>

using namespace vantorelix;

namespace {
TimeFields fields(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, uint16_t ms = 0) {
  TimeFields f;
  f.year = y; f.month = mo; f.day = d; f.hour = h; f.minute = mi; f.second = s; f.milliseconds = ms;
  return f;
}
}  // namespace

TEST(TimeText, DateWithoutLeadingZerosTimeInTwoDigitsNoMilliseconds) {
  EXPECT_EQ(formatFileTime(fields(2024, 3, 5, 7, 8, 9, 250)), u"2024/3/5 07:08:09");
  EXPECT_EQ(formatFileTime(fields(1999, 12, 31, 23, 59, 59)), u"1999/12/31 23:59:59");
  EXPECT_EQ(formatFileTime(fields(2020, 1, 1, 0, 0, 0)), u"2020/1/1 00:00:00");
  EXPECT_EQ(formatFileTime(fields(1601, 10, 9, 10, 0, 5)), u"1601/10/9 10:00:05");
  EXPECT_EQ(formatFileTime(fields(30827, 12, 31, 23, 59, 59, 999)), u"30827/12/31 23:59:59");
}

TEST(TimeFieldsOfNumbers, TakeTheLow16Bits) {
  const int32_t numbers[7] = {2020, 65537, -1, 0x10005, 0, 59, 1000};
  TimeFields f = timeFieldsOf(numbers);
  EXPECT_EQ(f.year, 2020);
  EXPECT_EQ(f.month, 1);
  EXPECT_EQ(f.day, 65535);
  EXPECT_EQ(f.hour, 5);
  EXPECT_EQ(f.minute, 0);
  EXPECT_EQ(f.second, 59);
  EXPECT_EQ(f.milliseconds, 1000);
}

TEST(CalendarDefaults, MonthAndDayZeroActAsOneTimeFieldsStay) {
  TimeFields f = withCalendarDefaults(fields(2020, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(f.month, 1);
  EXPECT_EQ(f.day, 1);
  EXPECT_EQ(f.hour, 0);
  EXPECT_EQ(f.minute, 0);
  EXPECT_EQ(f.second, 0);
  EXPECT_EQ(f.milliseconds, 0);
  EXPECT_EQ(f.year, 2020);
  TimeFields g = withCalendarDefaults(fields(0, 13, 40, 25, 61, 61, 1000));
  EXPECT_EQ(g.year, 0) << "no range check: the platform rejects it";
  EXPECT_EQ(g.month, 13);
  EXPECT_EQ(g.day, 40);
  EXPECT_EQ(g.hour, 25);
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
  EXPECT_EQ(picked(u"cw"), "C-W");
  EXPECT_EQ(picked(u"CAW"), "CAW");
  EXPECT_EQ(picked(u"Access"), "CA-") << "letters A, c, c";
  EXPECT_EQ(picked(u"LastWrite"), "-A-") << "letters L, a, s";
  EXPECT_EQ(picked(u"xyzW"), "---") << "the fourth unit is never examined";
  EXPECT_EQ(picked(u"\uff57"), "--W") << "fullwidth w has the low byte 0x57";
  EXPECT_EQ(picked(u"\u0157"), "--W");
  EXPECT_EQ(picked(u"\u0143"), "C--");
  EXPECT_EQ(picked(u"ww"), "--W");
  EXPECT_EQ(picked(u""), "---");
  EXPECT_FALSE(selectTimes(u"").any());
  EXPECT_FALSE(selectTimes(u"xyz").any());
  EXPECT_TRUE(selectTimes(u"xya").any());
}

TEST(TimeSelectionLetters, PrefixesByPosition) {
  EXPECT_EQ(timePrefix(creationTime), u"CreationTime: ");
  EXPECT_EQ(timePrefix(lastAccessTime), u"LastAccessTime: ");
  EXPECT_EQ(timePrefix(lastWriteTime), u"LastWriteTime: ");
}
