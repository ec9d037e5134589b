// The floor of a late-bound call: the least that any IDispatch object can do. GetIDsOfNames is
// one name comparison, Invoke a switch on the DISPID that writes 260 as the result, and the
// object has no type information. What a script or a C++ caller spends on a call of this
// object is the cost of the call itself, which no server can go below.
// Built with the benchmarks only; registered as "Vantorelix.BenchFloor" by regsvr32.
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
HMODULE gModule;
LONG gLive;

// `name` equals `lower` (written in lower case) in any letter case: the one comparison.
bool sameName(const wchar_t* name, const wchar_t* lower) {
  for (; *name && *lower; ++name, ++lower) {
    wchar_t c = (*name >= L'A' && *name <= L'Z') ? wchar_t(*name + 32) : *name;
    if (c != *lower) return false;
  }
  return *name == *lower;
}

class Floor final : public IDispatch {
 public:
  Floor() { InterlockedIncrement(&gLive); }
  ~Floor() { InterlockedDecrement(&gLive); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* out) override {
    *out = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    *out = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (count == 1 && sameName(names[0], L"getmaxpath")) {
      ids[0] = 1;
      return S_OK;
    }
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    switch (id) {
      case 1:
        if (result) {
          V_VT(result) = VT_I4;
          V_I4(result) = MAX_PATH;
        }
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  LONG refs_ = 1;
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Floor* floor = new (std::nothrow) Floor;
    if (!floor) return E_OUTOFMEMORY;
    HRESULT hr = floor->QueryInterface(iid, out);
    floor->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
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
  if (reason == DLL_PROCESS_ATTACH) gModule = module;
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!IsEqualGUID(clsid, kFloorClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return gLive ? S_FALSE : S_OK; }

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
