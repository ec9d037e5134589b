#include "utils/seh_capture.h"

#include <algorithm>
#include <cassert>
#include <cstdint>

#include "automation/ansi.h"
#include "utils/under_wine.h"

namespace vantorelix {
namespace {

void copyFault(const EXCEPTION_RECORD& record, FaultRecord& fault) {
  fault.code = record.ExceptionCode;
  fault.address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
  for (DWORD i = 0; i < 2; ++i) fault.info[i] = i < record.NumberParameters ? record.ExceptionInformation[i] : 0;
}

// What the captured call's handler needs: where to resume and where the data goes.
struct CaptureFrame {
#if defined(__i386__)
  EXCEPTION_REGISTRATION_RECORD registration;  // first: the thread's handler chain points here
  void* resume[5];                             // __builtin_setjmp buffer
#endif
  FaultRecord* fault;
  bool faulted = false;
};

#if defined(__i386__)
// RtlUnwind, called so that the caller's EBX, ESI and EDI survive it. Windows' RtlUnwind
// returns through a context that it captures inside itself, in which only EBP, ESP and EIP are
// the caller's (the compiler's own unwind helpers save the other three around it as well):
// whatever the compiler kept in those registers across a direct call would be gone, at any
// optimisation level. The stub keeps them on its own stack and takes them back by ESP alone.
extern "C" void __stdcall vantorelix_unwind_to(void* targetFrame, EXCEPTION_RECORD* record);

asm(R"(
  .text
  .globl _vantorelix_unwind_to@8
  .def _vantorelix_unwind_to@8; .scl 2; .type 32; .endef
_vantorelix_unwind_to@8:
  pushl %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  pushl $0                  # ReturnValue
  pushl 28(%esp)            # ExceptionRecord (the second argument, 24 bytes above, + one push)
  pushl $0                  # TargetIp: come back here
  pushl 32(%esp)            # TargetFrame (the first argument, 20 bytes above, + the three pushes)
  call *__imp__RtlUnwind@16
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret $8
)");

// The handler of a frame on the thread's fs:[0] chain. The dispatcher comes here only after
// every frame inside the captured call has declined the exception. The unwind runs their
// termination handlers and leaves this frame at the head of the chain; then control goes
// back to the captured call, which takes the frame off. Its name is plain so that the link map
// shows where it lies (the image's check of exception handlers looks there).
extern "C" EXCEPTION_DISPOSITION NTAPI captureFrameHandler(EXCEPTION_RECORD* record, void* establisher, CONTEXT*,
                                                           void*) {
  if (record->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
  auto* frame = static_cast<CaptureFrame*>(establisher);
  copyFault(*record, *frame->fault);
  frame->faulted = true;
  vantorelix_unwind_to(establisher, record);
  __builtin_longjmp(frame->resume, 1);
}

// The head of the thread's handler chain, fs:[0].
EXCEPTION_REGISTRATION_RECORD* chainHead() {
  EXCEPTION_REGISTRATION_RECORD* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
void setChainHead(EXCEPTION_REGISTRATION_RECORD* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

__attribute__((noinline)) bool capturedCall(void (*call)(void*), void* context, FaultRecord& fault) {
  CaptureFrame frame;
  frame.fault = &fault;
  frame.registration.Handler = captureFrameHandler;
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
// function whose unwind information names captureFrameHandler as its exception handler. After a
// fault the handler unwinds to that function's frame and resumes it at the return address of
// its call, exactly where a call that completes comes back: a resume point that is a return
// address is one that a shadow stack holds, which Windows checks the target of an unwind
// against when hardware-enforced stack protection is strict. The capture frame tells the two
// apart.
extern "C" void vantorelix_captured_call(void (*call)(void*), void* context, CaptureFrame* frame);
extern "C" char vantorelix_captured_call_return[];
extern "C" EXCEPTION_DISPOSITION captureFrameHandler(EXCEPTION_RECORD* record, void* establisher, CONTEXT*,
                                                     DISPATCHER_CONTEXT* dispatch);

// The nop after the call keeps the return address off the epilogue: an unwinder that finds an
// epilogue at a frame's return address takes that frame as already leaving and skips its
// handler.
asm(R"(
  .text
  .globl vantorelix_captured_call
  .globl vantorelix_captured_call_return
  .def vantorelix_captured_call; .scl 2; .type 32; .endef
  .seh_proc vantorelix_captured_call
  .seh_handler captureFrameHandler, @except
vantorelix_captured_call:
  subq $40, %rsp
  .seh_stackalloc 40
  .seh_endprologue
  movq %r8, 32(%rsp)
  movq %rcx, %rax
  movq %rdx, %rcx
  callq *%rax
vantorelix_captured_call_return:
  nop
  addq $40, %rsp
  ret
  .seh_endproc
)");

extern "C" EXCEPTION_DISPOSITION captureFrameHandler(EXCEPTION_RECORD* record, void* establisher, CONTEXT*,
                                                     DISPATCHER_CONTEXT* dispatch) {
  if (record->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
  // The capture frame's address lies just above the callee's home area.
  auto* frame = *reinterpret_cast<CaptureFrame**>(static_cast<char*>(establisher) + 32);
  copyFault(*record, *frame->fault);
  frame->faulted = true;
  RtlUnwindEx(establisher, vantorelix_captured_call_return, record, nullptr, dispatch->ContextRecord,
              dispatch->HistoryTable);
  return ExceptionContinueSearch;  // not reached: the unwind resumes the captured call
}

bool capturedCall(void (*call)(void*), void* context, FaultRecord& fault) {
  CaptureFrame frame;
  frame.fault = &fault;
  vantorelix_captured_call(call, context, &frame);
  return !frame.faulted;
}

#else
#error "no structured exception capture for this processor"
#endif

// The thread's stack, as far as placing its guard pages needs it.
struct ThreadStack {
  char* end = nullptr;      // the lowest address of the stack's reservation
  char* pointer = nullptr;  // the stack pointer of the frame that asked
  size_t pageSize = 0;
};

__attribute__((always_inline)) inline char* stackPointer() {
  char* sp;
#if defined(__x86_64__)
  asm volatile("movq %%rsp, %0" : "=r"(sp));
#else
  asm volatile("movl %%esp, %0" : "=r"(sp));
#endif
  return sp;
}

__attribute__((always_inline)) inline ThreadStack currentStack() {
  ThreadStack stack;
  char* sp = stackPointer();
  MEMORY_BASIC_INFORMATION current{};
  if (!VirtualQuery(sp, &current, sizeof current)) return stack;
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  stack.end = static_cast<char*>(current.AllocationBase);
  stack.pointer = sp;
  stack.pageSize = system.dwPageSize;
  return stack;
}

char* pageStart(char* p, size_t page) { return reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(p) & ~(page - 1)); }

// The room that a stack overflow's dispatch must find free above the stack's last page, in
// bytes. The thread's guarantee is raised to it (a guarantee only ever grows, and a larger one
// stays): the system then raises the overflow while that much of the stack is still unused,
// and leaves it to the dispatch. The x86_64 dispatch was measured to write 2.7 KB below the
// page that raised the overflow; the rest is for the handlers of the frames that the unwind
// passes (C++ personality routines of deeper modules among them). The raised guarantee stays
// with the thread for its lifetime.
size_t raiseStackGuarantee() {
  constexpr ULONG kRoom = 32 * 1024;
  ULONG previous = kRoom;
  if (!SetThreadStackGuarantee(&previous)) return 0;
  return previous > kRoom ? previous : kRoom;
}

// After a guard was moved up, code that probes its frames only below the stack limit must
// meet it: the limit goes up to the guard's upper end. Never above the stack pointer less a
// page: Windows' dispatcher takes a handler frame that lies outside [limit, base) for a
// corrupt chain and ends the process.
void raiseStackLimitTo(char* guardTop, const ThreadStack& stack) {
  assert(guardTop <= stack.pointer - stack.pageSize);
  if (guardTop > stack.pointer - stack.pageSize) return;
  NT_TIB* tib = threadInformationBlock();
  if (static_cast<char*>(tib->StackLimit) < guardTop) tib->StackLimit = guardTop;
}

// Wine only. Wine keeps a thread's first guard page directly above the stack's last page and
// raises the overflow only when that guard is touched, so the dispatch finds no room below the
// faulting frame (on x86_64 it writes its context 2.7 KB below it) and Wine ends the process.
// Windows keeps its guard region the guarantee above the stack's end by itself. Under Wine the
// guard is therefore moved, before each captured call, to no lower than the guarantee's room
// above the stack's end (the overflow's dispatch then has that room), and the stack limit
// with it.
void placeStackGuardPageForWine(size_t guarantee) {
  const ThreadStack stack = currentStack();
  if (!stack.end) return;
  const size_t page = stack.pageSize;
  char* lowest = stack.end + page + guarantee;  // the lowest place for the guard
  // The lowest committed page that may be touched: the guard, or the top of what an
  // overflow left behind.
  MEMORY_BASIC_INFORMATION region{};
  for (char* p = stack.end;
       p < stack.pointer && VirtualQuery(p, &region, sizeof region) && region.AllocationBase == stack.end;
       p = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State != MEM_COMMIT || region.Protect == PAGE_NOACCESS) continue;
    char* base = static_cast<char*>(region.BaseAddress);
    bool guarded = region.Protect & PAGE_GUARD;
    if (guarded && base >= lowest) return;  // in place, with room below
    char* guard = base > lowest ? base : lowest;
    // Only a page well below the frames in use now.
    if (guard + 2 * page > stack.pointer) return;
    DWORD previous = 0;
    // A guard too close to the end gives way to the one placed higher.
    if (guarded && guard > base &&
        !VirtualProtect(base, std::min<size_t>(region.RegionSize, guard - base), PAGE_READWRITE, &previous))
      return;
    if (!VirtualProtect(guard, page, PAGE_READWRITE | PAGE_GUARD, &previous)) return;
    raiseStackLimitTo(guard + page, stack);
    return;
  }
}

// After a stack overflow no guard is left below the frames in use (the system gave the pages
// of the guarantee to the dispatch), and the next overflow would end the process. The guard
// is put back as the runtime library's _resetstkoflw does: a region of the guarantee and one
// page more, two pages at least, committed and guarded below the current frames and never
// lower than one page above the stack's end. One plain page stays between the frames and the
// region, for the calls that place it and for the stack limit's rule.
void rearmAfterOverflow(size_t guarantee) {
  const ThreadStack stack = currentStack();
  if (!stack.end) return;
  const size_t page = stack.pageSize;
  const size_t size = std::max((guarantee + page - 1) / page * page + page, 2 * page);
  char* top = pageStart(stack.pointer, page) - page;
  if (top < stack.end + page + size) return;  // no room left: the stack stays as the overflow left it
  char* guard = top - size;
  if (!VirtualAlloc(guard, size, MEM_COMMIT, PAGE_READWRITE)) return;
  DWORD previous = 0;
  if (!VirtualProtect(guard, size, PAGE_READWRITE | PAGE_GUARD, &previous)) return;
  raiseStackLimitTo(top, stack);
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

bool hasSse() { return IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE); }

}  // namespace

// A fault also leaves pending exception flags and values on the x87 register stack, which must
// be empty again at a call boundary: eight such leftovers and every later x87 load gives NaN.
// The restore therefore resets the x87 unit before it loads the control word.
FloatingPointControl saveFloatingPointControl() noexcept {
  FloatingPointControl s;
  asm volatile("fnstcw %0" : "=m"(s.x87));
  if (hasSse()) asm volatile("stmxcsr %0" : "=m"(s.sse));
  return s;
}

void restoreFloatingPointControl(const FloatingPointControl& s) noexcept {
  asm volatile("fninit\n\tfldcw %0" : : "m"(s.x87));
  if (hasSse()) asm volatile("ldmxcsr %0" : : "m"(s.sse));
}

bool callCapturingFault(void (*call)(void*), void* context, FaultRecord& fault) noexcept {
  const FloatingPointControl floatingPoint = saveFloatingPointControl();
  const size_t guarantee = raiseStackGuarantee();
  // Wine only: its first guard page sits directly on the stack's last page (see there).
  if (runningUnderWine()) placeStackGuardPageForWine(guarantee);
  if (capturedCall(call, context, fault)) return true;
  restoreFloatingPointControl(floatingPoint);
  if (fault.code == fault_code::kStackOverflow) rearmAfterOverflow(guarantee);
  return false;
}

std::u16string faultText(const FaultRecord& fault) {
  return faultMessage(fault, moduleFileNameAt(fault.address), static_cast<int>(2 * sizeof(void*)),
                      [](int id) { return frameText(static_cast<UINT>(id)); });
}

}  // namespace vantorelix
