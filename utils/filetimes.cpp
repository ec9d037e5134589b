// File timestamps.
// Not built yet: these methods answer E_NOTIMPL.
#include "utils/TUtils.h"

namespace vantorelix {

HRESULT TUtils::setFileTime(BSTR, VARIANT*, VARIANT*, VARIANT*, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::setFileTimeOne(BSTR, BSTR, LONG, LONG, LONG, LONG, LONG, LONG, LONG, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::getFileTime(BSTR, VARIANT*) { return E_NOTIMPL; }

}  // namespace vantorelix
