// The long and the short form of a path, as the platform gives them: the references that
// registered paths and module names are compared with.
#pragma once

#include <windows.h>

#include <string>

namespace vtest {

namespace detail {
template <class Call>
std::wstring pathForm(const std::wstring& path, Call call) {
  DWORD size = call(path.c_str(), nullptr, 0);
  if (size == 0) return path;
  std::wstring out(size, L'\0');
  DWORD n = call(path.c_str(), &out[0], size);
  if (n == 0 || n >= size) return path;
  out.resize(n);
  return out;
}
}  // namespace detail

// Each form of an existing path; a path the platform has no form for (one that does not exist)
// is given back as it is, so that two such paths compare as themselves.
inline std::wstring longPath(const std::wstring& path) { return detail::pathForm(path, GetLongPathNameW); }
inline std::wstring shortPath(const std::wstring& path) { return detail::pathForm(path, GetShortPathNameW); }

}  // namespace vtest
