// The text forms of the desktop and file-time methods on arbitrary input, checked against the
// C library's formatting: the work area in both forms, the colour order, the timestamp text
// and the choice of timestamps by a type text.
//
// Input: the first 28 bytes are seven 32-bit integers (the work area takes the first four
// and the flag the fifth; the time fields take all seven); the rest is UTF-16 for the type.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "utils/color_logic.h"
#include "utils/filetime_logic.h"

using namespace vantorelix;

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

std::u16string ascii(const char* s) { return std::u16string(s, s + std::strlen(s)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t v[7] = {};
  std::memcpy(v, data, size < sizeof v ? size : sizeof v);
  char expect[160];

  WorkArea area{v[0], v[1], v[2], v[3]};
  std::snprintf(expect, sizeof expect, "%d,%d,%d,%d", v[0], v[1], v[2], v[3]);
  require(workAreaText(area, 0) == ascii(expect));
  std::snprintf(expect, sizeof expect, "({left:%d,top:%d,right:%d,bottom:%d})", v[0], v[1], v[2], v[3]);
  require(workAreaText(area, v[4] ? v[4] : 1) == ascii(expect));

  uint32_t colour = uint32_t(v[5]);
  uint32_t swapped = swapRedBlue(colour);
  require(swapped == (((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF)));
  require(swapRedBlue(swapped) == (colour & 0xFFFFFF));

  TimeFields f = timeFieldsOf(v);
  require(f.year == uint16_t(v[0]) && f.month == uint16_t(v[1]) && f.milliseconds == uint16_t(v[6]));
  TimeFields d = withCalendarDefaults(f);
  require(d.month == (f.month ? f.month : 1) && d.day == (f.day ? f.day : 1) && d.year == f.year &&
          d.hour == f.hour && d.second == f.second);
  std::snprintf(expect, sizeof expect, "%u/%u/%u %02u:%02u:%02u", f.year, f.month, f.day, f.hour, f.minute, f.second);
  require(formatFileTime(f) == ascii(expect));

  std::u16string type;
  for (size_t i = sizeof v; i + 1 < size; i += 2) type += char16_t(data[i] | data[i + 1] << 8);
  TimeSelection chosen = selectTimes(type);
  bool want[3] = {false, false, false};
  for (size_t i = 0; i < 3 && i < type.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(type[i] & 0xFF);
    if (b == 'C' || b == 'c') want[0] = true;
    if (b == 'A' || b == 'a') want[1] = true;
    if (b == 'W' || b == 'w') want[2] = true;
  }
  for (int i = 0; i < 3; ++i) require(chosen.selected[i] == want[i]);
  return 0;
}
