// Helpers of the robustness programs: the verdict line, a textual dump of registry keys, and
// the DLL loaded by path. What they share with the other tests (the paths the test runner
// hands over, the process's private memory, the thread's state) is in tests/support/.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/environment.h"
#include "tests/support/memory.h"
#include "tests/support/thread_state.h"

namespace stress {

// Counts failures and prints each one (the first few hundred).
struct Verdict {
  unsigned long checks = 0, failures = 0;
  void check(bool ok, const char* format, ...) {
    ++checks;
    if (ok) return;
    if (++failures > 200) return;
    std::va_list args;
    va_start(args, format);
    std::printf("FAIL: ");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
  }
  int finish() {
    std::printf("%lu checks, %lu failed\n", checks, failures);
    std::fflush(stdout);
    return failures ? 1 : 0;
  }
};

// Every value and subkey under root\path, one line each, in the registry's own order; "-" when
// the key is not there.
inline void dumpKey(HKEY root, const std::wstring& path, std::wstring& out) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    out += path + L" -\n";
    return;
  }
  out += path + L"\n";
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD nameLen = 512, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD dataSize = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    nameLen = 512;
    RegEnumValueW(key, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &dataSize);
    out += L"  " + std::wstring(name) + L"=" + std::to_wstring(type) + L":" + data.c_str() + L"\n";
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD nameLen = 512;
    if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    dumpKey(root, path + L"\\" + name, out);
  }
  RegCloseKey(key);
}

// The registry entries that Vantorelix.dll writes and removes.
inline std::wstring serverEntries() {
  std::wstring out;
  for (const wchar_t* key : {L"CLSID\\{D26D3337-1F1D-4805-AC89-287F698FEC0E}", L"Vantorelix.Utils",
                             L"TypeLib\\{C7C9CF68-A9EA-4EBB-9196-AEF9132F38EA}",
                             L"Interface\\{33E75799-BA2C-48E8-8AC5-8C52D210F460}"})
    dumpKey(HKEY_CLASSES_ROOT, key, out);
  return out;
}

// The DLL's exports, loaded by path.
struct ServerDll {
  HMODULE module = nullptr;
  HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
  HRESULT(STDAPICALLTYPE* registerServer)() = nullptr;
  HRESULT(STDAPICALLTYPE* unregisterServer)() = nullptr;
  explicit ServerDll(const std::wstring& path) {
    module = LoadLibraryW(path.c_str());
    if (!module) return;
    getClassObject = reinterpret_cast<decltype(getClassObject)>(GetProcAddress(module, "DllGetClassObject"));
    canUnloadNow = reinterpret_cast<decltype(canUnloadNow)>(GetProcAddress(module, "DllCanUnloadNow"));
    registerServer = reinterpret_cast<decltype(registerServer)>(GetProcAddress(module, "DllRegisterServer"));
    unregisterServer = reinterpret_cast<decltype(unregisterServer)>(GetProcAddress(module, "DllUnregisterServer"));
  }
  bool ok() const { return module && getClassObject && canUnloadNow && registerServer && unregisterServer; }
  ~ServerDll() {
    if (module) FreeLibrary(module);
  }
  ServerDll(const ServerDll&) = delete;
  ServerDll& operator=(const ServerDll&) = delete;
};

// An object made by the DLL's own class factory, so that a test does not depend on the
// registry entries (other tests take them away and write them again).
inline HRESULT createThroughExports(ServerDll& dll, REFCLSID clsid, REFIID iid, void** out) {
  *out = nullptr;
  if (!dll.ok()) return E_FAIL;
  IClassFactory* factory = nullptr;
  HRESULT hr = dll.getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(nullptr, iid, out);
  factory->Release();
  return hr;
}

inline unsigned long argCount(int argc, char** argv, unsigned long fallback) {
  return argc > 1 ? std::strtoul(argv[1], nullptr, 10) : fallback;
}

}  // namespace stress
