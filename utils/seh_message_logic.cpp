#include "utils/seh_message_logic.h"

#include "automation/frame_strings.h"
#include "automation/text_logic.h"

namespace vantorelix {
namespace {

// The texts that need no argument, by exception code; 0 when the code has none of its own.
int fixedTextId(uint32_t code) {
  using namespace fault_code;
  switch (code) {
    case kIntegerDivideByZero: return IDS_DIVIDE_BY_ZERO;
    case kArrayBoundsExceeded: return IDS_RANGE_ERROR;
    case kIntegerOverflow: return IDS_INT_OVERFLOW;
    case kFloatInvalidOperation:
    case kFloatInexactResult:
    case kFloatStackCheck: return IDS_FLOAT_INVALID;
    case kFloatDivideByZero: return IDS_FLOAT_DIVIDE;
    case kFloatOverflow: return IDS_FLOAT_OVERFLOW;
    case kFloatUnderflow:
    case kFloatDenormalOperand: return IDS_FLOAT_UNDERFLOW;
    case kPrivilegedInstruction: return IDS_PRIVILEGED;
    case kControlCExit: return IDS_CONTROL_C;
    case kStackOverflow: return IDS_STACK_OVERFLOW;
    default: return 0;
  }
}

std::u16string accessViolationMessage(const FaultRecord& fault, std::u16string_view moduleName, int pointerDigits,
                                      const FrameTextLookup& text) {
  // The first information word tells a read (0) from any other access.
  std::u16string access = text(fault.info[0] == 0 ? IDS_ACCESS_READ : IDS_ACCESS_WRITE);
  std::u16string at = pointerText(fault.address, pointerDigits);
  std::u16string target = pointerText(fault.info[1], pointerDigits);
  if (moduleName.empty()) return fillMessage(text(IDS_ACCESS_VIOLATION), {at, access, target});
  return fillMessage(text(IDS_ACCESS_VIOLATION_AT), {at, moduleName, access, target});
}

}  // namespace

std::u16string faultMessage(const FaultRecord& fault, std::u16string_view moduleName, int pointerDigits,
                            const FrameTextLookup& text) {
  if (fault.code == fault_code::kAccessViolation) return accessViolationMessage(fault, moduleName, pointerDigits, text);
  if (int id = fixedTextId(fault.code)) return text(id);
  return fillMessage(text(IDS_EXTERNAL_EXCEPTION), {hexUpper(fault.code)});
}

std::u16string pointerText(uint64_t value, int digits) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(out.size()) < digits) out.insert(0, digits - out.size(), u'0');
  return out;
}

std::u16string_view fileNameOf(std::u16string_view path) {
  size_t cut = path.find_last_of(u"\\/:");
  return cut == std::u16string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace vantorelix
