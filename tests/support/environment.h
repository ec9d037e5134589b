// What the test runner hands every test program through the environment: the paths of the
// DLL, the fixtures and the test folder (Windows form), the locale of the run and the like
// (WINE_TEST_ENV in tests/windows-tests.cmake, testEnvironment in tests/kit/run-tests.js).
// Used by the C++ tests, the robustness programs and the benchmarks alike.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>

#include "tests/support/text.h"

namespace vtest {

// A variable of this process's environment, empty when it is not set. It is read in UTF-16,
// so that a path the ANSI code page cannot spell (a kit unpacked into such a folder) arrives
// whole. Text is std::u16string, the product's type, or std::wstring, the platform's.
template <class Text = std::u16string>
Text envText(const char* name) {
  static_assert(sizeof(typename Text::value_type) == sizeof(wchar_t), "a UTF-16 string type");
  const std::wstring wideName(name, name + std::strlen(name));
  std::wstring value(GetEnvironmentVariableW(wideName.c_str(), nullptr, 0), L'\0');
  if (value.empty()) return Text();
  DWORD n = GetEnvironmentVariableW(wideName.c_str(), &value[0], static_cast<DWORD>(value.size()));
  value.resize(n < value.size() ? n : 0);
  return Text(value.begin(), value.end());
}

template <class Text = std::u16string>
Text dllPath() {
  return envText<Text>("VANTORELIX_DLL");
}
template <class Text = std::u16string>
Text tempDir() {
  return envText<Text>("VANTORELIX_TEMP");
}
// A fixture DLL by its file name, in the text type of the name.
template <class Char>
std::basic_string<Char> fixturePath(const Char* file) {
  return envText<std::basic_string<Char>>("VANTORELIX_FIXTURES") + static_cast<Char>('\\') + file;
}

}  // namespace vtest
