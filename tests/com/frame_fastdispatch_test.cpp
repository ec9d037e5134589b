// The fast path of Invoke on its own: the table read from the embedded type library, and
// calls through it into a recording IUtils, which shows which vtable slot was reached with
// which argument values. Which calls it takes and which it leaves to the platform, the
// declared defaults, and the result and exception it builds. (That its answers equal the
// platform's, call by call, is the argument fuzzer's differential mode.)
#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Vantorelix.h"
#include "automation/fastdispatch.h"
#include "automation/raii.h"
#include "tests/support/invoke.h"
#include "tests/support/variants.h"

using namespace vantorelix;
using namespace vtest;

namespace {

ComPtr<ITypeInfo> utilsTypeInfo() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  ComPtr<ITypeLib> lib;
  ComPtr<ITypeInfo> info;
  if (SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, &lib))) lib->GetTypeInfoOfGuid(IID_IUtils, &info);
  return info;
}

// Records the last method called and its inputs; answers with fixed results, or fails with
// error information when told to.
class Recorder final : public IUtils {
 public:
  std::string called;
  std::vector<ULONG> numbers;
  std::vector<BSTR> texts;
  HRESULT failWith = S_OK;
  bool leaveErrorInfo = true;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return note("GetTypeInfoCount"); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return note("GetTypeInfo"); }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return note("GetIDsOfNames"); }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return note("Invoke");
  }
  HRESULT STDMETHODCALLTYPE sleep(UINT ms) override { return note("sleep", {ms}); }
  HRESULT STDMETHODCALLTYPE getDesktopAvailRectStr(LONG f, BSTR* r) override { return text("getDesktopAvailRectStr", r, {ULONG(f)}); }
  HRESULT STDMETHODCALLTYPE getDesktopAvailRectArray(VARIANT* r) override {
    V_VT(r) = VT_I4;
    V_I4(r) = 77;
    return note("getDesktopAvailRectArray");
  }
  HRESULT STDMETHODCALLTYPE progIDToClsid(BSTR s, BSTR* r) override { return text("progIDToClsid", r, {}, {s}); }
  HRESULT STDMETHODCALLTYPE clsidToProgID(BSTR s, BSTR* r) override { return text("clsidToProgID", r, {}, {s}); }
  HRESULT STDMETHODCALLTYPE regsvr(BSTR s, BSTR* r) override { return text("regsvr", r, {}, {s}); }
  HRESULT STDMETHODCALLTYPE regsvr_u(BSTR s, BSTR* r) override { return text("regsvr_u", r, {}, {s}); }
  HRESULT STDMETHODCALLTYPE genGUID(BSTR* r) override { return text("genGUID", r); }
  HRESULT STDMETHODCALLTYPE beep(UINT hz, UINT ms, BSTR* r) override { return text("beep", r, {hz, ms}); }
  HRESULT STDMETHODCALLTYPE msgBeep(UINT t, BSTR* r) override { return text("msgBeep", r, {t}); }
  HRESULT STDMETHODCALLTYPE sndPlaySound(BSTR p, UINT f, BSTR* r) override { return text("sndPlaySound", r, {f}, {p}); }
  HRESULT STDMETHODCALLTYPE getErrMsg(UINT c, BSTR* r) override { return text("getErrMsg", r, {c}); }
  HRESULT STDMETHODCALLTYPE getLongPath(BSTR s, BSTR* r) override { return text("getLongPath", r, {}, {s}); }
  HRESULT STDMETHODCALLTYPE getMaxPath(INT* r) override {
    *r = 260;
    return note("getMaxPath");
  }
  HRESULT STDMETHODCALLTYPE setFileTime(BSTR, VARIANT*, VARIANT*, VARIANT*, BSTR*) override { return note("setFileTime"); }
  HRESULT STDMETHODCALLTYPE setFileTimeOne(BSTR p, BSTR k, LONG y, LONG mo, LONG d, LONG h, LONG mi, LONG s, LONG ms,
                                           BSTR* r) override {
    return text("setFileTimeOne", r, {ULONG(y), ULONG(mo), ULONG(d), ULONG(h), ULONG(mi), ULONG(s), ULONG(ms)}, {p, k});
  }
  HRESULT STDMETHODCALLTYPE pathRelPathTo(BSTR f, VARIANT_BOOL fd, BSTR t, VARIANT_BOOL td, BSTR* r) override {
    return text("pathRelPathTo", r, {ULONG(USHORT(fd)), ULONG(USHORT(td))}, {f, t});
  }
  HRESULT STDMETHODCALLTYPE getFullPathName(BSTR s, BSTR* r) override { return text("getFullPathName", r, {}, {s}); }
  HRESULT STDMETHODCALLTYPE extractRelPath(BSTR a, BSTR b, BSTR* r) override { return text("extractRelPath", r, {}, {a, b}); }
  HRESULT STDMETHODCALLTYPE expandFileName(BSTR s, BSTR* r) override { return text("expandFileName", r, {}, {s}); }
  HRESULT STDMETHODCALLTYPE getCurrentDir(BSTR* r) override { return text("getCurrentDir", r); }
  HRESULT STDMETHODCALLTYPE setCurrentDir(BSTR s, VARIANT_BOOL* r) override {
    *r = VARIANT_TRUE;
    return note("setCurrentDir", {}, {s});
  }
  HRESULT STDMETHODCALLTYPE getShortPath(BSTR s, BSTR* r) override { return text("getShortPath", r, {}, {s}); }
  HRESULT STDMETHODCALLTYPE getTickCount(UINT* r) override {
    *r = 0xFFFFFFF0u;
    return note("getTickCount");
  }
  HRESULT STDMETHODCALLTYPE getFileTime(BSTR s, VARIANT*) override { return note("getFileTime", {}, {s}); }
  HRESULT STDMETHODCALLTYPE getSysColor(INT i, UINT* r) override {
    *r = 0x123456;
    return note("getSysColor", {ULONG(i)});
  }
  HRESULT STDMETHODCALLTYPE setSysColor(VARIANT, VARIANT, VARIANT_BOOL*) override { return note("setSysColor"); }

 private:
  HRESULT note(const char* name, std::vector<ULONG> n = {}, std::vector<BSTR> t = {}) {
    called = name;
    numbers = std::move(n);
    texts = std::move(t);
    if (FAILED(failWith) && leaveErrorInfo) {
      ComPtr<ICreateErrorInfo> create;
      CreateErrorInfo(&create);
      create->SetSource(const_cast<LPOLESTR>(L"Recorder"));
      create->SetDescription(const_cast<LPOLESTR>(L"it failed"));
      create->SetHelpContext(7);
      ComPtr<IErrorInfo> info;
      create.As(&info);
      SetErrorInfo(0, info.Get());
    }
    return failWith;
  }
  HRESULT text(const char* name, BSTR* r, std::vector<ULONG> n = {}, std::vector<BSTR> t = {}) {
    *r = SysAllocString(L"answer");
    return note(name, std::move(n), std::move(t));
  }
};

class FastPath : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    info = utilsTypeInfo();
    ASSERT_TRUE(info);
    fast = std::make_unique<FastDispatch>(info.Get());
  }
  void TearDown() override {
    fast.reset();
    info.Reset();
    CoUninitialize();
  }
  // A call with positional arguments given in declared order; true when the fast path took it.
  bool call(DISPID id, const std::vector<VARIANT>& args, WORD flags = DISPATCH_METHOD) {
    CallArguments arguments(args);
    VariantClear(result.get());
    recorder.called.clear();
    return fast->invoke(static_cast<IUtils*>(&recorder), id, flags, arguments.params(), result.get(), &excep, hr);
  }
  ComPtr<ITypeInfo> info;
  std::unique_ptr<FastDispatch> fast;
  Recorder recorder;
  Variant result;
  EXCEPINFO excep{};
  HRESULT hr = E_FAIL;
};

TEST_F(FastPath, HoldsEveryMethodButTheTwoWithVariantInputs) {
  for (DISPID id = 0xC9; id <= 0xE3; ++id) {
    bool variantInputs = id == 0xD5 || id == 0xE3;  // setFileTime, setSysColor
    EXPECT_EQ(fast->find(id) != nullptr, !variantInputs) << std::hex << id;
  }
  EXPECT_EQ(fast->members().size(), 25u);
  EXPECT_EQ(fast->find(0xC8), nullptr);
  EXPECT_EQ(fast->find(0xE4), nullptr);
  EXPECT_EQ(fast->find(DISPID_UNKNOWN), nullptr);
}

TEST_F(FastPath, ReachesTheSlotOfEachDispidEvenWhereTheyAreOutOfOrder) {
  BSTR path = SysAllocString(L"C:\\x");
  ASSERT_TRUE(call(0xD6, {borrowed(path)}));  // getLongPath: slot 19, before getMaxPath's 0xD7
  EXPECT_EQ(recorder.called, "getLongPath");
  ASSERT_TRUE(call(0xD7, {}));
  EXPECT_EQ(recorder.called, "getMaxPath");
  EXPECT_EQ(V_VT(result.get()), VT_I4);  // an int arrives as VT_I4
  EXPECT_EQ(V_I4(result.get()), 260);
  ASSERT_TRUE(call(0xE0, {}));
  EXPECT_EQ(recorder.called, "getTickCount");
  EXPECT_EQ(V_VT(result.get()), VT_UI4);  // an unsigned int as VT_UI4
  EXPECT_EQ(V_UI4(result.get()), 0xFFFFFFF0u);
  ASSERT_TRUE(call(0xDE, {borrowed(path)}));
  EXPECT_EQ(recorder.called, "setCurrentDir");
  EXPECT_EQ(V_VT(result.get()), VT_BOOL);
  EXPECT_EQ(V_BOOL(result.get()), VARIANT_TRUE);
  ASSERT_TRUE(call(0xCB, {}));
  EXPECT_EQ(recorder.called, "getDesktopAvailRectArray");
  EXPECT_EQ(V_VT(result.get()), VT_I4);  // a VARIANT result as the method made it
  EXPECT_EQ(V_I4(result.get()), 77);
  SysFreeString(path);
}

TEST_F(FastPath, PassesTheCallersValuesAndTheDeclaredDefaults) {
  BSTR path = SysAllocString(L"C:\\f.txt"), kind = SysAllocString(L"C");
  ASSERT_TRUE(call(0xD8, {borrowed(path), borrowed(kind), i4(2020)}));  // setFileTimeOne
  EXPECT_EQ(recorder.called, "setFileTimeOne");
  EXPECT_EQ(recorder.numbers, (std::vector<ULONG>{2020, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(recorder.texts, (std::vector<BSTR>{path, kind}));  // the caller's strings, not copies
  EXPECT_EQ(V_VT(result.get()), VT_BSTR);
  EXPECT_STREQ(V_BSTR(result.get()), L"answer");

  ASSERT_TRUE(call(0xD8, {borrowed(path), borrowed(kind), i2(1999), i4(-5), missing(), i4(23)}));
  EXPECT_EQ(recorder.numbers, (std::vector<ULONG>{1999, ULONG(-5), 1, 23, 0, 0, 0}));

  ASSERT_TRUE(call(0xD1, {}));  // beep() sounds 300 Hz for 10 ms
  EXPECT_EQ(recorder.numbers, (std::vector<ULONG>{300, 10}));
  ASSERT_TRUE(call(0xC9, {missing()}));  // sleep(missing) pauses 100 ms
  EXPECT_EQ(recorder.called, "sleep");
  EXPECT_EQ(recorder.numbers, (std::vector<ULONG>{100}));
  ASSERT_TRUE(call(0xD3, {}));  // sndPlaySound(): an empty path and flag 0
  ASSERT_EQ(recorder.texts.size(), 1u);
  EXPECT_EQ(SysStringLen(recorder.texts[0]), 0u);
  EXPECT_EQ(recorder.numbers, (std::vector<ULONG>{0}));
  ASSERT_TRUE(call(0xD9, {borrowed(path), truth(true), borrowed(kind)}));  // pathRelPathTo, toIsDir false
  EXPECT_EQ(recorder.numbers, (std::vector<ULONG>{0xFFFF, 0}));
  SysFreeString(path);
  SysFreeString(kind);
}

TEST_F(FastPath, TakesUnsignedInputsOnlyFromValuesThatAreNotNegative) {
  ASSERT_TRUE(call(0xD4, {ui4(0xFFFFFFFFu)}));  // getErrMsg
  EXPECT_EQ(recorder.numbers, (std::vector<ULONG>{0xFFFFFFFFu}));
  ASSERT_TRUE(call(0xD4, {i4(0x7FFFFFFF)}));
  ASSERT_TRUE(call(0xD4, {i2(2)}));
  EXPECT_EQ(recorder.numbers, (std::vector<ULONG>{2}));
  EXPECT_FALSE(call(0xD4, {i4(-1)}));  // the platform decides what a negative number becomes
  EXPECT_FALSE(call(0xD4, {i2(-1)}));
  EXPECT_FALSE(call(0xD2, {r8(2.0)}));  // msgBeep: a double is converted by the platform's rules
  EXPECT_FALSE(call(0xE2, {ui4(5)}));   // getSysColor's int input: an unsigned value is the platform's
  EXPECT_TRUE(recorder.called.empty()) << "the method ran: " << recorder.called;
}

TEST_F(FastPath, LooksThroughOneReferenceToAVariantAndNoMore) {
  BSTR path = SysAllocString(L"a\\b");
  VARIANT target = borrowed(path);
  ASSERT_TRUE(call(0xDA, {referenceTo(target)}));  // getFullPathName(variable)
  EXPECT_EQ(recorder.texts, (std::vector<BSTR>{path}));
  VARIANT outer = referenceTo(target);
  EXPECT_FALSE(call(0xDA, {referenceTo(outer)}));
  VARIANT byRefString;
  V_VT(&byRefString) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&byRefString) = &path;
  EXPECT_FALSE(call(0xDA, {byRefString}));
  VARIANT nullRef;
  V_VT(&nullRef) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&nullRef) = nullptr;
  EXPECT_FALSE(call(0xDA, {nullRef}));
  EXPECT_TRUE(recorder.called.empty() || recorder.called == "getFullPathName");
  SysFreeString(path);
}

TEST_F(FastPath, LeavesEveryOtherShapeOfCallToThePlatform) {
  BSTR path = SysAllocString(L"x");
  EXPECT_FALSE(call(0xDA, {}));                           // a required input missing
  EXPECT_FALSE(call(0xDA, {borrowed(path), borrowed(path)}));     // one too many
  EXPECT_FALSE(call(0xDA, {missing()}));                  // missing where there is no default
  EXPECT_FALSE(call(0xDA, {borrowed(nullptr)}, DISPATCH_PROPERTYGET));
  EXPECT_FALSE(call(0xDA, {borrowed(path)}, DISPATCH_PROPERTYPUT));
  EXPECT_FALSE(call(0xDA, {borrowed(path)}, DISPATCH_METHOD | DISPATCH_PROPERTYPUT));
  EXPECT_FALSE(call(0xDA, {i4(1)}));                      // a number for a string
  EXPECT_FALSE(call(0xD9, {borrowed(path), i4(1), borrowed(path)}));  // a number for a truth value
  EXPECT_FALSE(call(0xE3, {i4(1), i4(2)}));               // setSysColor
  EXPECT_FALSE(call(0x1234, {}));
  VARIANT arg = borrowed(path);
  DISPID named = 0;
  DISPPARAMS byName{&arg, &named, 1, 1};
  EXPECT_FALSE(fast->invoke(static_cast<IUtils*>(&recorder), 0xDA, DISPATCH_METHOD, &byName, result.get(), &excep, hr));
  EXPECT_FALSE(fast->invoke(static_cast<IUtils*>(&recorder), 0xD7, DISPATCH_METHOD, nullptr, result.get(), &excep, hr));
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_FALSE(fast->invoke(static_cast<IUtils*>(&recorder), 0xD7, DISPATCH_METHOD, &none, result.get(), nullptr, hr))
      << "a call without a place for the exception";
  EXPECT_TRUE(recorder.called.empty()) << "the method ran: " << recorder.called;
  EXPECT_TRUE(call(0xDA, {borrowed(path)}, DISPATCH_METHOD | DISPATCH_PROPERTYGET));  // as script engines call
  SysFreeString(path);
}

TEST_F(FastPath, AFailedMethodBecomesAnExceptionFilledFromTheErrorInformation) {
  recorder.failWith = E_ACCESSDENIED;
  excep.wCode = 99;
  ASSERT_TRUE(call(0xD4, {i4(5)}));
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, E_ACCESSDENIED);
  EXPECT_EQ(excep.wCode, 0);
  EXPECT_STREQ(excep.bstrSource, L"Recorder");
  EXPECT_STREQ(excep.bstrDescription, L"it failed");
  EXPECT_EQ(excep.bstrHelpFile, nullptr);
  EXPECT_EQ(excep.dwHelpContext, 7u);
  EXPECT_EQ(excep.pfnDeferredFillIn, nullptr);
  ComPtr<IErrorInfo> left;
  EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE) << "the error information is taken from the thread";
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
}

// The same failing call through the fast path and through the platform's ITypeInfo::Invoke,
// with and without error information, with and without places for the result, the exception
// and the argument error: every field a caller reads must be the same.
TEST_F(FastPath, AFailedMethodAnswersAsThePlatformsPathDoes) {
  struct Shape {
    DISPID id;
    std::vector<VARIANT> args;
  };
  std::vector<Shape> shapes = {{0xD4, {i4(5)}}, {0xD7, {}}, {0xC9, {i4(1)}},
                               {0xCB, {}}, {0xE0, {}}, {0xDE, {borrowed(nullptr)}}};
  for (const Shape& shape : shapes)
    for (int variant = 0; variant < 32; ++variant) {
      recorder.failWith = (variant & 1) ? E_ACCESSDENIED : E_UNEXPECTED;
      recorder.leaveErrorInfo = (variant & 2) != 0;
      bool giveResult = (variant & 4) == 0, giveExcep = (variant & 8) == 0;
      // EXCEPINFO cleared, as callers give it, or with a marker in every byte.
      bool markedExcep = (variant & 16) != 0;
      struct Seen {
        HRESULT hr;
        VARTYPE vt;
        LONG value;
        UINT textLength;
        bool textNull;
        EXCEPINFO e;
        UINT argErr;
        bool infoLeft;
      };
      auto run = [&](bool direct) {
        CallArguments arguments(shape.args);
        DISPPARAMS& params = *arguments.params();
        VARIANT r;
        V_VT(&r) = VT_I2;
        V_I2(&r) = 12345;
        EXCEPINFO e;
        std::memset(&e, markedExcep ? 0x5A : 0, sizeof e);
        UINT argErr = 77;
        SetErrorInfo(0, nullptr);
        Seen seen{};
        if (direct) {
          // A call without a place for the exception is the platform's to answer: native
          // oleaut32 may give the method's own HRESULT there, where the fast path would
          // give DISP_E_EXCEPTION. The object then sends it on, as here.
          const bool taken = fast->invoke(static_cast<IUtils*>(&recorder), shape.id, DISPATCH_METHOD, &params,
                                          giveResult ? &r : nullptr, giveExcep ? &e : nullptr, seen.hr);
          EXPECT_EQ(taken, giveExcep);
          if (!taken)
            seen.hr = info->Invoke(static_cast<IUtils*>(&recorder), shape.id, DISPATCH_METHOD, &params,
                                   giveResult ? &r : nullptr, nullptr, &argErr);
        } else {
          seen.hr = info->Invoke(static_cast<IUtils*>(&recorder), shape.id, DISPATCH_METHOD, &params,
                                 giveResult ? &r : nullptr, giveExcep ? &e : nullptr, &argErr);
        }
        ComPtr<IErrorInfo> left;
        seen.infoLeft = GetErrorInfo(0, &left) == S_OK;
        seen.vt = V_VT(&r);
        seen.value = V_VT(&r) == VT_BOOL ? V_BOOL(&r) : V_VT(&r) == VT_I2 ? V_I2(&r) : V_VT(&r) == VT_BSTR ? 0 : V_I4(&r);
        seen.textNull = V_VT(&r) == VT_BSTR && !V_BSTR(&r);
        seen.textLength = V_VT(&r) == VT_BSTR ? SysStringLen(V_BSTR(&r)) : 0;
        if (V_VT(&r) != VT_I2) VariantClear(&r);
        seen.e = e;
        seen.argErr = argErr;
        return seen;
      };
      Seen direct = run(true), general = run(false);
      SCOPED_TRACE(testing::Message() << "DISPID " << std::hex << shape.id << " variant " << std::dec << variant);
      EXPECT_EQ(direct.hr, general.hr);
      EXPECT_EQ(direct.vt, general.vt);
      EXPECT_EQ(direct.value, general.value);
      EXPECT_EQ(direct.textNull, general.textNull);
      EXPECT_EQ(direct.textLength, general.textLength);
      EXPECT_EQ(direct.argErr, general.argErr);
      EXPECT_EQ(direct.infoLeft, general.infoLeft);
      if (giveExcep) {
        const BSTR marker = reinterpret_cast<BSTR>(static_cast<uintptr_t>(0x5A5A5A5A5A5A5A5Aull));
        auto same = [&](BSTR a, BSTR b) {
          if (!a || !b || a == marker || b == marker) return a == b;
          return std::wstring(a, SysStringLen(a)) == std::wstring(b, SysStringLen(b));
        };
        EXPECT_EQ(direct.e.scode, general.e.scode);
        if (!markedExcep || recorder.leaveErrorInfo) {
          EXPECT_EQ(direct.e.dwHelpContext, general.e.dwHelpContext);
          EXPECT_TRUE(same(direct.e.bstrSource, general.e.bstrSource));
          EXPECT_TRUE(same(direct.e.bstrDescription, general.e.bstrDescription));
          EXPECT_TRUE(same(direct.e.bstrHelpFile, general.e.bstrHelpFile));
        }
        if (!markedExcep) {
          EXPECT_EQ(direct.e.wCode, general.e.wCode);
          EXPECT_EQ(direct.e.wReserved, general.e.wReserved);
          EXPECT_EQ(direct.e.pvReserved, general.e.pvReserved);
          EXPECT_EQ(reinterpret_cast<void*>(direct.e.pfnDeferredFillIn), reinterpret_cast<void*>(general.e.pfnDeferredFillIn));
        } else {
          // Windows' rule for EXCEPINFO: of wCode and scode the one not used is 0, and without
          // a deferred fill-in its pointer is null; the fast path clears the structure before
          // it fills it in. Wine's ITypeInfo::Invoke writes only the fields it fills and leaves
          // the others as the caller had them (and without error information only scode), so
          // with a marked structure only the fast path's own answer is checked here.
          EXPECT_EQ(direct.e.wCode, 0);
          EXPECT_EQ(direct.e.wReserved, 0);
          EXPECT_EQ(direct.e.pvReserved, nullptr);
          EXPECT_EQ(reinterpret_cast<void*>(direct.e.pfnDeferredFillIn), nullptr);
          if (!recorder.leaveErrorInfo) {
            EXPECT_EQ(direct.e.bstrSource, nullptr);
            EXPECT_EQ(direct.e.bstrDescription, nullptr);
            EXPECT_EQ(direct.e.dwHelpContext, 0u);
          }
        }
        for (EXCEPINFO* e : {&direct.e, &general.e})
          for (BSTR b : {e->bstrSource, e->bstrDescription, e->bstrHelpFile})
            if (b != marker) SysFreeString(b);
      }
    }
}

}  // namespace
