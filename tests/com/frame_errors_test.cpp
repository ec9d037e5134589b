// The frame inside this test program: the server is started here, on the type library and
// string table linked into the executable, so that errors can be raised in method bodies and
// the factory's start-up checks can be driven with classes made for the purpose; and the line
// that an edge with a fixed answer writes for the debugger.
#include <windows.h>

#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "com_support.h"
#include "debug_output.h"

#include "automation/ansi.h"
#include "automation/comobject.h"
#include "automation/errors.h"
#include "automation/raii.h"
#include "server/classmanager.h"
#include "server/comserver.h"
#include "server/factory.h"
#include "server/startup.h"
#include "utils/TUtils.h"

using namespace vantorelix;
using vtest::takeErrorInfo;

namespace {

class StartedServer : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    startLibrary(GetModuleHandleW(nullptr));
    ASSERT_TRUE(startupError().empty()) << "start-up failed";
    ASSERT_NE(comServer(), nullptr);
  }
  void TearDown() override {
    stopLibrary(false);
    CoUninitialize();
  }
};
::testing::Environment* const server = ::testing::AddGlobalTestEnvironment(new StartedServer);

ComPtr<IUtils> newUtils() {
  ComPtr<IUtils> utils;
  TComObjectFactory* factory = comClassManager().FindFactory(CLSID_Utils);
  EXPECT_NE(factory, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUtils, reinterpret_cast<void**>(utils.GetAddressOf())), S_OK);
  return utils;
}
TComObject& objectOf(IUtils* utils) { return *static_cast<TUtils*>(utils); }

// The system's text as the error classes take it: in the platform's own search order of
// languages, without the line break and the period at its end.
std::u16string trimmedSystemText(HRESULT code) {
  return vtest::withoutTrailingSpaceAndPeriods(vtest::systemText(static_cast<DWORD>(code), 0));
}

const char16_t kJapanese[] = u"\u30d0\u30ea\u30a2\u30f3\u30c8\u914d\u5217\u3092\u4f5c\u6210\u3067\u304d\u307e\u305b\u3093";

}  // namespace

TEST(ErrorClasses, SysErrorWithoutMessageTakesTheSystemTextOrTheCode) {
  EOleSysError known(E_FAIL);
  ASSERT_FALSE(trimmedSystemText(E_FAIL).empty());
  EXPECT_EQ(known.message(), trimmedSystemText(E_FAIL));
  EXPECT_NE(known.message().back(), u'.');
  // A code that the system has no text for.
  EOleSysError unknown(static_cast<HRESULT>(0xA00F1234));
  EXPECT_EQ(unknown.message(), u"OLE \u30a8\u30e9\u30fc A00F1234");
  EOleSysError given(u"given", E_FAIL);
  EXPECT_EQ(given.message(), u"given");
}

TEST(MethodGuard, ClearsResultsWithoutReleasingWhatTheyHeld) {
  auto utils = newUtils();
  BSTR text = reinterpret_cast<BSTR>(0x1234);  // never freed: the guard must not touch it
  EXPECT_EQ(methodGuard(objectOf(utils.Get()), &text, [] {}), S_OK);
  EXPECT_EQ(text, nullptr);
  VARIANT v;
  std::memset(&v, 0xAB, sizeof v);
  EXPECT_EQ(methodGuard(objectOf(utils.Get()), &v, [] {}), S_OK);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&v);
  for (size_t i = 0; i < sizeof v; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
  UINT number = 77;
  EXPECT_EQ(methodGuard(objectOf(utils.Get()), &number, [] {}), S_OK);
  EXPECT_EQ(number, 77u) << "numbers are written only when the body produces them";
}

TEST(MethodGuard, NegativeSysErrorCodeReachesTheCallerWithErrorInformation) {
  auto utils = newUtils();
  BSTR result = nullptr;
  HRESULT hr = methodGuard(objectOf(utils.Get()), &result,
                           [] { throw EOleSysError(kJapanese, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)); });
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  vtest::ErrorInfoText info = takeErrorInfo();
  ASSERT_TRUE(info.present);
  EXPECT_TRUE(IsEqualGUID(info.guid, IID_IUtils));
  EXPECT_EQ(info.source, u"Vantorelix.Utils");
  EXPECT_EQ(info.description, kJapanese) << "the Japanese text arrives intact whatever the code page";
}

TEST(MethodGuard, OtherErrorsBecomeUnexpected) {
  auto utils = newUtils();
  BSTR result = nullptr;
  EXPECT_EQ(methodGuard(objectOf(utils.Get()), &result, [] { throw EOleSysError(u"positive", 1); }), E_UNEXPECTED);
  EXPECT_EQ(takeErrorInfo().description, u"positive");
  EXPECT_EQ(methodGuard(objectOf(utils.Get()), &result, [] { throw EOleRegistrationError(u"reg"); }), E_UNEXPECTED);
  EXPECT_EQ(takeErrorInfo().description, u"reg");
  EXPECT_EQ(methodGuard(objectOf(utils.Get()), &result, [] { throw std::bad_alloc(); }), E_UNEXPECTED);
  EXPECT_EQ(takeErrorInfo().description, u"\u30e1\u30e2\u30ea\u304c\u8db3\u308a\u307e\u305b\u3093");
  // Something that is no error object of the server sets no error information.
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(methodGuard(objectOf(utils.Get()), &result, [] { throw 42; }), E_UNEXPECTED);
  EXPECT_FALSE(takeErrorInfo().present);
}

TEST(RethrowFailedCall, RaisesTheInnerCodeWithItsTrimmedDescription) {
  auto utils = newUtils();
  TComObject& object = objectOf(utils.Get());
  BSTR inner = nullptr, outer = nullptr;
  HRESULT innerHr = methodGuard(object, &inner, [] { throw EOleSysError(u"inner text. \r\n", E_ACCESSDENIED); });
  ASSERT_EQ(innerHr, E_ACCESSDENIED);
  HRESULT outerHr = methodGuard(object, &outer, [&] { rethrowFailedCall(innerHr); });
  EXPECT_EQ(outerHr, E_ACCESSDENIED);
  vtest::ErrorInfoText info = takeErrorInfo();
  EXPECT_EQ(info.description, u"inner text");
  EXPECT_EQ(info.source, u"Vantorelix.Utils");

  // Without error information the message is made from the code.
  SetErrorInfo(0, nullptr);
  try {
    rethrowFailedCall(static_cast<HRESULT>(0xA00F1234));
    FAIL() << "a failed HRESULT must be raised";
  } catch (const EOleException& e) {
    EXPECT_EQ(e.code(), static_cast<HRESULT>(0xA00F1234));
    EXPECT_EQ(e.message(), u"OLE \u30a8\u30e9\u30fc A00F1234");
    EXPECT_TRUE(e.source().empty());
  }
  EXPECT_NO_THROW(rethrowFailedCall(S_FALSE));
}

TEST(Lifetime, EveryObjectIsCountedUntilItsLastRelease) {
  LONG before = comServer()->liveObjectCount();
  {
    auto utils = newUtils();
    EXPECT_EQ(comServer()->liveObjectCount(), before + 1);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(utils.As(&dispatch), S_OK);
    utils.Reset();
    EXPECT_EQ(comServer()->liveObjectCount(), before + 1);
  }
  EXPECT_EQ(comServer()->liveObjectCount(), before);
}

TEST(Lifetime, UnmatchedUnlockDrivesTheCountBelowZero) {
  TComObjectFactory* factory = comClassManager().FindFactory(CLSID_Utils);
  ASSERT_NE(factory, nullptr);
  LONG before = comServer()->liveObjectCount();
  factory->LockServer(FALSE);
  EXPECT_EQ(comServer()->liveObjectCount(), before - 1);
  EXPECT_FALSE(comServer()->canUnloadNow());
  factory->LockServer(TRUE);
  EXPECT_EQ(comServer()->liveObjectCount(), before);
}

namespace {
TComObject* failToCreate() { throw Exception(u"cannot create"); }
const ComClass kFailing = {u"TFailing", &TUtils::comClass, nullptr, 0, &failToCreate};
const ComClass kWithoutDispatch = {u"TPlain", &TTypedComObject::comClass, nullptr, 0, nullptr};
}  // namespace

TEST(FactoryChecks, AClassWithoutTypeInformationIsRefused) {
  const GUID unknown = {0x0BADC0DE, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
  try {
    TAutoObjectFactory bad(*comServer(), TUtils::comClass, unknown, Instancing::MultiInstance,
                           ThreadingModel::Apartment);
    FAIL() << "the type library has no type of that GUID";
  } catch (const EOleError& e) {
    EXPECT_EQ(e.message(), u"TUtils \u30af\u30e9\u30b9\u306e\u30bf\u30a4\u30d7\u60c5\u5831\u304c\u3042\u308a\u307e\u305b\u3093");
  }
  EXPECT_EQ(comClassManager().FindFactory(unknown), nullptr);
}

TEST(FactoryChecks, ATypeThatIsNoCoclassWithADefaultInterfaceIsRefused) {
  try {
    TAutoObjectFactory bad(*comServer(), TUtils::comClass, IID_IUtils, Instancing::MultiInstance,
                           ThreadingModel::Apartment);
    FAIL() << "an interface has no default interface of its own";
  } catch (const EOleError& e) {
    EXPECT_EQ(e.message(), u"TUtils \u30af\u30e9\u30b9\u306e\u30bf\u30a4\u30d7\u60c5\u5831\u304c\u9593\u9055\u3063\u3066\u3044\u307e\u3059");
  }
  EXPECT_EQ(comClassManager().FindFactory(IID_IUtils), nullptr) << "the refused factory removed itself again";
}

TEST(FactoryChecks, AClassThatDoesNotImplementTheDispatchInterfaceIsRefused) {
  TComObjectFactory* real = comClassManager().FindFactory(CLSID_Utils);
  try {
    TAutoObjectFactory bad(*comServer(), kWithoutDispatch, CLSID_Utils, Instancing::MultiInstance,
                           ThreadingModel::Apartment);
    FAIL() << "a class without IUtils cannot serve Utils";
  } catch (const EOleError& e) {
    EXPECT_EQ(e.message(),
              u"TPlain \u30af\u30e9\u30b9\u306e\u30c7\u30a3\u30b9\u30d1\u30c3\u30c1 \u30a4\u30f3\u30bf\u30fc\u30d5\u30a7\u30fc\u30b9\u304c\u3042\u308a\u307e\u305b\u3093");
  }
  EXPECT_EQ(comClassManager().FindFactory(CLSID_Utils), real) << "the refused factory removed itself again";
}

TEST(FactoryChecks, CreationFailureGivesUnexpectedAndCountsNothing) {
  TAutoObjectFactory failing(*comServer(), kFailing, CLSID_Utils, Instancing::MultiInstance, ThreadingModel::Apartment);
  failing.setShowErrors(false);
  EXPECT_EQ(failing.progID(), u"Vantorelix.Utils");
  EXPECT_TRUE(IsEqualGUID(failing.errorIID(), IID_IUtils));
  LONG before = comServer()->liveObjectCount();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(failing.CreateInstance(nullptr, IID_IUtils, &out), E_UNEXPECTED);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(comServer()->liveObjectCount(), before);
}

TEST(Dispatch, PropertyPutFlagsAreWidenedBeforeTheTypeInformationSeesThem) {
  auto utils = newUtils();
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(utils.As(&dispatch), S_OK);
  // Methods answer neither put nor putref, so both requests fail alike.
  vtest::CallResult asPut, asPutRef;
  vtest::invokeById(dispatch.Get(), 0xC9, {}, asPut, {{DISPID_PROPERTYPUT, vtest::i4(5)}}, DISPATCH_PROPERTYPUT,
                    vtest::kNoPlaces);
  vtest::invokeById(dispatch.Get(), 0xC9, {}, asPutRef, {{DISPID_PROPERTYPUT, vtest::i4(5)}}, DISPATCH_PROPERTYPUTREF,
                    vtest::kNoPlaces);
  EXPECT_TRUE(FAILED(asPut.hr));
  EXPECT_EQ(asPut.hr, asPutRef.hr);
}

// ---- the trace of what a fixed answer drops ----------------------------------------------------
// Read from the session's debug buffer as DebugView reads it: one line per dropped error.
namespace {
template <class Raise>
std::wstring traceAtEdge(vtest::DebugMonitor& monitor, Raise raise) {
  return monitor.lineOf([&] {
    try {
      raise();
    } catch (...) {
      EXPECT_EQ(answerAtEdge(u"Edge", E_FAIL), E_FAIL);
    }
  });
}
}  // namespace

TEST(Trace, OneLinePerDroppedErrorWithItsClassCodeAndMessage) {
  vtest::DebugMonitor monitor;
  if (!monitor.usable()) GTEST_SKIP() << "another debug monitor (DebugView?) holds the session's debug buffer";
  const std::wstring head = L"Vantorelix: Edge answered 0x80004005, dropping ";
  EXPECT_EQ(traceAtEdge(monitor, [] { throw EOleSysError(u"denied\r\nsecond line", E_ACCESSDENIED); }),
            head + L"EOleSysError 0x80070005: denied  second line\n")
      << "a line break inside the message becomes a space";
  EXPECT_EQ(traceAtEdge(monitor, [] { throw EOleException(u"inner", DISP_E_EXCEPTION, u"source", u"", 0); }),
            head + L"EOleException 0x80020009: inner\n");
  EXPECT_EQ(traceAtEdge(monitor, [] { throw EOleRegistrationError(u"cannot write"); }),
            head + L"EOleRegistrationError: cannot write\n");
  EXPECT_EQ(traceAtEdge(monitor, [] { throw EOleError(u"no server"); }), head + L"EOleError: no server\n");
  EXPECT_EQ(traceAtEdge(monitor, [] { throw EConvertError(u"not a GUID"); }), head + L"EConvertError: not a GUID\n");
  EXPECT_EQ(traceAtEdge(monitor, [] { throw Exception(u"plain"); }), head + L"Exception: plain\n");
  EXPECT_EQ(traceAtEdge(monitor, [] { throw std::bad_alloc(); }), head + L"std::bad_alloc: memory is exhausted\n");
  EXPECT_EQ(traceAtEdge(monitor, [] { throw std::runtime_error("standard"); }), head + L"std::exception: standard\n");
  EXPECT_EQ(traceAtEdge(monitor, [] { throw 42; }), head + L"an exception of no known kind\n");
  // A message too long for the line is cut short, and the line still ends.
  const std::wstring cut = traceAtEdge(monitor, [] { throw Exception(std::u16string(5000, u'x')); });
  EXPECT_EQ(cut.rfind(head + L"Exception: xxx", 0), 0u);
  EXPECT_EQ(cut.size(), 1023u);
  EXPECT_EQ(cut.back(), L'\n');
  EXPECT_EQ(monitor.lineOf([] { traceDroppedError(u"Method", u"\"\""); }),
            L"Vantorelix: Method answered \"\", dropping nothing: no exception is being handled\n");
  // The class factory's own edge.
  TAutoObjectFactory failing(*comServer(), kFailing, CLSID_Utils, Instancing::MultiInstance, ThreadingModel::Apartment);
  failing.setShowErrors(false);
  void* out = nullptr;
  EXPECT_EQ(monitor.lineOf([&] { EXPECT_EQ(failing.CreateInstance(nullptr, IID_IUtils, &out), E_UNEXPECTED); }),
            L"Vantorelix: IClassFactory::CreateInstance answered 0x8000FFFF, dropping Exception: cannot create\n");
}
