// Desktop work area and system colours.
#include <algorithm>
#include <vector>

#include "automation/raii.h"
#include "automation/variants.h"
#include "utils/TUtils.h"
#include "utils/color_logic.h"

namespace vantorelix {
namespace {

// The work area of the primary display; false when the platform cannot tell it.
bool workArea(WorkArea& area) {
  RECT r;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0)) return false;
  area.left = r.left;
  area.top = r.top;
  area.right = r.right;
  area.bottom = r.bottom;
  return true;
}

int32_t elementAsInt32(const VARIANT& array, LONG index) {
  Variant element;
  readArrayElement(array, index, element);
  return variantToInt32(*element.get());
}

}  // namespace

HRESULT TUtils::getDesktopAvailRectStr(LONG flagOStr, BSTR* returnValue) {
  return methodGuard(*this, returnValue, [&] {
    WorkArea area;
    if (!workArea(area)) return;
    // Every character is ASCII, so the text is the same in every ANSI code page.
    *returnValue = newResultString(workAreaText(area, flagOStr));
  });
}

HRESULT TUtils::getDesktopAvailRectArray(VARIANT* returnArray) {
  return methodGuard(*this, returnArray, [&] {
    WorkArea area;
    if (!workArea(area)) return;
    SafeArray numbers = newVariantArray(4);
    const int32_t values[4] = {area.left, area.top, area.right, area.bottom};
    for (LONG i = 0; i < 4; ++i) {
      VARIANT& slot = variantArraySlot(numbers, i);
      V_I4(&slot) = values[i];
      V_VT(&slot) = VT_I4;
    }
    V_ARRAY(returnArray) = numbers.release();
    V_VT(returnArray) = VT_ARRAY | VT_VARIANT;
  });
}

HRESULT TUtils::getSysColor(INT nIndex, UINT* nColorRBG) {
  return methodGuard(*this, nColorRBG, [&] {
    // No check of the index: an unknown one gives whatever the platform answers.
    *nColorRBG = swapRedBlue(GetSysColor(nIndex));
  });
}

HRESULT TUtils::setSysColor(VARIANT aryElmIdx, VARIANT aryRGBColor, VARIANT_BOOL* bSuccess) {
  return methodGuard(*this, bSuccess, [&] {
    // A script's variable arrives as a reference to it: the method reads its own copies.
    ArgumentCopy indices(&aryElmIdx);
    ArgumentCopy rgbColors(&aryRGBColor);
    if (!indices.isArray() || !rgbColors.isArray()) {
      *bSuccess = VARIANT_FALSE;
      return;
    }
    // The shorter array decides; the lower bounds are not consulted, elements are read from 0.
    LONG last = std::min(arrayBound(indices.array(), 1, Bound::upper), arrayBound(rgbColors.array(), 1, Bound::upper));
    int64_t count = int64_t{last} + 1;
    if (count < 0) throw Exception(frameText(IDS_RANGE_ERROR));

    // Everything is read and converted before the platform is called, so that an error
    // changes no colour.
    std::vector<INT> elements;
    std::vector<COLORREF> colors;
    for (LONG i = 0; i <= last; ++i) {
      elements.push_back(elementAsInt32(indices.array(), i));
      colors.push_back(swapRedBlue(static_cast<uint32_t>(elementAsInt32(rgbColors.array(), i))));
    }
    // Zero elements still go with real arrays: the platform takes a null array for a misuse.
    INT noElement = 0;
    COLORREF noColor = 0;
    BOOL changed = SetSysColors(static_cast<int>(count), elements.empty() ? &noElement : elements.data(),
                                colors.empty() ? &noColor : colors.data());
    *bSuccess = changed ? VARIANT_TRUE : VARIANT_FALSE;
  });
}

}  // namespace vantorelix
