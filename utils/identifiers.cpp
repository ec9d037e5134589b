// COM identifiers and calling another server's self-registration.
// Not built yet: these methods answer E_NOTIMPL.
#include "utils/TUtils.h"

namespace vantorelix {

HRESULT TUtils::progIDToClsid(BSTR, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::clsidToProgID(BSTR, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::regsvr(BSTR, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::regsvr_u(BSTR, BSTR*) { return E_NOTIMPL; }
HRESULT TUtils::genGUID(BSTR*) { return E_NOTIMPL; }

}  // namespace vantorelix
