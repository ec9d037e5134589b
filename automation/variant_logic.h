// The parts of variant conversion that need no platform call: the integer literals that a
// text may hold, rounding to the even neighbour, the names of value types in messages, and
// which message text belongs to which failure code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantorelix {

// An integer literal in 8-bit text: leading spaces, an optional "-" or "+", then decimal
// digits within the signed 32-bit range, or hexadecimal digits after "$", "x", "X", "0x" or
// "0X" that fit in 32 bits (0x80000000 and above stand for the negative number with that bit
// pattern). Nothing may follow the digits.
std::optional<int32_t> parseIntegerLiteral(std::string_view text);

// The nearest integer, a half going to the even neighbour; nothing when the result lies
// outside the signed 32-bit range (or the value is no number at all).
std::optional<int32_t> roundToInt32(double value);

// A currency value (fixed point, four decimal places, held as value * 10000) rounded in the
// same way.
std::optional<int32_t> currencyToInt32(int64_t scaled);

// "True" or "False" in any letter case.
std::optional<bool> parseTruthWord(std::u16string_view text);

// The name of a value type as messages give it: "Empty" .. "Int64" by type number, "Array "
// in front of an array, "ByRef " in front of a value reached through a pointer.
std::u16string variantTypeName(uint16_t vt);

// Where a failure code is raised. A conversion names the two types in its type-mismatch and
// overflow messages; an array access has fixed texts for them.
enum class VariantFailure { conversion, arrayAccess };

// The identifier (frame_strings.h) of the message for a failure code; IDS_VAR_UNKNOWN for a
// code without a text of its own, whose message is filled with "$", the code and its
// system text.
int variantErrorTextId(uint32_t code, VariantFailure where);

}  // namespace vantorelix
