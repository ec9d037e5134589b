// Registration-free activation: in a prefix where nothing of Vantorelix is registered, a program
// that activates the side-by-side manifest (the file beside the DLL, or the copy embedded in
// the DLL) creates Vantorelix.Utils by ProgID and calls it, early- and late-bound.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include <gtest/gtest.h>

#include "Vantorelix.h"
#include "automation/raii.h"
#include "tests/support/environment.h"
#include "tests/support/invoke.h"
#include "utils/under_wine.h"

namespace {

using vantorelix::Bstr;
using vantorelix::ComPtr;

std::wstring dllPath() { return vtest::dllPath<std::wstring>(); }
std::wstring manifestPath() {
  std::wstring path = dllPath();
  return path.substr(0, path.find_last_of(L'\\') + 1) + L"Vantorelix.manifest";
}

bool classRegistered() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{D26D3337-1F1D-4805-AC89-287F698FEC0E}", 0, KEY_READ, &key) != 0)
    return false;
  RegCloseKey(key);
  return true;
}

// An activation context, active on this thread while the object lives.
class ActiveContext {
 public:
  explicit ActiveContext(ACTCTXW& description) {
    context_ = CreateActCtxW(&description);
    if (context_ != INVALID_HANDLE_VALUE && !ActivateActCtx(context_, &cookie_)) cookie_ = 0;
  }
  ~ActiveContext() {
    deactivate();
    if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
  }
  ActiveContext(const ActiveContext&) = delete;
  ActiveContext& operator=(const ActiveContext&) = delete;
  bool active() const { return cookie_ != 0; }
  void deactivate() {
    if (cookie_) DeactivateActCtx(0, cookie_);
    cookie_ = 0;
  }

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
};

class Apartment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr)); }
  void TearDown() override { CoUninitialize(); }
};
const auto* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

// What every activation must give: the ProgID resolved, the object created and answering.
void createAndCall() {
  // Windows answers with the class's CLSID. Wine 8 answers with the alias GUID that its
  // activation context makes for the ProgID record (accepted under Wine only); both lead to
  // the class, so both are created from.
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"Vantorelix.Utils", &clsid), S_OK);
  if (!vantorelix::runningUnderWine()) {
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Utils));
  }
  ComPtr<IUnknown> byCLSID;
  ASSERT_EQ(CoCreateInstance(CLSID_Utils, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(byCLSID.GetAddressOf())),
            S_OK);

  ComPtr<IUtils> utils;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUtils,
                             reinterpret_cast<void**>(utils.GetAddressOf())),
            S_OK);
  int maxPath = 0;
  EXPECT_EQ(utils->getMaxPath(&maxPath), S_OK);
  EXPECT_EQ(maxPath, MAX_PATH);
  // The object's own ProgID lookup runs inside the same context.
  Bstr progID = Bstr::adopt(SysAllocString(L"Vantorelix.Utils"));
  Bstr clsidText;
  ASSERT_EQ(utils->progIDToClsid(progID.get(), clsidText.out()), S_OK);
  CLSID resolved{};
  ASSERT_EQ(CLSIDFromString(clsidText.get(), &resolved), S_OK);
  EXPECT_TRUE(IsEqualCLSID(resolved, clsid));

  // Late-bound, through the embedded type library: without a place for the exception, the
  // platform's own path of Invoke.
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(utils->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.GetAddressOf())), S_OK);
  const DISPID id = vtest::dispidOf(dispatch.Get(), L"getMaxPath");
  ASSERT_NE(id, DISPID_UNKNOWN);
  EXPECT_EQ(id, 0xD7);
  vtest::CallResult late;
  vtest::invokeById(dispatch.Get(), id, {}, late, {}, DISPATCH_METHOD, vtest::kResultOnly);
  ASSERT_EQ(late.hr, S_OK);
  // The result is declared int: the platform's type-information call hands it over as VT_INT
  // or VT_I4 (Wine: VT_I4), the same 32 bits either way.
  const VARIANT* result = late.value.get();
  EXPECT_TRUE(V_VT(result) == VT_I4 || V_VT(result) == VT_INT) << "variant type " << V_VT(result);
  EXPECT_EQ(V_I4(result), MAX_PATH);
}

TEST(RegistrationFree, NothingIsRegisteredInThisPrefix) {
  EXPECT_FALSE(classRegistered());
  CLSID clsid{};
  EXPECT_NE(CLSIDFromProgID(L"Vantorelix.Utils", &clsid), S_OK);
  ComPtr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(CLSID_Utils, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(object.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
}

TEST(RegistrationFree, ManifestBesideTheDllActivatesTheClass) {
  const std::wstring manifest = manifestPath();
  ACTCTXW description{};
  description.cbSize = sizeof description;
  description.lpSource = manifest.c_str();
  ActiveContext context(description);
  ASSERT_TRUE(context.active()) << "CreateActCtx/ActivateActCtx failed: " << GetLastError();
  createAndCall();
  // The type library is found through the context too.
  ComPtr<ITypeLib> lib;
  EXPECT_EQ(LoadRegTypeLib(LIBID_Vantorelix, 1, 0, 0, lib.GetAddressOf()), S_OK);

  context.deactivate();
  CLSID clsid{};
  EXPECT_NE(CLSIDFromProgID(L"Vantorelix.Utils", &clsid), S_OK) << "the class outlived its context";
  EXPECT_FALSE(classRegistered());
}

TEST(RegistrationFree, ManifestEmbeddedInTheDllActivatesTheClass) {
  const std::wstring dll = dllPath();
  ACTCTXW description{};
  description.cbSize = sizeof description;
  description.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  description.lpSource = dll.c_str();
  description.lpResourceName = MAKEINTRESOURCEW(2);
  ActiveContext context(description);
  ASSERT_TRUE(context.active()) << "CreateActCtx/ActivateActCtx failed: " << GetLastError();
  createAndCall();
  EXPECT_FALSE(classRegistered());
}

}  // namespace
