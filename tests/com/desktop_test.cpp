// The work area and the system colours against the registered DLL, early- and late-bound.
// Every colour that a test changes is put back: the fixture saves the first 31 elements and
// restores them after each test.
#include "com_support.h"
#include "meddling_object.h"

#include <initializer_list>

using namespace vtest;

namespace {
::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

const std::u16string kBadIndex = u"バリアント配列の範囲を超えています";
const std::u16string kRangeError = u"範囲チェックエラー";
const std::u16string kInvalidArgument = u"不正な引数が渡されました";
const std::u16string kNullToInteger = u"Null型から Integer 型へのバリアント型変換はできません";


RECT platformWorkArea() {
  RECT r{};
  EXPECT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0));
  return r;
}

std::u16string number(LONG n) {
  std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

class Colours : public ::testing::Test {
 protected:
  static const int kCount = 31;
  void SetUp() override {
    utils = createUtils();
    for (int i = 0; i < kCount; ++i) {
      indices[i] = i;
      saved[i] = GetSysColor(i);
    }
  }
  void TearDown() override {
    SetSysColors(kCount, indices, saved);
    for (int i = 0; i < kCount; ++i) EXPECT_EQ(GetSysColor(i), saved[i]) << "colour " << i << " not restored";
  }
  // Sets platform colours directly, to known values before a call.
  void setPlatform(std::initializer_list<std::pair<int, COLORREF>> colours) {
    for (auto& c : colours) {
      INT index = c.first;
      COLORREF colour = c.second;
      ASSERT_TRUE(SetSysColors(1, &index, &colour));
    }
  }
  // setSysColor early-bound; the HRESULT is checked against `expected`.
  VARIANT_BOOL set(VARIANT& elements, VARIANT& colours, HRESULT expected = S_OK) {
    VARIANT_BOOL ok = 7;  // neither true nor false: written only by the method
    EXPECT_EQ(utils->setSysColor(elements, colours, &ok), expected);
    return ok;
  }
  // An early-bound failure: E_UNEXPECTED with the error information of IUtils.
  void expectFailure(VARIANT& elements, VARIANT& colours, const std::u16string& message) {
    SetErrorInfo(0, nullptr);
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(utils->setSysColor(elements, colours, &ok), E_UNEXPECTED);
    EXPECT_EQ(ok, 7) << "no result written";
    ErrorInfoText info = takeErrorInfo();
    ASSERT_TRUE(info.present);
    EXPECT_TRUE(IsEqualGUID(info.guid, IID_IUtils));
    EXPECT_EQ(info.source, u"Vantorelix.Utils");
    EXPECT_EQ(info.description, message);
  }
  void expectUnchanged(std::initializer_list<std::pair<int, COLORREF>> colours) {
    for (auto& c : colours) EXPECT_EQ(GetSysColor(c.first), c.second) << "colour " << c.first << " changed";
  }

  ComPtr<IUtils> utils;
  INT indices[kCount];
  COLORREF saved[kCount];
};

}  // namespace

TEST(WorkArea, BothTextFormsOfThePlatformsWorkArea) {
  auto utils = createUtils();
  RECT r = platformWorkArea();
  std::u16string comma = number(r.left) + u"," + number(r.top) + u"," + number(r.right) + u"," + number(r.bottom);
  std::u16string object = u"({left:" + number(r.left) + u",top:" + number(r.top) + u",right:" + number(r.right) +
                          u",bottom:" + number(r.bottom) + u"})";
  for (LONG flag : {0L, 1L, -1L, 2L, LONG(0x80000000)}) {
    Bstr text;
    ASSERT_EQ(utils->getDesktopAvailRectStr(flag, text.out()), S_OK);
    EXPECT_EQ(text.view(), flag == 0 ? comma : object) << "flag " << flag;
  }
  CallResult byDefault, withOne;
  invoke(utils.Get(), L"getDesktopAvailRectStr", {}, byDefault);
  invoke(utils.Get(), L"getDesktopAvailRectStr", {i4(1)}, withOne);
  ASSERT_EQ(byDefault.hr, S_OK);
  EXPECT_EQ(byDefault.string(), comma) << "the default flag is 0";
  EXPECT_EQ(withOne.string(), object);
}

TEST(WorkArea, ArrayOfFourIntegersFromZero) {
  auto utils = createUtils();
  RECT r = platformWorkArea();
  const LONG expected[4] = {r.left, r.top, r.right, r.bottom};
  vantorelix::Variant result;
  ASSERT_EQ(utils->getDesktopAvailRectArray(result.get()), S_OK);
  SAFEARRAY* a = expectArrayFromZeroTo(result.get(), 3);
  ASSERT_NE(a, nullptr);
  for (LONG i = 0; i < 4; ++i) {
    VARIANT e;
    VariantInit(&e);
    ASSERT_EQ(SafeArrayGetElement(a, &i, &e), S_OK);
    EXPECT_EQ(V_VT(&e), VT_I4) << "element " << i << " however small";
    EXPECT_EQ(V_I4(&e), expected[i]);
  }
  CallResult late;
  invoke(utils.Get(), L"getDesktopAvailRectArray", {}, late);
  ASSERT_EQ(late.hr, S_OK);
  EXPECT_EQ(V_VT(late.value.get()), VT_ARRAY | VT_VARIANT);
}

TEST_F(Colours, GetSysColorGivesThePlatformColourInTheInterfaceOrder) {
  setPlatform({{COLOR_HIGHLIGHT, 0x00D77800}, {COLOR_WINDOW, 0}});
  UINT colour = 1;
  ASSERT_EQ(utils->getSysColor(COLOR_HIGHLIGHT, &colour), S_OK);
  EXPECT_EQ(colour, 0x000078D7u);
  ASSERT_EQ(utils->getSysColor(COLOR_WINDOW, &colour), S_OK);
  EXPECT_EQ(colour, 0u);
  // No check of the index: an unknown one gives the platform's answer, converted.
  ASSERT_EQ(utils->getSysColor(12345, &colour), S_OK);
  EXPECT_EQ(colour, ((GetSysColor(12345) & 0xFF) << 16) | (GetSysColor(12345) & 0xFF00) | ((GetSysColor(12345) >> 16) & 0xFF));
  CallResult late;
  invoke(utils.Get(), L"getSysColor", {i4(COLOR_HIGHLIGHT)}, late);
  ASSERT_EQ(late.hr, S_OK);
  EXPECT_EQ(V_VT(late.value.get()), VT_UI4);
  EXPECT_EQ(V_UI4(late.value.get()), 0x000078D7u);
}

TEST_F(Colours, SetSysColorSwapsRedAndBlueAndDropsTheTopByte) {
  struct Case { VARIANT colour; COLORREF platform; const char* what; };
  Case cases[] = {{i4(0xFF0000), 0x000000FF, "0xFF0000"},
                  {i4(-1), 0x00FFFFFF, "-1"},
                  {i4(0x12FF0000), 0x000000FF, "0x12FF0000"},
                  {r8(16711680.0), 0x000000FF, "the double 16711680.0"},
                  {str(L"16711680"), 0x000000FF, "the text 16711680"},
                  {i4(0x00123456), 0x00563412, "0x123456"}};
  for (Case& c : cases) {
    setPlatform({{5, 0x00010203}});
    Owned elements(arrayOf({i4(5)}));
    Owned colours(arrayOf({c.colour}));
    EXPECT_EQ(set(elements.v(), colours.v()), VARIANT_TRUE) << c.what;
    EXPECT_EQ(GetSysColor(5), c.platform) << c.what;
  }
}

TEST_F(Colours, TheShorterArrayDecidesHowManyChange) {
  setPlatform({{1, 0x10}, {2, 0x20}, {3, 0x30}, {4, 0x40}, {6, 0x60}});
  Owned three(arrayOf({i4(1), i4(2), i4(3)}));
  Owned five(arrayOf({i4(0x010000), i4(0x020000), i4(0x030000), i4(0x040000), i4(0x050000)}));
  EXPECT_EQ(set(three.v(), five.v()), VARIANT_TRUE);
  expectUnchanged({{1, 0x01}, {2, 0x02}, {3, 0x03}, {4, 0x40}});

  Owned fiveIndices(arrayOf({i4(1), i4(2), i4(3), i4(4), i4(6)}));
  Owned threeColours(arrayOf({i4(0x0A0000), i4(0x0B0000), i4(0x0C0000)}));
  EXPECT_EQ(set(fiveIndices.v(), threeColours.v()), VARIANT_TRUE);
  expectUnchanged({{1, 0x0A}, {2, 0x0B}, {3, 0x0C}, {4, 0x40}, {6, 0x60}});
}

TEST_F(Colours, EmptyArraysCallThePlatformForZeroElements) {
  Owned none1(arrayOf({}));
  Owned none2(arrayOf({}));
  INT noIndex = 0;
  COLORREF noColour = 0;
  VARIANT_BOOL platformAnswer = SetSysColors(0, &noIndex, &noColour) ? VARIANT_TRUE : VARIANT_FALSE;
  EXPECT_EQ(set(none1.v(), none2.v()), platformAnswer);
  Owned some(arrayOf({i4(1), i4(2)}));
  EXPECT_EQ(set(some.v(), none2.v()), platformAnswer) << "the smaller upper bound is -1";
}

TEST_F(Colours, ArgumentsThatAreNoArraysGiveFalse) {
  setPlatform({{5, 0x00AABBCC}});
  Owned array(arrayOf({i4(5)}));
  Owned colour(arrayOf({i4(0xFF0000)}));
  Owned numberArg(i4(5));
  Owned textArg(str(L"5"));
  Owned empty(VARIANT{});
  Owned nullArg(null());
  for (VARIANT* v : {&numberArg.v(), &textArg.v(), &empty.v(), &nullArg.v()}) {
    EXPECT_EQ(set(*v, colour.v()), VARIANT_FALSE) << "type " << V_VT(v);
    EXPECT_EQ(set(array.v(), *v), VARIANT_FALSE) << "type " << V_VT(v);
  }
  expectUnchanged({{5, 0x00AABBCC}});
}

TEST_F(Colours, IndicesAreConvertedLikeEveryVariantArgument) {
  setPlatform({{5, 0}, {4, 0}});
  Owned elements(arrayOf({str(L"5"), r8(4.5), truth(true)}));  // 5, 4 and -1
  Owned colours(arrayOf({i4(0x112233), i4(0x445566), i4(0x778899)}));
  EXPECT_EQ(set(elements.v(), colours.v()), VARIANT_TRUE) << "an index of -1 is the platform's to ignore";
  expectUnchanged({{5, 0x00332211}, {4, 0x00665544}});
}

TEST_F(Colours, BoundsOtherThanZeroFailOrAreCutAtZero) {
  setPlatform({{1, 0x01}, {2, 0x02}, {3, 0x03}, {7, 0x07}, {8, 0x08}});
  Owned fromOne(arrayOf({i4(1), i4(2)}, 1));
  Owned colours(arrayOf({i4(0x0F0000), i4(0x0F0000)}));
  expectFailure(fromOne.v(), colours.v(), kBadIndex);
  expectFailure(colours.v(), fromOne.v(), kBadIndex);

  Owned belowZero(arrayOf({i4(1), i4(2), i4(3)}, -5));
  expectFailure(belowZero.v(), colours.v(), kRangeError);
  expectUnchanged({{1, 0x01}, {2, 0x02}, {3, 0x03}});

  // Bounds -2 to 2: only elements 0, 1 and 2 are used.
  Owned elements(arrayOf({i4(7), i4(8), i4(1), i4(2), i4(3)}, -2));
  Owned values(arrayOf({i4(0x770000), i4(0x880000), i4(0x110000), i4(0x220000), i4(0x330000)}, -2));
  EXPECT_EQ(set(elements.v(), values.v()), VARIANT_TRUE);
  expectUnchanged({{1, 0x11}, {2, 0x22}, {3, 0x33}, {7, 0x07}, {8, 0x08}});
}

TEST_F(Colours, AConversionErrorChangesNothingAlreadyConverted) {
  setPlatform({{1, 0x01}, {2, 0x02}, {3, 0x03}});
  Owned elements(arrayOf({i4(1), i4(2), i4(3)}));
  Owned colours(arrayOf({i4(0x0F0000), i4(0x0F0000), null()}));
  expectFailure(elements.v(), colours.v(), kNullToInteger);
  expectUnchanged({{1, 0x01}, {2, 0x02}, {3, 0x03}});

  VARIANT noArray;
  V_VT(&noArray) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&noArray) = nullptr;
  expectFailure(noArray, colours.v(), kInvalidArgument);
  expectUnchanged({{1, 0x01}, {2, 0x02}, {3, 0x03}});
}

TEST_F(Colours, LateBoundErrorsArriveAsExceptionInformation) {
  setPlatform({{1, 0x01}});
  CallResult r;
  invoke(utils.Get(), L"setSysColor",
         {arrayOf({i4(1), i4(2), i4(3)}), arrayOf({i4(1), i4(2), null()})}, r);
  EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(r.excep.scode, E_UNEXPECTED);
  EXPECT_EQ(text(r.excep.bstrSource), u"Vantorelix.Utils");
  EXPECT_EQ(text(r.excep.bstrDescription), kNullToInteger);
  expectUnchanged({{1, 0x01}});

  // By reference, as a script passes its variables.
  Owned elements(arrayOf({i4(1)}));
  Owned colours(arrayOf({i4(0x00FF00)}));
  CallResult ok;
  invoke(utils.Get(), L"setSysColor", {referenceTo(elements.v()), referenceTo(colours.v())}, ok);
  ASSERT_EQ(ok.hr, S_OK);
  EXPECT_EQ(V_VT(ok.value.get()), VT_BOOL);
  EXPECT_EQ(V_BOOL(ok.value.get()), VARIANT_TRUE);
  expectUnchanged({{1, 0x0000FF00}});
}

// A script passes its variables by reference, and converting an element can run the caller's
// code (an object's default property), which may change those variables during the call. The
// call uses the values as they were when it began, early- and late-bound; its copies give
// back every reference they took.
TEST_F(Colours, ChangesToTheCallersArraysDuringTheCallAreNotSeen) {
  for (bool lateBound : {false, true}) {
    SCOPED_TRACE(lateBound ? "late-bound" : "early-bound");
    setPlatform({{1, 0x01}, {2, 0x02}, {3, 0x03}});
    VARIANT elements, colours;  // the caller's variables
    MeddlingObject meddler(1, [&] {
      // In place: index 1 becomes 3, and colour 1 Null, which no conversion accepts.
      LONG one = 1;
      VARIANT three = i4(3), nothing = null();
      SafeArrayPutElement(V_ARRAY(&elements), &one, &three);
      SafeArrayPutElement(V_ARRAY(&colours), &one, &nothing);
    });
    elements = arrayOf({dispatchOf(meddler), i4(2)});
    colours = arrayOf({i4(0x110000), i4(0x220000)});
    VARIANT refElements = referenceTo(elements), refColours = referenceTo(colours);
    if (lateBound) {
      CallResult r;
      invoke(utils.Get(), L"setSysColor", {refElements, refColours}, r);
      EXPECT_EQ(r.hr, S_OK);
      EXPECT_EQ(text(r.excep.bstrDescription), u"");
      EXPECT_EQ(V_VT(r.value.get()), VT_BOOL);
      EXPECT_EQ(V_BOOL(r.value.get()), VARIANT_TRUE);
    } else {
      EXPECT_EQ(set(refElements, refColours), VARIANT_TRUE);
    }
    EXPECT_EQ(meddler.reads(), 1) << "the object's default property ran during the call";
    expectUnchanged({{1, 0x00000011}, {2, 0x00000022}, {3, 0x03}});
    VariantClear(&elements);
    VariantClear(&colours);
    EXPECT_EQ(meddler.references(), 1) << "the method's copies kept a reference";
  }
}

TEST_F(Colours, CallersVariablesReplacedDuringTheCallAreNotSeen) {
  setPlatform({{1, 0x01}, {2, 0x02}, {3, 0x03}, {4, 0x04}});
  VARIANT elements, colours;
  MeddlingObject meddler(1, [&] {
    // Both variables get new arrays; the ones the call was given are freed.
    VariantClear(&elements);
    VariantClear(&colours);
    elements = arrayOf({i4(3), i4(4)});
    colours = arrayOf({i4(0x330000), null()});
  });
  elements = arrayOf({dispatchOf(meddler), i4(2)});
  colours = arrayOf({i4(0x110000), i4(0x220000)});
  VARIANT refElements = referenceTo(elements), refColours = referenceTo(colours);
  EXPECT_EQ(set(refElements, refColours), VARIANT_TRUE);
  EXPECT_EQ(meddler.reads(), 1);
  expectUnchanged({{1, 0x00000011}, {2, 0x00000022}, {3, 0x03}, {4, 0x04}});
  VariantClear(&elements);
  VariantClear(&colours);
  EXPECT_EQ(meddler.references(), 1);
}

TEST_F(Colours, ByReferenceElementsAreReadAsTheyWereWhenTheCallBegan) {
  setPlatform({{1, 0x01}, {2, 0x02}, {3, 0x03}});
  // Elements that point at the caller's own variables: a 32-bit integer and a double.
  LONG secondIndex = 2;
  double secondColour = 0x220000;
  MeddlingObject meddler(1, [&] {
    secondIndex = 3;
    secondColour = 3e9;  // out of range: the overflow message if it were read now
  });
  VARIANT byRefIndex, byRefColour;
  V_VT(&byRefIndex) = VT_BYREF | VT_I4;
  V_I4REF(&byRefIndex) = &secondIndex;
  V_VT(&byRefColour) = VT_BYREF | VT_R8;
  V_R8REF(&byRefColour) = &secondColour;
  Owned elements(arrayOf({dispatchOf(meddler), byRefIndex}));
  Owned colours(arrayOf({i4(0x110000), byRefColour}));
  EXPECT_EQ(set(elements.v(), colours.v()), VARIANT_TRUE);
  EXPECT_EQ(meddler.reads(), 1);
  expectUnchanged({{1, 0x00000011}, {2, 0x00000022}, {3, 0x03}});

  // A by-reference element keeps its type in the messages: its own copy is read.
  secondColour = 3e9;
  setPlatform({{2, 0x02}});
  expectFailure(elements.v(), colours.v(), u"ByRef Double 型から Integer 型へのバリアント型変換でのオーバーフローエラー");
  expectUnchanged({{2, 0x02}});
}
