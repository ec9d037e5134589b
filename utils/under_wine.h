// Whether this process runs under Wine rather than Windows: Wine's ntdll exports
// wine_get_version, Windows' never does. Code that answers one of Wine's own behaviours, and tests
// whose expectation differs between the two, ask this; everything else follows Windows' rules.
#pragma once

#include <windows.h>

namespace vantorelix {

inline bool runningUnderWine() {
  static const bool underWine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return underWine;
}

}  // namespace vantorelix
