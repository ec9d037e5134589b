// Shared helpers of the C++ tests that call Vantorelix.dll through COM, early- and late-bound:
// the GoogleTest side (the apartment, the checks); what the robustness programs, the
// activation tests and the benchmarks share too is in tests/support/.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <mmsystem.h>
#undef sndPlaySound  // IUtils has a method of that name

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Vantorelix.h"
#include "automation/raii.h"
#include "tests/support/environment.h"
#include "tests/support/invoke.h"
#include "tests/support/paths.h"
#include "tests/support/system_text.h"
#include "tests/support/variants.h"
#include "utils/under_wine.h"

namespace vtest {

using vantorelix::Bstr;
using vantorelix::ComPtr;
using vantorelix::runningUnderWine;

inline const wchar_t* w(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string text(BSTR b) { return std::u16string(vantorelix::bstrView(b)); }

// One apartment per test program's main thread.
class Apartment : public ::testing::Environment {
 public:
  void SetUp() override {
    // The code page decides every ANSI result: say which one this run has.
    std::printf("ANSI code page %u\n", GetACP());
    // The runner names the locale of the run; a run under the wrong code page is no run of it.
    const std::u16string locale = envText("VANTORELIX_LOCALE");
    if (locale == u"ja") {
      ASSERT_EQ(GetACP(), 932u) << "the Japanese run is not under code page 932";
    } else if (locale == u"default") {
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

// Checks that a result is an array of variants of one dimension with bounds 0 to `upper`,
// and hands back the array (null when the result holds none).
inline SAFEARRAY* expectArrayFromZeroTo(const VARIANT* result, LONG upper) {
  EXPECT_EQ(V_VT(result), VT_ARRAY | VT_VARIANT);
  if (V_VT(result) != (VT_ARRAY | VT_VARIANT)) return nullptr;
  SAFEARRAY* a = V_ARRAY(result);
  LONG lower = -1, last = -1;
  SafeArrayGetLBound(a, 1, &lower);
  SafeArrayGetUBound(a, 1, &last);
  EXPECT_EQ(SafeArrayGetDim(a), 1u);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(last, upper);
  return a;
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
