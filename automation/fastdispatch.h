// The fast path of IDispatch::Invoke: ordinary positional calls whose arguments are already
// of the declared types go straight to the vtable slot and have their result VARIANT built
// here, with the answer that the platform's ITypeInfo::Invoke gives the same call. Everything
// else is left to ITypeInfo::Invoke. The table that drives it is read from the type
// information of the dispatch interface when the factory starts; nothing here repeats the
// interface by hand.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "automation/raii.h"

namespace vantorelix {

// Passed as Invoke's interface identifier (which callers set to IID_NULL, and which the
// platform path does not read), it sends a call through ITypeInfo::Invoke even where the
// fast path could take it, so that a test can compare the two. The answer is the same
// either way; only the time differs.
// {8F6D1E52-3C0B-4A57-9E2D-61B7C4A90F13}
inline constexpr GUID kPlatformDispatchPath = {
    0x8f6d1e52, 0x3c0b, 0x4a57, {0x9e, 0x2d, 0x61, 0xb7, 0xc4, 0xa9, 0x0f, 0x13}};

// Whether `iid` is kPlatformDispatchPath: two 64-bit comparisons inline, where IsEqualGUID
// would call memcmp on every Invoke.
inline bool asksForPlatformPath(REFIID iid) {
  uint64_t given[2], path[2];
  std::memcpy(given, &iid, sizeof given);
  std::memcpy(path, &kPlatformDispatchPath, sizeof path);
  return given[0] == path[0] && given[1] == path[1];
}

class FastDispatch {
 public:
  // The most inputs a method may have to be called directly.
  static constexpr unsigned kMaxInputs = 9;

  // One input: its type as the method receives it (VT_BSTR, VT_I4, VT_UI4 or VT_BOOL; an int
  // counts as VT_I4 and an unsigned int as VT_UI4) and its declared default, if any.
  struct Param {
    VARTYPE type = VT_EMPTY;
    bool hasDefault = false;
    uintptr_t defaultValue = 0;
  };

  // One method that the fast path can call.
  struct Member {
    DISPID id = DISPID_UNKNOWN;
    size_t slot = 0;        // vtable index in the interface
    unsigned inputs = 0;    // declared inputs, without the result
    unsigned required = 0;  // inputs before the first one with a default
    Param params[kMaxInputs];
    VARTYPE result = VT_EMPTY;  // VT_EMPTY: no result; else as the caller receives it
  };

  // Reads the methods of `dispatchInfo` (the dispatch interface; of a dual interface the
  // vtable layout comes from its interface half). A method with a parameter or result type
  // that the fast path does not handle is left out, and so left to the platform.
  explicit FastDispatch(ITypeInfo* dispatchInfo);
  FastDispatch(const FastDispatch&) = delete;
  FastDispatch& operator=(const FastDispatch&) = delete;

  const Member* find(DISPID id) const;
  const std::vector<Member>& members() const { return members_; }

  // Calls the method on `instance` (the interface pointer of the vtable) when the call is one
  // that the fast path takes, and then returns true with the call's HRESULT in `hr`. Returns
  // false, having touched nothing, for every other call.
  bool invoke(void* instance, DISPID id, WORD flags, const DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
              HRESULT& hr) const;

 private:
  void addMember(ITypeInfo* info, const FUNCDESC& desc);

  std::vector<Member> members_;
  std::vector<int16_t> index_;  // member position by DISPID - firstId_, -1 for none
  DISPID firstId_ = 0;
  std::vector<Bstr> defaultTexts_;  // owners of the string defaults
};

}  // namespace vantorelix
