// The one set of variant builders of the tests: values, references and arrays of variants
// built by hand as a caller would pass them. Each builder hands back a VARIANT that owns what
// it holds (give it to Owned, or to invoke as an argument, or clear it); a reference and a
// borrowed text own nothing.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <initializer_list>
#include <string_view>
#include <vector>

#include "automation/raii.h"

namespace vtest {

inline VARIANT scalar(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = vt;
  return v;
}
inline VARIANT i2(SHORT x) { VARIANT v = scalar(VT_I2); V_I2(&v) = x; return v; }
inline VARIANT i4(LONG x) { VARIANT v = scalar(VT_I4); V_I4(&v) = x; return v; }
inline VARIANT ui4(ULONG x) { VARIANT v = scalar(VT_UI4); V_UI4(&v) = x; return v; }
inline VARIANT r8(double x) { VARIANT v = scalar(VT_R8); V_R8(&v) = x; return v; }
inline VARIANT truth(bool x) { VARIANT v = scalar(VT_BOOL); V_BOOL(&v) = x ? VARIANT_TRUE : VARIANT_FALSE; return v; }
inline VARIANT str(std::u16string_view s) {
  VARIANT v = scalar(VT_BSTR);
  V_BSTR(&v) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
  return v;
}
inline VARIANT str(const wchar_t* s) { VARIANT v = scalar(VT_BSTR); V_BSTR(&v) = SysAllocString(s); return v; }
// A string argument that stays the caller's: the callee sees the caller's own BSTR.
inline VARIANT borrowed(BSTR s) { VARIANT v = scalar(VT_BSTR); V_BSTR(&v) = s; return v; }
inline VARIANT null() { return scalar(VT_NULL); }
// An optional argument left out, as a late-bound caller passes it.
inline VARIANT missing() { VARIANT v = scalar(VT_ERROR); V_ERROR(&v) = DISP_E_PARAMNOTFOUND; return v; }
// A reference to a variable, as a script passes it: VT_BYREF | VT_VARIANT, owning nothing.
inline VARIANT referenceTo(VARIANT& variable) {
  VARIANT v = scalar(VT_BYREF | VT_VARIANT);
  V_VARIANTREF(&v) = &variable;
  return v;
}

// A one-dimensional array of variants (taking over the given values), lower bound `lower`.
inline VARIANT arrayOf(std::initializer_list<VARIANT> values, LONG lower = 0) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(values.size()), lower};
  SAFEARRAY* a = SafeArrayCreate(VT_VARIANT, 1, &bound);
  LONG i = lower;
  for (VARIANT v : values) {
    SafeArrayPutElement(a, &i, &v);
    VariantClear(&v);
    ++i;
  }
  VARIANT out = scalar(VT_ARRAY | VT_VARIANT);
  V_ARRAY(&out) = a;
  return out;
}
// The same holding 32-bit integers.
inline VARIANT intArray(const std::vector<LONG>& values, LONG lower = 0) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(values.size()), lower};
  SAFEARRAY* a = SafeArrayCreate(VT_VARIANT, 1, &bound);
  for (size_t i = 0; i < values.size(); ++i) {
    LONG index = lower + static_cast<LONG>(i);
    VARIANT e = i4(values[i]);
    SafeArrayPutElement(a, &index, &e);
  }
  VARIANT out = scalar(VT_ARRAY | VT_VARIANT);
  V_ARRAY(&out) = a;
  return out;
}

// The owner of the variants in the tests is the product's own, vantorelix::Variant: Owned only
// adds the constructor that takes over a value built above, and a name for the value held.
class Owned : public vantorelix::Variant {
 public:
  explicit Owned(VARIANT built) { *get() = built; }
  VARIANT& v() { return *get(); }
};

}  // namespace vtest
