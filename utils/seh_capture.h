// Capture of structured exceptions (processor faults, RaiseException) for a compiler without
// __try: a captured call that a fault ends and returns from, with the exception's data.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>

#include "automation/errors.h"
#include "utils/seh_message_logic.h"

namespace vantorelix {

// The thread's information block (its self pointer; the compiler's own reading of it trips
// its bounds check).
inline NT_TIB* threadInformationBlock() {
  NT_TIB* tib;
#if defined(_WIN64)
  asm("movq %%gs:0x30, %0" : "=r"(tib));
#else
  asm("movl %%fs:0x18, %0" : "=r"(tib));
#endif
  return tib;
}

// The thread's floating-point control words: the x87 control word and the SSE control/status
// register, which code of another module may change (unmasking floating-point exceptions, say).
struct FloatingPointControl {
  uint16_t x87 = 0;
  uint32_t sse = 0;
};
FloatingPointControl saveFloatingPointControl() noexcept;
// Puts them back, the x87 unit reset first: no pending exception, an empty register stack.
void restoreFloatingPointControl(const FloatingPointControl& saved) noexcept;

// The thread's floating-point control words of the moment, put back when the scope ends, on
// every path.
class KeptFloatingPointControl {
 public:
  KeptFloatingPointControl() noexcept : saved_(saveFloatingPointControl()) {}
  ~KeptFloatingPointControl() { restoreFloatingPointControl(saved_); }
  KeptFloatingPointControl(const KeptFloatingPointControl&) = delete;
  KeptFloatingPointControl& operator=(const KeptFloatingPointControl&) = delete;

 private:
  FloatingPointControl saved_;
};

// Runs call(context). When a structured exception leaves `call` unhandled, the frames inside it
// are unwound, `fault` receives the exception's data, the thread's floating-point control words
// are put back as they were (and, after a stack overflow, a guard below the frames in use), and
// the result is false. Exceptions that `call` handles itself, and any raised outside it, are
// left alone. `call` must not let a C++ exception out. The thread's stack guarantee is raised
// to 32 KB (a larger one stays) and stays raised for the thread's lifetime.
bool callCapturingFault(void (*call)(void*), void* context, FaultRecord& fault) noexcept;

// The message for a captured fault, naming the module that holds the faulting instruction.
std::u16string faultText(const FaultRecord& fault);

// Runs `body`; a structured exception that it leaves unhandled is raised as an Exception whose
// message is faultText. C++ exceptions of the body travel on unchanged. Objects that the body
// itself holds are not destroyed when a fault ends it: keep it to plain calls.
template <class Body>
void raiseFaultsAsErrors(Body&& body) {
  struct Call {
    Body* body;
    std::exception_ptr error;
  } call{&body, nullptr};
  FaultRecord fault;
  bool completed = callCapturingFault(
      [](void* p) {
        auto* c = static_cast<Call*>(p);
        try {
          (*c->body)();
        } catch (...) {
          c->error = std::current_exception();  // never through the capture frame
        }
      },
      &call, fault);
  if (!completed) throw Exception(faultText(fault));
  if (call.error) std::rethrow_exception(call.error);
}

}  // namespace vantorelix
