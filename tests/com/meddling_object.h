// An object whose default property runs the caller's code: reading it (as VariantChangeTypeEx
// does when it converts the object to an integer) calls `meddle` and then gives `value`. It
// stands for a script object whose default property changes the script's variables while a
// method is still converting the arguments made of them.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <functional>

namespace vtest {

class MeddlingObject : public IDispatch {
 public:
  MeddlingObject(LONG value, std::function<void()> meddle) : value_(value), meddle_(std::move(meddle)) {}
  int reads() const { return reads_; }
  LONG references() const { return refs_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // Lives on the test's stack: the count only tells that every reference came back.
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    ++reads_;
    if (meddle_) meddle_();
    VariantInit(result);
    V_VT(result) = VT_I4;
    V_I4(result) = value_;
    return S_OK;
  }

 private:
  volatile LONG refs_ = 1;  // the test's own
  LONG value_;
  std::function<void()> meddle_;
  int reads_ = 0;
};

// A variant holding the object (one more reference, given back by VariantClear).
inline VARIANT dispatchOf(MeddlingObject& object) {
  VARIANT v;
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = &object;
  object.AddRef();
  return v;
}


}  // namespace vtest
