// The process's committed private memory, for the programs that watch a method's memory over
// many calls (link psapi).
#pragma once

#include <windows.h>
#include <psapi.h>

#include <cstddef>

namespace vtest {

// In bytes; 0 when the platform does not say.
inline size_t privateBytes() {
  PROCESS_MEMORY_COUNTERS_EX c{};
  c.cb = sizeof c;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof c)) return 0;
  return c.PrivateUsage ? c.PrivateUsage : c.PagefileUsage;
}

}  // namespace vtest
