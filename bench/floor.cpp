// The floor of a late-bound call: the least that an IDispatch object can do while still
// answering as COM requires. What a script or a C++ caller spends on a call of this object is
// the cost of the call itself, which no server can go below.
// Built with the benchmarks only; registered as "Vantorelix.BenchFloor" by regsvr32 (bench/run),
// and checked by bench/floor_check.cpp (ctest: bench_floor_answers).
//
// What a script's call asks of an object: under Wine, `x = o.getMaxPath()` in VBScript makes
// two QueryInterface calls for IDispatchEx (one to look the name up, one to call), one AddRef
// and one Release, one GetIDsOfNames and one Invoke (counted with a copy of this object that
// counts its calls). Each of those is as short here as it can be:
//  - QueryInterface answers only IUnknown and IDispatch. The first 32 bits of the IID settle
//    every other request, IDispatchEx and IObjectSafety included, with no call and no table of
//    interfaces walked; there is no IProvideClassInfo, ISupportErrorInfo or IDispatchEx to hand
//    out, so a script never goes on to use one.
//  - The reference count is a plain counter: the object is registered with the Apartment
//    threading model, so COM calls it on its apartment's thread only (another apartment gets a
//    proxy), and no locked instruction is needed. The count of live objects, factory references
//    and server locks that DllCanUnloadNow reads changes once per object, not per call, and may
//    be read from any thread: it stays interlocked.
//  - No type information at all: GetTypeInfoCount answers 0, so nothing loads a type library
//    (LoadRegTypeLib reads the registry and maps the file); GetIDsOfNames is one comparison of
//    the one name, where DispGetIDsOfNames would search the type library's names; Invoke checks
//    the DISPID, the flags and the argument count and writes the VT_I4 result, where
//    DispInvoke would go through ITypeInfo::Invoke and its argument conversion.
//  - No error information: the only failures are the DISP_E_ codes themselves.
//  - The class factory is a static object and DllMain asks for no thread notifications; neither
//    is on the path of a call, they only keep creation and thread start-up short.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <new>
#include <string>

namespace {

// {5E0B2C1D-7A44-4F0E-9B61-3C2D8E7F1A90}
const CLSID kFloorClsid = {0x5e0b2c1d, 0x7a44, 0x4f0e, {0x9b, 0x61, 0x3c, 0x2d, 0x8e, 0x7f, 0x1a, 0x90}};
const wchar_t kClsidText[] = L"{5E0B2C1D-7A44-4F0E-9B61-3C2D8E7F1A90}";
const wchar_t kProgId[] = L"Vantorelix.BenchFloor";
const DISPID kGetMaxPath = 1;
HMODULE gModule;
LONG gModuleRefs;  // live objects, references to the factory and server locks

// IUnknown is {00000000-0000-0000-C000-000000000046}, IDispatch {00020400-0000-0000-C000-
// 000000000046}: only an IID whose first 32 bits are one of these two goes on to a full compare.
bool answered(REFIID iid) {
  if (iid.Data1 != 0 && iid.Data1 != 0x00020400) return false;
  return IsEqualGUID(iid, iid.Data1 ? IID_IDispatch : IID_IUnknown);
}

// `name` equals `lower` (written in lower case) in any letter case of ASCII letters: the one
// comparison. The member's name has no letter whose case depends on the locale.
bool sameName(const wchar_t* name, const wchar_t* lower) {
  for (; *name && *lower; ++name, ++lower) {
    wchar_t c = (*name >= L'A' && *name <= L'Z') ? wchar_t(*name + 32) : *name;
    if (c != *lower) return false;
  }
  return *name == *lower;
}

class Floor final : public IDispatch {
 public:
  Floor() { InterlockedIncrement(&gModuleRefs); }
  ~Floor() { InterlockedDecrement(&gModuleRefs); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (!answered(iid)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IDispatch*>(this);  // the same pointer for both: one identity
    ++refs_;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (count == 0) return S_OK;
    ids[0] = sameName(names[0], L"getmaxpath") ? kGetMaxPath : DISPID_UNKNOWN;
    if (count == 1 && ids[0] == kGetMaxPath) return S_OK;
    for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;  // getMaxPath has no parameters to name
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    if (id != kGetMaxPath || !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
    if (params && params->cArgs) return DISP_E_BADPARAMCOUNT;
    if (result) {
      V_VT(result) = VT_I4;
      V_I4(result) = MAX_PATH;
    }
    return S_OK;
  }

 private:
  ULONG refs_ = 1;
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // A static object: its references only keep the DLL loaded.
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&gModuleRefs)); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(InterlockedDecrement(&gModuleRefs)); }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Floor* floor = new (std::nothrow) Floor;
    if (!floor) return E_OUTOFMEMORY;
    HRESULT hr = floor->QueryInterface(iid, out);
    floor->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      InterlockedIncrement(&gModuleRefs);
    else
      InterlockedDecrement(&gModuleRefs);
    return S_OK;
  }
};
Factory gFactory;

bool setValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY k;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr)) return false;
  LONG r = RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    gModule = module;
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualGUID(clsid, kFloorClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return gModuleRefs ? S_FALSE : S_OK; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t path[MAX_PATH * 2];
  GetModuleFileNameW(gModule, path, MAX_PATH * 2);
  std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
  bool ok = setValue(clsidKey, nullptr, L"Vantorelix benchmark floor") &&
            setValue(clsidKey + L"\\InprocServer32", nullptr, path) &&
            setValue(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
            setValue(clsidKey + L"\\ProgID", nullptr, kProgId) &&
            setValue(kProgId, nullptr, L"Vantorelix benchmark floor") &&
            setValue(std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText);
  return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidText).c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  return S_OK;
}
