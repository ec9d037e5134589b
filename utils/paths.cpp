// Path utilities.
// Not built yet: these methods answer E_NOTIMPL.
#include "utils/TUtils.h"

namespace vantorelix {

HRESULT TUtils::getLongPath(BSTR, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::getMaxPath(INT*) { return E_NOTIMPL; }
HRESULT TUtils::pathRelPathTo(BSTR, VARIANT_BOOL, BSTR, VARIANT_BOOL, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::getFullPathName(BSTR, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::extractRelPath(BSTR, BSTR, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::expandFileName(BSTR, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::getCurrentDir(BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::setCurrentDir(BSTR, VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT TUtils::getShortPath(BSTR, BSTR*) { return E_NOTIMPL; }

void TUtils::startUpPaths() {}

}  // namespace vantorelix
