// Concurrency: eight threads, each in its own single-threaded apartment, create objects and
// call methods while another thread takes and releases references to the class factory and
// locks and unlocks the server.
//   concurrency [rounds per thread]   (10,000 by default)
// The DLL is loaded by path and reached through its own exports, so that its object and
// factory counts are this program's alone: DllCanUnloadNow answers S_FALSE while an object
// or a factory reference is held, and S_OK once everything is released.
#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <string>
#include <vector>

#include "Vantorelix.h"
#include "tests/stress/stress_support.h"
#include "tests/support/invoke.h"

namespace {

struct Shared {
  stress::ServerDll* dll;
  unsigned long rounds;
  std::wstring errMsg2;  // getErrMsg(2) as the main thread saw it
  std::atomic<long> failures{0};
  std::atomic<long> calls{0};
  std::atomic<bool> workersDone{false};
  std::atomic<long> factoryTurns{0};
};

void fail(Shared& s, const char* what, unsigned long round) {
  if (s.failures++ < 50) std::printf("FAIL: %s (round %lu, thread %lu)\n", what, round, GetCurrentThreadId());
}

DWORD WINAPI worker(void* param) {
  Shared& s = *static_cast<Shared*>(param);
  if (CoInitialize(nullptr) != S_OK) {
    fail(s, "CoInitialize", 0);
    return 1;
  }
  IClassFactory* factory = nullptr;
  if (s.dll->getClassObject(CLSID_Utils, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) {
    fail(s, "DllGetClassObject", 0);
    CoUninitialize();
    return 1;
  }
  for (unsigned long round = 0; round < s.rounds; ++round) {
    IUtils* utils = nullptr;
    if (factory->CreateInstance(nullptr, IID_IUtils, reinterpret_cast<void**>(&utils)) != S_OK || !utils) {
      fail(s, "CreateInstance", round);
      continue;
    }
    INT maxPath = 0;
    if (utils->getMaxPath(&maxPath) != S_OK || maxPath != 260) fail(s, "getMaxPath", round);
    BSTR text = nullptr;
    if (utils->getErrMsg(2, &text) != S_OK || !text || s.errMsg2 != text) fail(s, "getErrMsg(2)", round);
    SysFreeString(text);
    text = nullptr;
    if (utils->genGUID(&text) != S_OK || SysStringLen(text) != 38 || text[0] != L'{') fail(s, "genGUID", round);
    SysFreeString(text);
    // A late-bound call as well, without a place for the exception: the platform path of
    // Invoke, on the type information that all apartments share.
    {
      vtest::CallResult late;
      vtest::invokeById(utils, 0xE0, {}, late, {}, DISPATCH_METHOD, vtest::kResultOnly);
      if (late.hr != S_OK || V_VT(late.value.get()) != VT_UI4) fail(s, "Invoke getTickCount", round);
    }
    IDispatch* again = nullptr;
    if (utils->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&again)) != S_OK) fail(s, "QueryInterface", round);
    else again->Release();
    if (utils->Release() != 0) fail(s, "the last Release does not answer 0", round);
    s.calls += 5;
  }
  factory->Release();
  CoUninitialize();
  return 0;
}

DWORD WINAPI factoryChurn(void* param) {
  Shared& s = *static_cast<Shared*>(param);
  CoInitialize(nullptr);
  while (!s.workersDone) {
    IClassFactory* factory = nullptr;
    if (s.dll->getClassObject(CLSID_Utils, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) {
      fail(s, "DllGetClassObject in the factory thread", 0);
      break;
    }
    factory->AddRef();
    factory->LockServer(TRUE);
    factory->Release();
    factory->LockServer(FALSE);
    factory->Release();
    ++s.factoryTurns;
  }
  CoUninitialize();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  stress::Verdict verdict;
  Shared s;
  s.rounds = stress::argCount(argc, argv, 10000);
  if (CoInitialize(nullptr) != S_OK) return 2;
  stress::ServerDll dll(vtest::dllPath<std::wstring>());
  if (!dll.ok()) {
    std::printf("FAIL: the DLL cannot be loaded with its exports\n");
    return 1;
  }
  s.dll = &dll;

  // The counts start at 0, and a factory reference or a lock keeps the server.
  verdict.check(dll.canUnloadNow() == S_OK, "DllCanUnloadNow before anything: S_OK");
  IClassFactory* factory = nullptr;
  verdict.check(dll.getClassObject(CLSID_Utils, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK,
                "DllGetClassObject");
  if (!factory) return verdict.finish();
  verdict.check(dll.canUnloadNow() == S_FALSE, "DllCanUnloadNow with a factory reference: S_FALSE");
  IUtils* utils = nullptr;
  factory->CreateInstance(nullptr, IID_IUtils, reinterpret_cast<void**>(&utils));
  BSTR text = nullptr;
  verdict.check(utils && utils->getErrMsg(2, &text) == S_OK && text, "getErrMsg(2) on the main thread");
  s.errMsg2 = text ? text : L"";
  SysFreeString(text);
  factory->LockServer(TRUE);
  factory->Release();
  verdict.check(dll.canUnloadNow() == S_FALSE, "DllCanUnloadNow with an object and a lock: S_FALSE");
  if (utils) utils->Release();
  verdict.check(dll.canUnloadNow() == S_FALSE, "DllCanUnloadNow with a lock only: S_FALSE");
  dll.getClassObject(CLSID_Utils, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  factory->Release();
  verdict.check(dll.canUnloadNow() == S_OK, "DllCanUnloadNow after the lock is gone: S_OK");

  DWORD started = GetTickCount();
  HANDLE churn = CreateThread(nullptr, 0, factoryChurn, &s, 0, nullptr);
  std::vector<HANDLE> workers;
  for (int i = 0; i < 8; ++i) workers.push_back(CreateThread(nullptr, 0, worker, &s, 0, nullptr));
  WaitForMultipleObjects(DWORD(workers.size()), workers.data(), TRUE, INFINITE);
  s.workersDone = true;
  WaitForSingleObject(churn, INFINITE);
  for (HANDLE h : workers) CloseHandle(h);
  CloseHandle(churn);
  std::printf("8 threads x %lu rounds: %ld calls, %ld factory turns meanwhile, %.1f s\n", s.rounds, s.calls.load(),
              s.factoryTurns.load(), (GetTickCount() - started) / 1000.0);

  verdict.check(s.failures == 0, "%ld failed calls in the threads", s.failures.load());
  verdict.check(s.calls == long(8 * 5 * s.rounds), "every call made");
  verdict.check(s.factoryTurns > 0, "the factory thread ran");
  verdict.check(dll.canUnloadNow() == S_OK, "DllCanUnloadNow afterwards: S_OK (no object, no factory reference)");
  CoUninitialize();
  return verdict.finish();
}
