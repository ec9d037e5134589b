// Text helpers that need no platform call. Messages are UTF-16 throughout the server, so that
// the Japanese texts reach a caller intact whatever the ANSI code page is.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vantorelix {

// Unsigned decimal: ASCII digits, no sign, no leading zeros, no separators.
std::u16string decimal(uint32_t value);

// Signed decimal: a "-" in front of a negative number, nothing else.
std::u16string signedDecimal(int32_t value);

// Upper-case hexadecimal; width 0 means no leading zeros, otherwise zero-filled to width.
std::u16string hexUpper(uint32_t value, int width = 0);

// Removes trailing characters while the last one is a space or below it, or ".".
// A character outside the basic plane (a surrogate pair) is never removed.
std::u16string trimTrailing(std::u16string text);

// The message shown when an object cannot be created: "." appended when the last character
// is greater than ".", so a sentence ends with a period but "(x)", "x." and "x " stay as they are.
std::u16string withClosingPeriod(std::u16string text);

// Fills a message template in the style of the frame's texts: "%s", "%x", "%p", "%d" and
// "%.8x" take the next argument, "%N:s" (and the other letters) take argument N and continue
// after it, "%%" is a percent sign. Arguments are already formatted text; a missing argument
// leaves the specifier empty.
std::u16string fillMessage(std::u16string_view templ, std::initializer_list<std::u16string_view> args);

// ASCII-only conversions between char and char16_t, for texts known to be ASCII.
std::u16string asciiToUtf16(std::string_view ascii);

}  // namespace vantorelix
