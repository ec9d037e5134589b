#include "automation/errors.h"

#include "automation/frame_strings.h"
#include "automation/raii.h"
#include "automation/text_logic.h"

namespace vantorelix {
namespace {
HINSTANCE gResourceModule = nullptr;
}

void setResourceModule(HINSTANCE module) { gResourceModule = module; }
HINSTANCE resourceModule() { return gResourceModule; }

std::u16string frameText(UINT id) {
  const wchar_t* text = nullptr;
  // With a buffer size of 0, LoadStringW hands out a pointer into the resource itself.
  int n = LoadStringW(gResourceModule, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (n <= 0 || !text) return {};
  return std::u16string(u16ptr(text), n);
}

std::u16string systemMessageText(HRESULT code) {
  wchar_t buffer[256] = {};
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           nullptr, static_cast<DWORD>(code), 0, buffer, 256, nullptr);
  if (n == 0) return {};
  return trimTrailing(textUpToZero(buffer, 256));
}

EOleSysError::EOleSysError(std::u16string message, HRESULT code, DWORD helpContext)
    : EOleError(std::move(message), helpContext), code_(code) {
  if (message_.empty()) {
    message_ = systemMessageText(code);
    if (message_.empty()) message_ = fillMessage(frameText(IDS_OLE_ERROR), {hexUpper(static_cast<uint32_t>(code), 8)});
  }
}

}  // namespace vantorelix
