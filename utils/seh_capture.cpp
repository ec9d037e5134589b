#include "utils/seh_capture.h"

#include <algorithm>
#include <cstdint>

#include "automation/ansi.h"

namespace vantorelix {
namespace {

void copyFault(const EXCEPTION_RECORD& record, FaultRecord& fault) {
  fault.code = record.ExceptionCode;
  fault.address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
  for (DWORD i = 0; i < 2; ++i) fault.info[i] = i < record.NumberParameters ? record.ExceptionInformation[i] : 0;
}

// What the guarded call's handler needs: where to resume and where the data goes.
struct GuardFrame {
#if defined(__i386__)
  EXCEPTION_REGISTRATION_RECORD registration;  // first: the thread's handler chain points here
  void* resume[5];                             // __builtin_setjmp buffer
#endif
  FaultRecord* fault;
};

#if defined(__i386__)
// The handler of a frame on the thread's fs:[0] chain. The dispatcher comes here only after
// every frame inside the guarded call has declined the exception. The unwind runs their
// termination handlers and leaves this frame at the head of the chain; then control goes
// back to the guarded call, which takes the frame off.
EXCEPTION_DISPOSITION NTAPI guardFrameHandler(EXCEPTION_RECORD* record, void* establisher, CONTEXT*, void*) {
  if (record->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
  auto* frame = static_cast<GuardFrame*>(establisher);
  copyFault(*record, *frame->fault);
  RtlUnwind(establisher, nullptr, record, nullptr);
  __builtin_longjmp(frame->resume, 1);
}

// The head of the thread's handler chain, fs:[0].
EXCEPTION_REGISTRATION_RECORD* chainHead() {
  EXCEPTION_REGISTRATION_RECORD* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
void setChainHead(EXCEPTION_REGISTRATION_RECORD* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

__attribute__((noinline)) bool guardedCall(void (*call)(void*), void* context, FaultRecord& fault) {
  GuardFrame frame;
  frame.fault = &fault;
  frame.registration.Handler = guardFrameHandler;
  frame.registration.Next = chainHead();
  if (__builtin_setjmp(frame.resume) != 0) {
    setChainHead(frame.registration.Next);
    return false;
  }
  setChainHead(&frame.registration);
  call(context);
  setChainHead(frame.registration.Next);
  return true;
}

#elif defined(__x86_64__)
// On x86_64 handlers are found through the unwind tables: the call runs inside a small
// function whose unwind information names guardFrameHandler as its exception handler. The
// handler unwinds to that function's frame and resumes it at its epilogue with rax = 0.
extern "C" bool vantorelix_guarded_call(void (*call)(void*), void* context, GuardFrame* frame);
extern "C" char vantorelix_guarded_call_resume[];
extern "C" EXCEPTION_DISPOSITION guardFrameHandler(EXCEPTION_RECORD* record, void* establisher, CONTEXT*,
                                                   DISPATCHER_CONTEXT* dispatch);

asm(R"(
  .text
  .globl vantorelix_guarded_call
  .globl vantorelix_guarded_call_resume
  .def vantorelix_guarded_call; .scl 2; .type 32; .endef
  .seh_proc vantorelix_guarded_call
  .seh_handler guardFrameHandler, @except
vantorelix_guarded_call:
  subq $40, %rsp
  .seh_stackalloc 40
  .seh_endprologue
  movq %r8, 32(%rsp)
  movq %rcx, %rax
  movq %rdx, %rcx
  callq *%rax
  movl $1, %eax
vantorelix_guarded_call_resume:
  addq $40, %rsp
  ret
  .seh_endproc
)");

extern "C" EXCEPTION_DISPOSITION guardFrameHandler(EXCEPTION_RECORD* record, void* establisher, CONTEXT*,
                                                   DISPATCHER_CONTEXT* dispatch) {
  if (record->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
  // The guard frame's address lies just above the callee's home area.
  auto* frame = *reinterpret_cast<GuardFrame**>(static_cast<char*>(establisher) + 32);
  copyFault(*record, *frame->fault);
  RtlUnwindEx(establisher, vantorelix_guarded_call_resume, record, nullptr, dispatch->ContextRecord,
              dispatch->HistoryTable);
  return ExceptionContinueSearch;  // not reached: the unwind resumes the guarded call
}

bool guardedCall(void (*call)(void*), void* context, FaultRecord& fault) {
  GuardFrame frame{&fault};
  return vantorelix_guarded_call(call, context, &frame);
}

#else
#error "no structured exception capture for this processor"
#endif

// The x87 control word and the SSE control/status register, which a faulting module may have
// changed (unmasking floating-point exceptions, say). A fault also leaves pending exception
// flags and values on the x87 register stack, which must be empty again at a call boundary:
// eight such leftovers and every later x87 load gives NaN.
struct FloatingPointState {
  uint16_t x87Control = 0;
  uint32_t sseControl = 0;
};

bool hasSse() { return IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE); }

FloatingPointState saveFloatingPointState() {
  FloatingPointState s;
  asm volatile("fnstcw %0" : "=m"(s.x87Control));
  if (hasSse()) asm volatile("stmxcsr %0" : "=m"(s.sseControl));
  return s;
}

void restoreFloatingPointState(const FloatingPointState& s) {
  asm volatile("fninit\n\tfldcw %0" : : "m"(s.x87Control));
  if (hasSse()) asm volatile("ldmxcsr %0" : : "m"(s.sseControl));
}

// The thread's stack, as far as placing its guard page needs it.
struct ThreadStack {
  char* end = nullptr;   // the lowest address of the stack's reservation
  char* here = nullptr;  // a frame in use now
  size_t pageSize = 0;
};

ThreadStack currentStack() {
  ThreadStack stack;
  MEMORY_BASIC_INFORMATION current{};
  if (!VirtualQuery(&current, &current, sizeof current)) return stack;
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  stack.end = static_cast<char*>(current.AllocationBase);
  stack.here = reinterpret_cast<char*>(&current);
  stack.pageSize = system.dwPageSize;
  return stack;
}

// The room above the stack's last page that a stack overflow's dispatch must find free, in
// bytes. On x86_64 the thread's guarantee is raised to it (a guarantee only ever grows, and a
// larger one stays). The 32-bit dispatch fits in the page that the system commits on its own.
size_t overflowRoom() {
#if defined(_WIN64)
  constexpr ULONG kRoom = 32 * 1024;
  ULONG previous = kRoom;
  if (!SetThreadStackGuarantee(&previous)) return 0;
  return previous > kRoom ? previous : kRoom;
#else
  return 0;
#endif
}

// The thread's information block (its self pointer; the compiler's own reading of it trips
// its bounds check).
NT_TIB* threadInformationBlock() {
  NT_TIB* tib;
#if defined(_WIN64)
  asm("movq %%gs:0x30, %0" : "=r"(tib));
#else
  asm("movl %%fs:0x18, %0" : "=r"(tib));
#endif
  return tib;
}

// The stack's guard page. Touching it commits the page and moves the guard one page down;
// near the stack's end the system raises a stack overflow instead and hands the exception's
// dispatch the pages that the thread's guarantee keeps free. After an overflow no guard is
// left (a second overflow would end the process), and Wine keeps a thread's first guard
// directly above the stack's last page: the dispatch on x86_64, which writes its context and
// the unwind's below the faulting frame (2.7 KB below the page that raised the overflow, under
// Wine), runs into that last page and the process ends. Before each guarded call, the guard
// therefore sits no lower than the guarantee's room above the stack's end.
void armStackGuard() {
  const ThreadStack stack = currentStack();
  if (!stack.end) return;
  const size_t page = stack.pageSize;
  char* lowest = stack.end + page + overflowRoom();  // the lowest place for the guard
  // The lowest committed page that may be touched: the guard, or the top of what an
  // overflow left behind.
  MEMORY_BASIC_INFORMATION region{};
  for (char* p = stack.end; p < stack.here && VirtualQuery(p, &region, sizeof region) &&
                            region.AllocationBase == stack.end;
       p = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State != MEM_COMMIT || region.Protect == PAGE_NOACCESS) continue;
    char* base = static_cast<char*>(region.BaseAddress);
    bool guarded = region.Protect & PAGE_GUARD;
    if (guarded && base >= lowest) return;  // in place, with room below
    char* guard = base > lowest ? base : lowest;
    // Only a page well below the frames in use now.
    if (guard + 2 * page > stack.here) return;
    DWORD previous = 0;
    // A guard too close to the end gives way to the one placed higher.
    if (guarded && guard > base &&
        !VirtualProtect(base, std::min<size_t>(region.RegionSize, guard - base), PAGE_READWRITE, &previous))
      return;
    if (!VirtualProtect(guard, page, PAGE_READWRITE | PAGE_GUARD, &previous)) return;
    // Code that probes its frames only below the stack limit must meet the guard.
    NT_TIB* tib = threadInformationBlock();
    if (static_cast<char*>(tib->StackLimit) < guard) tib->StackLimit = guard + page;
    return;
  }
}

// The file name of the module whose image holds `address`; empty when the memory there is
// not committed or belongs to no module.
std::u16string moduleFileNameAt(uint64_t address) {
  MEMORY_BASIC_INFORMATION region{};
  if (!VirtualQuery(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), &region, sizeof region)) return {};
  if (region.State != MEM_COMMIT || !region.AllocationBase) return {};
  char path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, MAX_PATH);
  if (n == 0) return {};
  // In UTF-16 first: a trail byte of a double-byte character may look like a backslash.
  return std::u16string(fileNameOf(fromAnsi(std::string_view(path, n))));
}

}  // namespace

bool callCapturingFault(void (*call)(void*), void* context, FaultRecord& fault) noexcept {
  FloatingPointState floatingPoint = saveFloatingPointState();
  armStackGuard();
  if (guardedCall(call, context, fault)) return true;
  restoreFloatingPointState(floatingPoint);
  if (fault.code == fault_code::kStackOverflow) armStackGuard();
  return false;
}

std::u16string faultText(const FaultRecord& fault) {
  return faultMessage(fault, moduleFileNameAt(fault.address), static_cast<int>(2 * sizeof(void*)),
                      [](int id) { return frameText(static_cast<UINT>(id)); });
}

}  // namespace vantorelix
