// Per-user registration: regsvr32 /n /i:user writes the class entries under
// HKEY_CURRENT_USER\Software\Classes, the entries lead to a working object, and
// regsvr32 /u /n /i:user takes them away; both HKEY_LOCAL_MACHINE\Software\Classes and
// HKEY_CURRENT_USER\Software\Classes are the same, value for value, afterwards. Also: the two
// bitnesses registered per user side by side, and a copy in a folder that the ANSI code page
// cannot spell.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Vantorelix.h"
#include "automation/raii.h"
#include "tests/com/registry_views.h"
#include "tests/support/environment.h"
#include "tests/support/paths.h"
#include "utils/under_wine.h"

namespace {

using vantorelix::ComPtr;
using vantorelix::RegKey;

const std::wstring kClassKey = L"Software\\Classes\\CLSID\\{D26D3337-1F1D-4805-AC89-287F698FEC0E}";
const std::wstring kProgIDKey = L"Software\\Classes\\Vantorelix.Utils";

std::wstring dllPath() { return vtest::dllPath<std::wstring>(); }

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

// The user's CLSID key is a container that other programs' classes share: a registration may
// make it, and it stays afterwards, as on Windows. A tree read without it when it holds
// nothing, for comparisons of what registration leaves.
std::wstring withoutEmptyClsidContainer(std::wstring tree) {
  const std::wstring container = L"[\\CLSID]\n";
  const size_t at = tree.find(container);
  if (at == std::wstring::npos) return tree;
  const size_t next = at + container.size();
  const bool empty = next == tree.size() || (tree[next] == L'[' && tree.compare(next, 8, L"[\\CLSID\\") != 0);
  if (empty) tree.erase(at, container.size());
  return tree;
}

DWORD runRegsvr32(const std::wstring& switches) {
  return vtest::runProgram(L"regsvr32.exe /s " + switches + L" \"" + dllPath() + L"\"");
}

// The object through the per-user entries alone: ProgID -> CLSID -> InprocServer32 -> factory,
// from the module at `expectedModule`. (Wine's COM reads only
// HKEY_LOCAL_MACHINE\Software\Classes, so CLSIDFromProgID cannot be asked to do this walk
// under Wine.)
void createThroughUserEntries(const std::wstring& expectedModule = dllPath()) {
  const std::wstring clsidText = valueText(HKEY_CURRENT_USER, kProgIDKey + L"\\Clsid");
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromString(clsidText.c_str(), &clsid), S_OK) << clsidText.c_str();
  ASSERT_TRUE(IsEqualCLSID(clsid, CLSID_Utils));
  const std::wstring server = valueText(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID\\" + clsidText + L"\\InprocServer32");
  vantorelix::Module module = vantorelix::Module::adopt(LoadLibraryW(server.c_str()));
  ASSERT_NE(module.get(), nullptr) << vtest::narrow(server);
  wchar_t loaded[1024] = {};
  GetModuleFileNameW(module.get(), loaded, 1024);
  EXPECT_EQ(lstrcmpiW(vtest::longPath(loaded).c_str(), vtest::longPath(expectedModule).c_str()), 0)
      << vtest::narrow(loaded) << " is not " << vtest::narrow(expectedModule);
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
  void SetUp() override {
    std::printf("ANSI code page %u\n", GetACP());
    ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
  }
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
  const std::wstring userAfter = classesTree(HKEY_CURRENT_USER);
  EXPECT_EQ(withoutEmptyClsidContainer(userBefore), withoutEmptyClsidContainer(userAfter)) << "per-user entries left behind";
  EXPECT_TRUE(machineBefore == classesTree(HKEY_LOCAL_MACHINE)) << "HKEY_LOCAL_MACHINE\\Software\\Classes changed";
}

// A CLSID key that the user's classes held before is theirs: registering and unregistering
// leave it, even when it holds nothing else.
TEST(PerUserRegistration, AUserClsidKeyThatWasThereBeforeStays) {
  vantorelix::RegKey clsid;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID", 0, nullptr, 0, KEY_READ, nullptr, clsid.out(),
                            nullptr),
            ERROR_SUCCESS);
  const std::wstring userBefore = classesTree(HKEY_CURRENT_USER);
  ASSERT_NE(userBefore.find(L"[\\CLSID]"), std::wstring::npos);
  ASSERT_EQ(runRegsvr32(L"/n /i:user"), 0u);
  ASSERT_TRUE(keyExists(HKEY_CURRENT_USER, kClassKey));
  ASSERT_EQ(runRegsvr32(L"/u /n /i:user"), 0u);
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID")) << "the unregistration removed a key it did not write";
  EXPECT_EQ(classesTree(HKEY_CURRENT_USER), userBefore);
}

TEST(PerUserRegistration, OnlyTheUserCommandLineIsUnderstood) {
  vantorelix::Module module = vantorelix::Module::adopt(LoadLibraryW(dllPath().c_str()));
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

// ---- both bitnesses side by side, and a folder the code page cannot spell -----------------------

HRESULT dllInstall(const std::wstring& dll, BOOL install) {
  vantorelix::Module module = vantorelix::Module::adopt(LoadLibraryW(dll.c_str()));
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  using DllInstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
  auto entry = reinterpret_cast<DllInstallFn>(reinterpret_cast<void*>(GetProcAddress(module.get(), "DllInstall")));
  return entry ? entry(install, L"user") : E_NOINTERFACE;
}

// The other bitness's per-user registration, as it names its DLL.
const std::wstring kOtherServer = L"C:\\Users\\Public\\x86\\Vantorelix.dll";

// Takes away what the other view's registration wrote, and the keys under the user's classes
// that it made and that are empty now.
void eraseOtherUserRegistration(const vtest::Views& views) {
  const vtest::ClassesPlace user = vtest::userClasses();
  vtest::eraseOtherViewRegistration(user, views);
  for (const std::wstring& key : {vtest::kTypeLibKey + L"\\1.0", vtest::kTypeLibKey, std::wstring(L"TypeLib"),
                                  std::wstring(L"Interface"), std::wstring(L"CLSID")})
    vtest::deleteIn(user, key, views.other);
}

void perUserSideBySide(const std::function<void()>& unregisterThisBitness) {
  using namespace vtest;
  const Views views = registryViews();
  if (!views.other) GTEST_SKIP() << "32-bit Windows has one registry view: nothing is shared with another bitness";
  const ClassesPlace user = userClasses();
  const std::wstring userBefore = classesTree(HKEY_CURRENT_USER);
  const std::wstring serverKey = kUtilsClassKey + L"\\InprocServer32";
  ASSERT_EQ(dllInstall(dllPath(), TRUE), S_OK);
  putOtherViewRegistration(user, views, kOtherServer);

  if (valueIn(user, serverKey, views.own) == kOtherServer) {
    // Wine (8.0) keeps one HKEY_CURRENT_USER\Software\Classes\CLSID for both views, where
    // Windows keeps a key for each: the other bitness's per-user entry has overwritten this
    // one, and no second per-user view can be put in place. What can be shown: an entry that
    // both views show is this view's own, so unregistering takes the shared keys too.
    std::printf("HKEY_CURRENT_USER\\Software\\Classes\\CLSID is one key for both views here: "
                "the per-user side-by-side case cannot be shown, only that its keys then all go\n");
    unregisterThisBitness();
    EXPECT_FALSE(keyIn(user, kProgID, views.own));
    EXPECT_FALSE(keyIn(user, kUtilsClassKey, views.own));
  } else {
    unregisterThisBitness();
    for (const wchar_t* sub : {L"\\TypeLib", L"\\Version", L"\\ProgID", L"\\InprocServer32", L""})
      EXPECT_FALSE(keyIn(user, kUtilsClassKey + sub, views.own)) << narrow(kUtilsClassKey + sub);
    for (REGSAM v : {views.own, views.other}) {
      EXPECT_EQ(valueIn(user, kProgID, v).value_or(L"<missing>"), L"Utils Object");
      EXPECT_EQ(valueIn(user, std::wstring(kProgID) + L"\\Clsid", v).value_or(L"<missing>"), kUtilsClsid);
    }
    EXPECT_EQ(valueIn(user, serverKey, views.other).value_or(L"<missing>"), kOtherServer);
    EXPECT_EQ(valueIn(user, kUtilsClassKey + L"\\ProgID", views.other).value_or(L"<missing>"), kProgID);

    // The other bitness goes first this time, and this one last.
    ASSERT_EQ(dllInstall(dllPath(), TRUE), S_OK);
    eraseOtherViewOwnEntries(user, views);
    EXPECT_EQ(valueIn(user, std::wstring(kProgID) + L"\\Clsid", views.own).value_or(L"<missing>"), kUtilsClsid);
    createThroughUserEntries();
    unregisterThisBitness();
    for (REGSAM v : {views.own, views.other})
      for (const std::wstring& key : {kUtilsClassKey, std::wstring(kProgID)})
        EXPECT_FALSE(keyIn(user, key, v)) << narrow(key) << " in view " << v;
  }
  eraseOtherUserRegistration(views);
  EXPECT_EQ(withoutEmptyClsidContainer(classesTree(HKEY_CURRENT_USER)), withoutEmptyClsidContainer(userBefore))
      << "per-user entries left behind";
}

TEST(PerUserRegistration, SideBySideThroughDllInstall) {
  perUserSideBySide([] { ASSERT_EQ(dllInstall(dllPath(), FALSE), S_OK); });
}

TEST(PerUserRegistration, SideBySideThroughRegsvr32) {
  perUserSideBySide([] { ASSERT_EQ(runRegsvr32(L"/u /n /i:user"), 0u); });
}

// A copy in a folder with Japanese letters (which code page 1252 cannot spell), without and
// with a space, registered per user over a working per-user registration: its entry names the
// copy exactly and the object loads from there; removing it leaves the user's classes as before.
TEST(PerUserRegistration, ACopyInAFolderTheCodePageCannotSpellRegistersItsExactPath) {
  const std::wstring userBefore = classesTree(HKEY_CURRENT_USER);
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  for (const std::wstring folderName : {L"\u30d5\u30a9\u30eb\u30c0", L"\u65e5\u672c \u30d5\u30a9\u30eb\u30c0"}) {
    SCOPED_TRACE(vtest::narrow(folderName));
    ASSERT_EQ(dllInstall(dllPath(), TRUE), S_OK);
    const std::wstring folder = std::wstring(temp) + folderName;
    const std::wstring copy = folder + L"\\Vantorelix.dll";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(dllPath().c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(dllInstall(copy, TRUE), S_OK);
    const std::wstring full = vtest::longPath(copy);
    const std::wstring expected = folderName.find(L' ') == std::wstring::npos ? full : vtest::shortPath(full);
    EXPECT_EQ(valueText(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32"), expected);
    createThroughUserEntries(copy);
    EXPECT_EQ(dllInstall(copy, FALSE), S_OK);
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(folder.c_str());
  }
  EXPECT_EQ(withoutEmptyClsidContainer(classesTree(HKEY_CURRENT_USER)), withoutEmptyClsidContainer(userBefore))
      << "per-user entries left behind";
}

}  // namespace
