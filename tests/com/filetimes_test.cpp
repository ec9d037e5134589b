// getFileTime, setFileTime and setFileTimeOne against the registered DLL, early- and late-bound,
// with the variant arguments that setFileTime judges (by-reference chains, bounds other than
// 0, two dimensions, arrays without array) and the file states that make the open fail.
//
// Wine on a Linux file system keeps no creation time: it reads back as the last write time,
// and setting it alone changes nothing visible. Cases about the creation time expect Windows'
// answer, and Wine's only under Wine (see creationTimeAfter).
#include "com_support.h"
#include "meddling_object.h"

#include <cstdio>
#include <initializer_list>

using namespace vtest;

namespace {
::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

const std::u16string kNoTimeGiven = u"指定がどれもない。";
const std::u16string kNoTimeSelected = u"どれの変更かの指定がない。";
const std::u16string kOpenFailed = u"ファイルの取得に失敗";

std::u16string tempFile(const char16_t* name) {
  std::u16string path = tempDir() + u"\\" + name;
  SetFileAttributesW(w(path), FILE_ATTRIBUTE_NORMAL);
  HANDLE h = CreateFileW(w(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << "cannot make a test file in VANTORELIX_TEMP";
  CloseHandle(h);
  return path;
}


// The three texts of getFileTime, "" for an Empty element; {"<Empty>"} when it gave no array.
std::vector<std::u16string> timesOf(IUtils* utils, const std::u16string& path) {
  vantorelix::Variant result;
  Bstr p(path);
  EXPECT_EQ(utils->getFileTime(p.get(), result.get()), S_OK);
  if (V_VT(result.get()) != (VT_ARRAY | VT_VARIANT)) return {u"<Empty>"};
  std::vector<std::u16string> out;
  for (LONG i = 0; i < 3; ++i) {
    VARIANT e;
    VariantInit(&e);
    SafeArrayGetElement(V_ARRAY(result.get()), &i, &e);
    out.push_back(V_VT(&e) == VT_BSTR ? text(V_BSTR(&e)) : u"");
    VariantClear(&e);
  }
  return out;
}

std::u16string setTimes(IUtils* utils, const std::u16string& path, VARIANT* create, VARIANT* access, VARIANT* write,
                        HRESULT expected = S_OK) {
  Bstr p(path), result;
  EXPECT_EQ(utils->setFileTime(p.get(), create, access, write, result.out()), expected);
  return std::u16string(result.view());
}

std::u16string setOne(IUtils* utils, const std::u16string& path, const std::u16string& type, LONG y, LONG mo = 1,
                      LONG d = 1, LONG h = 0, LONG mi = 0, LONG s = 0, LONG ms = 0) {
  Bstr p(path), t(type), result;
  EXPECT_EQ(utils->setFileTimeOne(p.get(), t.get(), y, mo, d, h, mi, s, ms, result.out()), S_OK);
  return std::u16string(result.view());
}

// What the server must answer for a calendar record outside the valid ranges: the platform
// refuses it with ERROR_INVALID_PARAMETER (87) (Windows does; so does Wine 8), and the answer
// is the system's text for that code.
std::u16string rejectionText(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
  SYSTEMTIME record{y, mo, 0, d, h, mi, s, ms};
  FILETIME ft;
  SetLastError(0);
  EXPECT_FALSE(SystemTimeToFileTime(&record, &ft)) << "the platform accepts this record";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  std::u16string text = systemText(ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(text.empty()) << "the system has a text for ERROR_INVALID_PARAMETER";
  return text;
}

// The creation time that getFileTime must show after it was set to `set` while the last write
// time is `lastWrite`. Windows keeps the creation time; Wine on a Linux file system keeps none
// and shows the last write time in its place: that answer is accepted under Wine only.
std::u16string creationTimeAfter(const std::u16string& set, const std::u16string& lastWrite) {
  return runningUnderWine() ? lastWrite : set;
}

// Whether this run cannot show that a read-only file refuses to open for writing: Windows
// refuses the open to everyone; Wine run by root opens it (the Unix mode bits do not stop
// root). Only that Wine case is let through, and it says so.
bool wineOpensReadOnlyFilesForWriting(const std::u16string& readOnly) {
  if (!runningUnderWine()) return false;
  HANDLE probe = CreateFileW(w(readOnly), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return false;
  CloseHandle(probe);
  return true;
}

}  // namespace

TEST(GetFileTime, NoArrayForAMissingFileADirectoryOrTheEmptyPath) {
  auto utils = createUtils();
  for (const std::u16string& path : {tempDir() + u"\\no-such-file.txt", tempDir(), std::u16string()})
    EXPECT_EQ(timesOf(utils.Get(), path), std::vector<std::u16string>{u"<Empty>"}) << narrow(wide(path));
  vantorelix::Variant result;
  EXPECT_EQ(utils->getFileTime(nullptr, result.get()), S_OK);
  EXPECT_EQ(V_VT(result.get()), VT_EMPTY);
}

TEST(GetFileTime, ThreeTextsFromZeroWithoutLeadingZerosInTheDate) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-format.txt");
  ASSERT_EQ(setOne(utils.Get(), path, u"w", 2024, 3, 5, 7, 8, 9, 250), u"");
  ASSERT_EQ(setOne(utils.Get(), path, u"a", 1999, 12, 31, 23, 59, 59), u"");

  vantorelix::Variant result;
  Bstr p(path);
  ASSERT_EQ(utils->getFileTime(p.get(), result.get()), S_OK);
  SAFEARRAY* a = expectArrayFromZeroTo(result.get(), 2);
  ASSERT_NE(a, nullptr);
  for (LONG i = 0; i < 3; ++i) {
    VARIANT e;
    VariantInit(&e);
    SafeArrayGetElement(a, &i, &e);
    EXPECT_EQ(V_VT(&e), VT_BSTR) << "element " << i;
    VariantClear(&e);
  }
  auto times = timesOf(utils.Get(), path);
  EXPECT_EQ(times[1], u"1999/12/31 23:59:59");
  EXPECT_EQ(times[2], u"2024/3/5 07:08:09");
}

TEST(GetFileTime, LateBoundGivesTheSameArray) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-late.txt");
  ASSERT_EQ(setOne(utils.Get(), path, u"W", 2010, 10, 10, 10, 10, 10), u"");
  CallResult r;
  invoke(utils.Get(), L"getFileTime", {str(path)}, r);
  ASSERT_EQ(r.hr, S_OK);
  ASSERT_EQ(V_VT(r.value.get()), VT_ARRAY | VT_VARIANT);
  LONG i = 2;
  VARIANT e;
  VariantInit(&e);
  SafeArrayGetElement(V_ARRAY(r.value.get()), &i, &e);
  EXPECT_EQ(text(V_BSTR(&e)), u"2010/10/10 10:10:10");
  VariantClear(&e);
}

TEST(SetFileTime, AYearOnlyArraySetsTheFirstOfJanuaryAndLeavesTheOthers) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-year.txt");
  ASSERT_EQ(setOne(utils.Get(), path, u"aw", 2015, 6, 7, 8, 9, 10), u"");
  Owned year(arrayOf({i4(2020)}));
  EXPECT_EQ(setTimes(utils.Get(), path, nullptr, nullptr, &year.v()), u"");
  auto times = timesOf(utils.Get(), path);
  EXPECT_EQ(times[2], u"2020/1/1 00:00:00");
  EXPECT_EQ(times[1], u"2015/6/7 08:09:10") << "the access time is not given";

  // A creation time alone changes only the creation time.
  Owned creation(arrayOf({i4(2001)}));
  EXPECT_EQ(setTimes(utils.Get(), path, &creation.v(), nullptr, nullptr), u"");
  times = timesOf(utils.Get(), path);
  EXPECT_EQ(times[0], creationTimeAfter(u"2001/1/1 00:00:00", times[2]));
  EXPECT_EQ(times[1], u"2015/6/7 08:09:10");
  EXPECT_EQ(times[2], u"2020/1/1 00:00:00");
}

TEST(SetFileTime, ElementsAreConvertedLikeEveryVariantArgument) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-convert.txt");
  // 2.5 gives 2 and 3.5 gives 4; "10" is read by the platform, "$0000001E" as a literal.
  Owned fields(arrayOf({i4(2020), r8(2.5), r8(3.5), str(L"10"), str(L"$0000001E"), r8(0.0), i4(500)}));
  EXPECT_EQ(setTimes(utils.Get(), path, nullptr, nullptr, &fields.v()), u"");
  EXPECT_EQ(timesOf(utils.Get(), path)[2], u"2020/2/4 10:30:00");

  // "$FFFFFFFF" is -1: second 65535, rejected by the platform, so the time was given.
  Owned bad(arrayOf({i4(2020), i4(1), i4(1), i4(0), i4(0), str(L"$FFFFFFFF")}));
  EXPECT_EQ(setTimes(utils.Get(), path, nullptr, nullptr, &bad.v()),
            u"LastWriteTime: " + rejectionText(2020, 1, 1, 0, 0, 65535));
  EXPECT_EQ(timesOf(utils.Get(), path)[2], u"2020/2/4 10:30:00");
}

TEST(SetFileTime, ArgumentsThatAreNoUsableArrayAreNotGiven) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-notgiven.txt");
  ASSERT_EQ(setOne(utils.Get(), path, u"w", 2012, 1, 2, 3, 4, 5), u"");
  Owned abc(arrayOf({str(L"abc")}));
  Owned nullElement(arrayOf({null()}));
  Owned huge(arrayOf({r8(3e9)}));
  Owned fromOne(arrayOf({i4(2020)}, 1));
  Owned empty(arrayOf({}));
  Owned number(i4(2020));
  Owned date(r8(43000));
  V_VT(&date.v()) = VT_DATE;
  Owned textArg(str(L"2020/1/1"));
  Owned nothing(VARIANT{});
  Owned leftOut(missing());
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  VARIANT twoD;
  V_VT(&twoD) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&twoD) = SafeArrayCreate(VT_VARIANT, 2, bounds);
  Owned twoDims(twoD);
  for (VARIANT* v : {&abc.v(), &nullElement.v(), &huge.v(), &fromOne.v(), &empty.v(), &number.v(), &date.v(),
                     &textArg.v(), &nothing.v(), &leftOut.v(), &twoDims.v()}) {
    EXPECT_EQ(setTimes(utils.Get(), path, v, v, v), kNoTimeGiven) << "argument type " << V_VT(v);
  }
  EXPECT_EQ(setTimes(utils.Get(), path, nullptr, nullptr, nullptr), kNoTimeGiven) << "null pointers";
  EXPECT_EQ(timesOf(utils.Get(), path)[2], u"2012/1/2 03:04:05");
}

TEST(SetFileTime, ByReferenceChainsAndNineElements) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-byref.txt");
  Owned nine(arrayOf({i4(2021), i4(4), i4(5), i4(6), i4(7), i4(8), i4(9), str(L"junk"), null()}));
  VARIANT ref1;
  V_VT(&ref1) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&ref1) = &nine.v();
  VARIANT ref2;
  V_VT(&ref2) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&ref2) = &ref1;
  EXPECT_EQ(setTimes(utils.Get(), path, nullptr, &ref2, &ref2), u"");
  auto times = timesOf(utils.Get(), path);
  EXPECT_EQ(times[1], u"2021/4/5 06:07:08");
  EXPECT_EQ(times[2], u"2021/4/5 06:07:08");
}

TEST(SetFileTime, AnInvalidTimeStopsBeforeTheFileIsOpened) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-month13.txt");
  ASSERT_EQ(setOne(utils.Get(), path, u"caw", 2011, 11, 11, 11, 11, 11), u"");
  Owned month13(arrayOf({i4(2020), i4(13), i4(1)}));
  Owned valid(arrayOf({i4(2000)}));
  EXPECT_EQ(setTimes(utils.Get(), path, &month13.v(), &valid.v(), &valid.v()),
            u"CreationTime: " + rejectionText(2020, 13, 1));
  EXPECT_EQ(setTimes(utils.Get(), path, &valid.v(), &month13.v(), &valid.v()),
            u"LastAccessTime: " + rejectionText(2020, 13, 1));
  auto times = timesOf(utils.Get(), path);
  EXPECT_EQ(times, (std::vector<std::u16string>(3, u"2011/11/11 11:11:11"))) << "no timestamp changed";
  // The path is used only by the open, after every conversion.
  EXPECT_EQ(setTimes(utils.Get(), u"", &month13.v(), nullptr, nullptr),
            u"CreationTime: " + rejectionText(2020, 13, 1));
  EXPECT_EQ(setTimes(utils.Get(), u"", &valid.v(), nullptr, nullptr), kOpenFailed);
}

TEST(SetFileTime, AnArrayVariantWithoutArrayFailsThroughTheGuard) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-noarray.txt");
  VARIANT noArray;
  V_VT(&noArray) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&noArray) = nullptr;
  SetErrorInfo(0, nullptr);
  setTimes(utils.Get(), path, nullptr, nullptr, &noArray, E_UNEXPECTED);
  ErrorInfoText info = takeErrorInfo();
  ASSERT_TRUE(info.present);
  EXPECT_TRUE(IsEqualGUID(info.guid, IID_IUtils));
  EXPECT_EQ(info.source, u"Vantorelix.Utils");
  EXPECT_EQ(info.description, u"不正な引数が渡されました");

  CallResult r;
  invoke(utils.Get(), L"setFileTime", {str(path), missing(), noArray, missing()}, r);
  EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(r.excep.scode, E_UNEXPECTED);
  EXPECT_EQ(text(r.excep.bstrSource), u"Vantorelix.Utils");
  EXPECT_EQ(text(r.excep.bstrDescription), u"不正な引数が渡されました");
}

TEST(SetFileTime, LateBoundWithOmittedAndNamedArguments) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-named.txt");
  CallResult none;
  invoke(utils.Get(), L"setFileTime", {str(path)}, none);
  ASSERT_EQ(none.hr, S_OK);
  EXPECT_EQ(none.string(), kNoTimeGiven);

  CallResult named;
  invoke(utils.Get(), L"setFileTime", {str(path)}, named, {{L"Write", arrayOf({i4(2019), i4(9)})}});
  ASSERT_EQ(named.hr, S_OK);
  // The method returns a null string; Wine's dispatch hands the caller an empty one.
  EXPECT_EQ(V_VT(named.value.get()), VT_BSTR);
  EXPECT_EQ(named.string(), u"") << "success is the empty string";
  EXPECT_EQ(timesOf(utils.Get(), path)[2], u"2019/9/1 00:00:00");
}

// The three arguments are a script's variables, passed by reference; converting an element of
// one runs the caller's code, which changes the array being read and the variable not yet
// read. The call uses all three as they were when it began, early- and late-bound.
TEST(SetFileTime, ChangesToTheCallersVariablesDuringTheCallAreNotSeen) {
  auto utils = createUtils();
  for (bool lateBound : {false, true}) {
    SCOPED_TRACE(lateBound ? "late-bound" : "early-bound");
    auto path = tempFile(u"ft-meddled.txt");
    ASSERT_EQ(setOne(utils.Get(), path, u"aw", 2011, 11, 11, 11, 11, 11), u"");
    VARIANT access, write;  // the caller's variables
    MeddlingObject meddler(2020, [&] {
      // Month 13 in place, which the platform rejects; and a new array for the write time.
      LONG one = 1;
      VARIANT thirteen = i4(13);
      SafeArrayPutElement(V_ARRAY(&access), &one, &thirteen);
      VariantClear(&write);
      write = arrayOf({i4(2001), i4(2), i4(3)});
    });
    access = arrayOf({dispatchOf(meddler), i4(3), i4(4)});
    write = arrayOf({i4(2019), i4(6), i4(7), i4(8)});
    VARIANT refAccess = referenceTo(access), refWrite = referenceTo(write);
    if (lateBound) {
      CallResult r;
      invoke(utils.Get(), L"setFileTime", {str(path), missing(), refAccess, refWrite}, r);
      ASSERT_EQ(r.hr, S_OK);
      EXPECT_EQ(r.string(), u"");
    } else {
      EXPECT_EQ(setTimes(utils.Get(), path, nullptr, &refAccess, &refWrite), u"");
    }
    EXPECT_EQ(meddler.reads(), 1) << "the object's default property ran during the call";
    auto times = timesOf(utils.Get(), path);
    EXPECT_EQ(times[1], u"2020/3/4 00:00:00");
    EXPECT_EQ(times[2], u"2019/6/7 08:00:00");
    VariantClear(&access);
    VariantClear(&write);
    EXPECT_EQ(meddler.references(), 1) << "the method's copies kept a reference";
  }
}

TEST(SetFileTimeOne, FieldsAreTheLow16BitsAndZeroMonthAndDayActAsOne) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-fields.txt");
  // In this order: the first call sets the last write time, the ones after it fail before
  // the file is touched.
  struct Case {
    std::u16string path, type;
    LONG year, month, day;
    std::u16string answer;
    const char* why;
  };
  const Case cases[] = {
      {path, u"w", 2020, 65537, 0, u"", ""},
      {path, u"w", 2020, -1, 1, rejectionText(2020, 65535, 1), ""},
      {path, u"", 2020, 13, 1, rejectionText(2020, 13, 1), "the time is converted before the type text is looked at"},
      {u"", u"w", 2020, 1, 1, kOpenFailed, ""},
      {u"", u"w", 2020, 2, 30, rejectionText(2020, 2, 30), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "/" + std::to_string(c.month) + "/" + std::to_string(c.day) +
                 (c.path.empty() ? " on the empty path" : ""));
    EXPECT_EQ(setOne(utils.Get(), c.path, c.type, c.year, c.month, c.day, 0, 0, 0, 0), c.answer) << c.why;
    EXPECT_EQ(timesOf(utils.Get(), path)[2], u"2020/1/1 00:00:00");
  }
}

TEST(SetFileTimeOne, TheFirstThreeLettersSelectTheTimestamps) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-letters.txt");
  const std::u16string start = u"2000/1/1 00:00:00";
  struct Case { const char16_t* type; const char16_t* creation; const char16_t* access; const char16_t* write; };
  // "Access" is A, c, c; "LastWrite" is L, a, s: only the access time.
  for (const Case& c : {Case{u"cw", u"2001/2/3 00:00:00", start.c_str(), u"2001/2/3 00:00:00"},
                        Case{u"Access", u"2001/2/3 00:00:00", u"2001/2/3 00:00:00", start.c_str()},
                        Case{u"LastWrite", start.c_str(), u"2001/2/3 00:00:00", start.c_str()},
                        Case{u"C", u"2001/2/3 00:00:00", start.c_str(), start.c_str()}}) {
    ASSERT_EQ(setOne(utils.Get(), path, u"caw", 2000), u"");
    EXPECT_EQ(setOne(utils.Get(), path, c.type, 2001, 2, 3), u"") << "type starting " << char(c.type[0]);
    auto times = timesOf(utils.Get(), path);
    EXPECT_EQ(times[0], creationTimeAfter(c.creation, times[2])) << "creation time, type starting " << char(c.type[0]);
    EXPECT_EQ(times[1], c.access) << "access time, type starting " << char(c.type[0]);
    EXPECT_EQ(times[2], c.write) << "last write time, type starting " << char(c.type[0]);
  }
}

TEST(SetFileTimeOne, LateBoundDefaultsGiveMidnightOfTheFirstOfJanuary) {
  auto utils = createUtils();
  auto path = tempFile(u"ft-defaults.txt");
  CallResult r;
  invoke(utils.Get(), L"setFileTimeOne", {str(path), str(u"w"), i4(2018)}, r);
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.string(), u"");
  EXPECT_EQ(timesOf(utils.Get(), path)[2], u"2018/1/1 00:00:00");
}

TEST(FileOpen, ReadOnlyHeldOpenAndDirectoryFailBothSetters) {
  auto utils = createUtils();
  Owned valid(arrayOf({i4(2000)}));

  auto readOnly = tempFile(u"ft-readonly.txt");
  ASSERT_TRUE(SetFileAttributesW(w(readOnly), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(GetFileAttributesW(w(readOnly)) & FILE_ATTRIBUTE_READONLY);
  if (wineOpensReadOnlyFilesForWriting(readOnly)) {
    std::printf("skipped: Wine run by root opens a read-only file for writing, so the refusal "
                "of the setters cannot be shown here\n");
  } else {
    EXPECT_EQ(setOne(utils.Get(), readOnly, u"w", 2000), kOpenFailed);
    EXPECT_EQ(setTimes(utils.Get(), readOnly, nullptr, nullptr, &valid.v()), kOpenFailed);
  }
  EXPECT_EQ(timesOf(utils.Get(), readOnly).size(), 3u) << "reading needs no write access";
  SetFileAttributesW(w(readOnly), FILE_ATTRIBUTE_NORMAL);

  auto held = tempFile(u"ft-held.txt");
  for (DWORD access : {DWORD(GENERIC_READ), DWORD(GENERIC_WRITE), DWORD(DELETE)}) {
    HANDLE other = CreateFileW(w(held), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(setOne(utils.Get(), held, u"w", 2000), kOpenFailed) << "access " << access;
    EXPECT_EQ(setTimes(utils.Get(), held, nullptr, nullptr, &valid.v()), kOpenFailed) << "access " << access;
    CloseHandle(other);
  }
  EXPECT_EQ(setOne(utils.Get(), held, u"w", 2000), u"") << "free again";

  EXPECT_EQ(setOne(utils.Get(), tempDir(), u"w", 2000), kOpenFailed);
  EXPECT_EQ(setTimes(utils.Get(), tempDir(), nullptr, nullptr, &valid.v()), kOpenFailed);
}
