// System error messages: the system's own text for an error code, in the user's language.
#include "automation/raii.h"
#include "automation/text_logic.h"
#include "utils/TUtils.h"

namespace vantorelix {

HRESULT TUtils::getErrMsg(UINT errCode, BSTR* sErrMsg) {
  return methodGuard(*this, sErrMsg, [&] {
    // The text exactly as the system wrote it: the closing CR LF and any %1 stay in place.
    // Only the n units that the system wrote are read, so the buffer needs no clearing.
    wchar_t buffer[2048];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, errCode,
                             MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 2047, nullptr);
    if (n == 0) return;
    *sErrMsg = newResultString(viewUpToZero(buffer, n));
  });
}

std::u16string TUtils::lastErrorText() {
  DWORD code = GetLastError();
  if (code == 0) return {};
  return failureText(code);
}

std::u16string TUtils::failureText(DWORD code) {
  Bstr text;
  rethrowFailedCall(TUtils::getErrMsg(code, text.out()));
  if (text.view().empty()) return decimal(code);
  return std::u16string(text.view());
}

}  // namespace vantorelix
