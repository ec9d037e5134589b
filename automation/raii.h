// Small owners of platform resources. Method bodies hold every handle, module, key, text, array
// and borrowed description in one of these, so that nothing leaks on any path, also when an
// error is raised. Each is a UniqueOwner, and all of them share its vocabulary:
//  - `adopt(raw)` takes ownership of a value the platform handed out (never a copy of it);
//  - `get()` is the value as platform calls take it, still owned (a Variant's is the address of
//    the VARIANT it holds, since calls take variants by address);
//  - `out()` frees what is held and gives the address for a call to write a new value into;
//  - `release()` hands the value back without freeing it, and holds nothing afterwards;
//  - `reset(raw)` frees what is held now and holds `raw` instead (nothing without an argument);
//  - `explicit operator bool` tells whether something is held.
// A free keeps the thread's last-error code: a caller that reads GetLastError after an owner
// went reads what the failing call set. Bstr's constructor from text copies the text; adopting
// a BSTR is always spelled out.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <objbase.h>

#include <cstring>
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
inline std::u16string textUpToZero(const wchar_t* s, size_t capacity) {
  return std::u16string(viewUpToZero(s, capacity));
}

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

// The thread's last-error code, put back when this goes.
class KeptLastError {
 public:
  KeptLastError() noexcept : code_(GetLastError()) {}
  ~KeptLastError() { SetLastError(code_); }
  KeptLastError(const KeptLastError&) = delete;
  KeptLastError& operator=(const KeptLastError&) = delete;

 private:
  DWORD code_;
};

// The one owner of the vocabulary above, for any kind of value that Traits describes:
//   using type = ...;                 the raw value (a handle, a pointer, a small structure)
//   static type none();               the value that holds nothing
//   static bool held(const type& v);  whether `v` holds something to free
//   static void free(type v);         frees a held value; never throws
// Move-only: a move hands the value over and leaves the source holding nothing.
template <typename Traits>
class UniqueOwner {
 public:
  using type = typename Traits::type;

  UniqueOwner() noexcept : value_(Traits::none()) {}
  static UniqueOwner adopt(type owned) noexcept {
    UniqueOwner o;
    o.value_ = owned;
    return o;
  }
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;
  UniqueOwner(UniqueOwner&& o) noexcept : value_(o.release()) {}
  UniqueOwner& operator=(UniqueOwner&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~UniqueOwner() { dispose(value_); }

  type get() const noexcept { return value_; }
  type* out() noexcept {
    reset();
    return &value_;
  }
  type release() noexcept { return std::exchange(value_, Traits::none()); }
  // The new value is in place before the old one is freed.
  void reset(type raw = Traits::none()) noexcept { dispose(std::exchange(value_, raw)); }
  explicit operator bool() const noexcept { return Traits::held(value_); }

 protected:
  type* address() noexcept { return &value_; }
  const type* address() const noexcept { return &value_; }

 private:
  static void dispose(type value) noexcept {
    if (!Traits::held(value)) return;
    KeptLastError kept;
    Traits::free(value);
  }

  type value_;
};

// A kind of pointer that the platform frees with one call, null holding nothing.
template <typename Pointer, auto Free>
struct PointerTraits {
  using type = Pointer;
  static type none() noexcept { return nullptr; }
  static bool held(type p) noexcept { return p != nullptr; }
  static void free(type p) noexcept { Free(p); }
};

// The frees themselves, as functions of this library: an imported function's address is no
// constant that a template can take.
inline void freeBstr(BSTR s) noexcept { SysFreeString(s); }
inline void destroySafeArray(SAFEARRAY* a) noexcept { SafeArrayDestroy(a); }
inline void freeModule(HMODULE m) noexcept { FreeLibrary(m); }
inline void closeRegKey(HKEY k) noexcept { RegCloseKey(k); }
inline void freeCoTaskText(LPOLESTR p) noexcept { CoTaskMemFree(p); }

using BstrTraits = PointerTraits<BSTR, freeBstr>;
using SafeArrayTraits = PointerTraits<SAFEARRAY*, destroySafeArray>;
using ModuleTraits = PointerTraits<HMODULE, freeModule>;
using RegKeyTraits = PointerTraits<HKEY, closeRegKey>;
using CoTaskTextTraits = PointerTraits<LPOLESTR, freeCoTaskText>;

// A kernel handle: both INVALID_HANDLE_VALUE (what file calls give on failure) and null (what
// most others give) hold nothing; an empty Handle is INVALID_HANDLE_VALUE.
struct HandleTraits {
  using type = HANDLE;
  static type none() noexcept { return INVALID_HANDLE_VALUE; }
  static bool held(type h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void free(type h) noexcept { CloseHandle(h); }
};

// A VARIANT is a value, not a handle: it holds something while its type is not Empty, and a
// copy of it frees what the original holds.
struct VariantTraits {
  using type = VARIANT;
  static type none() noexcept {
    VARIANT v;
    std::memset(&v, 0, sizeof v);  // VT_EMPTY
    return v;
  }
  static bool held(const type& v) noexcept { return V_VT(&v) != VT_EMPTY; }
  static void free(type v) noexcept { VariantClear(&v); }
};

using SafeArray = UniqueOwner<SafeArrayTraits>;
using Handle = UniqueOwner<HandleTraits>;
using Module = UniqueOwner<ModuleTraits>;
using RegKey = UniqueOwner<RegKeyTraits>;

class Bstr : public UniqueOwner<BstrTraits> {
 public:
  Bstr() = default;
  static Bstr adopt(BSTR owned) noexcept {
    Bstr b;
    b.reset(owned);
    return b;
  }
  explicit Bstr(std::u16string_view text) {
    if (text.empty()) return;
    BSTR s = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    if (!s) throw std::bad_alloc();
    reset(s);
  }
  std::u16string_view view() const { return bstrView(get()); }
};

// A result string: the empty text is returned as a null BSTR.
inline BSTR newResultString(std::u16string_view text) { return Bstr(text).release(); }

class Variant : public UniqueOwner<VariantTraits> {
 public:
  Variant() = default;
  static Variant adopt(VARIANT owned) noexcept {
    Variant v;
    v.reset(owned);
    return v;
  }
  VARIANT* get() noexcept { return address(); }
  const VARIANT* get() const noexcept { return address(); }
};

// A text that the COM runtime allocated (StringFromCLSID, ProgIDFromCLSID).
class CoTaskText : public UniqueOwner<CoTaskTextTraits> {
 public:
  CoTaskText() = default;
  static CoTaskText adopt(LPOLESTR owned) noexcept {
    CoTaskText t;
    t.reset(owned);
    return t;
  }
  std::u16string text() const { return get() ? std::u16string(u16ptr(get())) : std::u16string(); }
};

// The data of an array, locked in place by SafeArrayAccessData while this holds the array, and
// unlocked by SafeArrayUnaccessData when it goes.
struct SafeArrayDataTraits {
  using type = SAFEARRAY*;
  static type none() noexcept { return nullptr; }
  static bool held(type a) noexcept { return a != nullptr; }
  static void free(type a) noexcept { SafeArrayUnaccessData(a); }
};
class SafeArrayData : public UniqueOwner<SafeArrayDataTraits> {
 public:
  SafeArrayData() = default;
  // Locks `array`; holds nothing when the platform refuses, with its answer in `hr`.
  SafeArrayData(SAFEARRAY* array, HRESULT& hr) noexcept {
    hr = SafeArrayAccessData(array, &data_);
    if (SUCCEEDED(hr)) reset(array);
    else data_ = nullptr;
  }
  // The first element; null while nothing is held.
  void* data() const noexcept { return *this ? data_ : nullptr; }

 private:
  void* data_ = nullptr;
};

// A description that a type library or a type's information lends out (GetTypeAttr,
// GetFuncDesc, GetLibAttr) and takes back through the lender. The lender is not counted: it
// outlives the description wherever one is held.
template <typename Lender, typename Part, void (*GiveBack)(Lender*, Part*)>
struct LentTraits {
  struct type {
    Lender* lender;
    Part* part;
  };
  static type none() noexcept { return {nullptr, nullptr}; }
  static bool held(const type& v) noexcept { return v.part != nullptr; }
  static void free(type v) noexcept { GiveBack(v.lender, v.part); }
};
template <typename Lender, typename Part, void (*GiveBack)(Lender*, Part*)>
class LentPart : public UniqueOwner<LentTraits<Lender, Part, GiveBack>> {
 public:
  LentPart() = default;
  static LentPart adopt(Lender* lender, Part* part) noexcept {
    LentPart p;
    p.reset({lender, part});
    return p;
  }
  const Part* operator->() const noexcept { return this->get().part; }
  const Part& operator*() const noexcept { return *this->get().part; }
};

inline void giveBackTypeAttr(ITypeInfo* info, TYPEATTR* attr) { info->ReleaseTypeAttr(attr); }
inline void giveBackFuncDesc(ITypeInfo* info, FUNCDESC* desc) { info->ReleaseFuncDesc(desc); }
inline void giveBackLibAttr(ITypeLib* lib, TLIBATTR* attr) { lib->ReleaseTLibAttr(attr); }
using TypeAttr = LentPart<ITypeInfo, TYPEATTR, giveBackTypeAttr>;
using FuncDesc = LentPart<ITypeInfo, FUNCDESC, giveBackFuncDesc>;
using LibAttr = LentPart<ITypeLib, TLIBATTR, giveBackLibAttr>;

// The attributes of a type, or an empty owner when the platform gives none.
inline TypeAttr typeAttrOrNone(ITypeInfo* info) noexcept {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return TypeAttr();
  return TypeAttr::adopt(info, attr);
}

// The description of function `index` of a type, or an empty owner when the platform gives none.
inline FuncDesc funcDescOrNone(ITypeInfo* info, UINT index) noexcept {
  FUNCDESC* desc = nullptr;
  if (FAILED(info->GetFuncDesc(index, &desc))) return FuncDesc();
  return FuncDesc::adopt(info, desc);
}

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
