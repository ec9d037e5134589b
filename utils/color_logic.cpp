#include "utils/color_logic.h"

#include "automation/text_logic.h"

namespace vantorelix {

uint32_t swapRedBlue(uint32_t value) { return ((value & 0xFFu) << 16) | (value & 0xFF00u) | ((value >> 16) & 0xFFu); }

std::u16string workAreaText(const WorkArea& area, int32_t flagOStr) {
  if (flagOStr == 0)
    return signedDecimal(area.left) + u"," + signedDecimal(area.top) + u"," + signedDecimal(area.right) + u"," +
           signedDecimal(area.bottom);
  return u"({left:" + signedDecimal(area.left) + u",top:" + signedDecimal(area.top) + u",right:" +
         signedDecimal(area.right) + u",bottom:" + signedDecimal(area.bottom) + u"})";
}

}  // namespace vantorelix
