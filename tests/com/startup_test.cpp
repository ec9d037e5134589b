// Start-up of the library: loading it starts nothing, the first export that needs the server
// starts it, once, whichever export comes first and however many threads ask at once, and a
// start-up that fails answers as the exports say. Each case loads the DLL afresh with
// LoadLibrary and watches the start-up's two loads (OLEAUT32 by LoadLibraryA, the type
// library by LoadTypeLibEx) through the DLL's own import table.
#include "com_support.h"

#include <cstring>
#include <thread>

using namespace vtest;

namespace {
::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using EntryFn = HRESULT(STDAPICALLTYPE*)();
using InstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
using LoadTypeLibExFn = HRESULT(WINAPI*)(LPCOLESTR, REGKIND, ITypeLib**);
using LoadLibraryAFn = HMODULE(WINAPI*)(LPCSTR);

// What the watched imports saw. The type-library load lingers a little so that threads that
// arrive during a start-up find it still running.
volatile LONG gTypeLibLoads = 0;
volatile LONG gOleAutLoads = 0;
volatile DWORD gTypeLibLingerMs = 0;
LoadTypeLibExFn gRealLoadTypeLibEx = nullptr;
LoadLibraryAFn gRealLoadLibraryA = nullptr;

HRESULT WINAPI countedLoadTypeLibEx(LPCOLESTR path, REGKIND kind, ITypeLib** out) {
  InterlockedIncrement(&gTypeLibLoads);
  if (gTypeLibLingerMs) Sleep(gTypeLibLingerMs);
  return gRealLoadTypeLibEx(path, kind, out);
}
HMODULE WINAPI countedLoadLibraryA(LPCSTR name) {
  if (name && _stricmp(name, "OLEAUT32.DLL") == 0) InterlockedIncrement(&gOleAutLoads);
  return gRealLoadLibraryA(name);
}

// Points the module's import of `function` from `dll` at `replacement` and gives the former
// target, or null when the module imports no such function by name.
void* patchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return nullptr;
  for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
    if (_stricmp(reinterpret_cast<char*>(base + imp->Name), dll) != 0 || !imp->OriginalFirstThunk) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) != 0) continue;
      DWORD protection = 0;
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
      void* former = reinterpret_cast<void*>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
      return former;
    }
  }
  return nullptr;
}

double millisecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Fn>
Fn entry(HMODULE dll, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

// The library loaded afresh, its start-up loads watched from right after the load.
class FreshLoad : public ::testing::Test {
 protected:
  void load(const std::u16string& path) {
    std::u16string name = path.substr(path.find_last_of(u'\\') + 1);
    ASSERT_EQ(GetModuleHandleW(w(name)), nullptr) << "the library is loaded already: no fresh load";
    gTypeLibLoads = 0;
    gOleAutLoads = 0;
    gTypeLibLingerMs = 0;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    dll = LoadLibraryW(w(path));
    loadMs = millisecondsSince(start);
    ASSERT_NE(dll, nullptr) << "LoadLibrary failed: " << GetLastError();
    gRealLoadTypeLibEx = reinterpret_cast<LoadTypeLibExFn>(
        patchImport(dll, "oleaut32.dll", "LoadTypeLibEx", reinterpret_cast<void*>(&countedLoadTypeLibEx)));
    gRealLoadLibraryA = reinterpret_cast<LoadLibraryAFn>(
        patchImport(dll, "kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(&countedLoadLibraryA)));
    ASSERT_NE(gRealLoadTypeLibEx, nullptr) << "the library does not import LoadTypeLibEx";
    ASSERT_NE(gRealLoadLibraryA, nullptr) << "the library does not import LoadLibraryA";
    getClassObject = entry<GetClassObjectFn>(dll, "DllGetClassObject");
    canUnloadNow = entry<EntryFn>(dll, "DllCanUnloadNow");
    registerServer = entry<EntryFn>(dll, "DllRegisterServer");
    unregisterServer = entry<EntryFn>(dll, "DllUnregisterServer");
    install = entry<InstallFn>(dll, "DllInstall");
    ASSERT_TRUE(getClassObject && canUnloadNow && registerServer && unregisterServer && install);
  }
  void TearDown() override {
    if (dll) FreeLibrary(dll);
  }
  void expectNotStarted() {
    EXPECT_EQ(gOleAutLoads, 0) << "OLEAUT32 was loaded before any export needed it";
    EXPECT_EQ(gTypeLibLoads, 0) << "the type library was loaded before any export needed it";
  }
  void expectStartedOnce() {
    EXPECT_EQ(gOleAutLoads, 1) << "start-up loads OLEAUT32 once";
    EXPECT_EQ(gTypeLibLoads, 1) << "start-up loads the type library once";
  }
  // DllGetClassObject for Utils and IClassFactory: S_OK and a factory.
  ComPtr<IClassFactory> classFactory() {
    ComPtr<IClassFactory> f;
    EXPECT_EQ(getClassObject(CLSID_Utils, IID_IClassFactory, reinterpret_cast<void**>(f.GetAddressOf())), S_OK);
    EXPECT_TRUE(f);
    return f;
  }
  // The factory makes a working object.
  void expectWorkingObject(IClassFactory* f) {
    ComPtr<IUtils> utils;
    ASSERT_EQ(f->CreateInstance(nullptr, IID_IUtils, reinterpret_cast<void**>(utils.GetAddressOf())), S_OK);
    INT maxPath = 0;
    EXPECT_EQ(utils->getMaxPath(&maxPath), S_OK);
    EXPECT_EQ(maxPath, MAX_PATH);
  }

  HMODULE dll = nullptr;
  double loadMs = 0;
  GetClassObjectFn getClassObject = nullptr;
  EntryFn canUnloadNow = nullptr, registerServer = nullptr, unregisterServer = nullptr;
  InstallFn install = nullptr;
};

}  // namespace

TEST_F(FreshLoad, CanUnloadNowFirstAnswersOkAndStartsNothing) {
  load(dllPath());
  EXPECT_EQ(canUnloadNow(), S_OK);
  EXPECT_EQ(canUnloadNow(), S_OK);
  expectNotStarted();
  // A DllInstall that is refused for its command line needs no server either.
  EXPECT_EQ(install(TRUE, L"machine"), E_INVALIDARG);
  expectNotStarted();
  {
    auto f = classFactory();
    expectStartedOnce();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(FreshLoad, GetClassObjectFirstStartsTheLibrary) {
  load(dllPath());
  expectNotStarted();
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  ComPtr<IClassFactory> first;
  ASSERT_EQ(getClassObject(CLSID_Utils, IID_IClassFactory, reinterpret_cast<void**>(first.GetAddressOf())), S_OK);
  double firstMs = millisecondsSince(start);
  expectStartedOnce();
  QueryPerformanceCounter(&start);
  auto second = classFactory();
  double secondMs = millisecondsSince(start);
  EXPECT_EQ(first.Get(), second.Get()) << "one factory";
  std::printf("LoadLibrary %.3f ms, first DllGetClassObject (start-up) %.3f ms, second %.3f ms\n", loadMs, firstMs,
              secondMs);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  expectWorkingObject(first.Get());
  // Another class is still not available, and asking starts nothing more.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(IID_IUtils, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  expectStartedOnce();
  first.Reset();
  second.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(FreshLoad, RegisterServerFirstStartsTheLibrary) {
  load(dllPath());
  expectNotStarted();
  // The DLL is the one the test run registered: writing its entries again changes nothing.
  EXPECT_EQ(registerServer(), S_OK);
  expectStartedOnce();
  EXPECT_EQ(canUnloadNow(), S_OK) << "registration leaves no reference behind";
  auto f = classFactory();
  expectWorkingObject(f.Get());
  EXPECT_EQ(registerServer(), S_OK);
  expectStartedOnce();
}

TEST_F(FreshLoad, EightThreadsAtOnceGetOneFactoryFromOneStart) {
  load(dllPath());
  gTypeLibLingerMs = 200;  // the first start is still running when the others ask
  const int kThreads = 8;
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(go, nullptr);
  IClassFactory* factories[kThreads] = {};
  HRESULT results[kThreads];
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    results[i] = E_FAIL;
    threads.emplace_back([&, i] {
      WaitForSingleObject(go, INFINITE);
      results[i] = getClassObject(CLSID_Utils, IID_IClassFactory, reinterpret_cast<void**>(&factories[i]));
    });
  }
  Sleep(50);  // every thread waits on the event
  SetEvent(go);
  for (auto& t : threads) t.join();
  CloseHandle(go);
  gTypeLibLingerMs = 0;

  expectStartedOnce();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(results[i], S_OK) << "thread " << i;
    EXPECT_EQ(factories[i], factories[0]) << "thread " << i << " got another factory";
  }
  EXPECT_EQ(canUnloadNow(), S_FALSE) << "eight references are out";
  if (factories[0]) expectWorkingObject(factories[0]);
  for (IClassFactory* f : factories)
    if (f) f->Release();
  EXPECT_EQ(canUnloadNow(), S_OK) << "every reference was counted by the one server";
}

namespace {
// Every resource of a module but its type library, gathered from a data-file mapping.
struct Resources {
  HANDLE update = nullptr;
  bool ok = true;
};
BOOL CALLBACK copyLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR param) {
  auto* r = reinterpret_cast<Resources*>(param);
  bool typeLib = !IS_INTRESOURCE(type) && lstrcmpiW(type, L"TYPELIB") == 0;
  if (typeLib) return TRUE;
  HRSRC found = FindResourceExW(module, type, name, language);
  HGLOBAL data = found ? LoadResource(module, found) : nullptr;
  if (!data || !UpdateResourceW(r->update, type, name, language, LockResource(data), SizeofResource(module, found)))
    r->ok = false;
  return TRUE;
}
BOOL CALLBACK copyName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
  EnumResourceLanguagesW(module, type, name, copyLanguage, param);
  return TRUE;
}
BOOL CALLBACK copyType(HMODULE module, LPWSTR type, LONG_PTR param) {
  EnumResourceNamesW(module, type, copyName, param);
  return TRUE;
}

// A copy of the DLL, among the test's files, without its TYPELIB resource. The copy's
// resources are written anew from the original's, all but the type library: Wine's
// UpdateResource cannot delete a resource that the file has already.
std::u16string copyWithoutTypeLibrary() {
  std::string id = std::to_string(GetCurrentProcessId());
  std::u16string copy = tempDir() + u"\\VantorelixNoTypeLib" + std::u16string(id.begin(), id.end()) + u".dll";
  if (!CopyFileW(w(dllPath()), w(copy), FALSE)) return {};
  vantorelix::Module original = vantorelix::Module::adopt(LoadLibraryExW(w(dllPath()), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!original) return {};
  Resources r;
  r.update = BeginUpdateResourceW(w(copy), TRUE);
  if (!r.update) return {};
  EnumResourceTypesW(original.get(), copyType, reinterpret_cast<LONG_PTR>(&r));
  if (!EndUpdateResourceW(r.update, !r.ok) || !r.ok) return {};
  return copy;
}

bool hasTypeLibrary(const std::u16string& path) {
  vantorelix::Module data = vantorelix::Module::adopt(LoadLibraryExW(w(path), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  return data && FindResourceW(data.get(), MAKEINTRESOURCEW(1), L"TYPELIB") != nullptr;
}

std::u16string registeredServer() {
  wchar_t data[MAX_PATH * 2] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{D26D3337-1F1D-4805-AC89-287F698FEC0E}\\InprocServer32", L"",
               RRF_RT_REG_SZ, nullptr, data, &size);
  return std::u16string(reinterpret_cast<const char16_t*>(data));
}
}  // namespace

TEST_F(FreshLoad, FailedStartUpAnswersClassNotAvailableAndFailsRegistration) {
  std::u16string copy = copyWithoutTypeLibrary();
  ASSERT_FALSE(copy.empty()) << "could not make a copy of the DLL without its type library";
  ASSERT_FALSE(hasTypeLibrary(copy));
  ASSERT_TRUE(hasTypeLibrary(dllPath()));
  std::u16string registered = registeredServer();
  load(copy);
  EXPECT_EQ(canUnloadNow(), S_OK);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(CLSID_Utils, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  expectStartedOnce();  // the load was tried, and failed
  // Every later call answers from that one failed start.
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(CLSID_Utils, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(registerServer(), E_FAIL);
  EXPECT_EQ(unregisterServer(), E_FAIL);
  EXPECT_EQ(install(TRUE, L"user"), E_FAIL);
  EXPECT_EQ(install(FALSE, L"user"), E_FAIL);
  expectStartedOnce();
  EXPECT_EQ(canUnloadNow(), S_OK);
  EXPECT_EQ(registeredServer(), registered) << "a failed registration wrote nothing";
  FreeLibrary(dll);
  dll = nullptr;
  DeleteFileW(w(copy));
}

TEST_F(FreshLoad, FailedStartUpRegistrationFirstFails) {
  std::u16string copy = copyWithoutTypeLibrary();
  ASSERT_FALSE(copy.empty());
  ASSERT_FALSE(hasTypeLibrary(copy));
  load(copy);
  EXPECT_EQ(registerServer(), E_FAIL);
  expectStartedOnce();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(CLSID_Utils, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(canUnloadNow(), S_OK);
  FreeLibrary(dll);
  dll = nullptr;
  DeleteFileW(w(copy));
}
