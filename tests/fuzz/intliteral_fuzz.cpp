// The integer-literal reading of texts, and the rounding of floating and currency values, on
// arbitrary input. Each answer is compared with one made another way: the C library's number
// reading for the literals, nearbyint (round to nearest, ties to even) for the rounding.
//
// Input: the whole input is a literal; its first eight bytes are also taken as a double and as
// a currency value, and its first four as an integer that must read back from its own texts.
#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <optional>
#include <string_view>

#include "automation/text_logic.h"
#include "automation/variant_logic.h"

using namespace vantorelix;

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

bool allOf(std::string_view s, const char* set) {
  return !s.empty() && s.find_first_not_of(set) == std::string_view::npos;
}

// The reading the rules describe, built on strtoull.
std::optional<int32_t> reference(std::string_view text) {
  size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return std::nullopt;
  text.remove_prefix(start);
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  for (std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
    if (text.substr(0, prefix.size()) == prefix) {
      text.remove_prefix(prefix.size());
      base = 16;
      break;
    }
  }
  if (!allOf(text, base == 16 ? "0123456789abcdefABCDEF" : "0123456789")) return std::nullopt;
  std::string digits(text);
  size_t first = digits.find_first_not_of('0');
  digits = first == std::string::npos ? "0" : digits.substr(first);
  if (digits.size() > 12) return std::nullopt;  // far beyond 32 bits either way
  errno = 0;
  unsigned long long value = std::strtoull(digits.c_str(), nullptr, base);
  if (base == 16) {
    if (value > 0xFFFFFFFFull) return std::nullopt;
    uint32_t bits = static_cast<uint32_t>(value);
    return static_cast<int32_t>(negative ? 0u - bits : bits);
  }
  if (value > (negative ? 2147483648ull : 2147483647ull)) return std::nullopt;
  return static_cast<int32_t>(negative ? -static_cast<long long>(value) : static_cast<long long>(value));
}

std::string ascii(const std::u16string& s) { return std::string(s.begin(), s.end()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  require(parseIntegerLiteral(text) == reference(text));

  if (size >= 4) {
    int32_t v;
    std::memcpy(&v, data, 4);
    require(parseIntegerLiteral(ascii(signedDecimal(v))) == v);
    require(parseIntegerLiteral("$" + ascii(hexUpper(static_cast<uint32_t>(v), 8))) == v);
    require(parseIntegerLiteral("  0x" + ascii(hexUpper(static_cast<uint32_t>(v)))) == v);
  }
  if (size >= 8) {
    double d;
    std::memcpy(&d, data, 8);
    std::optional<int32_t> rounded = roundToInt32(d);
    if (std::isfinite(d)) {
      std::fesetround(FE_TONEAREST);
      double r = std::nearbyint(d);
      bool inRange = r >= -2147483648.0 && r <= 2147483647.0;
      require(rounded.has_value() == inRange);
      if (inRange) require(*rounded == static_cast<int32_t>(r));
    } else {
      require(!rounded);
    }
    int64_t scaled;
    std::memcpy(&scaled, data, 8);
    std::optional<int32_t> whole = currencyToInt32(scaled);
    // Compared where a double quotient is far more precise than the 1/10000 steps (below
    // 2^40 in magnitude); ties are left out, since scaled / 10000.0 need not be exactly .5.
    if (scaled > -(int64_t{1} << 40) && scaled < (int64_t{1} << 40)) {
      double r = std::nearbyint(static_cast<double>(scaled) / 10000.0);
      bool inRange = r >= -2147483648.0 && r <= 2147483647.0;
      if (scaled % 5000 != 0) {
        require(whole.has_value() == inRange);
        if (inRange) require(*whole == static_cast<int32_t>(r));
      }
    }
    uint16_t vt;
    std::memcpy(&vt, data, 2);
    require(!variantTypeName(vt).empty());
  }
  return 0;
}
