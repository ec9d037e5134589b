// Desktop work area and system colours.
// Not built yet: these methods answer E_NOTIMPL.
#include "utils/TUtils.h"

namespace vantorelix {

HRESULT TUtils::getDesktopAvailRectStr(LONG, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::getDesktopAvailRectArray(VARIANT*) { return E_NOTIMPL; }
HRESULT TUtils::getSysColor(INT, UINT*) { return E_NOTIMPL; }
HRESULT TUtils::setSysColor(VARIANT, VARIANT, VARIANT_BOOL*) { return E_NOTIMPL; }

}  // namespace vantorelix
