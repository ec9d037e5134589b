// The floor object answers as COM requires, so that the benchmark's floor is an honest object
// and not merely a fast one. Loads the floor's DLL by path and reaches it through its exports
// (no registration needed); prints each failed check and "floor: N checks, M failed".
//   floor_check <path of VantorelixBenchFloor.dll>
#include <windows.h>
#include <oleauto.h>
#include <objsafe.h>
#include <ocidl.h>

#include <cstdio>
#include <initializer_list>

namespace {

// IDispatchEx, which scripts ask for on every call (MinGW's uuid library lacks it).
const IID kIIDDispatchEx = {0xa6ef9860, 0xc720, 0x11d0, {0x93, 0x37, 0x00, 0xa0, 0xc9, 0x0d, 0xca, 0xa9}};
const CLSID kFloorClsid = {0x5e0b2c1d, 0x7a44, 0x4f0e, {0x9b, 0x61, 0x3c, 0x2d, 0x8e, 0x7f, 0x1a, 0x90}};
int checks, failures;

void check(bool ok, const char* what) {
  ++checks;
  if (!ok) {
    ++failures;
    std::printf("FAIL: %s\n", what);
  }
}

void* const kMarker = reinterpret_cast<void*>(0x1234);

// QueryInterface refuses `iid` as COM requires: E_NOINTERFACE and a null pointer.
void checkRefused(IUnknown* object, REFIID iid, const char* what) {
  void* out = kMarker;
  check(object->QueryInterface(iid, &out) == E_NOINTERFACE && out == nullptr, what);
}

HRESULT idOf(IDispatch* d, const wchar_t* name, DISPID& id) {
  LPOLESTR n = const_cast<LPOLESTR>(name);
  id = 12345;
  return d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
}

HRESULT call(IDispatch* d, DISPID id, WORD flags, UINT args, VARIANT& result) {
  VARIANT arg;
  V_VT(&arg) = VT_I4;
  V_I4(&arg) = 7;
  DISPPARAMS params{args ? &arg : nullptr, nullptr, args, 0};
  VariantInit(&result);
  return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, nullptr, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: floor_check <path of VantorelixBenchFloor.dll>\n");
    return 2;
  }
  HMODULE dll = LoadLibraryA(argv[1]);
  auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(dll ? GetProcAddress(dll, "DllGetClassObject") : nullptr));
  auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(dll ? GetProcAddress(dll, "DllCanUnloadNow") : nullptr));
  if (!getClassObject || !canUnloadNow) {
    std::printf("FAIL: %s does not load or lacks its exports\n", argv[1]);
    return 1;
  }
  CoInitialize(nullptr);

  // The class object: only the floor's CLSID, DLL kept while a reference or a lock is held.
  void* out = kMarker;
  check(getClassObject(IID_IDispatch, IID_IClassFactory, &out) == CLASS_E_CLASSNOTAVAILABLE && !out,
        "another CLSID: CLASS_E_CLASSNOTAVAILABLE, null");
  IClassFactory* factory = nullptr;
  check(canUnloadNow() == S_OK, "nothing held: DllCanUnloadNow S_OK");
  check(getClassObject(kFloorClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK && factory,
        "the floor's class object");
  if (!factory) return 1;
  check(canUnloadNow() == S_FALSE, "a factory reference held: S_FALSE");
  check(factory->LockServer(TRUE) == S_OK, "LockServer(TRUE)");
  factory->Release();
  check(canUnloadNow() == S_FALSE, "a server lock held: S_FALSE");
  factory->LockServer(FALSE);
  check(canUnloadNow() == S_OK, "lock released: S_OK");
  getClassObject(kFloorClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  out = kMarker;  // the marker as the outer object: refused before it would be called
  check(factory->CreateInstance(static_cast<IUnknown*>(kMarker), IID_IUnknown, &out) == CLASS_E_NOAGGREGATION &&
            !out,
        "aggregation: CLASS_E_NOAGGREGATION, null");
  out = kMarker;
  check(factory->CreateInstance(nullptr, kIIDDispatchEx, &out) == E_NOINTERFACE && !out,
        "CreateInstance for IDispatchEx: E_NOINTERFACE, null");
  IDispatch* floor = nullptr;
  check(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&floor)) == S_OK && floor,
        "CreateInstance for IDispatch");
  factory->Release();
  if (!floor) return 1;
  check(canUnloadNow() == S_FALSE, "an object alive: S_FALSE");

  // Interfaces: IUnknown and IDispatch with one identity; everything else refused, also IIDs
  // that share IUnknown's or IDispatch's first 32 bits.
  IUnknown* unknown = nullptr;
  check(floor->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)) == S_OK &&
            unknown == static_cast<IUnknown*>(floor),
        "IUnknown: the same pointer");
  check(floor->AddRef() == 3 && floor->Release() == 2, "references counted: 1 + QueryInterface + AddRef");
  if (unknown) unknown->Release();
  checkRefused(floor, kIIDDispatchEx, "IDispatchEx refused");
  checkRefused(floor, IID_IObjectSafety, "IObjectSafety refused");
  checkRefused(floor, IID_IProvideClassInfo, "IProvideClassInfo refused");
  checkRefused(floor, IID_ISupportErrorInfo, "ISupportErrorInfo refused");
  checkRefused(floor, IID_IMarshal, "IMarshal refused");
  checkRefused(floor, IID_NULL, "IID_NULL (IUnknown's first 32 bits) refused");
  const IID likeDispatch = {0x00020400, 0x0000, 0x0001, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
  checkRefused(floor, likeDispatch, "an IID with IDispatch's first 32 bits refused");

  // Names: the one member in any letter case, nothing else.
  DISPID id = 0;
  check(idOf(floor, L"getMaxPath", id) == S_OK && id == 1, "getMaxPath: DISPID 1");
  check(idOf(floor, L"GETMAXPATH", id) == S_OK && id == 1, "GETMAXPATH: DISPID 1");
  for (const wchar_t* other : {L"getMaxPat", L"getMaxPaths", L"", L"getTickCount"})
    check(idOf(floor, other, id) == DISP_E_UNKNOWNNAME && id == DISPID_UNKNOWN,
          "another name: DISP_E_UNKNOWNNAME, DISPID_UNKNOWN");
  LPOLESTR two[] = {const_cast<LPOLESTR>(L"getMaxPath"), const_cast<LPOLESTR>(L"value")};
  DISPID ids[2] = {0, 0};
  check(floor->GetIDsOfNames(IID_NULL, two, 2, LOCALE_USER_DEFAULT, ids) == DISP_E_UNKNOWNNAME && ids[0] == 1 &&
            ids[1] == DISPID_UNKNOWN,
        "a parameter name getMaxPath does not have: DISP_E_UNKNOWNNAME, the member's DISPID kept");

  // Calls: getMaxPath as a method or a property get, 260 as VT_I4; anything else refused.
  VARIANT result;
  check(call(floor, 1, DISPATCH_METHOD, 0, result) == S_OK && V_VT(&result) == VT_I4 && V_I4(&result) == 260,
        "getMaxPath(): VT_I4 260");
  check(call(floor, 1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, result) == S_OK && V_I4(&result) == 260,
        "getMaxPath as a script calls it: 260");
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  check(floor->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr) == S_OK,
        "getMaxPath without a result variant");
  for (DISPID other : {DISPID(0), DISPID(2), DISPID(DISPID_UNKNOWN), DISPID(DISPID_VALUE), DISPID(DISPID_NEWENUM)})
    check(call(floor, other, DISPATCH_METHOD, 0, result) == DISP_E_MEMBERNOTFOUND && V_VT(&result) == VT_EMPTY,
          "another DISPID: DISP_E_MEMBERNOTFOUND");
  check(call(floor, 1, DISPATCH_PROPERTYPUT, 1, result) == DISP_E_MEMBERNOTFOUND, "a property put: DISP_E_MEMBERNOTFOUND");
  check(call(floor, 1, DISPATCH_METHOD, 1, result) == DISP_E_BADPARAMCOUNT && V_VT(&result) == VT_EMPTY,
        "an argument: DISP_E_BADPARAMCOUNT");

  // No type information.
  UINT count = 7;
  check(floor->GetTypeInfoCount(&count) == S_OK && count == 0, "GetTypeInfoCount: 0");
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(kMarker);
  check(floor->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info) == DISP_E_BADINDEX && !info, "GetTypeInfo: DISP_E_BADINDEX");

  check(floor->Release() == 0, "the last Release: 0");
  check(canUnloadNow() == S_OK, "everything released: S_OK");
  CoUninitialize();
  std::printf("floor: %d checks, %d failed\n", checks, failures);
  return failures ? 1 : 0;
}
