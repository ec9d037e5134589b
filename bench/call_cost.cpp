// Call cost from C++: ns per call early-bound through the IUtils vtable and late-bound through
// IDispatch::Invoke, beside Wine's Scripting.FileSystemObject GetFileName through Invoke.
//   call_cost [calls]
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Vantorelix.h"
#include "automation/raii.h"

using vantorelix::Bstr;
using vantorelix::ComPtr;
using vantorelix::Variant;

namespace {

double nsPerCall(long calls, const std::function<void()>& call) {
  for (long i = 0; i < calls / 10; ++i) call();  // warm up
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  double best = 1e30;
  for (int round = 0; round < 5; ++round) {  // best of five: the least disturbed run
    QueryPerformanceCounter(&a);
    for (long i = 0; i < calls; ++i) call();
    QueryPerformanceCounter(&b);
    double ns = (b.QuadPart - a.QuadPart) * 1e9 / f.QuadPart / calls;
    if (ns < best) best = ns;
  }
  return best;
}

DISPID idOf(IDispatch* d, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

// One late-bound call with the given arguments in declared order; the result is dropped.
std::function<void()> lateCall(IDispatch* d, DISPID id, std::vector<VARIANT> args) {
  return [d, id, args]() mutable {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    Variant result;
    d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr);
  };
}

VARIANT i4(LONG x) { VARIANT v; V_VT(&v) = VT_I4; V_I4(&v) = x; return v; }
VARIANT str(const wchar_t* s) { VARIANT v; V_VT(&v) = VT_BSTR; V_BSTR(&v) = SysAllocString(s); return v; }

}  // namespace

int main(int argc, char** argv) {
  long calls = argc > 1 ? std::atol(argv[1]) : 200000;
  CoInitialize(nullptr);
  ComPtr<IUtils> utils;
  if (FAILED(CoCreateInstance(CLSID_Utils, nullptr, CLSCTX_INPROC_SERVER, IID_IUtils,
                              reinterpret_cast<void**>(utils.GetAddressOf())))) {
    std::printf("Vantorelix.Utils is not registered\n");
    return 1;
  }
  ComPtr<IDispatch> fso;
  CLSID fsoClsid;
  if (SUCCEEDED(CLSIDFromProgID(L"Scripting.FileSystemObject", &fsoClsid)))
    CoCreateInstance(fsoClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(fso.GetAddressOf()));

  std::printf("calls per measurement: %ld (best of 5)\n", calls);
  std::printf("%-28s %12s %12s\n", "method", "early ns", "Invoke ns");
  struct Row {
    const wchar_t* name;
    std::function<HRESULT()> early;
    std::vector<VARIANT> args;
    long divisor = 1;  // a call that opens a file costs a thousand trivial ones
  };
  INT maxPath = 0;
  UINT ticks = 0;
  std::vector<Row> rows = {
      {L"getMaxPath", [&] { return utils->getMaxPath(&maxPath); }, {}},
      {L"getTickCount", [&] { return utils->getTickCount(&ticks); }, {}},
      {L"getErrMsg", [&] { Bstr b; return utils->getErrMsg(2, b.out()); }, {i4(2)}},
      {L"getFullPathName", [&] { Bstr in(std::u16string(u"a\\b.txt")), b; return utils->getFullPathName(in.get(), b.out()); },
       {str(L"a\\b.txt")}},
      {L"getFileTime", [&] { Bstr in(std::u16string(u"C:\\windows\\win.ini")); Variant v; return utils->getFileTime(in.get(), v.get()); },
       {str(L"C:\\windows\\win.ini")}, 100},
  };
  for (Row& row : rows) {
    if (row.early() == E_NOTIMPL) {
      std::printf("%-28ls %12s %12s\n", row.name, "not built", "-");
      continue;
    }
    long n = std::max(1L, calls / row.divisor);
    double early = nsPerCall(n, [&] { row.early(); });
    double late = nsPerCall(n, lateCall(utils.Get(), idOf(utils.Get(), row.name), row.args));
    std::printf("%-28ls %12.1f %12.1f\n", row.name, early, late);
  }
  auto namesCost = [&](IDispatch* d, const wchar_t* name) {
    return nsPerCall(calls, [&] { idOf(d, name); });
  };
  std::printf("%-28s %12s %12.1f\n", "GetIDsOfNames(getMaxPath)", "-", namesCost(utils.Get(), L"getMaxPath"));
  if (fso) {
    std::printf("%-28s %12s %12.1f\n", "FSO GetIDsOfNames", "-", namesCost(fso.Get(), L"GetFileName"));
    double late = nsPerCall(calls, lateCall(fso.Get(), idOf(fso.Get(), L"GetFileName"), {str(L"C:\\dir\\file.txt")}));
    std::printf("%-28s %12s %12.1f\n", "FileSystemObject.GetFileName", "-", late);
  }
  CoUninitialize();
  return 0;
}
