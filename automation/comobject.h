// The object as COM sees it: TComObject (IUnknown, ISupportErrorInfo), TTypedComObject
// (IProvideClassInfo) and TAutoObject (IDispatch), with the guard that every method body runs
// under and the conversion of raised errors into HRESULTs and error information.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include "automation/errors.h"
#include "automation/fastdispatch.h"
#include "automation/frame_strings.h"

namespace vantorelix {

class TComObject;

// One interface that a class adds: its IID and where its pointer lies in an object.
struct InterfaceEntry {
  const IID* iid;
  IUnknown* (*get)(TComObject* object);
};

// What a factory knows of the class it creates: the name, the interfaces the class adds
// (searched before those of its base), and how to make a new instance.
struct ComClass {
  const char16_t* name;
  const ComClass* base;
  const InterfaceEntry* entries;
  size_t entryCount;
  TComObject* (*create)();
};

// The entry of `iid` in `cls` or one of its bases, most derived class first.
const InterfaceEntry* findInterfaceEntry(const ComClass& cls, REFIID iid);

// What an object asks of the factory that made it. The server's factory chain answers (each
// level the questions of its own level: the plain factory the first three, the typed one the
// class's type information, the automation one the dispatch interface), so that the object
// knows nothing of the server: the dependency runs from the server to the object, never back.
class ObjectFactory {
 public:
  virtual REFIID errorIID() const = 0;
  virtual const std::u16string& progID() const = 0;
  virtual std::u16string helpFileName() const = 0;
  virtual ITypeInfo* classTypeInfo() const = 0;
  virtual ITypeInfo* dispatchTypeInfo() const = 0;
  virtual const InterfaceEntry& dispatchEntry() const = 0;
  // The DISPID of a member of the dispatch interface by its name, in any letter case; false for
  // a name it does not know.
  virtual bool findMemberId(const wchar_t* name, DISPID& id) const = 0;
  // The fast path of Invoke for ordinary calls, read from the same type information.
  virtual const FastDispatch& fastDispatch() const = 0;

 protected:
  ~ObjectFactory() = default;
};

// The server's count of live objects, which every object joins at creation and leaves at
// destruction: set by the server when it starts. It counts nothing once the library is being
// unloaded.
using ObjectCounter = LONG (*)(bool created);
void setObjectCounter(ObjectCounter counter);

class TComObject : public ISupportErrorInfo {
 public:
  static const ComClass comClass;

  TComObject(const TComObject&) = delete;
  TComObject& operator=(const TComObject&) = delete;

  // Called by the factory right after `new`: counts the object in the server and runs
  // initialize with the reference count held at 1, then puts it back to 0.
  void construct(ObjectFactory& factory, IUnknown* controller);

  virtual void initialize();
  virtual ULONG nonDelegatingAddRef();
  virtual HRESULT nonDelegatingQueryInterface(REFIID iid, void** out);
  virtual ULONG nonDelegatingRelease();
  // Turns an error raised in a method body into an HRESULT and the thread's error information.
  virtual HRESULT reportMethodError(const Exception& error);

  // IUnknown of every interface but the object's own: forwards to the controlling IUnknown
  // when the object is aggregated.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  IUnknown* nonDelegatingUnknown() { return &inner_; }
  ObjectFactory& factory() const { return *factory_; }
  LONG refCount() const { return refCount_; }

 protected:
  friend class TComObjectFactory;  // the server's factory destroys an object that no query has taken
  TComObject();
  virtual ~TComObject();
  virtual const ComClass& interfaceTable() const { return comClass; }

 private:
  // The object's own identity: a separate interface pointer whose methods never delegate.
  struct OwnUnknown final : IUnknown {
    TComObject* self;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      return self->nonDelegatingQueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return self->nonDelegatingAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return self->nonDelegatingRelease(); }
  };

  OwnUnknown inner_;
  volatile LONG refCount_ = 0;
  IUnknown* controller_ = nullptr;  // not reference-counted: the outer object owns us
  ObjectFactory* factory_ = nullptr;
  bool counted_ = false;
};

class TTypedComObject : public TComObject, public IProvideClassInfo {
 public:
  static const ComClass comClass;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return TComObject::QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return TComObject::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return TComObject::Release(); }

  // IProvideClassInfo
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override;

 protected:
  TTypedComObject() = default;
  const ComClass& interfaceTable() const override { return comClass; }
};

class TAutoObject : public TTypedComObject, public IDispatch {
 public:
  static const ComClass comClass;

  void initialize() override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return TComObject::QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return TComObject::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return TComObject::Release(); }

  // IDispatch, answered from the type information of the dispatch interface
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* out) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

 protected:
  TAutoObject() = default;
  const ComClass& interfaceTable() const override { return comClass; }

 private:
  IUnknown* dispatchInstance_ = nullptr;        // the dispatch interface's pointer in this object
  const FastDispatch* fastDispatch_ = nullptr;  // the factory's fast path of Invoke
};

// Raises again, in the calling body, a failed HRESULT of a method called directly on the same
// object, with the description that call left in the thread's error information.
void rethrowFailedCall(HRESULT hr);

// What an answer that is the same for every failure hides. Called in a catch block, it writes
// one line to the debugger through OutputDebugStringW (DebugView, or any attached debugger,
// shows it):
//   Vantorelix: <where> answered <answer>, dropping <what was caught>
// where what was caught is the error class with its HRESULT where it carries one and its
// message, or the kind of a standard exception. It allocates nothing and never throws.
void traceDroppedError(const char16_t* where, const char16_t* answer) noexcept;

// The catch-and-return of the exported entry points and the class factory, whose callers see
// one HRESULT for any failure: traces what that answer drops and returns it.
//   catch (...) { return answerAtEdge(u"DllRegisterServer", E_FAIL); }
HRESULT answerAtEdge(const char16_t* edge, HRESULT answer) noexcept;

namespace guard_detail {
inline void clearResult(BSTR* result) { *result = nullptr; }
inline void clearResult(VARIANT* result) { std::memset(result, 0, sizeof(VARIANT)); }
template <class T>
inline void clearResult(T*) {}  // numbers and truth values are written only when produced
}  // namespace guard_detail

// The convention of every method body: the result is cleared (a string to null, a VARIANT to
// Empty, without releasing what the location held), the body runs, and the method returns
// S_OK; an error raised in the body becomes the HRESULT that reportMethodError gives.
template <class Body>
HRESULT guardedBody(TComObject& self, Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (const Exception& error) {
    return self.reportMethodError(error);
  } catch (const std::bad_alloc&) {
    try {
      return self.reportMethodError(Exception(frameText(IDS_OUT_OF_MEMORY)));
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  } catch (...) {
    return E_UNEXPECTED;
  }
}

template <class Result, class Body>
HRESULT methodGuard(TComObject& self, Result* result, Body&& body) noexcept {
  if (!result) return E_POINTER;  // an early-bound caller gave no place for the result
  guard_detail::clearResult(result);
  return guardedBody(self, body);
}

}  // namespace vantorelix
