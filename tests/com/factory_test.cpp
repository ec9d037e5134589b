// The exported entry points, the class factory and the object's lifetime and interfaces,
// with the library loaded directly so that its counts are this program's alone.
#include "com_support.h"

#include <ocidl.h>

using namespace vtest;
using vantorelix::Module;

namespace {
::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

class Server : public ::testing::Test {
 protected:
  void SetUp() override {
    dll = LoadLibraryW(w(dllPath()));
    ASSERT_NE(dll, nullptr);
    getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    canUnloadNow = reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);
    ASSERT_EQ(canUnloadNow(), S_OK) << "an earlier test left a reference behind";
  }
  void TearDown() override {
    EXPECT_EQ(canUnloadNow(), S_OK) << "this test left a reference behind";
    FreeLibrary(dll);
  }
  ComPtr<IClassFactory> factory() {
    ComPtr<IClassFactory> f;
    EXPECT_EQ(getClassObject(CLSID_Utils, IID_IClassFactory, reinterpret_cast<void**>(f.GetAddressOf())), S_OK);
    return f;
  }
  HMODULE dll = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  CanUnloadNowFn canUnloadNow = nullptr;
};

// A minimal outer object for aggregation: it owns the inner object's own IUnknown.
struct Outer : IUnknown {
  LONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualGUID(iid, IID_IUnknown)) { *out = this; AddRef(); return S_OK; }
    ++forwardedQueries;
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  int forwardedQueries = 0;
};
}  // namespace

TEST_F(Server, ClassObjectOfAnotherClassIsNotAvailable) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(IID_IUtils, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
}

TEST_F(Server, FactoryReferenceKeepsTheLibraryLoaded) {
  {
    auto f = factory();
    ASSERT_TRUE(f);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ComPtr<IUnknown> same;
    EXPECT_EQ(f.As(&same), S_OK);
  }
  EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(Server, FactoryAnswersOnlyIUnknownAndIClassFactory) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(CLSID_Utils, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(canUnloadNow(), S_OK) << "a refused query must not leave a factory reference";
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(getClassObject(CLSID_Utils, IID_IUnknown, reinterpret_cast<void**>(unknown.GetAddressOf())), S_OK);
  ComPtr<IClassFactory> f;
  EXPECT_EQ(unknown.As(&f), S_OK);
  ComPtr<IDispatch> none;
  EXPECT_EQ(unknown.As(&none), E_NOINTERFACE);
  EXPECT_EQ(none.Get(), nullptr);
}

TEST_F(Server, FactoryReferencesAreCountedOverTheServer) {
  auto f = factory();
  ULONG twice = f->AddRef();
  ULONG once = f->Release();
  EXPECT_EQ(twice, once + 1);
}

TEST_F(Server, CreateInstanceRefusesANullOutput) {
  auto f = factory();
  EXPECT_EQ(f->CreateInstance(nullptr, IID_IUtils, nullptr), E_POINTER);
}

TEST_F(Server, AggregationOnlyThroughIUnknown) {
  auto f = factory();
  Outer outer;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(f->CreateInstance(&outer, IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  f.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK) << "no object may be left counted";

  f = factory();
  IUnknown* inner = nullptr;
  ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  ASSERT_NE(inner, nullptr);
  EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
  // The inner IUnknown answers for itself; its other interfaces delegate to the outer object.
  IUtils* utils = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IUtils, reinterpret_cast<void**>(&utils)), S_OK);
  LONG outerBefore = outer.refs;
  ComPtr<IDispatch> viaOuter;
  EXPECT_EQ(utils->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(viaOuter.GetAddressOf())), E_NOINTERFACE);
  EXPECT_EQ(outer.forwardedQueries, 1);
  IUnknown* outerIdentity = nullptr;
  ASSERT_EQ(utils->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&outerIdentity)), S_OK);
  EXPECT_EQ(outerIdentity, static_cast<IUnknown*>(&outer));
  outerIdentity->Release();
  utils->AddRef();  // counted on the outer object
  EXPECT_EQ(outer.refs, outerBefore + 1);
  utils->Release();
  utils->Release();  // the reference the inner query took, which the outer object holds
  f.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE) << "the aggregated object is still alive";
  EXPECT_EQ(inner->Release(), 0u);
}

TEST_F(Server, UnsupportedInterfaceDestroysTheNewObject) {
  auto f = factory();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(f->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  f.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK) << "the object must be gone and uncounted";
}

TEST_F(Server, LockServerCountsLikeAnObject) {
  auto f = factory();
  ASSERT_EQ(f->LockServer(TRUE), S_OK);
  ASSERT_EQ(f->LockServer(TRUE), S_OK);
  ASSERT_EQ(f->LockServer(FALSE), S_OK);
  f.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  f = factory();
  ASSERT_EQ(f->LockServer(FALSE), S_OK);
  f.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(Server, ObjectLivesUntilItsLastRelease) {
  auto f = factory();
  ComPtr<IUtils> utils;
  ASSERT_EQ(f->CreateInstance(nullptr, IID_IUtils, reinterpret_cast<void**>(utils.GetAddressOf())), S_OK);
  f.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(utils.As(&dispatch), S_OK);
  utils.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  dispatch.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);
}

class Object : public Server {
 protected:
  void SetUp() override {
    Server::SetUp();
    auto f = factory();
    ASSERT_EQ(f->CreateInstance(nullptr, IID_IUtils, reinterpret_cast<void**>(utils.GetAddressOf())), S_OK);
  }
  void TearDown() override {
    utils.Reset();
    Server::TearDown();
  }
  ComPtr<IUtils> utils;
};

TEST_F(Object, AnswersExactlyItsFiveInterfacesWithOneIdentity) {
  ComPtr<IUnknown> identity;
  ASSERT_EQ(utils.As(&identity), S_OK);
  const IID* five[] = {&IID_IUnknown, &IID_IDispatch, &IID_IUtils, &IID_ISupportErrorInfo, &IID_IProvideClassInfo};
  for (const IID* iid : five) {
    ComPtr<IUnknown> itf;
    ASSERT_EQ(utils->QueryInterface(*iid, reinterpret_cast<void**>(itf.GetAddressOf())), S_OK);
    ComPtr<IUnknown> back;
    ASSERT_EQ(itf.As(&back), S_OK);
    EXPECT_EQ(back.Get(), identity.Get()) << "IUnknown must be the same pointer from every interface";
  }
  const IID* others[] = {&IID_IClassFactory, &IID_IProvideClassInfo2, &IID_IPersist};
  for (const IID* iid : others) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(utils->QueryInterface(*iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(utils.As(&dispatch), S_OK);
  EXPECT_NE(static_cast<void*>(dispatch.Get()), static_cast<void*>(utils.Get()))
      << "IDispatch and IUtils are separate interface pointers";
}

TEST_F(Object, SupportsErrorInfoOnItsOwnInterfacesOnly) {
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(utils.As(&support), S_OK);
  for (const IID* iid : {&IID_IUtils, &IID_IDispatch, &IID_IUnknown, &IID_IProvideClassInfo, &IID_ISupportErrorInfo})
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(*iid), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IClassFactory), S_FALSE);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_NULL), S_FALSE);
}

TEST_F(Object, ClassInfoIsTheCoclass) {
  ComPtr<IProvideClassInfo> provide;
  ASSERT_EQ(utils.As(&provide), S_OK);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(provide->GetClassInfo(&info), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, CLSID_Utils));
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  info->ReleaseTypeAttr(attr);
}

TEST_F(Object, TypeInfoCountIndexAndNames) {
  for (IDispatch* d : {static_cast<IDispatch*>(utils.Get()), [&] {
         IDispatch* p = nullptr;
         utils->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&p));
         p->Release();
         return p;
       }()}) {
    UINT count = 0;
    ASSERT_EQ(d->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* bad = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(d->GetTypeInfo(1, 0, &bad), DISP_E_BADINDEX);
    EXPECT_EQ(bad, nullptr);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(d->GetTypeInfo(0, 0x0411, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IUtils));
    info->ReleaseTypeAttr(attr);

    for (const wchar_t* name : {L"getTickCount", L"GETTICKCOUNT", L"GetTickCount", L"gEtTiCkCoUnT"}) {
      DISPID id = 0;
      LPOLESTR n = const_cast<LPOLESTR>(name);
      EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &n, 1, 0, &id), S_OK);
      EXPECT_EQ(id, 0xE0);
    }
    DISPID id = 0;
    LPOLESTR unknown = const_cast<LPOLESTR>(L"noSuchMethod");
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
    // A member name followed by its parameter names.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"setFileTimeOne"), const_cast<LPOLESTR>(L"YEAR"),
                        const_cast<LPOLESTR>(L"milliseconds")};
    DISPID ids[3] = {};
    ASSERT_EQ(d->GetIDsOfNames(IID_NULL, names, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 0xD8);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], 8);
  }
}

TEST_F(Object, LateBoundCallsReachTheirSlotsByDispid) {
  // getTickCount by its DISPID through both dispatch pointers.
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(utils.As(&dispatch), S_OK);
  for (IDispatch* d : {dispatch.Get(), static_cast<IDispatch*>(utils.Get())}) {
    CallResult r;
    invokeById(d, 0xE0, {}, r, {}, DISPATCH_METHOD, kResultOnly);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(V_VT(r.value.get()), VT_UI4);
    EXPECT_NEAR(static_cast<double>(V_UI4(r.value.get())), static_cast<double>(GetTickCount()), 5000.0);
  }
  // getErrMsg(2) by DISPID 0xD4 with a named argument.
  CallResult named;
  invoke(dispatch.Get(), L"getErrMsg", {}, named, {{L"errCode", i4(2)}});
  ASSERT_EQ(named.hr, S_OK);
  Bstr direct;
  ASSERT_EQ(utils->getErrMsg(2, direct.out()), S_OK);
  EXPECT_EQ(named.string(), direct.view());
}

TEST_F(Object, MalformedLateBoundCallsGetThePlatformsCodes) {
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(utils.As(&dispatch), S_OK);
  CallResult unknown;
  invokeById(dispatch.Get(), 0x1234, {}, unknown, {}, DISPATCH_METHOD, kResultOnly);
  EXPECT_EQ(unknown.hr, DISP_E_MEMBERNOTFOUND);
  // getErrMsg has one required parameter.
  CallResult none;
  invokeById(dispatch.Get(), 0xD4, {}, none, {}, DISPATCH_METHOD, Places{true, false, true});
  EXPECT_TRUE(none.hr == DISP_E_BADPARAMCOUNT || none.hr == DISP_E_PARAMNOTFOUND) << std::hex << none.hr;
  // A property put is turned into a put/putref request, which no method of the interface answers.
  CallResult put;
  invokeById(dispatch.Get(), 0xE0, {}, put, {{DISPID_PROPERTYPUT, i4(1)}}, DISPATCH_PROPERTYPUT, kNoPlaces);
  EXPECT_TRUE(FAILED(put.hr));
}
