// Faults from other modules: regsvr on each fixture DLL many times in a row.
//   faults [calls per fixture]   (1,000 by default)
// Each call gives the same text as the first one for that fixture (a fault never turns into
// a different answer later, e.g. once the stack's guard page is gone), the floating-point
// control words are the host's own after every call (one fixture changes them on loading, in
// its entry points and on unloading, and succeeds), the process stays healthy (a new object
// answers, a call that succeeds still succeeds), and private bytes grow by at most 256 KiB per
// fixture between
// the first tenth of its calls and the last. fixture_loose_code leaks the page it runs its
// code from on every call, so it is allowed 4 KiB a call on top.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "Vantorelix.h"
#include "tests/stress/stress_support.h"

namespace {

// The text with each address (eight hexadecimal digits, sixteen on x86_64) masked: code that
// runs from a fresh allocation faults at a different address each time.
std::wstring maskAddresses(std::wstring s) {
  const size_t digits = 2 * sizeof(void*);
  size_t run = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    bool hex = i < s.size() && ((s[i] >= L'0' && s[i] <= L'9') || (s[i] >= L'A' && s[i] <= L'F'));
    if (hex) { ++run; continue; }
    if (run == digits) s.replace(i - digits, digits, std::wstring(digits, L'#'));
    run = 0;
  }
  return s;
}

std::wstring regsvr(IUtils* utils, const std::wstring& path, bool unregister, HRESULT& hr) {
  // fixture_record appends to this variable in a fixed buffer: start it empty each time.
  SetEnvironmentVariableW(L"VANTORELIX_FIXTURE_CALLS", nullptr);
  BSTR p = SysAllocString(path.c_str());
  BSTR out = nullptr;
  hr = unregister ? utils->regsvr_u(p, &out) : utils->regsvr(p, &out);
  std::wstring text(out ? out : L"", out ? SysStringLen(out) : 0);
  if (path.find(L"fixture_loose_code") != std::wstring::npos) text = maskAddresses(text);
  SysFreeString(out);
  SysFreeString(p);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long calls = stress::argCount(argc, argv, 1000);
  stress::Verdict verdict;
  if (CoInitialize(nullptr) != S_OK) return 2;
  stress::ServerDll dll(vtest::dllPath<std::wstring>());
  IUtils* utils = nullptr;
  HRESULT created = stress::createThroughExports(dll, CLSID_Utils, IID_IUtils, reinterpret_cast<void**>(&utils));
  if (created != S_OK) {
    std::printf("FAIL: Vantorelix.Utils cannot be created: 0x%08lX\n", static_cast<unsigned long>(created));
    return 1;
  }
  const unsigned fpuBefore = vtest::x87Control();
  const unsigned sseBefore = vtest::sseControl();
  const wchar_t* fixtures[] = {L"fixture_read_null.dll",   L"fixture_write_null.dll",  L"fixture_divide_zero.dll",
                               L"fixture_float_divide.dll", L"fixture_stack_overflow.dll", L"fixture_privileged.dll",
                               L"fixture_raise.dll",        L"fixture_own_handler.dll", L"fixture_loose_code.dll",
                               L"fixture_false.dll",        L"fixture_no_entry.dll",    L"fixture_ok.dll",
                               L"fixture_record.dll",       L"fixture_float_unmask.dll"};
  DWORD started = GetTickCount();
  for (const wchar_t* name : fixtures) {
    const std::wstring path = vtest::fixturePath(name);
    const DWORD fixtureStarted = GetTickCount();
    HRESULT hr = S_OK;
    unsigned long floatingPointKept = 0;
    auto call = [&](bool unregister) {
      std::wstring text = regsvr(utils, path, unregister, hr);
      if (vtest::x87Control() == fpuBefore && vtest::sseControl() == sseBefore) ++floatingPointKept;
      return text;
    };
    // The texts of the two directions (they may name their entry point).
    const std::wstring first = call(false);
    const std::wstring firstUnregister = call(true);
    size_t warm = vtest::privateBytes();
    unsigned long same = 0;
    for (unsigned long i = 2; i < calls; ++i) {
      if (i == calls / 10) warm = vtest::privateBytes();
      bool unregister = i % 2 == 1;
      std::wstring text = call(unregister);
      if (hr == S_OK && text == (unregister ? firstUnregister : first)) ++same;
      else verdict.check(false, "%ls call %lu: 0x%08lX, a different text", name, i, static_cast<unsigned long>(hr));
    }
    size_t end = vtest::privateBytes();
    long grownKiB = long((long long)end - (long long)warm) / 1024;
    long allowedKiB = 256 + (std::wstring(name) == L"fixture_loose_code.dll" ? long(calls) * 4 : 0);
    std::printf("%ls: %lu of %lu calls alike in %.1f s, private bytes %+ld KiB, texts of %u and %u characters\n", name,
                same + 2, calls, (GetTickCount() - fixtureStarted) / 1000.0, grownKiB, unsigned(first.size()),
                unsigned(firstUnregister.size()));
    verdict.check(grownKiB <= allowedKiB, "%ls: private bytes grew by %ld KiB", name, grownKiB);
    verdict.check(floatingPointKept == calls, "%ls: the floating-point control words changed after %lu of %lu calls",
                  name, calls - floatingPointKept, calls);
    const std::wstring n = name;
    bool succeeds = n == L"fixture_ok.dll" || n == L"fixture_record.dll" || n == L"fixture_own_handler.dll" ||
                    n == L"fixture_float_unmask.dll";
    verdict.check(first.empty() == succeeds && firstUnregister.empty() == succeeds, "%ls: the first text is %s", name,
                  first.empty() ? "empty" : "not empty");
  }
  std::printf("%u fixtures x %lu calls in %.1f s\n", unsigned(sizeof fixtures / sizeof fixtures[0]), calls,
              (GetTickCount() - started) / 1000.0);

  // Still healthy: the floating-point state, a new object, a call that works.
  verdict.check(vtest::x87Control() == fpuBefore, "x87 control word 0x%04X, was 0x%04X", unsigned(vtest::x87Control()),
                fpuBefore);
  verdict.check(vtest::sseControl() == sseBefore, "MXCSR changed");
  volatile double third = 1.0 / 3.0;
  verdict.check(third > 0.333333 && third < 0.333334, "floating-point division");
  IUtils* fresh = nullptr;
  verdict.check(stress::createThroughExports(dll, CLSID_Utils, IID_IUtils, reinterpret_cast<void**>(&fresh)) == S_OK &&
                    fresh,
                "a new object after the faults");
  INT maxPath = 0;
  verdict.check(fresh && fresh->getMaxPath(&maxPath) == S_OK && maxPath == 260, "getMaxPath after the faults");
  HRESULT hr = S_OK;
  verdict.check(regsvr(utils, vtest::fixturePath(L"fixture_ok.dll"), false, hr).empty() && hr == S_OK,
                "regsvr on a working DLL after the faults");
  if (fresh) fresh->Release();
  utils->Release();
  CoUninitialize();
  return verdict.finish();
}
