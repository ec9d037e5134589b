// The state of the calling thread that a call into foreign code must leave as it was: the
// head of the exception handler chain and the floating-point control words.
#pragma once

#include <cstdint>

namespace vtest {

// The head of this thread's handler chain on i686; 0 on x86_64, which has no chain in the
// thread (its handlers are in the unwind tables).
inline uint32_t handlerChainHead() {
  uint32_t head = 0;
#if defined(__i386__)
  asm volatile("movl %%fs:0, %0" : "=r"(head));
#endif
  return head;
}

inline uint16_t x87Control() {
  uint16_t c = 0;
  asm volatile("fnstcw %0" : "=m"(c));
  return c;
}
// The control bits of MXCSR, not its sticky flags.
inline uint32_t sseControl() {
  uint32_t c = 0;
  asm volatile("stmxcsr %0" : "=m"(c));
  return c & 0xFFC0;
}

}  // namespace vtest
