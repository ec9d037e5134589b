// The owners of automation/raii.h: UniqueOwner's vocabulary (reset, release, out, move, and the
// last-error code kept across a free) on a kind of value whose frees the test counts, and the
// product's owners on the platform's own resources.
#include <windows.h>
#include <oleauto.h>

#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "Vantorelix.h"
#include "automation/raii.h"

using namespace vantorelix;

namespace {

// The values freed so far, in order. Each free also sets the thread's last-error code, as a
// platform free may.
std::vector<int> gFreed;
constexpr DWORD kErrorOfTheFree = ERROR_INVALID_HANDLE;

struct CountedTraits {
  using type = int;
  static int none() { return 0; }
  static bool held(int v) { return v != 0; }
  static void free(int v) {
    gFreed.push_back(v);
    SetLastError(kErrorOfTheFree);
  }
};
using Counted = UniqueOwner<CountedTraits>;

class Owner : public ::testing::Test {
 protected:
  void SetUp() override { gFreed.clear(); }
};

}  // namespace

TEST_F(Owner, ResetFreesWhatWasHeldAndHoldsTheNewValue) {
  {
    Counted o = Counted::adopt(1);
    EXPECT_TRUE(o);
    o.reset(2);
    EXPECT_EQ(gFreed, std::vector<int>{1});
    EXPECT_EQ(o.get(), 2);
    o.reset();
    EXPECT_EQ(gFreed, (std::vector<int>{1, 2}));
    EXPECT_FALSE(o);
    EXPECT_EQ(o.get(), 0);
    o.reset();  // nothing held: nothing freed
  }
  EXPECT_EQ(gFreed, (std::vector<int>{1, 2})) << "an empty owner freed something when it went";
  {
    Counted o = Counted::adopt(3);
  }
  EXPECT_EQ(gFreed, (std::vector<int>{1, 2, 3})) << "the owner did not free its value exactly once when it went";
}

TEST_F(Owner, ReleaseHandsTheValueBackWithoutFreeingIt) {
  {
    Counted o = Counted::adopt(4);
    EXPECT_EQ(o.release(), 4);
    EXPECT_FALSE(o);
    EXPECT_EQ(o.release(), 0);
  }
  EXPECT_TRUE(gFreed.empty());
}

TEST_F(Owner, OutFreesWhatWasHeldAndGivesTheAddressToWriteInto) {
  Counted o = Counted::adopt(5);
  int* slot = o.out();
  EXPECT_EQ(gFreed, std::vector<int>{5}) << "out() must free before the call writes a new value";
  ASSERT_EQ(*slot, 0);
  *slot = 6;  // as a C call fills its out-parameter
  EXPECT_EQ(o.get(), 6);
  Counted empty;
  *empty.out() = 7;
  EXPECT_EQ(gFreed, std::vector<int>{5}) << "out() of an empty owner freed something";
  o.reset();
  empty.reset();
  EXPECT_EQ(gFreed, (std::vector<int>{5, 6, 7}));
}

TEST_F(Owner, AMoveHandsTheValueOverAndLeavesTheSourceEmpty) {
  Counted a = Counted::adopt(8);
  Counted b(std::move(a));
  EXPECT_FALSE(a);
  EXPECT_EQ(b.get(), 8);
  Counted c = Counted::adopt(9);
  c = std::move(b);  // the value c held goes
  EXPECT_EQ(gFreed, std::vector<int>{9});
  EXPECT_EQ(c.get(), 8);
  EXPECT_FALSE(b);
  Counted& same = c;
  c = std::move(same);
  EXPECT_EQ(c.get(), 8) << "a move into itself lost the value";
  EXPECT_EQ(gFreed, std::vector<int>{9});
}

TEST_F(Owner, TheLastErrorCodeSurvivesEveryFree) {
  const DWORD before = ERROR_FILE_NOT_FOUND;
  Counted o = Counted::adopt(10);
  SetLastError(before);
  o.reset(11);
  EXPECT_EQ(GetLastError(), before) << "reset";
  SetLastError(before);
  o.out();
  EXPECT_EQ(GetLastError(), before) << "out";
  Counted p = Counted::adopt(12), q = Counted::adopt(13);
  SetLastError(before);
  p = std::move(q);
  EXPECT_EQ(GetLastError(), before) << "move assignment";
  {
    Counted r = Counted::adopt(14);
    SetLastError(before);
  }
  EXPECT_EQ(GetLastError(), before) << "destruction";
  EXPECT_EQ(gFreed, (std::vector<int>{10, 11, 12, 14}));
}

// ---- the product's owners on the platform's resources -----------------------------------------

namespace {
// A COM object that counts its references, to see when a variant lets it go.
class Counter final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!IsEqualIID(iid, IID_IUnknown)) return *out = nullptr, E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;  // the test's own
};

VARIANT holding(Counter& object) {
  VARIANT v;
  VariantInit(&v);
  object.AddRef();
  V_VT(&v) = VT_UNKNOWN;
  V_UNKNOWN(&v) = &object;
  return v;
}

bool isOpenKey(HKEY key) {
  DWORD subkeys = 0;
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr) == ERROR_SUCCESS;
}

bool isOpenHandle(HANDLE h) {
  DWORD flags = 0;
  return GetHandleInformation(h, &flags) != 0;
}
}  // namespace

TEST(Owners, AVariantClearsWhatItHoldsOnResetOutAndDestruction) {
  Counter object;
  {
    Variant v = Variant::adopt(holding(object));
    EXPECT_TRUE(v);
    EXPECT_EQ(object.refs, 2u);
    Variant moved(std::move(v));
    EXPECT_FALSE(v);
    EXPECT_EQ(object.refs, 2u) << "a move took or gave a reference";
    moved.reset();
    EXPECT_EQ(object.refs, 1u) << "reset";
    EXPECT_EQ(V_VT(moved.get()), VT_EMPTY);
    moved.reset(holding(object));
    VARIANT* slot = moved.out();
    EXPECT_EQ(object.refs, 1u) << "out";
    EXPECT_EQ(slot, moved.get());
    EXPECT_EQ(V_VT(slot), VT_EMPTY);
    *slot = holding(object);
  }
  EXPECT_EQ(object.refs, 1u) << "destruction";
  Variant kept = Variant::adopt(holding(object));
  VARIANT raw = kept.release();
  EXPECT_FALSE(kept);
  EXPECT_EQ(object.refs, 2u) << "release";
  VariantClear(&raw);
}

// RegKey's and CoTaskText's out() once left the old value in place and overwrote it: a second
// out() on the same owner leaked the first key.
TEST(Owners, ARegKeysOutClosesTheKeyItHeld) {
  RegKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.out()), ERROR_SUCCESS);
  const HKEY first = key.get();
  ASSERT_TRUE(isOpenKey(first));
  HKEY* slot = key.out();
  EXPECT_EQ(*slot, nullptr);
  EXPECT_FALSE(isOpenKey(first)) << "out() left the key it held open";
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, slot), ERROR_SUCCESS);
  const HKEY second = key.get();
  key.reset();
  EXPECT_FALSE(isOpenKey(second));
}

TEST(Owners, AHandleHoldsNeitherNullNorTheInvalidValueAndClosesWhatItHolds) {
  EXPECT_FALSE(Handle());
  EXPECT_EQ(Handle().get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Handle::adopt(nullptr));
  Handle event = Handle::adopt(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  const HANDLE raw = event.get();
  Handle taken(std::move(event));
  EXPECT_FALSE(event);
  EXPECT_EQ(event.get(), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(isOpenHandle(raw));
  Handle back = Handle::adopt(taken.release());
  EXPECT_TRUE(isOpenHandle(raw)) << "release closed the handle";
  back.reset();
  EXPECT_FALSE(isOpenHandle(raw));
}

// The lock of SafeArrayAccessData is held while the owner lives and given back on every way
// out, a raised error among them.
TEST(Owners, AnArraysDataIsLockedWhileHeldAndUnlockedOnEveryWayOut) {
  SAFEARRAYBOUND bound{3, 0};
  SafeArray array = SafeArray::adopt(SafeArrayCreate(VT_I4, 1, &bound));
  ASSERT_TRUE(array);
  {
    HRESULT hr = E_FAIL;
    SafeArrayData data(array.get(), hr);
    ASSERT_EQ(hr, S_OK);
    ASSERT_TRUE(data);
    EXPECT_EQ(array.get()->cLocks, 1u);
    static_cast<LONG*>(data.data())[2] = 42;
  }
  EXPECT_EQ(array.get()->cLocks, 0u);
  LONG index = 2, value = 0;
  ASSERT_EQ(SafeArrayGetElement(array.get(), &index, &value), S_OK);
  EXPECT_EQ(value, 42) << "data() was not the array's data";
  try {
    HRESULT hr = E_FAIL;
    SafeArrayData data(array.get(), hr);
    ASSERT_EQ(array.get()->cLocks, 1u);
    throw std::bad_alloc();
  } catch (const std::bad_alloc&) {
  }
  EXPECT_EQ(array.get()->cLocks, 0u) << "a raised error left the array locked";
  HRESULT hr = S_OK;
  SafeArrayData refused(nullptr, hr);
  EXPECT_EQ(hr, E_INVALIDARG);
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.data(), nullptr);
}

namespace {
ComPtr<ITypeInfo> utilsTypeInfo(ComPtr<ITypeLib>& lib) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);  // this program holds the type library as a resource
  ComPtr<ITypeInfo> info;
  if (SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, &lib))) lib->GetTypeInfoOfGuid(IID_IUtils, &info);
  return info;
}

int gGivenBack = 0;
void countedGiveBack(ITypeInfo* info, TYPEATTR* attr) {
  ++gGivenBack;
  info->ReleaseTypeAttr(attr);
}
}  // namespace

// A description lent by a type's information goes back to its lender exactly once, whichever
// owner holds it last; what the platform does not lend leaves the owner empty.
TEST(Owners, ALentDescriptionGoesBackToItsLenderOnce) {
  ComPtr<ITypeLib> lib;
  ComPtr<ITypeInfo> info = utilsTypeInfo(lib);
  ASSERT_TRUE(info);
  {
    TYPEATTR* raw = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&raw), S_OK);
    using Counted = LentPart<ITypeInfo, TYPEATTR, countedGiveBack>;
    Counted first = Counted::adopt(info.Get(), raw);
    Counted last(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_TRUE(IsEqualGUID(last->guid, IID_IUtils));
    EXPECT_EQ(gGivenBack, 0);
  }
  EXPECT_EQ(gGivenBack, 1);

  TypeAttr attr = typeAttrOrNone(info.Get());
  ASSERT_TRUE(attr);
  EXPECT_TRUE(IsEqualGUID((*attr).guid, IID_IUtils));
  EXPECT_TRUE(funcDescOrNone(info.Get(), 0));
  EXPECT_FALSE(funcDescOrNone(info.Get(), attr->cFuncs)) << "a function past the last one";
}
