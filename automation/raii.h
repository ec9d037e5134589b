// Small owners of platform resources. Method bodies hold every handle, module, key, text and
// array in one of these, so that nothing leaks on any path, also when an error is raised.
// One vocabulary for all of them: `adopt(raw)` takes ownership of a value the platform handed
// out (never a copy of it), `release()` hands ownership back without freeing, `reset()` frees
// now. Bstr's constructor from text copies the text; adopting a BSTR is always spelled out.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <objbase.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>

#include <wrl/client.h>

namespace vantorelix {

using Microsoft::WRL::ComPtr;

inline const wchar_t* wptr(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline wchar_t* wptr(std::u16string& s) { return reinterpret_cast<wchar_t*>(&s[0]); }
inline const char16_t* u16ptr(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }

// The text of an automation string; a null BSTR is the empty string.
inline std::u16string_view bstrView(BSTR s) {
  return s ? std::u16string_view(u16ptr(s), SysStringLen(s)) : std::u16string_view();
}

// A zero-terminated UTF-16 text owned by the caller, up to its first zero unit.
// A view of `s` up to its first zero unit within `capacity`, without a copy.
inline std::u16string_view viewUpToZero(const wchar_t* s, size_t capacity) {
  size_t n = 0;
  while (n < capacity && s[n] != 0) ++n;
  return std::u16string_view(u16ptr(s), n);
}
inline std::u16string textUpToZero(const wchar_t* s, size_t capacity) { return std::u16string(viewUpToZero(s, capacity)); }

// A zero-filled buffer of UTF-16 units for a platform call to write a text into: on the stack
// for path-sized texts, on the heap beyond.
class TextBuffer {
 public:
  explicit TextBuffer(size_t size) : size_(size) {
    if (size > kInline) {
      heap_ = new wchar_t[size];
      data_ = heap_;
    }
    for (size_t i = 0; i < size; ++i) data_[i] = 0;
  }
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  ~TextBuffer() { delete[] heap_; }
  wchar_t* data() { return data_; }
  size_t size() const { return size_; }
  // What the platform wrote: the text up to the first zero unit.
  std::u16string_view text() const { return viewUpToZero(data_, size_); }

 private:
  static constexpr size_t kInline = MAX_PATH + 4;
  wchar_t inline_[kInline];
  wchar_t* heap_ = nullptr;
  wchar_t* data_ = inline_;
  size_t size_;
};

class Bstr {
 public:
  Bstr() = default;
  static Bstr adopt(BSTR owned) {
    Bstr b;
    b.s_ = owned;
    return b;
  }
  explicit Bstr(std::u16string_view text) {
    if (!text.empty()) {
      s_ = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
      if (!s_) throw std::bad_alloc();
    }
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
  ~Bstr() { SysFreeString(s_); }
  BSTR get() const { return s_; }
  BSTR* out() { reset(); return &s_; }
  BSTR release() { return std::exchange(s_, nullptr); }
  void reset() { SysFreeString(std::exchange(s_, nullptr)); }
  std::u16string_view view() const { return bstrView(s_); }

 private:
  BSTR s_ = nullptr;
};

// A result string: the empty text is returned as a null BSTR.
inline BSTR newResultString(std::u16string_view text) { return Bstr(text).release(); }

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }
  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  VARIANT release() { VARIANT out = v_; VariantInit(&v_); return out; }

 private:
  VARIANT v_;
};

class SafeArray {
 public:
  SafeArray() = default;
  static SafeArray adopt(SAFEARRAY* owned) {
    SafeArray a;
    a.a_ = owned;
    return a;
  }
  SafeArray(const SafeArray&) = delete;
  SafeArray& operator=(const SafeArray&) = delete;
  SafeArray(SafeArray&& o) noexcept : a_(std::exchange(o.a_, nullptr)) {}
  ~SafeArray() { reset(); }
  SAFEARRAY* get() const { return a_; }
  SAFEARRAY* release() { return std::exchange(a_, nullptr); }
  void reset() {
    if (a_) SafeArrayDestroy(a_);
    a_ = nullptr;
  }

 private:
  SAFEARRAY* a_ = nullptr;
};

class Handle {
 public:
  Handle() = default;
  static Handle adopt(HANDLE owned) {
    Handle h;
    h.h_ = owned;
    return h;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
  ~Handle() { reset(); }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }
  HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
  void reset() {
    if (valid()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

class Module {
 public:
  Module() = default;
  static Module adopt(HMODULE owned) {
    Module m;
    m.m_ = owned;
    return m;
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  Module(Module&& o) noexcept : m_(std::exchange(o.m_, nullptr)) {}
  ~Module() { reset(); }
  HMODULE get() const { return m_; }
  explicit operator bool() const { return m_ != nullptr; }
  HMODULE release() { return std::exchange(m_, nullptr); }
  void reset() {
    if (m_) FreeLibrary(m_);
    m_ = nullptr;
  }

 private:
  HMODULE m_ = nullptr;
};

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { if (k_) RegCloseKey(k_); }
  HKEY* out() { return &k_; }
  HKEY get() const { return k_; }
  HKEY release() { return std::exchange(k_, nullptr); }
  // Closes now and reports the result, for callers that must examine it.
  LONG reset() { LONG r = k_ ? RegCloseKey(k_) : ERROR_SUCCESS; k_ = nullptr; return r; }

 private:
  HKEY k_ = nullptr;
};

// A text that the COM runtime allocated (StringFromCLSID, ProgIDFromCLSID).
class CoTaskText {
 public:
  CoTaskText() = default;
  CoTaskText(const CoTaskText&) = delete;
  CoTaskText& operator=(const CoTaskText&) = delete;
  ~CoTaskText() { CoTaskMemFree(p_); }
  LPOLESTR* out() { return &p_; }
  std::u16string text() const { return p_ ? std::u16string(u16ptr(p_)) : std::u16string(); }

 private:
  LPOLESTR p_ = nullptr;
};

// Scoped hold of a slim reader/writer lock.
class SharedLock {
 public:
  explicit SharedLock(SRWLOCK& l) : l_(l) { AcquireSRWLockShared(&l_); }
  ~SharedLock() { ReleaseSRWLockShared(&l_); }
  SharedLock(const SharedLock&) = delete;
  SharedLock& operator=(const SharedLock&) = delete;

 private:
  SRWLOCK& l_;
};

class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK& l) : l_(l) { AcquireSRWLockExclusive(&l_); }
  ~ExclusiveLock() { ReleaseSRWLockExclusive(&l_); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK& l_;
};

}  // namespace vantorelix
