// DllRegisterServer and DllUnregisterServer: the eight registry entries, the type library
// registration, the short-path rule for a path with a space, what removal leaves, a copy in a
// folder that the ANSI code page cannot spell, the two bitnesses registered side by side, and
// the trace that a failed registration leaves for the debugger.
#include <cstring>
#include <functional>
#include <vector>

#include "com_support.h"
#include "debug_output.h"
#include "registry_views.h"
#include "automation/frame_strings.h"
#include "utils/under_wine.h"

using namespace vtest;
using vantorelix::Module;
using vantorelix::RegKey;

namespace {
::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

const char kClsid[] = "{D26D3337-1F1D-4805-AC89-287F698FEC0E}";
const char kLibid[] = "{C7C9CF68-A9EA-4EBB-9196-AEF9132F38EA}";

bool keyExists(const std::string& key) {
  RegKey k;
  return RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, k.out()) == ERROR_SUCCESS;
}

// The value as stored, including whether its terminating NUL was written.
struct Value {
  bool present = false;
  DWORD type = 0;
  std::string data;  // without the terminating NUL
  bool terminated = false;
};
Value readValue(const std::string& key, const char* name = "") {
  Value v;
  RegKey k;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, k.out()) != ERROR_SUCCESS) return v;
  char buffer[1024] = {};
  DWORD size = sizeof buffer;
  if (RegQueryValueExA(k.get(), name, nullptr, &v.type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return v;
  v.present = true;
  v.terminated = size > 0 && buffer[size - 1] == '\0';
  v.data.assign(buffer, v.terminated ? size - 1 : size);
  return v;
}

// The raw bytes of a value as the registry keeps them (UTF-16 for REG_SZ, whichever functions
// wrote it).
std::vector<BYTE> storedBytes(const std::string& key, const char* name = "") {
  RegKey k;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, k.out()) != ERROR_SUCCESS) return {};
  std::wstring wideName(name, name + strlen(name));
  std::vector<BYTE> data(4096);
  DWORD size = static_cast<DWORD>(data.size());
  if (RegQueryValueExW(k.get(), wideName.c_str(), nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS) return {};
  data.resize(size);
  return data;
}

// What RegSetValueExA stores for an ANSI text with its NUL: the text in UTF-16, NUL included.
std::vector<BYTE> bytesTheAnsiCallStores(const std::string& ansiText) {
  int n = MultiByteToWideChar(CP_ACP, 0, ansiText.c_str(), static_cast<int>(ansiText.size() + 1), nullptr, 0);
  std::vector<BYTE> out(n * sizeof(wchar_t));
  MultiByteToWideChar(CP_ACP, 0, ansiText.c_str(), static_cast<int>(ansiText.size() + 1),
                      reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

// A value's text and its stored bytes, unchanged from what the ANSI registry calls wrote.
void expectValue(const std::string& key, const char* name, const std::string& ansiText) {
  EXPECT_EQ(readValue(key, name).data, ansiText) << key << " " << name;
  EXPECT_EQ(storedBytes(key, name), bytesTheAnsiCallStores(ansiText)) << key << " " << name;
}

std::string ansi(const std::u16string& s) {
  int n = WideCharToMultiByte(CP_ACP, 0, w(s), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, w(s), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// The long form of a path, and the short form of its long form, in the ANSI code page: as the
// registration writes them.
std::string ansiLongPath(const std::u16string& path) { return ansi(utf16(longPath(wide(path)))); }
std::string ansiShortPath(const std::u16string& path) { return ansi(utf16(shortPath(longPath(wide(path))))); }

using EntryFn = HRESULT(STDAPICALLTYPE*)();
HRESULT callEntry(const std::u16string& dll, const char* entry) {
  Module module = Module::adopt(LoadLibraryW(w(dll)));
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  auto fn = reinterpret_cast<EntryFn>(reinterpret_cast<void*>(GetProcAddress(module.get(), entry)));
  return fn ? fn() : E_NOINTERFACE;
}

const std::string classKey = std::string("CLSID\\") + kClsid;

void expectRegisteredAt(const std::string& serverPath, const std::string& typeLibPath) {
  Value v = readValue(classKey);
  EXPECT_TRUE(v.present);
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(v.data, "Utils Object");
  EXPECT_TRUE(v.terminated) << "the terminating NUL is part of the stored data";
  // Every value is stored byte for byte as the ANSI registry functions stored it, for a path
  // that the code page spells.
  expectValue(classKey, "", "Utils Object");
  expectValue(classKey + "\\InprocServer32", "", serverPath);
  expectValue(classKey + "\\InprocServer32", "ThreadingModel", "Apartment");
  expectValue("Vantorelix.Utils", "", "Utils Object");
  expectValue("Vantorelix.Utils\\Clsid", "", kClsid);
  expectValue(classKey + "\\ProgID", "", "Vantorelix.Utils");
  expectValue(classKey + "\\Version", "", "1.0");
  expectValue(classKey + "\\TypeLib", "", kLibid);
  // The type library is registered, under its locale 409, with the long form of the path.
  std::string lib = std::string("TypeLib\\") + kLibid + "\\1.0";
  EXPECT_EQ(readValue(lib).data, "Vantorelix Library");
  const std::string platform = sizeof(void*) == 8 ? "\\409\\win64" : "\\409\\win32";
  EXPECT_EQ(_stricmp(readValue(lib + platform).data.c_str(), typeLibPath.c_str()), 0) << readValue(lib + platform).data;
}

void expectNothingRegistered() {
  for (const std::string& key : {classKey + "\\TypeLib", classKey + "\\Version", classKey + "\\ProgID",
                                 std::string("Vantorelix.Utils\\Clsid"), std::string("Vantorelix.Utils"),
                                 classKey + "\\InprocServer32", classKey, std::string("TypeLib\\") + kLibid})
    EXPECT_FALSE(keyExists(key)) << key;
}

class Registration : public ::testing::Test {
 protected:
  void TearDown() override {
    // Whatever a test did, the build's DLL is registered again for the tests that follow.
    EXPECT_EQ(callEntry(dllPath(), "DllRegisterServer"), S_OK);
  }
};
}  // namespace

TEST_F(Registration, RegsvrWroteAllEightEntriesAndTheTypeLibrary) {
  std::string path = ansiLongPath(dllPath());
  ASSERT_EQ(path.find(' '), std::string::npos) << "the build path holds a space; this case needs one without";
  expectRegisteredAt(path, path);
}

TEST_F(Registration, RegisteringTwiceLeavesTheSameEntries) {
  ASSERT_EQ(callEntry(dllPath(), "DllRegisterServer"), S_OK);
  ASSERT_EQ(callEntry(dllPath(), "DllRegisterServer"), S_OK);
  std::string path = ansiLongPath(dllPath());
  expectRegisteredAt(path, path);
}

TEST_F(Registration, UnregisteringRemovesEveryEntryAndASecondTimeIsNoError) {
  ASSERT_EQ(callEntry(dllPath(), "DllUnregisterServer"), S_OK);
  expectNothingRegistered();
  EXPECT_EQ(callEntry(dllPath(), "DllUnregisterServer"), S_OK);
  expectNothingRegistered();
  // Unregistration removes only what registration wrote: the CLSID root stays.
  EXPECT_TRUE(keyExists("CLSID"));
}

TEST_F(Registration, APathWithASpaceRegistersItsShortFormForTheServer) {
  std::u16string dir = tempDir() + u"\\with space";
  CreateDirectoryW(w(dir), nullptr);
  std::u16string copy = dir + u"\\Vantorelix.dll";
  ASSERT_TRUE(CopyFileW(w(dllPath()), w(copy), FALSE));
  {
    ASSERT_EQ(callEntry(copy, "DllRegisterServer"), S_OK);
    std::string full = ansiLongPath(copy);
    std::string brief = ansiShortPath(copy);
    ASSERT_FALSE(brief.empty());
    EXPECT_EQ(brief.find(' '), std::string::npos);
    expectRegisteredAt(brief, full);
    // The class is creatable through the short path.
    ComPtr<IUtils> utils = createUtils();
    ASSERT_TRUE(utils);
    INT maxPathOrNotYet = 0;
    utils->getMaxPath(&maxPathOrNotYet);
    Bstr text;
    EXPECT_EQ(utils->getErrMsg(2, text.out()), S_OK);
    utils.Reset();
    CoFreeUnusedLibraries();
    ASSERT_EQ(callEntry(copy, "DllUnregisterServer"), S_OK);
    expectNothingRegistered();
  }
  CoFreeUnusedLibrariesEx(0, 0);
  DeleteFileW(w(copy));
  RemoveDirectoryW(w(dir));
}

namespace {
// A copy of the build's DLL in a folder of its own under the test folder; gone again at the end.
class DllCopy {
 public:
  explicit DllCopy(const std::u16string& folderName) : folder_(tempDir() + u"\\" + folderName) {
    CreateDirectoryW(w(folder_), nullptr);
    path_ = folder_ + u"\\Vantorelix.dll";
    copied_ = CopyFileW(w(dllPath()), w(path_), FALSE) != 0;
  }
  ~DllCopy() {
    CoFreeUnusedLibrariesEx(0, 0);
    DeleteFileW(w(path_));
    RemoveDirectoryW(w(folder_));
  }
  DllCopy(const DllCopy&) = delete;
  DllCopy& operator=(const DllCopy&) = delete;
  bool copied() const { return copied_; }
  const std::u16string& path() const { return path_; }

 private:
  std::u16string folder_, path_;
  bool copied_ = false;
};

// Creates the object through the registry and tells whether the module that serves it is the
// one at `path`.
void expectCreatableFrom(const std::u16string& path) {
  ComPtr<IUtils> utils = createUtils();
  ASSERT_TRUE(utils);
  INT maxPath = 0;
  EXPECT_EQ(utils->getMaxPath(&maxPath), S_OK);
  EXPECT_NE(GetModuleHandleW(w(path)), nullptr) << "the object was not served by " << narrow(wide(path));
}
}  // namespace

// The server entry names the module through the UTF-16 path functions: a folder that the ANSI
// code page 1252 cannot spell (Japanese letters) is registered as it is, with or without a
// space (then in its short form), by DllRegisterServer, by regsvr32 and by regsvr of a working
// object. Under code page 932 the same folders are ones the code page spells.
TEST_F(Registration, ACopyInAFolderTheCodePageCannotSpellRegistersItsExactPath) {
  const std::u16string folders[] = {u"\u30d5\u30a9\u30eb\u30c0", u"\u65e5\u672c \u30d5\u30a9\u30eb\u30c0"};
  for (const std::u16string& folder : folders) {
    for (const char* way : {"DllRegisterServer", "regsvr32", "regsvr of a working object"}) {
      SCOPED_TRACE(std::string(way) + ", folder " + narrow(wide(folder)));
      DllCopy copy(folder);
      ASSERT_TRUE(copy.copied());
      if (way == std::string("regsvr of a working object")) {
        ComPtr<IUtils> working = createUtils();
        ASSERT_TRUE(working);
        Bstr path(copy.path()), errResult;
        ASSERT_EQ(working->regsvr(path.get(), errResult.out()), S_OK);
        EXPECT_TRUE(errResult.view().empty()) << narrow(wide(std::u16string(errResult.view())));
      } else if (way == std::string("regsvr32")) {
        ASSERT_EQ(runProgram(L"\"" + regsvr32In(L"System32") + L"\" /s \"" + wide(copy.path()) + L"\""), 0u);
      } else {
        ASSERT_EQ(callEntry(copy.path(), "DllRegisterServer"), S_OK);
      }
      const std::wstring full = longPath(wide(copy.path()));
      const std::wstring expected = folder.find(u' ') == std::u16string::npos ? full : shortPath(full);
      EXPECT_EQ(valueIn(machineClasses(), kUtilsClassKey + L"\\InprocServer32", 0).value_or(L"<missing>"), expected);
      const std::wstring platform = sizeof(void*) == 8 ? L"\\win64" : L"\\win32";
      EXPECT_EQ(lstrcmpiW(valueIn(machineClasses(), kTypeLibLocaleKey + platform, 0).value_or(L"").c_str(), full.c_str()), 0);
      expectCreatableFrom(copy.path());
      CoFreeUnusedLibrariesEx(0, 0);
      ASSERT_EQ(callEntry(copy.path(), "DllUnregisterServer"), S_OK);
      ASSERT_EQ(callEntry(dllPath(), "DllRegisterServer"), S_OK);
    }
  }
}

// A folder with a space and letters beyond ASCII that the code page spells (Japanese under 932,
// accented Latin otherwise): every value is stored as the ANSI registry functions stored it.
TEST_F(Registration, APathTheCodePageSpellsIsStoredAsBefore) {
  const std::u16string letters = GetACP() == 932 ? u"\u30d5\u30a9\u30eb\u30c0 \u65e5\u672c" : u"d\u00e9j\u00e0 vu \u00df";
  DllCopy copy(letters);
  ASSERT_TRUE(copy.copied());
  ASSERT_EQ(callEntry(copy.path(), "DllRegisterServer"), S_OK);
  std::string full = ansiLongPath(copy.path());
  ASSERT_FALSE(full.empty());
  expectRegisteredAt(ansiShortPath(copy.path()), full);
  expectCreatableFrom(copy.path());
  CoFreeUnusedLibrariesEx(0, 0);
  ASSERT_EQ(callEntry(copy.path(), "DllUnregisterServer"), S_OK);
}

// ---- both bitnesses side by side ---------------------------------------------------------------

namespace {
// The other bitness's DLL as a 32-bit registration would name it; the test never loads it.
std::wstring otherServerPath() { return wide(tempDir()) + L"\\x86\\Vantorelix.dll"; }

// The other view's registration, whole and unchanged.
void expectOtherViewRegistered(const Views& views) {
  const ClassesPlace machine = machineClasses();
  const REGSAM v = views.other;
  EXPECT_EQ(valueIn(machine, kUtilsClassKey, v).value_or(L"<missing>"), L"Utils Object");
  EXPECT_EQ(valueIn(machine, kUtilsClassKey + L"\\InprocServer32", v).value_or(L"<missing>"), otherServerPath());
  EXPECT_EQ(valueIn(machine, kUtilsClassKey + L"\\InprocServer32", v, L"ThreadingModel").value_or(L"<missing>"), L"Apartment");
  EXPECT_EQ(valueIn(machine, kUtilsClassKey + L"\\ProgID", v).value_or(L"<missing>"), kProgID);
  EXPECT_EQ(valueIn(machine, kUtilsClassKey + L"\\Version", v).value_or(L"<missing>"), L"1.0");
  EXPECT_EQ(valueIn(machine, kUtilsClassKey + L"\\TypeLib", v).value_or(L"<missing>"), kUtilsLibid);
  EXPECT_EQ(valueIn(machine, kTypeLibLocaleKey + L"\\" + views.otherPlatform, v).value_or(L"<missing>"), otherServerPath());
  EXPECT_TRUE(keyIn(machine, kInterfaceKey, v)) << "the other view's IUtils interface key";
}

// The shared keys, as either view shows them.
void expectSharedKeysKept(const Views& views) {
  for (REGSAM v : {views.own, views.other}) {
    EXPECT_EQ(valueIn(machineClasses(), kProgID, v).value_or(L"<missing>"), L"Utils Object") << "view " << v;
    EXPECT_EQ(valueIn(machineClasses(), std::wstring(kProgID) + L"\\Clsid", v).value_or(L"<missing>"), kUtilsClsid) << "view " << v;
    EXPECT_EQ(valueIn(machineClasses(), kTypeLibKey + L"\\1.0", v).value_or(L"<missing>"), L"Vantorelix Library") << "view " << v;
  }
}

// This view's own entries are gone, its type library platform key with them.
void expectOwnViewGone(const Views& views) {
  for (const wchar_t* sub : {L"\\TypeLib", L"\\Version", L"\\ProgID", L"\\InprocServer32", L""})
    EXPECT_FALSE(keyIn(machineClasses(), kUtilsClassKey + sub, views.own)) << narrow(kUtilsClassKey + sub);
  const wchar_t* ownPlatform = sizeof(void*) == 8 ? L"\\win64" : L"\\win32";
  EXPECT_FALSE(keyIn(machineClasses(), kTypeLibLocaleKey + ownPlatform, views.own));
}

// The shared keys as both bitnesses' programs read them: this one through its own view, the
// 32-bit ones by their own reading (thirtyTwoBitProgramsSee).
void expectSharedKeysKeptForBothBitnesses(const Views& views) {
  EXPECT_EQ(valueIn(machineClasses(), kProgID, views.own).value_or(L"<missing>"), L"Utils Object");
  EXPECT_EQ(valueIn(machineClasses(), std::wstring(kProgID) + L"\\Clsid", views.own).value_or(L"<missing>"), kUtilsClsid);
  EXPECT_EQ(valueIn(machineClasses(), kTypeLibKey + L"\\1.0", views.own).value_or(L"<missing>"), L"Vantorelix Library");
  EXPECT_TRUE(thirtyTwoBitProgramsSee(std::wstring(kProgID) + L"\\Clsid")) << "32-bit programs lost the ProgID";
  EXPECT_TRUE(thirtyTwoBitProgramsSee(kTypeLibKey + L"\\1.0")) << "32-bit programs lost the type library";
}

void expectNoViewRegisters(const Views& views) {
  for (REGSAM v : {views.own, views.other})
    for (const std::wstring& key : {kUtilsClassKey, std::wstring(kProgID), kTypeLibKey, kInterfaceKey})
      EXPECT_FALSE(keyIn(machineClasses(), key, v)) << narrow(key) << " in view " << v;
}

std::wstring quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

class SideBySide : public Registration {
 protected:
  void SetUp() override {
    if (!views.other) GTEST_SKIP() << "32-bit Windows has one registry view: nothing is shared with another bitness";
    ASSERT_EQ(callEntry(dllPath(), "DllRegisterServer"), S_OK);
  }
  void TearDown() override {
    if (views.other) eraseOtherViewRegistration(machineClasses(), views);
    Registration::TearDown();
  }

  // Both orders of removal: this bitness first, while the other still registers the class;
  // then, registered again, the other bitness first and this one last.
  void bothOrders(const std::function<void()>& unregisterThisBitness) {
    putOtherViewRegistration(machineClasses(), views, otherServerPath());

    unregisterThisBitness();
    expectOwnViewGone(views);
    expectSharedKeysKept(views);
    expectOtherViewRegistered(views);

    ASSERT_EQ(callEntry(dllPath(), "DllRegisterServer"), S_OK);
    eraseOtherViewOwnEntries(machineClasses(), views);
    expectSharedKeysKept(views);
    expectCreatableFrom(dllPath());
    CoFreeUnusedLibrariesEx(0, 0);
    unregisterThisBitness();
    expectNoViewRegisters(views);
  }

  const Views views = registryViews();
};
}  // namespace

// What this system keeps apart per view, printed on every run. Measured with Wine 8.0 in a
// win64 prefix: HKEY_CLASSES_ROOT\CLSID and \Interface have a key of their own in each view, as
// on Windows, and TypeLib is one for both; unlike Windows, Wine keeps ProgIDs under
// HKEY_CLASSES_ROOT per view and one HKEY_CURRENT_USER\Software\Classes\CLSID for both.
TEST_F(SideBySide, TheOtherViewOfTheMachineClassKeysIsAKeyOfItsOwn) {
  const ClassesPlace machine = machineClasses();
  setValueIn(machine, kUtilsClassKey + L"\\InprocServer32", views.other, otherServerPath());
  EXPECT_EQ(valueIn(machine, kUtilsClassKey + L"\\InprocServer32", views.own).value_or(L""), longPath(wide(dllPath())))
      << "the other view's CLSID key is this view's";
  std::printf("other view of HKEY_CLASSES_ROOT\\CLSID: %s\n",
              valueIn(machine, kUtilsClassKey + L"\\InprocServer32", views.own) ==
                      valueIn(machine, kUtilsClassKey + L"\\InprocServer32", views.other)
                  ? "the same key"
                  : "a key of its own");
  const ClassesPlace user = userClasses();
  setValueIn(user, L"CLSID\\{D26D3337-0000-0000-0000-000000000000}", views.other, L"other");
  std::printf("other view of HKEY_CURRENT_USER\\Software\\Classes\\CLSID: %s\n",
              keyIn(user, L"CLSID\\{D26D3337-0000-0000-0000-000000000000}", views.own) ? "the same key" : "a key of its own");
  deleteIn(user, L"CLSID\\{D26D3337-0000-0000-0000-000000000000}", views.other);
  // Registration writes the IUtils interface key into both views (the platform's RegisterTypeLib).
  EXPECT_TRUE(keyIn(machine, kInterfaceKey, views.own));
  std::printf("IUtils interface key in the other view after registering: %s\n",
              keyIn(machine, kInterfaceKey, views.other) ? "yes" : "no");
}

TEST_F(SideBySide, DllUnregisterServerLeavesTheSharedKeysToTheOtherBitness) {
  bothOrders([] { ASSERT_EQ(callEntry(dllPath(), "DllUnregisterServer"), S_OK); });
}

TEST_F(SideBySide, Regsvr32SlashULeavesTheSharedKeysToTheOtherBitness) {
  const std::wstring regsvr32 = regsvr32In(L"System32");
  bothOrders([&] { ASSERT_EQ(runProgram(quoted(regsvr32) + L" /s /u " + quoted(wide(dllPath()))), 0u); });
}

// The real pairing: the 32-bit DLL registered by syswow64's regsvr32 beside this one. Only a
// machine that runs 32-bit programs can; elsewhere the reason is printed and nothing is claimed.
TEST_F(SideBySide, TheThirtyTwoBitDllRegisteredBySysWow64Regsvr32) {
  if (sizeof(void*) != 8) GTEST_SKIP() << "this is the 64-bit test program's case";
  const std::u16string said = envText("VANTORELIX_RUNS_32BIT");
  const std::string canRun = said.empty() ? "not known" : narrow(wide(said));
  if (canRun != "yes") {
    std::printf("skipped: 32-bit programs cannot run here (%s)\n", canRun.c_str());
    GTEST_SKIP() << canRun;
  }
  const std::wstring dll32 = envText<std::wstring>("VANTORELIX_DLL32");
  if (GetFileAttributesW(dll32.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf("skipped: the 32-bit DLL is not built (%s)\n", narrow(dll32).c_str());
    GTEST_SKIP() << "no 32-bit DLL";
  }
  const std::wstring wow = quoted(regsvr32In(L"SysWOW64")) + L" /s ", native = quoted(regsvr32In(L"System32")) + L" /s ";
  const std::wstring dll64 = quoted(wide(dllPath()));
  auto thirtyTwoBitServer = [&] {
    return longPath(valueIn(machineClasses(), kUtilsClassKey + L"\\InprocServer32", views.other).value_or(L""));
  };

  // The 64-bit one goes first.
  ASSERT_EQ(runProgram(wow + quoted(dll32)), 0u);
  ASSERT_EQ(lstrcmpiW(thirtyTwoBitServer().c_str(), longPath(dll32).c_str()), 0);
  ASSERT_EQ(runProgram(native + L"/u " + dll64), 0u);
  expectOwnViewGone(views);
  expectSharedKeysKeptForBothBitnesses(views);
  EXPECT_EQ(lstrcmpiW(thirtyTwoBitServer().c_str(), longPath(dll32).c_str()), 0);
  ASSERT_EQ(runProgram(wow + L"/u " + quoted(dll32)), 0u);
  expectNoViewRegisters(views);
  EXPECT_FALSE(thirtyTwoBitProgramsSee(kProgID));

  // The 32-bit one goes first.
  ASSERT_EQ(runProgram(native + dll64), 0u);
  ASSERT_EQ(runProgram(wow + quoted(dll32)), 0u);
  ASSERT_EQ(runProgram(wow + L"/u " + quoted(dll32)), 0u);
  EXPECT_FALSE(keyIn(machineClasses(), kUtilsClassKey, views.other));
  expectSharedKeysKeptForBothBitnesses(views);
  expectCreatableFrom(dllPath());
  CoFreeUnusedLibrariesEx(0, 0);
  ASSERT_EQ(runProgram(native + L"/u " + dll64), 0u);
  expectNoViewRegisters(views);
  EXPECT_FALSE(thirtyTwoBitProgramsSee(kProgID));
}

// ---- the machine's classes and the user's ------------------------------------------------------
// A machine pass works under HKEY_LOCAL_MACHINE\Software\Classes and a per-user pass under
// HKEY_CURRENT_USER\Software\Classes, whatever the other scope holds. On Windows
// HKEY_CLASSES_ROOT merges the two, and a write through it lands in the user's key wherever
// that exists: a machine registration after a per-user one would then reach only this user, and
// a machine unregistration would take the user's keys. (Wine does not merge the user's classes
// into HKEY_CLASSES_ROOT, so there these cases hold whichever root the server wrote through;
// they guard Windows, where the kit runs them.)
namespace {
HRESULT dllInstall(const std::u16string& dll, BOOL install) {
  Module module = Module::adopt(LoadLibraryW(w(dll)));
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  using DllInstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
  auto entry = reinterpret_cast<DllInstallFn>(reinterpret_cast<void*>(GetProcAddress(module.get(), "DllInstall")));
  return entry ? entry(install, L"user") : E_NOINTERFACE;
}

class Scopes : public Registration {
 protected:
  void TearDown() override {
    dllInstall(dllPath(), FALSE);
    Registration::TearDown();
  }
  const Views views = registryViews();
};
}  // namespace

TEST_F(Scopes, AMachineRegistrationAndUnregistrationLeaveTheUsersKeysAsTheyWere) {
  ASSERT_EQ(callEntry(dllPath(), "DllUnregisterServer"), S_OK);
  ASSERT_EQ(dllInstall(dllPath(), TRUE), S_OK);
  const std::wstring user = registrationIn(userClasses(), views);
  ASSERT_NE(user.find(L"InprocServer32 = " + longPath(wide(dllPath()))), std::wstring::npos) << narrow(user);

  ASSERT_EQ(callEntry(dllPath(), "DllRegisterServer"), S_OK);
  EXPECT_EQ(registrationIn(userClasses(), views), user) << "the machine registration wrote into the user's classes";
  EXPECT_EQ(valueIn(localMachineClasses(), kUtilsClassKey + L"\\InprocServer32", views.own).value_or(L"<missing>"),
            longPath(wide(dllPath())));
  EXPECT_EQ(valueIn(localMachineClasses(), kProgID, views.own).value_or(L"<missing>"), L"Utils Object");

  ASSERT_EQ(callEntry(dllPath(), "DllUnregisterServer"), S_OK);
  EXPECT_EQ(registrationIn(userClasses(), views), user) << "the machine unregistration took the user's keys";
  for (const std::wstring& key : {kUtilsClassKey, std::wstring(kProgID)})
    EXPECT_FALSE(keyIn(localMachineClasses(), key, views.own)) << narrow(key) << " left in the machine's classes";
}

TEST_F(Scopes, APerUserRegistrationAndUnregistrationLeaveTheMachinesKeysAsTheyWere) {
  const std::wstring machine = registrationIn(localMachineClasses(), views);
  ASSERT_NE(machine.find(L"InprocServer32 = " + longPath(wide(dllPath()))), std::wstring::npos) << narrow(machine);

  ASSERT_EQ(dllInstall(dllPath(), TRUE), S_OK);
  EXPECT_EQ(valueIn(userClasses(), kUtilsClassKey + L"\\InprocServer32", views.own).value_or(L"<missing>"),
            longPath(wide(dllPath())));
  // (Wine's RegisterTypeLibForUser registers the type library for the machine: its keys are
  // the machine's already, written by the same DLL, so the reading below is unchanged.)
  EXPECT_EQ(registrationIn(localMachineClasses(), views), machine) << "the per-user registration changed the machine's classes";

  ASSERT_EQ(dllInstall(dllPath(), FALSE), S_OK);
  EXPECT_FALSE(keyIn(userClasses(), kUtilsClassKey, views.own));
  EXPECT_FALSE(keyIn(userClasses(), kProgID, views.own));
  // Wine's UnRegisterTypeLibForUser unregisters the type library for the whole machine, as its
  // RegisterTypeLibForUser registered it: under Wine the type library's and the interface's
  // keys are Wine's to take, and only the class entries are compared. Windows keeps the
  // per-user type library under the user's classes, and there every key is compared.
  auto compared = [](const std::wstring& reading) {
    if (!vantorelix::runningUnderWine()) return reading;
    std::wstring out;
    for (size_t at = 0, end; at < reading.size(); at = end + 1) {
      end = reading.find(L'\n', at);
      const std::wstring line = reading.substr(at, end - at);
      if (line.find(L" TypeLib\\") == std::wstring::npos && line.find(L" Interface\\") == std::wstring::npos)
        out += line + L"\n";
    }
    return out;
  };
  EXPECT_EQ(compared(registrationIn(localMachineClasses(), views)), compared(machine))
      << "the per-user unregistration took the machine's keys";
}

// ---- why a registration failed ---------------------------------------------------------------
// DllRegisterServer answers E_FAIL for any failure, which is all that regsvr32 reports; what
// the failure was goes to the debugger as one line "Vantorelix: ..." (OutputDebugStringW). The
// cases run regsvr32 as their own debuggee and read what it writes, as a debugger would
// (tests/com/debug_output.h). A key that the registry keeps only in memory (volatile) takes no
// lasting subkey, on Windows and Wine alike (ERROR_CHILD_MUST_BE_VOLATILE): put where
// registration must create one, it makes that step fail.
namespace {
// A text as it arrives when written in the ANSI code page.
std::wstring throughAnsi(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &bytes[0], n, nullptr, nullptr);
  int m = MultiByteToWideChar(CP_ACP, 0, bytes.c_str(), -1, nullptr, 0);
  std::wstring out(m, L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.c_str(), -1, &out[0], m);
  out.resize(m > 0 ? m - 1 : 0);
  return out;
}

// A text of the DLL's string table.
std::wstring dllText(UINT id) {
  Module dll = Module::adopt(LoadLibraryExW(w(dllPath()), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  const wchar_t* text = nullptr;
  int n = dll ? LoadStringW(dll.get(), id, reinterpret_cast<LPWSTR>(&text), 0) : 0;
  return n > 0 ? std::wstring(text, n) : std::wstring();
}

// Replaces a key of the machine's classes in this program's view (the DLL's) by an empty
// volatile one, and removes that again.
void putVolatileKey(const std::wstring& key, REGSAM view) {
  RegKey classes;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_ALL_ACCESS | view, classes.out()),
            ERROR_SUCCESS);
  RegDeleteTreeW(classes.get(), key.c_str());
  RegKey made;
  ASSERT_EQ(RegCreateKeyExW(classes.get(), key.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS | view,
                            nullptr, made.out(), nullptr),
            ERROR_SUCCESS);
  RegKey child;
  ASSERT_EQ(RegCreateKeyExW(made.get(), L"lasting", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | view,
                            nullptr, child.out(), nullptr),
            ERROR_CHILD_MUST_BE_VOLATILE)
      << "the volatile key took a lasting subkey: these cases cannot make the registration fail";
}
void removeKeyTree(const std::wstring& key, REGSAM view) {
  RegKey classes;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_ALL_ACCESS | view, classes.out()) == ERROR_SUCCESS)
    RegDeleteTreeW(classes.get(), key.c_str());
}

class RegistrationTrace : public Registration {
 protected:
  void TearDown() override {
    for (const std::wstring& key : blocked_) removeKeyTree(key, views_.own);
    Registration::TearDown();
  }

  void block(const std::wstring& key) {
    blocked_.push_back(key);
    putVolatileKey(key, views_.own);
  }

  Debugged regsvr32() { return runDebugged(quoted(regsvr32In(L"System32")) + L" /s " + quoted(wide(dllPath()))); }

 private:
  const Views views_ = registryViews();
  std::vector<std::wstring> blocked_;
};
}  // namespace

TEST_F(RegistrationTrace, ARegistryWriteThatFailsIsTracedWithItsMessage) {
  block(kProgID);  // the ProgID's Clsid subkey cannot be made
  const std::wstring message = dllText(IDS_REGISTRY_WRITE);
  ASSERT_FALSE(message.empty());
  Debugged run = regsvr32();
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 5u) << "not regsvr32's code for a failed DllRegisterServer";
  std::vector<DebugLine> lines = traceLines(run);
  for (const DebugLine& line : lines)
    std::printf("trace (%s): %s", line.wide ? "UTF-16" : "ANSI", narrow(line.text).c_str());
  ASSERT_EQ(lines.size(), 1u) << "one line for the one failure";
  const DebugLine& line = lines[0];
  const std::wstring expected = L"Vantorelix: DllRegisterServer answered 0x80004005, dropping EOleRegistrationError: " +
                                (line.wide ? message : throughAnsi(message)) + L"\n";
  EXPECT_EQ(line.text, expected) << narrow(line.text);
}

TEST_F(RegistrationTrace, ARegistrationThatSucceedsTracesNothing) {
  Debugged run = regsvr32();
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  for (const DebugLine& line : traceLines(run)) ADD_FAILURE() << narrow(line.text);
}
