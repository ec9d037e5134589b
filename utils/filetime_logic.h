// The parts of the file-time methods that need no platform call: the time fields and their
// calendar defaults, the text form of a timestamp, which timestamps a type text selects, and
// the methods' own message texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantorelix {

// Year, Month, Day, Hour, Minute, Second and milliseconds, each the low 16 bits of what the
// caller gave.
struct TimeFields {
  uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// The low 16 bits of seven integers, in field order.
TimeFields timeFieldsOf(const int32_t (&values)[7]);

// The fields of a calendar record: Month and Day 0 stand for 1; nothing else changes and no
// range is checked (the platform's conversion rejects what is out of range).
TimeFields withCalendarDefaults(TimeFields fields);

// year/month/day hh:mm:ss: no leading zeros in the date, two digits in every time field, no
// milliseconds.
std::u16string formatFileTime(const TimeFields& local);

// The three timestamps, in the order of the platform's calls and of getFileTime's result.
enum TimePosition { creationTime = 0, lastAccessTime = 1, lastWriteTime = 2 };

struct TimeSelection {
  bool selected[3] = {false, false, false};
  bool any() const { return selected[0] || selected[1] || selected[2]; }
};

// The timestamps that a type text names: its first three code units, each reduced to its low
// byte, "C"/"c" creation, "A"/"a" last access, "W"/"w" last write; other bytes select nothing.
TimeSelection selectTimes(std::u16string_view sTimeType);

// The prefix of a conversion failure of setFileTime's argument at this position.
std::u16string_view timePrefix(int position);

inline constexpr char16_t kNoTimeGiven[] = u"指定がどれもない。";
inline constexpr char16_t kNoTimeSelected[] = u"どれの変更かの指定がない。";
inline constexpr char16_t kFileOpenFailed[] = u"ファイルの取得に失敗";

}  // namespace vantorelix
