// UTF-16 text in the platform's string type (std::wstring) and in the product's
// (std::u16string), the same units on Windows, and UTF-8 for failure messages.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace vtest {

inline std::wstring wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string utf16(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

// A text as UTF-8, for the messages of a failed check.
inline std::string narrow(const std::wstring& s) {
  int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace vtest
