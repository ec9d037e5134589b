// What a program writes with OutputDebugStringW, read the two ways that it reaches people: as
// the program's debugger (runDebugged: OUTPUT_DEBUG_STRING_EVENTs), and as DebugView reads it
// while no debugger is attached (DebugMonitor: the session's DBWIN_BUFFER). Both hold on Windows
// and under Wine alike.
#pragma once

#include <windows.h>

#include <cstring>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "automation/raii.h"

namespace vtest {

inline std::string utf8(const std::wstring& s) {
  int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
  return out;
}

struct DebugLine {
  std::wstring text;
  bool wide = false;  // written as UTF-16; otherwise in the ANSI code page
};
struct Debugged {
  bool ended = false;
  DWORD exitCode = 0;
  std::vector<DebugLine> lines;
};

inline DebugLine readDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  DebugLine line;
  line.wide = info.fUnicode != 0;
  const size_t unit = line.wide ? sizeof(wchar_t) : 1;
  std::vector<char> bytes(size_t{info.nDebugStringLength} * unit + sizeof(wchar_t), 0);
  SIZE_T read = 0;
  ReadProcessMemory(process, info.lpDebugStringData, bytes.data(), bytes.size() - sizeof(wchar_t), &read);
  if (line.wide) {
    line.text = reinterpret_cast<const wchar_t*>(bytes.data());
  } else {
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), -1, nullptr, 0);
    line.text.assign(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, bytes.data(), -1, &line.text[0], n);
  }
  return line;
}

// Runs `command` as its debugger to the end and gives what it wrote with OutputDebugString.
// Exceptions that the debuggee raises are left to its own handlers, past the start-up
// breakpoint (the plain one, or a 32-bit process's under a 64-bit Windows).
inline Debugged runDebugged(std::wstring command) {
  constexpr DWORD kWow64Breakpoint = 0x4000001F;  // STATUS_WX86_BREAKPOINT
  Debugged result;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "cannot start " << utf8(command) << ": error " << GetLastError();
    return result;
  }
  vantorelix::Handle thread = vantorelix::Handle::adopt(process.hThread);
  vantorelix::Handle child = vantorelix::Handle::adopt(process.hProcess);
  const DWORD started = GetTickCount();
  bool stopped = false;
  while (!result.ended) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 1000)) {
      if (GetTickCount() - started < 120000) continue;
      if (stopped) break;
      ADD_FAILURE() << utf8(command) << " did not end within two minutes";
      TerminateProcess(child.get(), 1);
      stopped = true;
      continue;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT: vantorelix::Handle::adopt(event.u.CreateProcessInfo.hFile).reset(); break;
      case LOAD_DLL_DEBUG_EVENT: vantorelix::Handle::adopt(event.u.LoadDll.hFile).reset(); break;
      case OUTPUT_DEBUG_STRING_EVENT: result.lines.push_back(readDebugString(child.get(), event.u.DebugString)); break;
      case EXCEPTION_DEBUG_EVENT: {
        const DWORD code = event.u.Exception.ExceptionRecord.ExceptionCode;
        if (code != EXCEPTION_BREAKPOINT && code != kWow64Breakpoint) status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        result.exitCode = event.u.ExitProcess.dwExitCode;
        result.ended = true;
        break;
      default: break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  return result;
}

// The lines of the server's own trace.
inline std::vector<DebugLine> traceLines(const Debugged& run) {
  std::vector<DebugLine> out;
  for (const DebugLine& line : run.lines)
    if (line.text.rfind(L"Vantorelix: ", 0) == 0) out.push_back(line);
  return out;
}

inline void unmapView(void* view) noexcept { UnmapViewOfFile(view); }

// The session's debug buffer, read as DebugView reads it: OutputDebugString waits until
// DBWIN_BUFFER_READY is set, writes its process id and the text (in the ANSI code page) into
// DBWIN_BUFFER and sets DBWIN_DATA_READY. One monitor at a time: where another one (DebugView)
// holds the buffer already, this one is not usable.
class DebugMonitor {
 public:
  DebugMonitor() {
    buffer_ = vantorelix::Handle::adopt(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSize,
                                                           L"DBWIN_BUFFER"));
    alone_ = GetLastError() != ERROR_ALREADY_EXISTS;
    bufferReady_ = vantorelix::Handle::adopt(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    dataReady_ = vantorelix::Handle::adopt(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    if (buffer_) view_ = View::adopt(MapViewOfFile(buffer_.get(), FILE_MAP_READ, 0, 0, kSize));
  }
  bool usable() const { return alone_ && view_ && bufferReady_ && dataReady_; }

  // The one line that `write` writes; empty when none arrives within five seconds.
  std::wstring lineOf(const std::function<void()>& write) {
    SetEvent(bufferReady_.get());
    write();
    if (WaitForSingleObject(dataReady_.get(), 5000) != WAIT_OBJECT_0) return {};
    const char* data = static_cast<const char*>(view_.get());
    if (*reinterpret_cast<const DWORD*>(data) != GetCurrentProcessId()) return L"<another process wrote>";
    const std::string text(data + sizeof(DWORD), strnlen(data + sizeof(DWORD), kSize - sizeof(DWORD)));
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
  }

 private:
  using View = vantorelix::UniqueOwner<vantorelix::PointerTraits<void*, unmapView>>;
  static constexpr DWORD kSize = 4096;
  vantorelix::Handle buffer_, bufferReady_, dataReady_;
  View view_;
  bool alone_ = false;
};

}  // namespace vtest
