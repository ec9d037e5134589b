// Call cost: ns per call of Vantorelix.Utils methods late-bound from VBScript (measured by
// calls.vbs, whose lines are read from a file), through IDispatch::Invoke from C++ and
// early-bound through the IUtils vtable, each beside the floor object (bench/floor.cpp: the
// least an IDispatch object can do) and Wine's Scripting.FileSystemObject GetFileName,
// measured in the same run. Several rounds; each figure is the median, with min and max.
//   call_cost [calls] [rounds] [vbs-results-file]
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Vantorelix.h"
#include "automation/raii.h"

using vantorelix::Bstr;
using vantorelix::ComPtr;
using vantorelix::Variant;
using vantorelix::u16ptr;

namespace {

double nsPerCall(long calls, const std::function<void()>& call) {
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  for (long i = 0; i < calls; ++i) call();
  QueryPerformanceCounter(&b);
  return (b.QuadPart - a.QuadPart) * 1e9 / f.QuadPart / calls;
}

DISPID idOf(IDispatch* d, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

// One late-bound call with the given arguments in declared order; the result is dropped. It
// gives a place for the exception, as script engines do: a call without one is the platform's
// to answer, and would measure ITypeInfo::Invoke instead of the fast path.
std::function<void()> lateCall(IDispatch* d, DISPID id, std::vector<VARIANT> args) {
  std::reverse(args.begin(), args.end());
  return [d, id, args]() mutable {
    DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &excep, nullptr);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    VariantClear(&result);
  };
}

VARIANT i4(LONG x) { VARIANT v; V_VT(&v) = VT_I4; V_I4(&v) = x; return v; }
VARIANT str(const wchar_t* s) { VARIANT v; V_VT(&v) = VT_BSTR; V_BSTR(&v) = SysAllocString(s); return v; }

struct Samples {
  std::vector<double> ns;
  double median() const {
    std::vector<double> s = ns;
    std::sort(s.begin(), s.end());
    size_t k = s.size() / 2;
    return s.size() % 2 ? s[k] : (s[k - 1] + s[k]) / 2;
  }
  double min() const { return *std::min_element(ns.begin(), ns.end()); }
  double max() const { return *std::max_element(ns.begin(), ns.end()); }
};

// "vbs <name> <round> <ns>" lines written by calls.vbs.
std::map<std::string, Samples> readScriptFigures(const char* file) {
  std::map<std::string, Samples> out;
  FILE* f = file ? std::fopen(file, "r") : nullptr;
  if (!f) return out;
  char line[256], name[128];
  int round;
  double ns;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "vbs %127s %d %lf", name, &round, &ns) == 3) out[name].ns.push_back(ns);
  std::fclose(f);
  return out;
}

void printTable(const char* title, const std::vector<std::string>& order, std::map<std::string, Samples>& figures) {
  if (figures.empty()) return;
  std::printf("\n== %s: ns per call, median of %u rounds [min, max]\n", title,
              unsigned(figures.begin()->second.ns.size()));
  std::printf("%-22s %10s %10s %10s %9s %9s\n", "method", "median", "min", "max", "x floor", "x FSO");
  auto has = [&](const char* k) { return figures.count(k) && !figures[k].ns.empty(); };
  double floor = has("floor") ? figures["floor"].median() : 0;
  double fso = has("FSO.GetFileName") ? figures["FSO.GetFileName"].median() : 0;
  for (const std::string& name : order) {
    if (!figures.count(name) || figures[name].ns.empty()) continue;
    const Samples& s = figures[name];
    double m = s.median();
    std::printf("%-22s %10.1f %10.1f %10.1f %9.2f %9.2f\n", name.c_str(), m, s.min(), s.max(),
                floor > 0 ? m / floor : 0.0, fso > 0 ? m / fso : 0.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  long calls = argc > 1 ? std::atol(argv[1]) : 200000;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const char* scriptFile = argc > 3 ? argv[3] : nullptr;
  CoInitialize(nullptr);
  ComPtr<IUtils> utils;
  if (FAILED(CoCreateInstance(CLSID_Utils, nullptr, CLSCTX_INPROC_SERVER, IID_IUtils,
                              reinterpret_cast<void**>(utils.GetAddressOf())))) {
    std::printf("Vantorelix.Utils is not registered\n");
    return 1;
  }
  auto byProgId = [](const wchar_t* progId) {
    ComPtr<IDispatch> d;
    CLSID clsid;
    if (SUCCEEDED(CLSIDFromProgID(progId, &clsid)))
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(d.GetAddressOf()));
    return d;
  };
  ComPtr<IDispatch> fso = byProgId(L"Scripting.FileSystemObject");
  ComPtr<IDispatch> floor = byProgId(L"Vantorelix.BenchFloor");
  if (!floor) std::printf("Vantorelix.BenchFloor is not registered: no floor figures\n");

  wchar_t winIni[MAX_PATH];
  GetWindowsDirectoryW(winIni, MAX_PATH);
  lstrcatW(winIni, L"\\win.ini");

  // What one call of each measures; `divisor` shortens the loops of calls that do real work.
  struct Measure {
    std::string name;
    std::function<void()> early;
    std::function<void()> late;
    long divisor;
  };
  INT maxPath = 0;
  UINT ticks = 0;
  UINT typeInfoCount = 0;
  Bstr fullIn(std::u16string(u"a\\b.txt")), iniIn(std::u16string(u16ptr(winIni)));
  IUtils* u = utils.Get();
  std::vector<Measure> measures;
  if (floor)
    measures.push_back({"floor", [&] { floor->GetTypeInfoCount(&typeInfoCount); },
                        lateCall(floor.Get(), idOf(floor.Get(), L"getMaxPath"), {}), 1});
  if (fso)
    measures.push_back({"FSO.GetFileName", nullptr,
                        lateCall(fso.Get(), idOf(fso.Get(), L"GetFileName"), {str(L"C:\\dir\\file.txt")}), 1});
  measures.push_back({"getMaxPath", [&] { u->getMaxPath(&maxPath); }, lateCall(u, idOf(u, L"getMaxPath"), {}), 1});
  measures.push_back({"getTickCount", [&] { u->getTickCount(&ticks); }, lateCall(u, idOf(u, L"getTickCount"), {}), 1});
  measures.push_back({"getErrMsg(2)", [&] { Bstr b; u->getErrMsg(2, b.out()); },
                      lateCall(u, idOf(u, L"getErrMsg"), {i4(2)}), 1});
  measures.push_back({"getFullPathName", [&] { Bstr b; u->getFullPathName(fullIn.get(), b.out()); },
                      lateCall(u, idOf(u, L"getFullPathName"), {str(L"a\\b.txt")}), 10});
  measures.push_back({"getCurrentDir", [&] { Bstr b; u->getCurrentDir(b.out()); },
                      lateCall(u, idOf(u, L"getCurrentDir"), {}), 10});
  measures.push_back({"getFileTime", [&] { Variant v; u->getFileTime(iniIn.get(), v.get()); },
                      lateCall(u, idOf(u, L"getFileTime"), {str(winIni)}), 100});
  // The platform's own share of getErrMsg(2): the system text and one automation string.
  measures.push_back({"FormatMessageW+BSTR", [&] {
                        wchar_t buffer[2048];
                        DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 2,
                                                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, 2047, nullptr);
                        SysFreeString(SysAllocStringLen(buffer, n));
                      },
                      nullptr, 1});

  std::map<std::string, Samples> early, late;
  for (const Measure& m : measures) {  // warm up
    long n = std::max(1L, calls / m.divisor / 10);
    if (m.early) nsPerCall(n, m.early);
    if (m.late) nsPerCall(n, m.late);
  }
  for (int round = 0; round < rounds; ++round)
    for (const Measure& m : measures) {
      long n = std::max(1L, calls / m.divisor);
      if (m.early) early[m.name].ns.push_back(nsPerCall(n, m.early));
      if (m.late) late[m.name].ns.push_back(nsPerCall(n, m.late));
    }

  std::vector<std::string> order;
  for (const Measure& m : measures) order.push_back(m.name);
  std::map<std::string, Samples> script = readScriptFigures(scriptFile);
  std::printf("calls per measurement: %ld from C++ (a tenth for the path methods, a hundredth for getFileTime)\n",
              calls);
  printTable("VBScript late-bound (x = u.method(...), net of the empty loop)", order, script);
  printTable("C++ IDispatch::Invoke", order, late);
  printTable("C++ early-bound (the floor: a vtable call of the floor object's GetTypeInfoCount)", order, early);
  if (early.count("getErrMsg(2)") && early.count("FormatMessageW+BSTR"))
    std::printf("\nearly-bound getErrMsg(2) against FormatMessageW + one BSTR allocation and free: %.2f\n",
                early["getErrMsg(2)"].median() / early["FormatMessageW+BSTR"].median());
  CoUninitialize();
  return 0;
}
