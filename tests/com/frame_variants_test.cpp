// The four variant-argument operations called directly, on variants built by hand: arrays
// reached through chains of references, bounds other than 0, two dimensions, arrays of other
// element types, and the conversion of every kind of value with its messages.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "automation/ansi.h"
#include "automation/errors.h"
#include "automation/raii.h"
#include "automation/variant_logic.h"
#include "automation/variants.h"
#include "tests/support/variants.h"

using namespace vantorelix;
using namespace vtest;

namespace {

class Frame : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    setResourceModule(GetModuleHandleW(nullptr));
    captureAnsiCodePage();
    startUpVariants();
  }
  void TearDown() override { CoUninitialize(); }
};
::testing::Environment* const frame = ::testing::AddGlobalTestEnvironment(new Frame);

const std::u16string kBadIndex = u"バリアント配列の範囲を超えています";
const std::u16string kInvalidArgument = u"不正な引数が渡されました";

std::u16string castText(const std::u16string& from, const std::u16string& to) {
  return from + u"型から " + to + u" 型へのバリアント型変換はできません";
}
std::u16string overflowText(const std::u16string& from) {
  return from + u" 型から Integer 型へのバリアント型変換でのオーバーフローエラー";
}

Owned text(const wchar_t* s) { return Owned(str(s)); }

// The message of the error that `f` raises, or "<nothing raised>".
template <class F>
std::u16string raised(F&& f) {
  try {
    f();
  } catch (const EVariantError& e) {
    return e.message();
  }
  return u"<nothing raised>";
}

}  // namespace

TEST(IsArrayArgument, FollowsReferenceChainsToTheArray) {
  Owned array(intArray({1, 2}));
  VARIANT ref1 = referenceTo(array.v());
  VARIANT ref2 = referenceTo(ref1);
  EXPECT_TRUE(isArrayArgument(array.v()));
  EXPECT_TRUE(isArrayArgument(ref2));
  SAFEARRAY* held = V_ARRAY(&array.v());
  VARIANT arrayRef = scalar(VT_BYREF | VT_ARRAY | VT_VARIANT);
  V_ARRAYREF(&arrayRef) = &held;
  EXPECT_TRUE(isArrayArgument(arrayRef));
  VARIANT noArray = scalar(VT_ARRAY | VT_I4);  // declared but never given a size
  V_ARRAY(&noArray) = nullptr;
  EXPECT_TRUE(isArrayArgument(noArray));
}

TEST(IsArrayArgument, ScalarsTextsAndObjectsAreNoArrays) {
  for (VARTYPE vt : {VT_EMPTY, VT_NULL, VT_I4, VT_R8, VT_DATE, VT_BOOL, VT_DISPATCH, VT_UNKNOWN}) {
    VARIANT v = scalar(vt);
    EXPECT_FALSE(isArrayArgument(v)) << "type " << vt;
  }
  Owned s = text(L"1,2,3");
  EXPECT_FALSE(isArrayArgument(s.v()));
  VARIANT i = i4(3);
  VARIANT ref = referenceTo(i);
  EXPECT_FALSE(isArrayArgument(ref));
}

TEST(ArrayBound, GivesBothBoundsThroughReferences) {
  Owned array(intArray({7, 8, 9}, 1));
  VARIANT ref = referenceTo(array.v());
  EXPECT_EQ(arrayBound(ref, 1, Bound::lower), 1);
  EXPECT_EQ(arrayBound(ref, 1, Bound::upper), 3);
  Owned empty(intArray({}, 0));
  EXPECT_EQ(arrayBound(empty.v(), 1, Bound::upper), -1);
  Owned negative(intArray({1, 2, 3}, -5));
  EXPECT_EQ(arrayBound(negative.v(), 1, Bound::lower), -5);
  EXPECT_EQ(arrayBound(negative.v(), 1, Bound::upper), -3);
}

TEST(ArrayBound, AnArrayVariantWithoutArrayIsAnInvalidArgument) {
  VARIANT noArray = scalar(VT_ARRAY | VT_VARIANT);
  V_ARRAY(&noArray) = nullptr;
  EXPECT_EQ(raised([&] { arrayBound(noArray, 1, Bound::upper); }), kInvalidArgument);
  try {
    arrayBound(noArray, 1, Bound::lower);
  } catch (const EVariantError& e) {
    EXPECT_EQ(e.code(), E_INVALIDARG);
  }
  Owned array(intArray({1}));
  EXPECT_EQ(raised([&] { arrayBound(array.v(), 2, Bound::upper); }), kBadIndex) << "no second dimension";
}

TEST(ReadArrayElement, IndexOutsideTheBoundsAndSecondDimensionsFail) {
  Owned fromOne(intArray({10, 20}, 1));
  Variant e;
  EXPECT_EQ(raised([&] { readArrayElement(fromOne.v(), 0, e); }), kBadIndex);
  EXPECT_EQ(raised([&] { readArrayElement(fromOne.v(), 3, e); }), kBadIndex);
  readArrayElement(fromOne.v(), 2, e);
  EXPECT_EQ(V_VT(e.get()), VT_I4);
  EXPECT_EQ(V_I4(e.get()), 20);

  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  VARIANT twoD = scalar(VT_ARRAY | VT_VARIANT);
  V_ARRAY(&twoD) = SafeArrayCreate(VT_VARIANT, 2, bounds);
  Owned owner(twoD);
  for (LONG i = -1; i <= 3; ++i) EXPECT_EQ(raised([&] { readArrayElement(owner.v(), i, e); }), kBadIndex) << i;
}

TEST(ReadArrayElement, VariantElementsAreCopiedWithTheirOwnType) {
  SAFEARRAYBOUND bound{3, 0};
  SAFEARRAY* a = SafeArrayCreate(VT_VARIANT, 1, &bound);
  Owned s = text(L"5");
  VARIANT d = r8(4.5);
  VARIANT n = scalar(VT_NULL);
  LONG i0 = 0, i1 = 1, i2 = 2;
  SafeArrayPutElement(a, &i0, &s.v());
  SafeArrayPutElement(a, &i1, &d);
  SafeArrayPutElement(a, &i2, &n);
  VARIANT array = scalar(VT_ARRAY | VT_VARIANT);
  V_ARRAY(&array) = a;
  Owned owner(array);
  VARIANT ref = referenceTo(owner.v());

  Variant e;
  readArrayElement(ref, 0, e);
  ASSERT_EQ(V_VT(e.get()), VT_BSTR);
  EXPECT_STREQ(V_BSTR(e.get()), L"5");
  EXPECT_NE(V_BSTR(e.get()), V_BSTR(&s.v())) << "a copy, not the array's own string";
  readArrayElement(ref, 1, e);
  EXPECT_EQ(V_VT(e.get()), VT_R8);
  EXPECT_EQ(V_R8(e.get()), 4.5);
  readArrayElement(ref, 2, e);
  EXPECT_EQ(V_VT(e.get()), VT_NULL);
}

TEST(ReadArrayElement, ElementsOfOtherTypesAreReadAsThatType) {
  SAFEARRAYBOUND bound{2, 0};
  LONG i1 = 1;

  SAFEARRAY* shorts = SafeArrayCreate(VT_I2, 1, &bound);
  SHORT s = -7;
  SafeArrayPutElement(shorts, &i1, &s);
  VARIANT shortArray = scalar(VT_ARRAY | VT_I2);
  V_ARRAY(&shortArray) = shorts;
  Owned shortOwner(shortArray);

  SAFEARRAY* texts = SafeArrayCreate(VT_BSTR, 1, &bound);
  Bstr t = Bstr::adopt(SysAllocString(L"$FFFFFFFF"));
  SafeArrayPutElement(texts, &i1, t.get());
  VARIANT textArray = scalar(VT_ARRAY | VT_BSTR);
  V_ARRAY(&textArray) = texts;
  Owned textOwner(textArray);
  // The array through a pointer, as a by-reference array argument arrives.
  SAFEARRAY* held = texts;
  VARIANT textArrayRef = scalar(VT_BYREF | VT_ARRAY | VT_BSTR);
  V_ARRAYREF(&textArrayRef) = &held;

  SAFEARRAY* decimals = SafeArrayCreate(VT_DECIMAL, 1, &bound);
  DECIMAL dec{};
  VarDecFromI4(123456, &dec);
  SafeArrayPutElement(decimals, &i1, &dec);
  VARIANT decimalArray = scalar(VT_ARRAY | VT_DECIMAL);
  V_ARRAY(&decimalArray) = decimals;
  Owned decimalOwner(decimalArray);

  Variant e;
  readArrayElement(shortOwner.v(), 1, e);
  EXPECT_EQ(V_VT(e.get()), VT_I2);
  EXPECT_EQ(variantToInt32(*e.get()), -7);
  readArrayElement(textArrayRef, 1, e);
  ASSERT_EQ(V_VT(e.get()), VT_BSTR);
  EXPECT_STREQ(V_BSTR(e.get()), L"$FFFFFFFF");
  EXPECT_EQ(variantToInt32(*e.get()), -1);
  readArrayElement(decimalOwner.v(), 1, e);
  EXPECT_EQ(V_VT(e.get()), VT_DECIMAL);
  EXPECT_EQ(variantToInt32(*e.get()), 123456);
  readArrayElement(textOwner.v(), 0, e);
  EXPECT_EQ(V_VT(e.get()), VT_BSTR);
  EXPECT_EQ(V_BSTR(e.get()), nullptr) << "an element never set is the empty text";
}

TEST(VariantToInt32, NumbersTruthValuesAndEmpty) {
  VARIANT v = scalar(VT_EMPTY);
  EXPECT_EQ(variantToInt32(v), 0);
  v = scalar(VT_BOOL); V_BOOL(&v) = VARIANT_TRUE;
  EXPECT_EQ(variantToInt32(v), -1);
  V_BOOL(&v) = VARIANT_FALSE;
  EXPECT_EQ(variantToInt32(v), 0);
  v = scalar(VT_I1); V_I1(&v) = -5;
  EXPECT_EQ(variantToInt32(v), -5);
  v = scalar(VT_UI1); V_UI1(&v) = 250;
  EXPECT_EQ(variantToInt32(v), 250);
  v = scalar(VT_I2); V_I2(&v) = -300;
  EXPECT_EQ(variantToInt32(v), -300);
  v = scalar(VT_UI2); V_UI2(&v) = 65535;
  EXPECT_EQ(variantToInt32(v), 65535);
  v = scalar(VT_UI4); V_UI4(&v) = 0x7FFFFFFF;
  EXPECT_EQ(variantToInt32(v), INT32_MAX);
  v = scalar(VT_I8); V_I8(&v) = -2147483648LL;
  EXPECT_EQ(variantToInt32(v), INT32_MIN);
  EXPECT_EQ(variantToInt32(r8(2.5)), 2);
  EXPECT_EQ(variantToInt32(r8(3.5)), 4);
  EXPECT_EQ(variantToInt32(r8(-2.5)), -2);
  v = scalar(VT_R4); V_R4(&v) = 4.5f;
  EXPECT_EQ(variantToInt32(v), 4);
  v = scalar(VT_DATE); V_DATE(&v) = 43891.5;  // noon of an odd day: the half goes to the even day
  EXPECT_EQ(variantToInt32(v), 43892);
  v = scalar(VT_CY); V_CY(&v).int64 = 25000;
  EXPECT_EQ(variantToInt32(v), 2);
  V_CY(&v).int64 = 35000;
  EXPECT_EQ(variantToInt32(v), 4);
}

TEST(VariantToInt32, OutOfRangeAndNullFailWithTheirFilledMessages) {
  EXPECT_EQ(raised([] { variantToInt32(r8(3e9)); }), overflowText(u"Double"));
  VARIANT v = scalar(VT_UI4); V_UI4(&v) = 0x80000000u;
  EXPECT_EQ(raised([&] { variantToInt32(v); }), overflowText(u"LongWord"));
  v = scalar(VT_I8); V_I8(&v) = 1LL << 40;
  EXPECT_EQ(raised([&] { variantToInt32(v); }), overflowText(u"Int64"));
  v = scalar(VT_CY); V_CY(&v).int64 = 30000000000000LL;
  EXPECT_EQ(raised([&] { variantToInt32(v); }), overflowText(u"Currency"));
  v = scalar(VT_R4); V_R4(&v) = 1e30f;
  EXPECT_EQ(raised([&] { variantToInt32(v); }), overflowText(u"Single"));
  v = scalar(VT_NULL);
  EXPECT_EQ(raised([&] { variantToInt32(v); }), castText(u"Null", u"Integer"));
  try {
    variantToInt32(v);
  } catch (const EVariantError& e) {
    EXPECT_EQ(e.code(), DISP_E_TYPEMISMATCH);
  }
}

TEST(VariantToInt32, ByReferenceValuesAreReadThroughTheirPointers) {
  LONG n = 41;
  VARIANT refInt = scalar(VT_BYREF | VT_I4);
  V_I4REF(&refInt) = &n;
  EXPECT_EQ(variantToInt32(refInt), 41);
  double big = 3e9;
  VARIANT refDouble = scalar(VT_BYREF | VT_R8);
  V_R8REF(&refDouble) = &big;
  EXPECT_EQ(raised([&] { variantToInt32(refDouble); }), overflowText(u"ByRef Double"));
  Bstr s = Bstr::adopt(SysAllocString(L"12"));
  BSTR held = s.get();
  VARIANT refText = scalar(VT_BYREF | VT_BSTR);
  V_BSTRREF(&refText) = &held;
  EXPECT_EQ(variantToInt32(refText), 12);
  // A by-reference variant is followed to the value it refers to, at any depth.
  VARIANT null = scalar(VT_NULL);
  VARIANT ref1 = referenceTo(null);
  VARIANT ref2 = referenceTo(ref1);
  EXPECT_EQ(raised([&] { variantToInt32(ref2); }), castText(u"Null", u"Integer"));
  VARIANT dangling = scalar(VT_BYREF | VT_I4);
  V_I4REF(&dangling) = nullptr;
  EXPECT_EQ(raised([&] { variantToInt32(dangling); }), kInvalidArgument);
  VARIANT half = r8(3.5);
  VARIANT refHalf = referenceTo(half);
  EXPECT_EQ(variantToInt32(refHalf), 4);
}

TEST(VariantToInt32, TextsAsNumbersLiteralsAndTruthValues) {
  EXPECT_EQ(variantToInt32(text(L"5").v()), 5);
  EXPECT_EQ(variantToInt32(text(L" -17").v()), -17);
  EXPECT_EQ(variantToInt32(text(L"$FFFFFFFF").v()), -1);
  EXPECT_EQ(variantToInt32(text(L"0x10").v()), 16);
  EXPECT_EQ(variantToInt32(text(L"16711680").v()), 16711680);
  // Not a number: read as a truth value, true giving 1.
  EXPECT_EQ(variantToInt32(text(L"True").v()), 1);
  EXPECT_EQ(variantToInt32(text(L"false").v()), 0);
  EXPECT_EQ(variantToInt32(text(L"tRuE").v()), 1);
}

TEST(VariantToInt32, TextsThatAreNothingFailAsBoolean) {
  EXPECT_EQ(raised([] { variantToInt32(text(L"abc").v()); }), castText(u"OleStr", u"Boolean"));
  VARIANT nullText = scalar(VT_BSTR);
  V_BSTR(&nullText) = nullptr;  // the empty text
  EXPECT_EQ(raised([&] { variantToInt32(nullText); }), castText(u"OleStr", u"Boolean"));
  EXPECT_EQ(raised([] { variantToInt32(text(L"$FFFFFFFFF").v()); }), castText(u"OleStr", u"Boolean"));
}

TEST(VariantToInt32, TextOutOfRangeFailsWithThePlatformsOverflow) {
  // VarI4FromStr reads the number and reports DISP_E_OVERFLOW: no further step is tried.
  EXPECT_EQ(raised([] { variantToInt32(text(L"99999999999").v()); }), overflowText(u"OleStr"));
}

namespace {
// An object whose value property answers with a fixed result.
class ValueObject : public IDispatch {
 public:
  explicit ValueObject(HRESULT answer, LONG value = 0) : answer_(answer), value_(value) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (id != DISPID_VALUE || FAILED(answer_)) return FAILED(answer_) ? answer_ : DISP_E_MEMBERNOTFOUND;
    if (result) {
      V_VT(result) = VT_I4;
      V_I4(result) = value_;
    }
    return S_OK;
  }
  ULONG refs_ = 1;

 private:
  HRESULT answer_;
  LONG value_;
};
}  // namespace

TEST(VariantToInt32, ObjectsGoThroughThePlatformsConversion) {
  ValueObject answering(S_OK, 42);
  VARIANT v = scalar(VT_DISPATCH);
  V_DISPATCH(&v) = &answering;
  EXPECT_EQ(variantToInt32(v), 42) << "the object's value property";
  EXPECT_EQ(answering.refs_, 1u) << "no reference kept";

  ValueObject refusing(DISP_E_MEMBERNOTFOUND);
  V_DISPATCH(&v) = &refusing;
  std::u16string message = raised([&] { variantToInt32(v); });
  EXPECT_NE(message, u"<nothing raised>");
  EXPECT_EQ(message.substr(0, 8), u"Dispatch") << "names the object's type";

  VARIANT unknown = scalar(VT_UNKNOWN);
  V_UNKNOWN(&unknown) = &refusing;
  EXPECT_EQ(raised([&] { variantToInt32(unknown); }), castText(u"Unknown", u"Integer"));
}

TEST(VariantToInt32, OtherKindsGoThroughThePlatformsConversion) {
  VARIANT v = scalar(VT_UI8);
  V_UI8(&v) = 7;
  EXPECT_EQ(variantToInt32(v), 7);
  V_UI8(&v) = 1ULL << 40;
  EXPECT_EQ(raised([&] { variantToInt32(v); }), overflowText(u"$0015"));
  v = scalar(VT_INT);
  V_INT(&v) = -9;
  EXPECT_EQ(variantToInt32(v), -9);
  Owned array(intArray({1}));
  EXPECT_EQ(raised([&] { variantToInt32(array.v()); }), castText(u"Array Variant", u"Integer"));
}

TEST(FailureMessages, CodesWithoutATextOfTheirOwnShowTheCodeAndTheSystemText) {
  // The platform's conversions report only the codes with texts of their own (Wine turns an
  // object's own failure into a type mismatch), so the filled form is checked here directly.
  EXPECT_EQ(variantFailureMessage(E_FAIL, VariantFailure::conversion, u"Dispatch", u"Integer"),
            u"無効なバリアント操作 ($80004005)\r\n" + systemMessageText(E_FAIL));
  ASSERT_TRUE(systemMessageText(static_cast<HRESULT>(0xA00F1234)).empty());
  EXPECT_EQ(variantFailureMessage(static_cast<HRESULT>(0xA00F1234), VariantFailure::arrayAccess),
            u"無効なバリアント操作 ($A00F1234)\r\n");
  EXPECT_EQ(variantFailureMessage(DISP_E_TYPEMISMATCH, VariantFailure::arrayAccess), u"バリアントの型変換が正しくありません");
  EXPECT_EQ(variantFailureMessage(DISP_E_OVERFLOW, VariantFailure::arrayAccess), u"バリアント オーバーフロー");
  EXPECT_EQ(variantFailureMessage(DISP_E_ARRAYISLOCKED, VariantFailure::conversion), u"バリアント配列がロックされています");
  EXPECT_EQ(variantFailureMessage(E_UNEXPECTED, VariantFailure::conversion), u"致命的なバリアントエラー");
  EXPECT_EQ(variantFailureMessage(DISP_E_BADVARTYPE, VariantFailure::arrayAccess), u"バリアントタイプが不正です");
}

TEST(ResultArrays, AreVariantArraysFromZero) {
  SafeArray a = newVariantArray(4);
  ASSERT_NE(a.get(), nullptr);
  EXPECT_EQ(SafeArrayGetDim(a.get()), 1u);
  LONG lower = -1, upper = -1;
  SafeArrayGetLBound(a.get(), 1, &lower);
  SafeArrayGetUBound(a.get(), 1, &upper);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 3);
  VARTYPE vt = VT_EMPTY;
  SafeArrayGetVartype(a.get(), &vt);
  EXPECT_EQ(vt, VT_VARIANT);
  EXPECT_EQ(V_VT(&variantArraySlot(a, 3)), VT_EMPTY);
  EXPECT_EQ(raised([&] { variantArraySlot(a, 4); }), kBadIndex);
}

namespace {
// Element `index` of an argument's copy, converted.
int32_t copiedElement(const ArgumentCopy& copy, LONG index) {
  Variant element;
  readArrayElement(copy.array(), index, element);
  return variantToInt32(*element.get());
}
void putI4(VARIANT& array, LONG index, LONG value) {
  VARIANT v = i4(value);
  SafeArrayPutElement(V_ARRAY(&array), &index, &v);
}
}  // namespace

TEST(ArgumentCopy, TheCallersArrayChangedOrFreedAfterTheCopyIsNotSeen) {
  VARIANT* given = new VARIANT(intArray({10, 20, 30}, 0));
  VARIANT ref1 = referenceTo(*given);
  VARIANT ref2 = referenceTo(ref1);
  ArgumentCopy copy(&ref2);
  ASSERT_TRUE(copy.isArray());
  putI4(*given, 1, 99);
  VariantClear(given);  // the caller's array is gone
  delete given;
  EXPECT_EQ(arrayBound(copy.array(), 1, Bound::lower), 0);
  EXPECT_EQ(arrayBound(copy.array(), 1, Bound::upper), 2);
  EXPECT_EQ(copiedElement(copy, 0), 10);
  EXPECT_EQ(copiedElement(copy, 1), 20);
  EXPECT_EQ(copiedElement(copy, 2), 30);
}

TEST(ArgumentCopy, AnArrayReachedThroughAPointerIsCopiedWithItsBounds) {
  Owned array(intArray({7, 8}, -1));
  SAFEARRAY* held = V_ARRAY(&array.v());
  VARIANT arrayRef = scalar(VT_BYREF | VT_ARRAY | VT_VARIANT);
  V_ARRAYREF(&arrayRef) = &held;
  ArgumentCopy copy(&arrayRef);
  ASSERT_TRUE(copy.isArray());
  putI4(array.v(), 0, 5);
  EXPECT_EQ(arrayBound(copy.array(), 1, Bound::lower), -1);
  EXPECT_EQ(copiedElement(copy, 0), 8);
}

TEST(ArgumentCopy, ByReferenceElementsKeepTheirTypeAndTheirValueAtTheCopy) {
  LONG number = 5;
  double real = 3e9;
  VARIANT byRefNumber = scalar(VT_BYREF | VT_I4);
  V_I4REF(&byRefNumber) = &number;
  VARIANT byRefReal = scalar(VT_BYREF | VT_R8);
  V_R8REF(&byRefReal) = &real;
  VARIANT nullValue = scalar(VT_NULL);
  VARIANT byRefVariant = referenceTo(nullValue);
  SAFEARRAYBOUND bound{3, 0};
  Owned array(VARIANT{});
  V_VT(&array.v()) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&array.v()) = SafeArrayCreate(VT_VARIANT, 1, &bound);
  LONG i = 0;
  SafeArrayPutElement(V_ARRAY(&array.v()), &i, &byRefNumber);
  i = 1;
  SafeArrayPutElement(V_ARRAY(&array.v()), &i, &byRefReal);
  i = 2;
  SafeArrayPutElement(V_ARRAY(&array.v()), &i, &byRefVariant);

  ArgumentCopy copy(&array.v());
  number = 6;
  real = 1.0;
  V_VT(&nullValue) = VT_I4;
  V_I4(&nullValue) = 1;
  Variant element;
  readArrayElement(copy.array(), 0, element);
  EXPECT_EQ(V_VT(element.get()), VT_BYREF | VT_I4) << "a by-reference element stays one";
  EXPECT_NE(V_I4REF(element.get()), &number) << "but no longer points at the caller's value";
  EXPECT_EQ(copiedElement(copy, 0), 5);
  EXPECT_EQ(raised([&] { copiedElement(copy, 1); }), overflowText(u"ByRef Double"));
  EXPECT_EQ(raised([&] { copiedElement(copy, 2); }), castText(u"Null", u"Integer"));
}

TEST(ArgumentCopy, NoArrayAndAnArrayVariantWithoutArrayAnswerAsTheArgumentWould) {
  VARIANT number = i4(3);
  VARIANT ref = referenceTo(number);
  EXPECT_FALSE(ArgumentCopy(&ref).isArray());
  EXPECT_FALSE(ArgumentCopy(nullptr).isArray());
  VARIANT noArray = scalar(VT_ARRAY | VT_VARIANT);
  V_ARRAY(&noArray) = nullptr;
  VARIANT refNoArray = referenceTo(noArray);
  ArgumentCopy copy(&refNoArray);
  ASSERT_TRUE(copy.isArray());
  EXPECT_EQ(raised([&] { arrayBound(copy.array(), 1, Bound::upper); }), kInvalidArgument);
  SAFEARRAY* none = nullptr;
  VARIANT refToNone = scalar(VT_BYREF | VT_ARRAY | VT_I4);
  V_ARRAYREF(&refToNone) = &none;
  ArgumentCopy copyOfNone(&refToNone);
  ASSERT_TRUE(copyOfNone.isArray());
  EXPECT_EQ(raised([&] { arrayBound(copyOfNone.array(), 1, Bound::lower); }), kInvalidArgument);
}
