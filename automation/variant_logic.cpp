#include "automation/variant_logic.h"

#include <cmath>

#include "automation/frame_strings.h"
#include "automation/text_logic.h"

namespace vantorelix {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The digits that follow a hexadecimal prefix, as a 32-bit pattern.
std::optional<uint32_t> hexDigits(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int d = hexDigit(c);
    if (d < 0 || value > 0x0FFFFFFFu) return std::nullopt;
    value = (value << 4) | static_cast<uint32_t>(d);
  }
  return value;
}

// Decimal digits as a magnitude; at most 2147483648, the magnitude of the smallest value.
std::optional<uint32_t> decimalDigits(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > 0x80000000ull) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

std::optional<int32_t> parseIntegerLiteral(std::string_view text) {
  size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return std::nullopt;
  text.remove_prefix(start);
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  for (std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
    if (!startsWith(text, prefix)) continue;
    auto pattern = hexDigits(text.substr(prefix.size()));
    if (!pattern) return std::nullopt;
    uint32_t bits = negative ? 0u - *pattern : *pattern;
    return static_cast<int32_t>(bits);
  }
  auto magnitude = decimalDigits(text);
  if (!magnitude) return std::nullopt;
  if (!negative && *magnitude > 0x7FFFFFFFu) return std::nullopt;
  return static_cast<int32_t>(negative ? 0u - *magnitude : *magnitude);
}

std::optional<int32_t> roundToInt32(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double whole = std::floor(value);
  double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole < -2147483648.0 || whole > 2147483647.0) return std::nullopt;
  return static_cast<int32_t>(whole);
}

std::optional<int32_t> currencyToInt32(int64_t scaled) {
  // Exact integer arithmetic: a double cannot hold every currency value.
  int64_t whole = scaled / 10000;
  int64_t rest = scaled % 10000;  // same sign as scaled
  if (rest < 0) {
    rest += 10000;
    whole -= 1;
  }
  if (rest > 5000 || (rest == 5000 && (whole % 2) != 0)) whole += 1;
  if (whole < INT32_MIN || whole > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(whole);
}

std::optional<bool> parseTruthWord(std::u16string_view text) {
  auto sameWord = [&](std::u16string_view word) {
    if (text.size() != word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      char16_t c = text[i];
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
      if (c != word[i]) return false;
    }
    return true;
  };
  if (sameWord(u"true")) return true;
  if (sameWord(u"false")) return false;
  return std::nullopt;
}

std::u16string variantTypeName(uint16_t vt) {
  static const char16_t* const kNames[] = {u"Empty",    u"Null",     u"Smallint", u"Integer",  u"Single",   u"Double",
                                           u"Currency", u"Date",     u"OleStr",   u"Dispatch", u"Error",    u"Boolean",
                                           u"Variant",  u"Unknown",  u"Decimal",  u"$0F",      u"ShortInt", u"Byte",
                                           u"Word",     u"LongWord", u"Int64"};
  const uint16_t kArray = 0x2000, kByRef = 0x4000, kTypeMask = 0x0FFF;
  uint16_t base = vt & kTypeMask;
  std::u16string name =
      base < sizeof(kNames) / sizeof(kNames[0]) ? std::u16string(kNames[base]) : u"$" + hexUpper(base, 4);
  if (vt & kArray) name = u"Array " + name;
  if (vt & kByRef) name = u"ByRef " + name;
  return name;
}

int variantErrorTextId(uint32_t code, VariantFailure where) {
  bool conversion = where == VariantFailure::conversion;
  switch (code) {
    case 0x80020005u: return conversion ? IDS_VAR_TYPE_CAST : IDS_VAR_ARRAY_CAST;     // DISP_E_TYPEMISMATCH
    case 0x8002000Au: return conversion ? IDS_VAR_OVERFLOW : IDS_VAR_ARRAY_OVERFLOW;  // DISP_E_OVERFLOW
    case 0x8002000Bu: return IDS_VAR_BAD_INDEX;                                       // DISP_E_BADINDEX
    case 0x80020008u: return IDS_VAR_BAD_TYPE;                                        // DISP_E_BADVARTYPE
    case 0x80020009u: return IDS_VAR_INVALID_OP;                                      // DISP_E_EXCEPTION
    case 0x8002000Du: return IDS_VAR_ARRAY_LOCKED;                                    // DISP_E_ARRAYISLOCKED
    case 0x8007000Eu: return IDS_OUT_OF_MEMORY;                                       // E_OUTOFMEMORY
    case 0x80070057u: return IDS_INVALID_ARGUMENT;                                    // E_INVALIDARG
    case 0x80004001u: return IDS_NOT_SUPPORTED;                                       // E_NOTIMPL
    case 0x8000FFFFu: return IDS_VAR_FATAL;                                           // E_UNEXPECTED
    default: return IDS_VAR_UNKNOWN;
  }
}

}  // namespace vantorelix
