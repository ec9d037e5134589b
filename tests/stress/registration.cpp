// Registration: DllUnregisterServer and DllRegisterServer in a row, unregistering when nothing
// is registered, and registering a copy of the DLL in a folder whose name has spaces and
// non-ASCII letters. The registry entries of the server end exactly as they began.
//   registration [rounds]   (100 by default)
// It takes the entries away while it runs: nothing else may use the prefix meanwhile.
#include <windows.h>

#include <string>

#include "tests/stress/stress_support.h"
#include "tests/support/paths.h"

namespace {

std::wstring defaultValue(const wchar_t* key) {
  wchar_t value[1024] = {};
  LONG size = sizeof value;
  if (RegQueryValueW(HKEY_CLASSES_ROOT, key, value, &size) != ERROR_SUCCESS) return L"";
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long rounds = stress::argCount(argc, argv, 100);
  stress::Verdict verdict;
  const std::wstring before = stress::serverEntries();
  verdict.check(before.find(L"InprocServer32") != std::wstring::npos, "the server is registered at the start");
  const wchar_t* serverKey = L"CLSID\\{D26D3337-1F1D-4805-AC89-287F698FEC0E}\\InprocServer32";

  // A copy in a folder with spaces and non-ASCII letters, Japanese and accented Latin ones: each
  // code page lacks one kind, and the server entry names the copy all the same.
  const std::wstring letters = L"\x30d5\x30a9\x30eb\x30c0 d\x00e9j\x00e0 vu \x00df";
  const std::wstring folder = vtest::tempDir<std::wstring>() + L"\\reg with spaces " + letters;
  const std::wstring copy = folder + L"\\Vantorelix.dll";
  CreateDirectoryW(folder.c_str(), nullptr);
  verdict.check(CopyFileW(vtest::dllPath<std::wstring>().c_str(), copy.c_str(), FALSE) != 0, "copy of the DLL");
  std::wstring nothing;
  {
    stress::ServerDll moved(copy);
    verdict.check(moved.ok(), "the copy loads");
    if (moved.ok()) {
      verdict.check(moved.registerServer() == S_OK, "DllRegisterServer from the copy");
      std::wstring server = defaultValue(serverKey);
      verdict.check(lstrcmpiW(vtest::longPath(server).c_str(), vtest::longPath(copy).c_str()) == 0,
                    "the server entry names the copy");
      verdict.check(server.find(L' ') == std::wstring::npos, "a path with spaces is written in its short form");
      verdict.check(moved.unregisterServer() == S_OK, "DllUnregisterServer from the copy");
      nothing = stress::serverEntries();
      verdict.check(nothing.find(L"InprocServer32") == std::wstring::npos, "no server entry after unregistering");
    }
  }
  DeleteFileW(copy.c_str());
  RemoveDirectoryW(folder.c_str());

  stress::ServerDll dll(vtest::dllPath<std::wstring>());
  if (!dll.ok()) {
    std::printf("FAIL: the DLL cannot be loaded with its exports\n");
    return 1;
  }
  verdict.check(dll.unregisterServer() == S_OK, "DllUnregisterServer when nothing is registered");
  verdict.check(stress::serverEntries() == nothing, "unregistering nothing changes nothing");
  DWORD started = GetTickCount();
  for (unsigned long i = 0; i < rounds; ++i) {
    verdict.check(dll.registerServer() == S_OK, "DllRegisterServer, round %lu", i);
    verdict.check(stress::serverEntries() == before, "entries as at the start, round %lu", i);
    verdict.check(dll.registerServer() == S_OK && stress::serverEntries() == before,
                  "registering twice leaves the same entries, round %lu", i);
    verdict.check(dll.unregisterServer() == S_OK, "DllUnregisterServer, round %lu", i);
    verdict.check(stress::serverEntries() == nothing, "no entries, round %lu", i);
  }
  std::printf("%lu rounds in %.1f s\n", rounds, (GetTickCount() - started) / 1000.0);
  verdict.check(dll.registerServer() == S_OK, "DllRegisterServer at the end");
  verdict.check(stress::serverEntries() == before, "the registry ends as it began");
  return verdict.finish();
}
