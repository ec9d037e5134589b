#include "automation/ansi.h"

namespace vantorelix {
namespace {
UINT gCodePage = CP_ACP;
}

void captureAnsiCodePage() { gCodePage = GetACP(); }
UINT ansiCodePage() { return gCodePage; }

std::string toAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  auto src = reinterpret_cast<const wchar_t*>(text.data());
  int n = WideCharToMultiByte(gCodePage, 0, src, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(gCodePage, 0, src, static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::u16string fromAnsi(std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(gCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string out(n > 0 ? n : 0, u'\0');
  if (n > 0)
    MultiByteToWideChar(gCodePage, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<wchar_t*>(&out[0]),
                        n);
  return out;
}

}  // namespace vantorelix
