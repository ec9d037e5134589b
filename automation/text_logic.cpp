#include "automation/text_logic.h"

#include <vector>

namespace vantorelix {

std::u16string decimal(uint32_t value) {
  char16_t digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  std::u16string out;
  out.reserve(n);
  while (n > 0) out.push_back(digits[--n]);
  return out;
}

std::u16string signedDecimal(int32_t value) {
  if (value >= 0) return decimal(static_cast<uint32_t>(value));
  // The magnitude of INT32_MIN does not fit in int32_t; in uint32_t arithmetic it does.
  std::u16string out = decimal(0u - static_cast<uint32_t>(value));
  out.insert(out.begin(), u'-');
  return out;
}

std::u16string hexUpper(uint32_t value, int width) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (width > 0 && static_cast<int>(out.size()) < width) out.insert(0, width - out.size(), u'0');
  return out;
}

std::u16string trimTrailing(std::u16string text) {
  while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) text.pop_back();
  return text;
}

std::u16string withClosingPeriod(std::u16string text) {
  // A trailing low surrogate stands for a character above U+FFFF, which is greater than ".".
  if (!text.empty() && text.back() > u'.') text.push_back(u'.');
  return text;
}

std::u16string fillMessage(std::u16string_view templ, std::initializer_list<std::u16string_view> args) {
  std::vector<std::u16string_view> list(args);
  std::u16string out;
  out.reserve(templ.size() + 32);
  size_t next = 0;
  for (size_t i = 0; i < templ.size(); ++i) {
    char16_t c = templ[i];
    if (c != u'%' || i + 1 >= templ.size()) {
      out.push_back(c);
      continue;
    }
    if (templ[i + 1] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    // %[index:][.precision]letter
    size_t j = i + 1;
    size_t index = next;
    size_t digitsStart = j;
    size_t number = 0;
    while (j < templ.size() && templ[j] >= u'0' && templ[j] <= u'9') number = number * 10 + (templ[j++] - u'0');
    if (j < templ.size() && templ[j] == u':' && j > digitsStart) {
      index = number;
      ++j;
    } else {
      j = digitsStart;
    }
    if (j < templ.size() && templ[j] == u'.') {
      ++j;
      while (j < templ.size() && templ[j] >= u'0' && templ[j] <= u'9') ++j;
    }
    if (j >= templ.size()) {  // a lone "%" at the end stays as written
      out.append(templ.substr(i));
      break;
    }
    if (index < list.size()) out.append(list[index]);
    next = index + 1;
    i = j;  // the letter itself
  }
  return out;
}

std::u16string asciiToUtf16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace vantorelix
