// DllRegisterServer and DllUnregisterServer: the eight registry entries, the type library
// registration, the short-path rule for a path with a space, and what removal leaves.
#include "com_support.h"

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

std::string ansi(const std::u16string& s) {
  int n = WideCharToMultiByte(CP_ACP, 0, w(s), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, w(s), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::string longPath(const std::string& path) {
  char buffer[MAX_PATH] = {};
  DWORD n = GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
  return std::string(buffer, n);
}
std::string shortPath(const std::string& path) {
  char buffer[MAX_PATH] = {};
  DWORD n = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  return std::string(buffer, n);
}

using EntryFn = HRESULT(STDAPICALLTYPE*)();
HRESULT callEntry(const std::u16string& dll, const char* entry) {
  Module module(LoadLibraryW(w(dll)));
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
  EXPECT_EQ(readValue(classKey + "\\InprocServer32").data, serverPath);
  EXPECT_EQ(readValue(classKey + "\\InprocServer32", "ThreadingModel").data, "Apartment");
  EXPECT_EQ(readValue("Vantorelix.Utils").data, "Utils Object");
  EXPECT_EQ(readValue("Vantorelix.Utils\\Clsid").data, kClsid);
  EXPECT_EQ(readValue(classKey + "\\ProgID").data, "Vantorelix.Utils");
  EXPECT_EQ(readValue(classKey + "\\Version").data, "1.0");
  EXPECT_EQ(readValue(classKey + "\\TypeLib").data, kLibid);
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
  std::string path = longPath(ansi(dllPath()));
  ASSERT_EQ(path.find(' '), std::string::npos) << "the build path holds a space; this case needs one without";
  expectRegisteredAt(path, path);
}

TEST_F(Registration, RegisteringTwiceLeavesTheSameEntries) {
  ASSERT_EQ(callEntry(dllPath(), "DllRegisterServer"), S_OK);
  ASSERT_EQ(callEntry(dllPath(), "DllRegisterServer"), S_OK);
  std::string path = longPath(ansi(dllPath()));
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
    std::string full = longPath(ansi(copy));
    std::string brief = shortPath(full);
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
