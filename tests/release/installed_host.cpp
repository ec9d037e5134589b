// A host of an installed Vantorelix: creates Vantorelix.Utils by its ProgID, as a script does,
// calls getMaxPath and genGUID late-bound, and prints the file of the DLL that the COM runtime
// loaded into this process. The installer tests read its lines.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

#include "automation/raii.h"

using vantorelix::Bstr;
using vantorelix::ComPtr;
using vantorelix::Variant;

namespace {

std::string narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

HRESULT callWithoutArguments(IDispatch* object, const wchar_t* name, Variant& result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result.get(), nullptr, nullptr);
}

int run() {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(L"Vantorelix.Utils", &clsid);
  if (FAILED(hr)) { std::printf("CLSIDFromProgID: 0x%08lx\n", static_cast<unsigned long>(hr)); return 1; }
  ComPtr<IDispatch> utils;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                        reinterpret_cast<void**>(utils.GetAddressOf()));
  if (FAILED(hr)) { std::printf("CoCreateInstance: 0x%08lx\n", static_cast<unsigned long>(hr)); return 1; }

  Variant maxPath, guid;
  if (FAILED(hr = callWithoutArguments(utils.Get(), L"getMaxPath", maxPath)) ||
      FAILED(hr = VariantChangeType(maxPath.get(), maxPath.get(), 0, VT_I4))) {
    std::printf("getMaxPath: 0x%08lx\n", static_cast<unsigned long>(hr));
    return 1;
  }
  if (FAILED(hr = callWithoutArguments(utils.Get(), L"genGUID", guid)) || V_VT(guid.get()) != VT_BSTR) {
    std::printf("genGUID: 0x%08lx\n", static_cast<unsigned long>(hr));
    return 1;
  }
  wchar_t file[MAX_PATH * 2] = {};
  HMODULE dll = GetModuleHandleW(L"Vantorelix.dll");
  DWORD n = dll ? GetModuleFileNameW(dll, file, MAX_PATH * 2) : 0;
  std::printf("bits: %u\n", static_cast<unsigned>(sizeof(void*) * 8));
  std::printf("getMaxPath: %ld\n", static_cast<long>(V_I4(maxPath.get())));
  std::printf("genGUID: %s\n", narrow(vantorelix::bstrView(V_BSTR(guid.get()))).c_str());
  std::printf("module: %s\n", narrow(vantorelix::textUpToZero(file, n)).c_str());
  return dll ? 0 : 1;
}

}  // namespace

int main() {
  if (FAILED(CoInitialize(nullptr))) return 1;
  int status = run();
  CoUninitialize();
  return status;
}
