// The system's own text for a message code, the reference that the error texts of the DLL are
// compared with.
#pragma once

#include <windows.h>

#include <string>

namespace vtest {

// The text exactly as FormatMessageW writes it, closing line break included; empty when the
// system has none. `language` as FormatMessageW takes it: by default the user's language, as
// getErrMsg asks for it; 0 lets the platform search its own order, as the server's error
// classes do.
inline std::u16string systemText(DWORD code, DWORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text(reinterpret_cast<const char16_t*>(buffer), buffer ? n : 0);
  LocalFree(buffer);
  return text;
}

// A text without the spaces, control characters and periods at its end.
inline std::u16string withoutTrailingSpaceAndPeriods(std::u16string s) {
  while (!s.empty() && (s.back() <= u' ' || s.back() == u'.')) s.pop_back();
  return s;
}

}  // namespace vtest
