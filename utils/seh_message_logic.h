// The message that a system exception raised inside another module becomes. No platform call:
// the exception's data and the frame's texts come in as arguments.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vantorelix {

// What a structured exception left behind: its code, the address of the faulting instruction
// and its first two information words (zero when it carried fewer).
struct FaultRecord {
  uint32_t code = 0;
  uint64_t address = 0;
  uint64_t info[2] = {0, 0};
};

namespace fault_code {
constexpr uint32_t kAccessViolation = 0xC0000005;
constexpr uint32_t kArrayBoundsExceeded = 0xC000008C;
constexpr uint32_t kFloatDenormalOperand = 0xC000008D;
constexpr uint32_t kFloatDivideByZero = 0xC000008E;
constexpr uint32_t kFloatInexactResult = 0xC000008F;
constexpr uint32_t kFloatInvalidOperation = 0xC0000090;
constexpr uint32_t kFloatOverflow = 0xC0000091;
constexpr uint32_t kFloatStackCheck = 0xC0000092;
constexpr uint32_t kFloatUnderflow = 0xC0000093;
constexpr uint32_t kIntegerDivideByZero = 0xC0000094;
constexpr uint32_t kIntegerOverflow = 0xC0000095;
constexpr uint32_t kPrivilegedInstruction = 0xC0000096;
constexpr uint32_t kStackOverflow = 0xC00000FD;
constexpr uint32_t kControlCExit = 0xC000013A;
}  // namespace fault_code

// A text of the frame's string table, by its IDS_ number.
using FrameTextLookup = std::function<std::u16string(int id)>;

// The message for `fault`. `moduleName` is the file name of the module that holds the faulting
// instruction, empty when there is none; pointers are written as `pointerDigits` upper-case
// hexadecimal digits.
std::u16string faultMessage(const FaultRecord& fault, std::u16string_view moduleName, int pointerDigits,
                            const FrameTextLookup& text);

// A pointer value as zero-filled upper-case hexadecimal digits.
std::u16string pointerText(uint64_t value, int digits);

// The file name of a path: what follows its last "\", "/" or ":".
std::u16string_view fileNameOf(std::u16string_view path);

}  // namespace vantorelix
