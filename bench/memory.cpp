// Memory and cost against work, early-bound through IUtils.
//   memory [calls]   (1,000,000 by default)
// Memory: private bytes before and after `calls` calls of each method that returns a string
// or an array, after a warm-up of a hundredth of them; a method is run for at most 20 s
// (getFileTime opens a file on every call). Verdict: "ok" when the growth is within 64 KiB.
// Cost against work: ns per call of extractRelPath and getFullPathName against the length of
// the path, and of setSysColor against the number of elements (set to the values they have).
#include <windows.h>
#include <oleauto.h>
#include <mmsystem.h>
#undef sndPlaySound

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "Vantorelix.h"
#include "tests/support/environment.h"
#include "tests/support/memory.h"

namespace {

double seconds() {
  static LARGE_INTEGER f = [] { LARGE_INTEGER x; QueryPerformanceFrequency(&x); return x; }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) / double(f.QuadPart);
}

// Runs `call` up to `calls` times (at most `limit` seconds); returns calls made and ns per call.
unsigned long timed(unsigned long calls, double limit, const std::function<void()>& call, double& nsPerCall) {
  double start = seconds();
  unsigned long n = 0;
  while (n < calls) {
    for (int i = 0; i < 100 && n < calls; ++i, ++n) call();
    if (seconds() - start > limit) break;
  }
  nsPerCall = (seconds() - start) * 1e9 / double(n ? n : 1);
  return n;
}

VARIANT intArray(LONG count, const std::function<LONG(LONG)>& value) {
  VARIANT v;
  VariantInit(&v);
  SAFEARRAYBOUND b{ULONG(count), 0};
  V_VT(&v) = VT_ARRAY | VT_I4;
  V_ARRAY(&v) = SafeArrayCreate(VT_I4, 1, &b);
  for (LONG i = 0; i < count; ++i) {
    LONG x = value(i);
    SafeArrayPutElement(V_ARRAY(&v), &i, &x);
  }
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long calls = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  CoInitialize(nullptr);
  IUtils* u = nullptr;
  if (CoCreateInstance(CLSID_Utils, nullptr, CLSCTX_INPROC_SERVER, IID_IUtils, reinterpret_cast<void**>(&u)) != S_OK) {
    std::printf("Vantorelix.Utils is not registered\n");
    return 1;
  }
  std::wstring temp = vtest::tempDir<std::wstring>();
  if (temp.empty()) {
    wchar_t t[MAX_PATH];
    GetTempPathW(MAX_PATH, t);
    temp = t;
  }
  const std::wstring file = temp + L"\\memory-bench.txt";
  CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  BSTR bFile = SysAllocString(file.c_str());
  BSTR bDir = SysAllocString(temp.c_str());
  BSTR bRel = SysAllocString(L"..\\a\\b.txt");
  BSTR bBase = SysAllocString(L"C:\\one\\two\\");
  BSTR bDest = SysAllocString(L"C:\\one\\three\\four.txt");
  BSTR bProgID = SysAllocString(L"Vantorelix.Utils");
  BSTR bClsid = SysAllocString(L"{D26D3337-1F1D-4805-AC89-287F698FEC0E}");
  BSTR bMissing = SysAllocString(L"Z:\\no such folder\\no such file.dll");
  auto str = [](HRESULT, BSTR& out) { SysFreeString(out); out = nullptr; };
  auto var = [](HRESULT, VARIANT& out) { VariantClear(&out); };

  struct Case {
    const char* name;
    std::function<void()> call;
  };
  BSTR s = nullptr;
  VARIANT v;
  VariantInit(&v);
  Case cases[] = {
      {"getDesktopAvailRectStr", [&] { str(u->getDesktopAvailRectStr(1, &s), s); }},
      {"getDesktopAvailRectArray", [&] { var(u->getDesktopAvailRectArray(&v), v); }},
      {"progIDToClsid", [&] { str(u->progIDToClsid(bProgID, &s), s); }},
      {"clsidToProgID", [&] { str(u->clsidToProgID(bClsid, &s), s); }},
      {"genGUID", [&] { str(u->genGUID(&s), s); }},
      {"getErrMsg", [&] { str(u->getErrMsg(2, &s), s); }},
      {"getLongPath", [&] { str(u->getLongPath(bDir, &s), s); }},
      {"getShortPath", [&] { str(u->getShortPath(bDir, &s), s); }},
      {"pathRelPathTo", [&] { str(u->pathRelPathTo(bBase, VARIANT_TRUE, bDest, VARIANT_FALSE, &s), s); }},
      {"getFullPathName", [&] { str(u->getFullPathName(bRel, &s), s); }},
      {"extractRelPath", [&] { str(u->extractRelPath(bBase, bDest, &s), s); }},
      {"expandFileName", [&] { str(u->expandFileName(bRel, &s), s); }},
      {"getCurrentDir", [&] { str(u->getCurrentDir(&s), s); }},
      {"msgBeep", [&] { str(u->msgBeep(0xFFFFFFFF, &s), s); }},
      {"regsvr (missing file)", [&] { str(u->regsvr(bMissing, &s), s); }},
      {"setFileTimeOne (missing file)", [&] {
         BSTR kind = SysAllocString(L"W");
         str(u->setFileTimeOne(bMissing, kind, 2020, 1, 2, 3, 4, 5, 6, &s), s);
         SysFreeString(kind);
       }},
      {"getFileTime", [&] { var(u->getFileTime(bFile, &v), v); }},
  };
  std::printf("== private bytes around %lu calls of each method (at most 20 s each)\n", calls);
  bool allOk = true;
  for (Case& c : cases) {
    double ns = 0;
    timed(calls / 100 + 1, 2.0, c.call, ns);  // warm-up
    size_t before = vtest::privateBytes();
    unsigned long made = timed(calls, 20.0, c.call, ns);
    size_t after = vtest::privateBytes();
    long grown = long((long long)after - (long long)before) / 1024;
    bool ok = grown <= 64;
    allOk = allOk && ok;
    std::printf("%-30s %8lu calls %9.0f ns/call  %6lu -> %6lu KiB  %+ld KiB %s\n", c.name, made, ns,
                static_cast<unsigned long>(before / 1024), static_cast<unsigned long>(after / 1024), grown,
                ok ? "ok" : "GROWS");
  }

  std::printf("== cost against work\n");
  for (size_t len : {10u, 100u, 1000u, 4000u, 16000u, 32000u}) {
    std::wstring base = L"C:\\", dest = L"C:\\";
    while (base.size() < len) base += L"abcdefg\\";
    while (dest.size() < len) dest += L"abcdefh\\";
    base.resize(len), dest.resize(len);
    BSTR b1 = SysAllocString(base.c_str()), b2 = SysAllocString(dest.c_str());
    double nsRel = 0, nsFull = 0;
    unsigned long n = len > 4000 ? 2000 : 20000;
    timed(n, 10.0, [&] { str(u->extractRelPath(b1, b2, &s), s); }, nsRel);
    timed(n, 10.0, [&] { str(u->getFullPathName(b1, &s), s); }, nsFull);
    std::printf("path of %5u characters: extractRelPath %10.0f ns (%6.1f ns/char)  getFullPathName %10.0f ns (%6.1f ns/char)\n",
                unsigned(len), nsRel, nsRel / double(len), nsFull, nsFull / double(len));
    SysFreeString(b1), SysFreeString(b2);
  }
  for (LONG count : {1, 4, 16, 31, 62, 124}) {
    // Every element set to the colour it has, so the desktop stays as it was.
    VARIANT idx = intArray(count, [](LONG i) { return i % 31; });
    VARIANT rgb = intArray(count, [](LONG i) { return LONG(GetSysColor(i % 31)); });
    VARIANT_BOOL ok = VARIANT_FALSE;
    double ns = 0;
    timed(2000, 10.0, [&] { u->setSysColor(idx, rgb, &ok); }, ns);
    std::printf("setSysColor with %3ld elements: %10.0f ns (%8.1f ns/element), result %s\n", count, ns,
                ns / double(count), ok ? "true" : "false");
    VariantClear(&idx), VariantClear(&rgb);
  }
  for (BSTR b : {bFile, bDir, bRel, bBase, bDest, bProgID, bClsid, bMissing}) SysFreeString(b);
  DeleteFileW(file.c_str());
  u->Release();
  CoUninitialize();
  std::printf(allOk ? "memory: no method grows by more than 64 KiB\n" : "memory: a method grows\n");
  return allOk ? 0 : 1;
}
