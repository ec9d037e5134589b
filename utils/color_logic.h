// The parts of the desktop and colour methods that need no platform call: the colour orders
// of the interface and of the platform, and the text forms of the work area.
#pragma once

#include <cstdint>
#include <string>

namespace vantorelix {

// 0x00RRGGBB <-> 0x00BBGGRR: red and blue change places, green stays, the top byte is dropped.
// The same operation serves both directions.
uint32_t swapRedBlue(uint32_t value);

// The work area of the primary display, in pixels.
struct WorkArea {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// flagOStr 0: "left,top,right,bottom"; any other value: the object literal
// "({left:…,top:…,right:…,bottom:…})". Signed decimal throughout, nothing between.
std::u16string workAreaText(const WorkArea& area, int32_t flagOStr);

}  // namespace vantorelix
