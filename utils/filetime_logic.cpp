#include "utils/filetime_logic.h"

#include "automation/text_logic.h"

namespace vantorelix {
namespace {
std::u16string twoDigits(uint16_t value) {
  std::u16string text = decimal(value);
  return text.size() == 1 ? u"0" + text : text;
}
}  // namespace

TimeFields timeFieldsOf(const int32_t (&values)[7]) {
  auto low = [](int32_t v) { return static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFFu); };
  TimeFields f;
  f.year = low(values[0]);
  f.month = low(values[1]);
  f.day = low(values[2]);
  f.hour = low(values[3]);
  f.minute = low(values[4]);
  f.second = low(values[5]);
  f.milliseconds = low(values[6]);
  return f;
}

TimeFields withCalendarDefaults(TimeFields fields) {
  if (fields.month == 0) fields.month = 1;
  if (fields.day == 0) fields.day = 1;
  return fields;
}

std::u16string formatFileTime(const TimeFields& local) {
  return decimal(local.year) + u"/" + decimal(local.month) + u"/" + decimal(local.day) + u" " + twoDigits(local.hour) +
         u":" + twoDigits(local.minute) + u":" + twoDigits(local.second);
}

TimeSelection selectTimes(std::u16string_view sTimeType) {
  TimeSelection selection;
  for (char16_t unit : sTimeType.substr(0, 3)) {
    switch (static_cast<unsigned char>(unit & 0xFF)) {
      case 'C':
      case 'c': selection.selected[creationTime] = true; break;
      case 'A':
      case 'a': selection.selected[lastAccessTime] = true; break;
      case 'W':
      case 'w': selection.selected[lastWriteTime] = true; break;
      default: break;
    }
  }
  return selection;
}

std::u16string_view timePrefix(int position) {
  static const char16_t* const kPrefixes[] = {u"CreationTime: ", u"LastAccessTime: ", u"LastWriteTime: "};
  return kPrefixes[position];
}

}  // namespace vantorelix
