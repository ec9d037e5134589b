// Per-user registration: regsvr32 /n /i:user writes the class entries under
// HKEY_CURRENT_USER\Software\Classes, the entries lead to a working object, and
// regsvr32 /u /n /i:user takes them away; both HKEY_LOCAL_MACHINE\Software\Classes and
// HKEY_CURRENT_USER\Software\Classes are the same, value for value, afterwards.
#include <windows.h>
#include <oleauto.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Vantorelix.h"
#include "automation/raii.h"
#include "utils/under_wine.h"

namespace {

using vantorelix::ComPtr;
using vantorelix::RegKey;

const std::wstring kClassKey = L"Software\\Classes\\CLSID\\{D26D3337-1F1D-4805-AC89-287F698FEC0E}";
const std::wstring kProgIDKey = L"Software\\Classes\\Vantorelix.Utils";

std::wstring dllPath() {
  const char* v = std::getenv("VANTORELIX_DLL");
  std::string s = v ? v : "";
  return std::wstring(s.begin(), s.end());
}

bool keyExists(HKEY root, const std::wstring& key) {
  RegKey handle;
  return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, handle.out()) == ERROR_SUCCESS;
}

// A value's text, or "<missing>".
std::wstring valueText(HKEY root, const std::wstring& key, const wchar_t* name = L"") {
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) return L"<missing>";
  return data;
}

// Every key, value name, type and data byte under a key, in enumeration order.
void dumpTree(HKEY key, const std::wstring& path, std::wstring& out) {
  out += L"[" + path + L"]\n";
  std::vector<BYTE> data(65536);
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD nameLength = 16384, type = 0, size = static_cast<DWORD>(data.size());
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    out += std::wstring(name, nameLength) + L"=" + std::to_wstring(type) + L":";
    for (DWORD b = 0; b < size; ++b) out += static_cast<wchar_t>(L'A' + (data[b] >> 4)), out += static_cast<wchar_t>(L'A' + (data[b] & 15));
    out += L"\n";
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    RegKey sub;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, sub.out()) == ERROR_SUCCESS) dumpTree(sub.get(), path + L"\\" + name, out);
  }
}

std::wstring classesTree(HKEY root) {
  RegKey classes;
  LONG opened = RegOpenKeyExW(root, L"Software\\Classes", 0, KEY_READ, classes.out());
  // A new profile may have no classes key at all: that counts as an empty one.
  if (opened == ERROR_FILE_NOT_FOUND) return L"[]\n";
  EXPECT_EQ(opened, ERROR_SUCCESS);
  std::wstring out;
  dumpTree(classes.get(), L"", out);
  return out;
}

DWORD runRegsvr32(const std::wstring& switches) {
  std::wstring command = L"regsvr32.exe /s " + switches + L" \"" + dllPath() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return GetLastError() | 0x80000000u;
  vantorelix::Handle thread(process.hThread), child(process.hProcess);
  WaitForSingleObject(child.get(), 60000);
  DWORD code = 0x7fffffff;
  GetExitCodeProcess(child.get(), &code);
  return code;
}

// The object through the per-user entries alone: ProgID -> CLSID -> InprocServer32 -> factory.
// (Wine's COM reads only HKEY_LOCAL_MACHINE\Software\Classes, so CLSIDFromProgID cannot be
// asked to do this walk under Wine.)
void createThroughUserEntries() {
  const std::wstring clsidText = valueText(HKEY_CURRENT_USER, kProgIDKey + L"\\Clsid");
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromString(clsidText.c_str(), &clsid), S_OK) << clsidText.c_str();
  ASSERT_TRUE(IsEqualCLSID(clsid, CLSID_Utils));
  const std::wstring server = valueText(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID\\" + clsidText + L"\\InprocServer32");
  vantorelix::Module module(LoadLibraryW(server.c_str()));
  ASSERT_NE(module.get(), nullptr) << server.c_str();
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(module.get(), "DllGetClassObject")));
  ASSERT_NE(getClassObject, nullptr);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())), S_OK);
  ComPtr<IUtils> utils;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUtils, reinterpret_cast<void**>(utils.GetAddressOf())), S_OK);
  int maxPath = 0;
  EXPECT_EQ(utils->getMaxPath(&maxPath), S_OK);
  EXPECT_EQ(maxPath, MAX_PATH);
}

class Apartment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr)); }
  void TearDown() override {
    runRegsvr32(L"/u /n /i:user");  // whatever a failed case left behind
    CoUninitialize();
  }
};
const auto* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

TEST(PerUserRegistration, WritesAndRemovesTheEntriesUnderCurrentUserOnly) {
  const std::wstring machineBefore = classesTree(HKEY_LOCAL_MACHINE);
  const std::wstring userBefore = classesTree(HKEY_CURRENT_USER);
  ASSERT_FALSE(keyExists(HKEY_CURRENT_USER, kClassKey));

  ASSERT_EQ(runRegsvr32(L"/n /i:user"), 0u);
  EXPECT_EQ(valueText(HKEY_CURRENT_USER, kClassKey), L"Utils Object");
  EXPECT_EQ(valueText(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32"), dllPath());
  EXPECT_EQ(valueText(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(valueText(HKEY_CURRENT_USER, kProgIDKey), L"Utils Object");
  EXPECT_EQ(valueText(HKEY_CURRENT_USER, kClassKey + L"\\ProgID"), L"Vantorelix.Utils");
  EXPECT_EQ(valueText(HKEY_CURRENT_USER, kClassKey + L"\\Version"), L"1.0");
  EXPECT_EQ(valueText(HKEY_CURRENT_USER, kClassKey + L"\\TypeLib"), L"{C7C9CF68-A9EA-4EBB-9196-AEF9132F38EA}");
  // No class entry goes to the machine part. (The type library does under Wine: its
  // RegisterTypeLibForUser registers system-wide, so the machine tree is compared only after
  // the removal.)
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kClassKey));
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kProgIDKey));
  createThroughUserEntries();
  // Windows' COM reads the user's own classes: the ProgID resolves and the class is created
  // by the system itself. Wine's COM reads only the machine's, so there the walk above stands
  // in for it.
  if (!vantorelix::runningUnderWine()) {
    CLSID byProgID{};
    EXPECT_EQ(CLSIDFromProgID(L"Vantorelix.Utils", &byProgID), S_OK);
    EXPECT_TRUE(IsEqualCLSID(byProgID, CLSID_Utils));
    ComPtr<IUtils> created;
    EXPECT_EQ(CoCreateInstance(CLSID_Utils, nullptr, CLSCTX_INPROC_SERVER, IID_IUtils,
                               reinterpret_cast<void**>(created.GetAddressOf())),
              S_OK);
  }

  ASSERT_EQ(runRegsvr32(L"/u /n /i:user"), 0u);
  EXPECT_EQ(userBefore, classesTree(HKEY_CURRENT_USER)) << "per-user entries left behind";
  EXPECT_TRUE(machineBefore == classesTree(HKEY_LOCAL_MACHINE)) << "HKEY_LOCAL_MACHINE\\Software\\Classes changed";
}

TEST(PerUserRegistration, OnlyTheUserCommandLineIsUnderstood) {
  vantorelix::Module module(LoadLibraryW(dllPath().c_str()));
  ASSERT_NE(module.get(), nullptr);
  using DllInstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
  auto install = reinterpret_cast<DllInstallFn>(reinterpret_cast<void*>(GetProcAddress(module.get(), "DllInstall")));
  ASSERT_NE(install, nullptr);
  EXPECT_EQ(install(TRUE, L"machine"), E_INVALIDARG);
  EXPECT_EQ(install(TRUE, nullptr), E_INVALIDARG);
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, kClassKey));
  EXPECT_EQ(install(TRUE, L"USER"), S_OK);
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, kClassKey));
  EXPECT_EQ(install(FALSE, L"user"), S_OK);
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, kClassKey));
}

}  // namespace
