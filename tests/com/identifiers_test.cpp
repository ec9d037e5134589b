// genGUID, progIDToClsid, clsidToProgID, regsvr and regsvr_u, early- and late-bound, against
// the fixture DLLs (each built from tests/fixtures/NAME.c).
#include <cwctype>
#include <regex>

#include "com_support.h"
#include "tests/support/thread_state.h"

using namespace vtest;

namespace {
::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

const std::u16string kUtilsClsid = u"{D26D3337-1F1D-4805-AC89-287F698FEC0E}";

std::u16string lower(std::u16string s) {
  for (auto& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return s;
}

// The text as the ANSI code page of this process gives it back (flags 0 both ways).
std::u16string throughAnsi(const std::u16string& s) {
  int n = WideCharToMultiByte(GetACP(), 0, w(s), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  WideCharToMultiByte(GetACP(), 0, w(s), static_cast<int>(s.size()), &bytes[0], n, nullptr, nullptr);
  int m = MultiByteToWideChar(GetACP(), 0, bytes.data(), n, nullptr, 0);
  std::u16string back(m, u'\0');
  MultiByteToWideChar(GetACP(), 0, bytes.data(), n, reinterpret_cast<wchar_t*>(&back[0]), m);
  return back;
}

std::string narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

bool isGuidText(const std::u16string& s) {
  static const std::regex form("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
  return s.size() == 38 && std::regex_match(narrow(s), form);
}

void writeClassesValue(const std::u16string& key, const std::u16string& value) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, w(key), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * 2)),
            ERROR_SUCCESS);
  RegCloseKey(k);
}

// ---------------------------------------------------------------------------------------
// Identifiers

TEST(GenGuid, GivesTheBracedUpperCaseFormAndANewValueEachCall) {
  auto utils = createUtils();
  Bstr a, b;
  ASSERT_EQ(utils->genGUID(a.out()), S_OK);
  ASSERT_EQ(utils->genGUID(b.out()), S_OK);
  EXPECT_TRUE(isGuidText(std::u16string(a.view()))) << narrow(std::u16string(a.view()));
  EXPECT_TRUE(isGuidText(std::u16string(b.view()))) << narrow(std::u16string(b.view()));
  EXPECT_NE(a.view(), b.view());
  CallResult r;
  invoke(utils.Get(), L"genGUID", {}, r);
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_TRUE(isGuidText(r.string()));
  EXPECT_NE(r.string(), a.view());
}

TEST(ProgIdAndClsid, TheServersOwnProgIdAndClsidTranslateBothWays) {
  auto utils = createUtils();
  Bstr clsid;
  ASSERT_EQ(utils->progIDToClsid(Bstr(std::u16string(u"Vantorelix.Utils")).get(), clsid.out()), S_OK);
  EXPECT_EQ(clsid.view(), kUtilsClsid);
  for (const std::u16string& text : {kUtilsClsid, lower(kUtilsClsid)}) {
    Bstr progId;
    ASSERT_EQ(utils->clsidToProgID(Bstr(text).get(), progId.out()), S_OK);
    EXPECT_EQ(progId.view(), u"Vantorelix.Utils") << narrow(text);
  }
  CallResult byName, back;
  invoke(utils.Get(), L"progIDToClsid", {str(u"vantorelix.utils")}, byName);
  ASSERT_EQ(byName.hr, S_OK);
  EXPECT_EQ(byName.string(), kUtilsClsid) << "ProgIDs are looked up without regard to case";
  invoke(utils.Get(), L"clsidToProgID", {str(kUtilsClsid)}, back);
  ASSERT_EQ(back.hr, S_OK);
  EXPECT_EQ(back.string(), u"Vantorelix.Utils");
}

TEST(ProgIdAndClsid, UnknownEmptyAndMalformedInputsGiveTheEmptyStringWithoutError) {
  auto utils = createUtils();
  for (const char16_t* progId : {u"", u"No.Such.ProgId", u".", u"Vantorelix.Utils.Nothing"}) {
    Bstr out(std::u16string(u"x"));
    ASSERT_EQ(utils->progIDToClsid(Bstr(std::u16string(progId)).get(), out.out()), S_OK);
    EXPECT_EQ(out.get(), nullptr) << narrow(progId);
  }
  Bstr fromNull;
  ASSERT_EQ(utils->progIDToClsid(nullptr, fromNull.out()), S_OK);
  EXPECT_EQ(fromNull.get(), nullptr);
  for (const char16_t* clsid : {u"", u"{D26D3337-1F1D-4805-AC89-287F698FEC0G}", u"{D26D3337-1F1D-4805-AC89-287F698FEC0E",
                                u"{00000000-0000-0000-0000-000000000000}", u"{5A0B3E7C-9D11-4F0E-A0C4-3B1D2F6E8A90}",
                                u"not a guid at all"}) {
    Bstr out;
    ASSERT_EQ(utils->clsidToProgID(Bstr(std::u16string(clsid)).get(), out.out()), S_OK);
    EXPECT_EQ(out.get(), nullptr) << narrow(clsid);
  }
  Bstr none;
  ASSERT_EQ(utils->clsidToProgID(nullptr, none.out()), S_OK);
  EXPECT_EQ(none.get(), nullptr);
  EXPECT_FALSE(takeErrorInfo().present) << "a failed lookup leaves no error information";
}

TEST(ProgIdAndClsid, CharactersOutsideTheAnsiCodePageArriveAsThePlatformsSubstitute) {
  std::printf("ANSI code page %u\n", GetACP());
  auto utils = createUtils();
  // e acute (in 1252, not a single character of 932 in every table), A macron (in neither) and
  // katakana A (in 932 only).
  const std::u16string name = u"Vantorelix.Test\u00E9\u0100\u30A2";
  const std::u16string arrives = throughAnsi(name);
  const std::u16string testClsid = u"{6C3F1E2A-8B4D-4E7F-9A1C-2D5E8F0B3C47}";
  ASSERT_NE(arrives, name) << "A macron is in no ANSI code page: the text must change";
  // The ProgID is registered under the name the platform receives.
  writeClassesValue(arrives + u"\\CLSID", testClsid);
  writeClassesValue(u"CLSID\\" + testClsid + u"\\ProgID", name);
  Bstr clsid, progId;
  ASSERT_EQ(utils->progIDToClsid(Bstr(name).get(), clsid.out()), S_OK);
  EXPECT_EQ(clsid.view(), testClsid);
  // The registered ProgID holds the original characters; the answer has passed through ANSI.
  ASSERT_EQ(utils->clsidToProgID(Bstr(testClsid).get(), progId.out()), S_OK);
  EXPECT_EQ(progId.view(), arrives);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, w(arrives));
  RegDeleteTreeW(HKEY_CLASSES_ROOT, w(u"CLSID\\" + testClsid));
}

// ---------------------------------------------------------------------------------------
// Calling another server's registration entry points

std::u16string fixture(const char16_t* name) { return fixturePath((std::u16string(name) + u".dll").c_str()); }

bool loaded(const std::u16string& path) { return GetModuleHandleW(w(path)) != nullptr; }

// Pointers in the fault messages have as many digits as this process's pointers.
constexpr int kPointerDigits = 2 * sizeof(void*);
const std::u16string kNullPointer(kPointerDigits, u'0');

// The hexadecimal pointer after `marker` in `text`; ~0 when the text has none there.
uintptr_t pointerAfter(const std::u16string& text, const std::u16string& marker) {
  size_t at = text.find(marker);
  if (at == std::u16string::npos || at + marker.size() + kPointerDigits > text.size()) return ~uintptr_t(0);
  return static_cast<uintptr_t>(std::stoull(narrow(text.substr(at + marker.size(), kPointerDigits)), nullptr, 16));
}

// Whether `address` lies in the image of the fixture (loaded here once more to see where).
bool insideImage(const std::u16string& path, uintptr_t address) {
  HMODULE m = LoadLibraryW(w(path));
  if (!m) return false;
  auto base = reinterpret_cast<uintptr_t>(m);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(m);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  bool inside = address >= base && address < base + nt->OptionalHeader.SizeOfImage;
  FreeLibrary(m);
  return inside;
}

class Regsvr : public ::testing::Test {
 protected:
  void SetUp() override {
    utils = createUtils();
    ASSERT_TRUE(utils);
  }
  // regsvr (or regsvr_u) of a fixture, then the checks that hold after every call: the module
  // is released, no error information is left, the handler chain is as before, and the next
  // call works.
  std::u16string call(const std::u16string& path, bool unregister = false) {
    uint32_t headBefore = handlerChainHead();
    Bstr result;
    HRESULT hr = unregister ? utils->regsvr_u(Bstr(path).get(), result.out()) : utils->regsvr(Bstr(path).get(), result.out());
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(handlerChainHead(), headBefore) << "the thread's handler chain was left changed";
    EXPECT_FALSE(loaded(path)) << "the module is still loaded";
    EXPECT_FALSE(takeErrorInfo().present);
    Bstr next;
    EXPECT_EQ(utils->regsvr(Bstr(fixture(u"fixture_ok")).get(), next.out()), S_OK);
    EXPECT_EQ(next.get(), nullptr) << "the call after this one failed";
    return std::u16string(result.view());
  }
  // A fixture's answer through regsvr or regsvr_u, with the reason where the case gives one.
  struct Answer {
    const char16_t* fixture;
    bool unregister;
    std::u16string text;
    const char* why;
  };
  void expectAnswers(const std::vector<Answer>& answers) {
    for (const Answer& a : answers) {
      SCOPED_TRACE(narrow(a.fixture) + (a.unregister ? " through regsvr_u" : " through regsvr"));
      EXPECT_EQ(call(fixture(a.fixture), a.unregister), a.text) << a.why;
    }
  }
  ComPtr<IUtils> utils;
};

TEST_F(Regsvr, EntryPointResultsDecideBetweenEmptyAndError) {
  expectAnswers({
      {u"fixture_ok", false, u"", ""},
      {u"fixture_ok", true, u"", ""},
      {u"fixture_false", false, u"エラー", "S_FALSE is not S_OK"},
      {u"fixture_false", true, u"エラー", ""},
  });
}

TEST_F(Regsvr, LoadAndLookupFailuresEndInTheDecimalErrorCode) {
  expectAnswers({
      {u"fixture_no_entry", false, u"GetProcAddress に失敗。127", ""},
      {u"fixture_no_entry", true, u"GetProcAddress に失敗。127", ""},
      {u"no_such_fixture", false, u"LoadLibrary に失敗。126", ""},
  });
  // The code of an empty path is the platform's: the same as LoadLibraryW gives here.
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(L""), nullptr);
  DWORD emptyCode = GetLastError();
  std::string digits = std::to_string(emptyCode);
  std::u16string expected = u"LoadLibrary に失敗。" + std::u16string(digits.begin(), digits.end());
  EXPECT_NE(emptyCode, 0u);
  EXPECT_EQ(call(u""), expected);
  Bstr fromNull;
  ASSERT_EQ(utils->regsvr_u(nullptr, fromNull.out()), S_OK);
  EXPECT_EQ(fromNull.view(), expected);
}

TEST_F(Regsvr, UnregisterCallsOnlyDllUnregisterServer) {
  SetEnvironmentVariableA("VANTORELIX_FIXTURE_CALLS", nullptr);
  EXPECT_EQ(call(fixture(u"fixture_record"), true), u"");
  char calls[512] = "";
  GetEnvironmentVariableA("VANTORELIX_FIXTURE_CALLS", calls, sizeof calls);
  EXPECT_STREQ(calls, "DllUnregisterServer;");
  EXPECT_EQ(call(fixture(u"fixture_record")), u"");
  GetEnvironmentVariableA("VANTORELIX_FIXTURE_CALLS", calls, sizeof calls);
  EXPECT_STREQ(calls, "DllUnregisterServer;DllRegisterServer;");
  SetEnvironmentVariableA("VANTORELIX_FIXTURE_CALLS", nullptr);
}

TEST_F(Regsvr, AccessViolationsNameTheModuleTheKindOfAccessAndBothAddresses) {
  const std::u16string path = fixture(u"fixture_write_null");
  for (bool unregister : {false, true}) {
    std::u16string m = call(path, unregister);
    std::regex form("^M 'fixture_write_null\\.dll' A [0-9A-F]{" + std::to_string(kPointerDigits) + "} B " +
                    narrow(kNullPointer) + " W$");
    std::u16string shape = m;
    // Reduce the Japanese frame of the text to letters to match its shape.
    auto swap = [&](const std::u16string& from, const std::u16string& to) {
      size_t at = shape.find(from);
      if (at != std::u16string::npos) shape.replace(at, from.size(), to);
    };
    swap(u"モジュール", u"M");
    swap(u" のアドレス ", u" A ");
    swap(u" でアドレス ", u" B ");
    swap(u" に対する書き込み違反がおきました。", u" W");
    EXPECT_TRUE(std::regex_match(narrow(shape), form)) << narrow(shape);
    EXPECT_TRUE(insideImage(path, pointerAfter(m, u" のアドレス "))) << "the faulting instruction lies in the fixture";
  }
  std::u16string read = call(fixture(u"fixture_read_null"));
  EXPECT_EQ(read.rfind(u"モジュール 'fixture_read_null.dll' のアドレス ", 0), 0u) << narrow(read);
  EXPECT_NE(read.find(u" でアドレス " + kNullPointer + u" に対する読み込み違反がおきました。"), std::u16string::npos);
}

TEST_F(Regsvr, AnAccessViolationOutsideAnyModuleHasTheTextWithoutModule) {
  std::u16string m = call(fixture(u"fixture_loose_code"));
  EXPECT_EQ(m.rfind(u"アドレス ", 0), 0u) << narrow(m);
  EXPECT_NE(m.find(u" でアドレス " + kNullPointer + u" に対する書き込み違反がおきました。"), std::u16string::npos) << narrow(m);
  EXPECT_EQ(m.size(), (u"アドレス " + kNullPointer + u" でアドレス " + kNullPointer + u" に対する書き込み違反がおきました。").size());
}

TEST_F(Regsvr, OtherSystemExceptionsHaveTheirOwnTexts) {
  expectAnswers({
      {u"fixture_divide_zero", false, u"ゼロによる除算", ""},
      {u"fixture_divide_zero", true, u"ゼロによる除算", ""},
      {u"fixture_raise", false, u"外部例外 BADC0DE", "upper case, no leading zero"},
      {u"fixture_privileged", false, u"特権命令違反", ""},
  });
}

TEST_F(Regsvr, AFloatingPointFaultLeavesTheCallersFloatingPointStateAsItWas) {
  const uint16_t before = x87Control();
  // More faults than the x87 register stack has places: a fault must leave none of them used.
  for (int i = 0; i < 10; ++i) EXPECT_EQ(call(fixture(u"fixture_float_divide")), u"0 による浮動小数点数除算");
  EXPECT_EQ(x87Control(), before);
  uint16_t status = 0;
  asm volatile("fnstsw %0" : "=m"(status));
  EXPECT_EQ(status & 0x3F, 0) << "exception flags left pending";
  volatile double zero = 0.0;
  volatile double quotient = 1.0 / zero;  // masked again: infinity, no fault
  EXPECT_GT(quotient, 1e308);
}

struct FloatingPointControl {
  uint16_t x87 = 0;
  uint32_t sse = 0;  // the control bits of MXCSR, not its sticky flags
  bool operator==(const FloatingPointControl& o) const { return x87 == o.x87 && sse == o.sse; }
};
FloatingPointControl floatingPointControl() { return {x87Control(), sseControl()}; }

TEST_F(Regsvr, AModuleThatChangesTheFloatingPointControlWordsAndSucceedsLeavesTheHostsAsTheyWere) {
  // fixture_float_unmask rounds toward zero on loading, unmasks every floating-point exception
  // in its entry points and sets single precision and flush-to-zero on unloading.
  const FloatingPointControl before = floatingPointControl();
  for (bool unregister : {false, true}) {
    EXPECT_EQ(call(fixture(u"fixture_float_unmask"), unregister), u"");
    const FloatingPointControl after = floatingPointControl();
    EXPECT_EQ(after.x87, before.x87) << (unregister ? "regsvr_u" : "regsvr");
    EXPECT_EQ(after.sse, before.sse) << (unregister ? "regsvr_u" : "regsvr");
  }
  // Masked again, double precision, rounding to nearest: no fault, and a tenth as the compiler
  // rounds it (toward zero or in single precision it would come out another number).
  volatile double zero = 0.0, one = 1.0, ten = 10.0;
  volatile double quotient = one / zero;
  EXPECT_GT(quotient, 1e308);
  volatile double tenth = one / ten;
  EXPECT_EQ(tenth, 0.1);
}

TEST_F(Regsvr, AnExceptionTheModuleHandlesItselfIsNotTakenFromIt) {
  EXPECT_EQ(call(fixture(u"fixture_own_handler")), u"");
}

TEST_F(Regsvr, StackOverflowIsCaughtAgainAfterTheFirst) {
  // The second overflow needs the guard page that the first one used up.
  EXPECT_EQ(call(fixture(u"fixture_stack_overflow")), u"スタック オーバーフロー");
  EXPECT_EQ(call(fixture(u"fixture_stack_overflow")), u"スタック オーバーフロー");
}

// A thread of the host's own, with a small stack: its first overflow meets the stack's
// first guard page, and the ones after it the guard that the capture put back.
DWORD WINAPI overflowOnThread(void* p) {
  auto* texts = static_cast<std::vector<std::u16string>*>(p);
  if (FAILED(CoInitialize(nullptr))) return 1;
  {
    ComPtr<IUtils> utils = createUtils();
    for (int i = 0; utils && i < 3; ++i) {
      Bstr result;
      if (utils->regsvr(Bstr(fixture(u"fixture_stack_overflow")).get(), result.out()) != S_OK) break;
      texts->emplace_back(result.view());
    }
  }
  CoUninitialize();
  return 0;
}

TEST_F(Regsvr, StackOverflowIsCaughtOnAnotherThreadWithASmallStack) {
  std::vector<std::u16string> texts;
  HANDLE thread = CreateThread(nullptr, 256 * 1024, overflowOnThread, &texts, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(texts, std::vector<std::u16string>(3, u"スタック オーバーフロー"));
}

TEST_F(Regsvr, ManyFaultsInARowLeaveTheThreadSound) {
  const std::u16string path = fixture(u"fixture_divide_zero");
  uint32_t head = handlerChainHead();
  for (int i = 0; i < 300; ++i) {
    Bstr result;
    ASSERT_EQ(utils->regsvr(Bstr(path).get(), result.out()), S_OK);
    ASSERT_EQ(result.view(), u"ゼロによる除算") << "call " << i;
  }
  EXPECT_EQ(handlerChainHead(), head);
  EXPECT_FALSE(loaded(path));
}

TEST_F(Regsvr, LateBoundCallsGiveTheSameTexts) {
  CallResult ok, fault, missing;
  invoke(utils.Get(), L"regsvr", {str(fixture(u"fixture_ok"))}, ok);
  ASSERT_EQ(ok.hr, S_OK);
  EXPECT_EQ(V_VT(ok.value.get()), VT_BSTR);
  EXPECT_EQ(ok.string(), u"");
  invoke(utils.Get(), L"regsvr_u", {str(fixture(u"fixture_write_null"))}, fault);
  ASSERT_EQ(fault.hr, S_OK);
  EXPECT_EQ(fault.string().rfind(u"モジュール 'fixture_write_null.dll' のアドレス ", 0), 0u);
  invoke(utils.Get(), L"regsvr", {str(fixture(u"fixture_no_entry"))}, missing);
  ASSERT_EQ(missing.hr, S_OK);
  EXPECT_EQ(missing.string(), u"GetProcAddress に失敗。127");
}

}  // namespace
