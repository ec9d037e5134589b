// The structured-exception capture inside this test program: what it hands back, which
// exceptions it takes, and the state of the thread after it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "automation/ansi.h"
#include "automation/errors.h"
#include "tests/support/thread_state.h"
#include "utils/seh_capture.h"

using namespace vantorelix;
using vtest::handlerChainHead;
using vtest::sseControl;
using vtest::x87Control;

namespace {

class Texts : public ::testing::Environment {
 public:
  void SetUp() override {
    setResourceModule(GetModuleHandleW(nullptr));  // the string table is linked in here
    captureAnsiCodePage();
  }
};
::testing::Environment* const texts = ::testing::AddGlobalTestEnvironment(new Texts);

template <class F>
bool capture(F&& f, FaultRecord& fault) {
  return callCapturingFault([](void* p) { (*static_cast<F*>(p))(); }, &f, fault);
}

int* volatile nowhere = nullptr;

TEST(FaultCapture, ACompletedCallReturnsTrueAndLeavesTheRecordAlone) {
  int ran = 0;
  FaultRecord fault;
  fault.code = 7;
  uint32_t head = handlerChainHead();
  EXPECT_TRUE(capture([&] { ran = 1; }, fault));
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(fault.code, 7u);
  EXPECT_EQ(handlerChainHead(), head);
}

TEST(FaultCapture, HandsBackTheCodeAndTheFirstTwoInformationWords) {
  uint32_t head = handlerChainHead();
  FaultRecord three;
  const ULONG_PTR words[3] = {0x11, 0x22, 0x33};
  EXPECT_FALSE(capture([&] { RaiseException(0xE1234567, 0, 3, words); }, three));
  EXPECT_EQ(three.code, 0xE1234567u);
  EXPECT_EQ(three.info[0], 0x11u);
  EXPECT_EQ(three.info[1], 0x22u);
  EXPECT_NE(three.address, 0u);
  FaultRecord none;
  none.info[0] = none.info[1] = 99;
  EXPECT_FALSE(capture([&] { RaiseException(0xE0000002, 0, 0, nullptr); }, none));
  EXPECT_EQ(none.info[0], 0u) << "words the exception did not carry are zero";
  EXPECT_EQ(none.info[1], 0u);
  EXPECT_EQ(handlerChainHead(), head);
}

TEST(FaultCapture, AProcessorFaultGivesTheFaultingInstructionAndTheAccessedAddress) {
  FaultRecord fault;
  EXPECT_FALSE(capture([&] { *nowhere = 5; }, fault));
  EXPECT_EQ(fault.code, 0xC0000005u);
  EXPECT_EQ(fault.info[0], 1u) << "a write";
  EXPECT_EQ(fault.info[1], 0u);
  HMODULE self = GetModuleHandleW(nullptr);
  HMODULE holder = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(fault.address)), &holder));
  EXPECT_EQ(holder, self);
}

TEST(FaultCapture, AnInnerGuardTakesItsOwnFaultAndIsGoneWhenItReturns) {
  uint32_t head = handlerChainHead();
  FaultRecord outer, inner;
  bool innerCompleted = true;
  bool outerCompleted = capture(
      [&] {
        innerCompleted = capture([&] { RaiseException(0xE0000010, 0, 0, nullptr); }, inner);
        // The inner guard is off the chain now: this one belongs to the outer guard.
        RaiseException(0xE0000020, 0, 0, nullptr);
      },
      outer);
  EXPECT_FALSE(innerCompleted);
  EXPECT_EQ(inner.code, 0xE0000010u);
  EXPECT_FALSE(outerCompleted);
  EXPECT_EQ(outer.code, 0xE0000020u);
  EXPECT_EQ(handlerChainHead(), head);
}

struct ThreadResult {
  bool completed = true;
  FaultRecord fault;
};

DWORD WINAPI faultOnThread(void* p) {
  auto* r = static_cast<ThreadResult*>(p);
  r->completed = capture([] { RaiseException(0xE0000030, 0, 0, nullptr); }, r->fault);
  return 0;
}

TEST(FaultCapture, WorksOnEveryThreadOnItsOwn) {
  ThreadResult result;
  HANDLE thread = CreateThread(nullptr, 0, faultOnThread, &result, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_FALSE(result.completed);
  EXPECT_EQ(result.fault.code, 0xE0000030u);
}

// Recursion that runs the stack out (the depth where it would stop is never reached).
volatile unsigned long stopAtDepth = ~0ul;
__attribute__((noinline)) int descend(volatile char* above, unsigned long depth) {
  volatile char frame[1024];
  frame[0] = above ? above[0] : 1;
  if (depth == stopAtDepth) return frame[0];
  return descend(frame, depth + 1) + frame[0];
}


// The first run of guarded pages of the stack below `from`: [base, top), empty when there is
// none. (A query answers from the page of the address upward, so the walk goes page by page.)
struct GuardRun {
  char* base = nullptr;
  char* top = nullptr;
};
GuardRun guardBelow(char* from) {
  MEMORY_BASIC_INFORMATION m{};
  if (!VirtualQuery(from, &m, sizeof m)) return {};
  void* stack = m.AllocationBase;
  GuardRun run;
  for (char* p = static_cast<char*>(m.BaseAddress) - 1; VirtualQuery(p, &m, sizeof m) && m.AllocationBase == stack;
       p = static_cast<char*>(m.BaseAddress) - 1) {
    bool guarded = m.State == MEM_COMMIT && (m.Protect & PAGE_GUARD);
    if (guarded && !run.top) run.top = static_cast<char*>(m.BaseAddress) + m.RegionSize;
    if (!guarded && run.top) break;
    if (guarded) run.base = static_cast<char*>(m.BaseAddress);
  }
  return run;
}

TEST(FaultCapture, AfterEachStackOverflowAGuardOfTheGuaranteeAndAPageLiesBelowTheCallersFrames) {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  const size_t page = system.dwPageSize;
  for (int round = 1; round <= 3; ++round) {
    FaultRecord fault;
    ASSERT_FALSE(capture([] { descend(nullptr, 0); }, fault));
    ASSERT_EQ(fault.code, 0xC00000FDu) << "round " << round;
    ULONG guarantee = 0;  // 0 asks for the guarantee in effect
    ASSERT_TRUE(SetThreadStackGuarantee(&guarantee));
    EXPECT_GE(guarantee, 32u * 1024) << "the thread keeps the raised guarantee";
    volatile char here = 0;
    char* frame = const_cast<char*>(&here);
    const GuardRun guard = guardBelow(frame);
    ASSERT_NE(guard.top, nullptr) << "no guard below the frames after overflow " << round;
    EXPECT_GE(size_t(guard.top - guard.base), std::max<size_t>((guarantee + page - 1) / page * page + page, 2 * page))
        << "round " << round;
    char* top = guard.top;
    EXPECT_LE(top, frame - page) << "a plain page at least between the frames and the guard";
    char* limit = static_cast<char*>(threadInformationBlock()->StackLimit);
    EXPECT_EQ(limit, top) << "the stack limit moved up with the guard";
    EXPECT_LE(limit, frame - page);
  }
}

void unmaskEverything() {
  uint16_t x87 = static_cast<uint16_t>((x87Control() & ~0x003F) | 0x0C00);  // unmasked, toward zero
  asm volatile("fnclex\n\tfldcw %0" : : "m"(x87));
  uint32_t sse = (sseControl() & ~0x1F80u) | 0x8000u;  // unmasked, flush to zero
  asm volatile("ldmxcsr %0" : : "m"(sse));
}

TEST(KeptFloatingPointControl, PutsTheControlWordsBackWhenTheScopeEndsAnyWay) {
  const uint16_t x87 = x87Control();
  const uint32_t sse = sseControl();
  {
    KeptFloatingPointControl kept;
    unmaskEverything();
    EXPECT_NE(x87Control(), x87);
    EXPECT_NE(sseControl(), sse);
  }
  EXPECT_EQ(x87Control(), x87);
  EXPECT_EQ(sseControl(), sse);
  try {
    KeptFloatingPointControl kept;
    unmaskEverything();
    throw std::runtime_error("leaving");
  } catch (const std::runtime_error&) {
    EXPECT_EQ(x87Control(), x87) << "when an exception leaves the scope";
    EXPECT_EQ(sseControl(), sse);
  }
}

TEST(RaiseFaultsAsErrors, AFaultBecomesAnErrorWithItsMessage) {
  uint32_t head = handlerChainHead();
  try {
    raiseFaultsAsErrors([] { RaiseException(EXCEPTION_INT_DIVIDE_BY_ZERO, 0, 0, nullptr); });
    ADD_FAILURE() << "nothing raised";
  } catch (const Exception& e) {
    EXPECT_EQ(e.message(), u"ゼロによる除算");
  }
  try {
    raiseFaultsAsErrors([] { *nowhere = 1; });
    ADD_FAILURE() << "nothing raised";
  } catch (const Exception& e) {
    EXPECT_EQ(e.message().rfind(u"モジュール 'frame_seh_capture_test.exe' のアドレス ", 0), 0u);
    const std::u16string null(2 * sizeof(void*), u'0');  // 8 digits in a 32-bit process, 16 in a 64-bit one
    EXPECT_NE(e.message().find(u"でアドレス " + null + u" に対する書き込み違反がおきました。"), std::u16string::npos);
  }
  EXPECT_EQ(handlerChainHead(), head);
}

TEST(RaiseFaultsAsErrors, CppExceptionsOfTheBodyTravelOnUnchanged) {
  uint32_t head = handlerChainHead();
  int after = 0;
  EXPECT_THROW(raiseFaultsAsErrors([] { throw std::runtime_error("plain"); }), std::runtime_error);
  try {
    raiseFaultsAsErrors([] { throw EOleSysError(u"own", E_ACCESSDENIED); });
  } catch (const EOleSysError& e) {
    after = 1;
    EXPECT_EQ(e.code(), E_ACCESSDENIED);
    EXPECT_EQ(e.message(), u"own");
  }
  EXPECT_EQ(after, 1);
  EXPECT_EQ(handlerChainHead(), head);
  EXPECT_NO_THROW(raiseFaultsAsErrors([&] { after = 2; }));
  EXPECT_EQ(after, 2);
}

}  // namespace
