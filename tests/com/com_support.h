// Shared helpers of the C++ tests that call Vantorelix.dll through COM, early- and late-bound.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <mmsystem.h>
#undef sndPlaySound  // IUtils has a method of that name

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Vantorelix.h"
#include "variant_builders.h"
#include "automation/raii.h"
#include "utils/under_wine.h"

namespace vtest {

using vantorelix::Bstr;
using vantorelix::ComPtr;
using vantorelix::runningUnderWine;

// Paths handed over by the test runner (Windows form).
inline std::u16string envText(const char* name) {
  const char* v = std::getenv(name);
  std::string s = v ? v : "";
  return std::u16string(s.begin(), s.end());
}
inline std::u16string dllPath() { return envText("VANTORELIX_DLL"); }
inline std::u16string fixturePath(const char16_t* file) { return envText("VANTORELIX_FIXTURES") + u"\\" + file; }
inline std::u16string tempDir() { return envText("VANTORELIX_TEMP"); }

inline const wchar_t* w(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string text(BSTR b) { return std::u16string(vantorelix::bstrView(b)); }

// One apartment per test program's main thread.
class Apartment : public ::testing::Environment {
 public:
  void SetUp() override {
    // The code page decides every ANSI result: say which one this run has.
    std::printf("ANSI code page %u\n", GetACP());
    // The runner names the locale of the run; a run under the wrong code page is no run of it.
    const std::string locale = std::getenv("VANTORELIX_LOCALE") ? std::getenv("VANTORELIX_LOCALE") : "";
    if (locale == "ja") {
      ASSERT_EQ(GetACP(), 932u) << "the Japanese run is not under code page 932";
    } else if (locale == "default") {
      ASSERT_EQ(GetACP(), 1252u) << "the default run is not under code page 1252";
    }
    ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
  }
  void TearDown() override { CoUninitialize(); }
};

inline ComPtr<IUtils> createUtils() {
  ComPtr<IUtils> utils;
  HRESULT hr = CoCreateInstance(CLSID_Utils, nullptr, CLSCTX_INPROC_SERVER, IID_IUtils,
                                reinterpret_cast<void**>(utils.GetAddressOf()));
  EXPECT_EQ(hr, S_OK) << "Vantorelix.Utils is not registered in this prefix";
  return utils;
}

// An argument for a late-bound call. Owns its value, built by the builders of
// variant_builders.h.
struct Arg {
  VARIANT v;
  Arg() { VariantInit(&v); }
  Arg(const Arg& o) { VariantInit(&v); VariantCopy(&v, const_cast<VARIANT*>(&o.v)); }
  Arg& operator=(const Arg&) = delete;
  ~Arg() { VariantClear(&v); }
  // Takes over a variant (a built value or an array, say) without copying it.
  static Arg adopt(VARIANT x) { Arg a; a.v = x; return a; }
  static Arg i4(LONG x) { return adopt(vtest::i4(x)); }
  static Arg ui4(ULONG x) { return adopt(vtest::ui4(x)); }
  static Arg boolean(bool x) { return adopt(vtest::truth(x)); }
  static Arg str(const std::u16string& s) { return adopt(vtest::str(s)); }
  static Arg missing() { return adopt(vtest::missing()); }
};

struct CallResult {
  HRESULT hr = E_FAIL;
  vantorelix::Variant value;
  EXCEPINFO excep{};
  UINT argErr = 0;
  ~CallResult() {
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
  std::u16string string() const {
    const VARIANT* v = value.get();
    return V_VT(v) == VT_BSTR ? text(V_BSTR(v)) : std::u16string(u"<not a string>");
  }
};

inline DISPID dispidOf(IDispatch* d, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id), S_OK) << "no member named this";
  return id;
}

// Calls a method by name with positional arguments in declared order (and optionally named
// ones: pairs of parameter name and value).
inline void invoke(IDispatch* d, const wchar_t* name, const std::vector<Arg>& args, CallResult& out,
                   const std::vector<std::pair<const wchar_t*, Arg>>& named = {}) {
  std::vector<LPOLESTR> names{const_cast<LPOLESTR>(name)};
  for (auto& n : named) names.push_back(const_cast<LPOLESTR>(n.first));
  std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
  HRESULT hr = d->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT, ids.data());
  ASSERT_EQ(hr, S_OK) << "GetIDsOfNames failed";
  // DISPPARAMS hold named arguments first, then positional ones in reverse order.
  std::vector<VARIANT> raw;
  std::vector<DISPID> namedIds;
  for (size_t i = 0; i < named.size(); ++i) {
    raw.push_back(named[i].second.v);
    namedIds.push_back(ids[i + 1]);
  }
  for (size_t i = args.size(); i-- > 0;) raw.push_back(args[i].v);
  DISPPARAMS params{raw.empty() ? nullptr : raw.data(), namedIds.empty() ? nullptr : namedIds.data(),
                    static_cast<UINT>(raw.size()), static_cast<UINT>(namedIds.size())};
  out.hr = d->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, out.value.get(), &out.excep,
                     &out.argErr);
}

// The description of the thread's error information, taken away from the thread.
struct ErrorInfoText {
  bool present = false;
  GUID guid{};
  std::u16string source, description;
};
inline ErrorInfoText takeErrorInfo() {
  ErrorInfoText out;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) != S_OK || !info) return out;
  out.present = true;
  info->GetGUID(&out.guid);
  Bstr s, d;
  info->GetSource(s.out());
  info->GetDescription(d.out());
  out.source = std::u16string(s.view());
  out.description = std::u16string(d.view());
  return out;
}

}  // namespace vtest
