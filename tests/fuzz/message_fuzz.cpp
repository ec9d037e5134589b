// The message filling and the number texts of the frame on arbitrary input, each answer
// checked against the C library or against what the operation promises.
//
// Input: byte 0 is the argument count (0 to 3), byte 1 a hexadecimal width; the rest is
// UTF-16 (little-endian pairs) split at U+FFFF into the template and the arguments. The
// first four bytes are also the number for the decimal and hexadecimal texts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "automation/text_logic.h"

using namespace vantorelix;

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

std::u16string ascii(const char* s) { return std::u16string(s, s + std::strlen(s)); }

bool trimmable(char16_t c) { return c <= u' ' || c == u'.'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  uint32_t number = 0;
  std::memcpy(&number, data, size < 4 ? size : 4);
  char expect[32];
  std::snprintf(expect, sizeof expect, "%u", number);
  require(decimal(number) == ascii(expect));
  std::snprintf(expect, sizeof expect, "%d", int32_t(number));
  require(signedDecimal(int32_t(number)) == ascii(expect));
  int width = data[1] % 12;
  std::snprintf(expect, sizeof expect, "%0*X", width, number);
  require(hexUpper(number, width) == ascii(expect));  // width 0: no leading zeros, as %X

  size_t argCount = data[0] % 4;
  std::vector<std::u16string> parts(1);
  for (size_t i = 2; i + 1 < size; i += 2) {
    char16_t c = char16_t(data[i] | data[i + 1] << 8);
    if (c == 0xFFFF) parts.emplace_back();
    else parts.back() += c;
  }
  while (parts.size() < 1 + argCount) parts.emplace_back();
  const std::u16string& templ = parts[0];
  std::u16string_view a0 = argCount > 0 ? std::u16string_view(parts[1]) : std::u16string_view();
  std::u16string_view a1 = argCount > 1 ? std::u16string_view(parts[2]) : std::u16string_view();
  std::u16string_view a2 = argCount > 2 ? std::u16string_view(parts[3]) : std::u16string_view();
  std::u16string filled = argCount == 0 ? fillMessage(templ, {})
                          : argCount == 1 ? fillMessage(templ, {a0})
                          : argCount == 2 ? fillMessage(templ, {a0, a1})
                                          : fillMessage(templ, {a0, a1, a2});
  size_t percents = 0;
  for (char16_t c : templ) percents += c == u'%';
  // Without a specifier the template comes back as it is; with them, each one adds at most
  // the longest argument.
  if (percents == 0) require(filled == templ);
  size_t longest = std::max({a0.size(), a1.size(), a2.size()});
  require(filled.size() <= templ.size() + percents * longest);

  // Trimming takes a tail of spaces, controls and periods, never half a surrogate pair.
  std::u16string trimmed = trimTrailing(templ);
  require(trimmed.size() <= templ.size() && templ.compare(0, trimmed.size(), trimmed) == 0);
  for (size_t i = trimmed.size(); i < templ.size(); ++i) require(trimmable(templ[i]));
  if (!trimmed.empty()) require(!trimmable(trimmed.back()) || trimmed == templ);

  // The closing period: the text itself, or the text and ".".
  std::u16string closed = withClosingPeriod(templ);
  require(closed == templ || closed == templ + u".");
  if (!templ.empty() && templ.back() == u'.') require(closed == templ);
  return 0;
}
