#include "automation/variants.h"

#include <cstring>

#include "automation/ansi.h"
#include "automation/frame_strings.h"
#include "automation/text_logic.h"
#include "automation/variant_logic.h"

namespace vantorelix {
namespace {

using VarI4FromStrFn = HRESULT(WINAPI*)(const OLECHAR*, LCID, ULONG, LONG*);
using VarBoolFromStrFn = HRESULT(WINAPI*)(const OLECHAR*, LCID, ULONG, VARIANT_BOOL*);
using VariantChangeTypeExFn = HRESULT(WINAPI*)(VARIANTARG*, const VARIANTARG*, LCID, USHORT, VARTYPE);

VarI4FromStrFn gVarI4FromStr = nullptr;
VarBoolFromStrFn gVarBoolFromStr = nullptr;
VariantChangeTypeExFn gVariantChangeTypeEx = nullptr;

const LCID kConversionLocale = 0x400;  // LOCALE_USER_DEFAULT
const char16_t kIntegerName[] = u"Integer";
const char16_t kBooleanName[] = u"Boolean";

// A chain of by-reference variants longer than this is taken for a loop.
const int kMaxReferenceDepth = 64;

[[noreturn]] void raiseArrayError(HRESULT code) {
  throw EVariantError(variantFailureMessage(code, VariantFailure::arrayAccess), code);
}

[[noreturn]] void raiseConversionError(HRESULT code, std::u16string_view from, std::u16string_view to) {
  throw EVariantError(variantFailureMessage(code, VariantFailure::conversion, from, to), code);
}

// The variant at the end of a chain of by-reference variants (VT_BYREF | VT_VARIANT).
const VARIANT& followReferences(const VARIANT& value) {
  const VARIANT* v = &value;
  for (int depth = 0; V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v) && depth < kMaxReferenceDepth; ++depth)
    v = V_VARIANTREF(v);
  return *v;
}

// The array that an array variant holds, directly or through a pointer; null when it holds none.
SAFEARRAY* heldArray(const VARIANT& value) {
  const VARIANT& v = followReferences(value);
  if (!(V_VT(&v) & VT_ARRAY)) return nullptr;
  if (V_VT(&v) & VT_BYREF) return V_ARRAYREF(&v) ? *V_ARRAYREF(&v) : nullptr;
  return V_ARRAY(&v);
}

// The byte size of one element of an array of this element type, for the types whose
// elements can be read into a variant; 0 for any other.
ULONG readableElementSize(VARTYPE type) {
  switch (type) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE: return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN: return sizeof(void*);
    case VT_DECIMAL: return sizeof(DECIMAL);
    default: return 0;
  }
}

// The value that a by-reference scalar points to, as a plain variant that borrows its text or
// object (it must never be cleared). Values that are not by reference come back as they are.
VARIANT borrowReferenced(const VARIANT& v) {
  VARIANT plain = v;
  VARTYPE vt = V_VT(&v);
  if (!(vt & VT_BYREF) || !V_BYREF(&v)) return plain;
  VARTYPE base = vt & ~VT_BYREF;
  if (base & VT_ARRAY) {
    V_VT(&plain) = base;
    V_ARRAY(&plain) = *V_ARRAYREF(&v);
    return plain;
  }
  ULONG size = readableElementSize(base);
  if (size == 0) return plain;  // left to the platform's conversion as it is
  if (base == VT_DECIMAL) {
    std::memcpy(&V_DECIMAL(&plain), V_BYREF(&v), sizeof(DECIMAL));  // overlays the type field too
  } else {
    std::memset(&plain, 0, sizeof(plain));
    std::memcpy(&V_UI1(&plain), V_BYREF(&v), size);
  }
  V_VT(&plain) = base;
  return plain;
}

// A text read as a truth value: by the platform, then as a number in the user's locale, then
// as one of the words True and False.
bool truthOfText(BSTR text, std::u16string_view typeName) {
  if (!gVarBoolFromStr) raiseConversionError(E_NOTIMPL, typeName, kBooleanName);
  VARIANT_BOOL truth = VARIANT_FALSE;
  HRESULT hr = gVarBoolFromStr(text, kConversionLocale, 0, &truth);
  if (SUCCEEDED(hr)) return truth != VARIANT_FALSE;
  if (hr != DISP_E_TYPEMISMATCH) raiseConversionError(hr, typeName, kBooleanName);

  VARIANT source;
  V_VT(&source) = VT_BSTR;
  V_BSTR(&source) = text;  // borrowed; the conversion only reads it
  Variant number;
  if (gVariantChangeTypeEx && SUCCEEDED(gVariantChangeTypeEx(number.get(), &source, LOCALE_USER_DEFAULT, 0, VT_R8)))
    return V_R8(number.get()) != 0.0;

  if (auto word = parseTruthWord(bstrView(text))) return *word;
  raiseConversionError(DISP_E_TYPEMISMATCH, typeName, kBooleanName);
}

int32_t textToInt32(BSTR text, std::u16string_view typeName) {
  // A null string is the empty text; the later steps need a real automation string.
  Bstr empty = Bstr::adopt(text ? nullptr : SysAllocString(L""));
  BSTR s = text ? text : empty.get();
  if (!s) throw std::bad_alloc();
  if (!gVarI4FromStr) raiseConversionError(E_NOTIMPL, typeName, kIntegerName);
  LONG number = 0;
  HRESULT hr = gVarI4FromStr(s, kConversionLocale, 0, &number);
  if (SUCCEEDED(hr)) return number;
  if (hr != DISP_E_TYPEMISMATCH) raiseConversionError(hr, typeName, kIntegerName);
  if (auto literal = parseIntegerLiteral(toAnsi(bstrView(text)))) return *literal;
  return truthOfText(s, typeName) ? 1 : 0;
}

int32_t withinRange(std::optional<int32_t> number, std::u16string_view typeName) {
  if (!number) raiseConversionError(DISP_E_OVERFLOW, typeName, kIntegerName);
  return *number;
}

std::optional<int32_t> fitting(int64_t x) {
  if (x < INT32_MIN || x > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(x);
}

}  // namespace

std::u16string variantFailureMessage(HRESULT code, VariantFailure where, std::u16string_view from,
                                     std::u16string_view to) {
  int id = variantErrorTextId(static_cast<uint32_t>(code), where);
  std::u16string text = frameText(static_cast<UINT>(id));
  if (id == IDS_VAR_UNKNOWN)
    return fillMessage(text, {u"$", hexUpper(static_cast<uint32_t>(code), 8), systemMessageText(code)});
  if (id == IDS_VAR_TYPE_CAST || id == IDS_VAR_OVERFLOW) return fillMessage(text, {from, to});
  return text;
}

void startUpVariants() {
  HMODULE oleaut = GetModuleHandleA("oleaut32.dll");
  if (!oleaut) return;
  gVarI4FromStr = reinterpret_cast<VarI4FromStrFn>(GetProcAddress(oleaut, "VarI4FromStr"));
  gVarBoolFromStr = reinterpret_cast<VarBoolFromStrFn>(GetProcAddress(oleaut, "VarBoolFromStr"));
  gVariantChangeTypeEx = reinterpret_cast<VariantChangeTypeExFn>(GetProcAddress(oleaut, "VariantChangeTypeEx"));
}

bool isArrayArgument(const VARIANT& value) { return (V_VT(&followReferences(value)) & VT_ARRAY) != 0; }

LONG arrayBound(const VARIANT& value, UINT dimension, Bound which) {
  SAFEARRAY* array = heldArray(value);
  if (!array) raiseArrayError(E_INVALIDARG);
  LONG bound = 0;
  HRESULT hr = which == Bound::lower ? SafeArrayGetLBound(array, dimension, &bound)
                                     : SafeArrayGetUBound(array, dimension, &bound);
  if (FAILED(hr)) raiseArrayError(hr);
  return bound;
}

void readArrayElement(const VARIANT& array, LONG index, Variant& element) {
  SAFEARRAY* held = heldArray(array);
  if (!held) raiseArrayError(E_INVALIDARG);
  if (SafeArrayGetDim(held) != 1) raiseArrayError(DISP_E_BADINDEX);
  if (index < arrayBound(array, 1, Bound::lower) || index > arrayBound(array, 1, Bound::upper))
    raiseArrayError(DISP_E_BADINDEX);

  element.reset();
  VARTYPE type = V_VT(&followReferences(array)) & VT_TYPEMASK;
  if (type == VT_VARIANT) {
    void* slot = nullptr;
    HRESULT hr = SafeArrayPtrOfIndex(held, &index, &slot);
    if (FAILED(hr)) raiseArrayError(hr);
    hr = VariantCopy(element.get(), static_cast<VARIANT*>(slot));
    if (FAILED(hr)) raiseArrayError(hr);
    return;
  }
  // Only element types whose values a variant can hold, and only when the array's element
  // size agrees with the type that the variant claims.
  ULONG size = readableElementSize(type);
  if (size == 0 || SafeArrayGetElemsize(held) != size) raiseArrayError(DISP_E_BADVARTYPE);
  VARIANT value;
  std::memset(&value, 0, sizeof(value));
  void* target = type == VT_DECIMAL ? static_cast<void*>(&V_DECIMAL(&value)) : static_cast<void*>(&V_UI1(&value));
  HRESULT hr = SafeArrayGetElement(held, &index, target);
  if (FAILED(hr)) raiseArrayError(hr);
  V_VT(&value) = type;  // after the read: a DECIMAL overlays the type field
  *element.get() = value;
}

int32_t variantToInt32(const VARIANT& value) {
  const VARIANT& given = followReferences(value);
  std::u16string typeName = variantTypeName(V_VT(&given));
  if ((V_VT(&given) & VT_BYREF) && !V_BYREF(&given)) raiseConversionError(E_INVALIDARG, typeName, kIntegerName);
  VARIANT v = borrowReferenced(given);
  switch (V_VT(&v)) {
    case VT_EMPTY: return 0;
    case VT_NULL: raiseConversionError(DISP_E_TYPEMISMATCH, typeName, kIntegerName);
    case VT_I1: return V_I1(&v);
    case VT_I2: return V_I2(&v);
    case VT_I4: return V_I4(&v);
    case VT_UI1: return V_UI1(&v);
    case VT_UI2: return V_UI2(&v);
    case VT_UI4: return withinRange(fitting(static_cast<int64_t>(V_UI4(&v))), typeName);
    case VT_I8: return withinRange(fitting(V_I8(&v)), typeName);
    case VT_BOOL: return V_BOOL(&v) ? -1 : 0;
    case VT_R4: return withinRange(roundToInt32(V_R4(&v)), typeName);
    case VT_R8: return withinRange(roundToInt32(V_R8(&v)), typeName);
    case VT_DATE: return withinRange(roundToInt32(V_DATE(&v)), typeName);
    case VT_CY: return withinRange(currencyToInt32(V_CY(&v).int64), typeName);
    case VT_BSTR: return textToInt32(V_BSTR(&v), typeName);
    default: break;
  }
  // Objects and every other kind: the platform's conversion.
  if (!gVariantChangeTypeEx) raiseConversionError(E_NOTIMPL, typeName, kIntegerName);
  Variant number;
  HRESULT hr = gVariantChangeTypeEx(number.get(), &v, kConversionLocale, 0, VT_I4);
  if (FAILED(hr)) raiseConversionError(hr, typeName, kIntegerName);
  return V_I4(number.get());
}

ArgumentCopy::ArgumentCopy(const VARIANT* value) {
  if (!value || !isArrayArgument(*value)) return;
  isArray_ = true;
  const VARIANT& given = followReferences(*value);
  SAFEARRAY* held = heldArray(given);
  VARIANT* copy = copy_.get();
  if (!held) {
    // An array variant without an array stays one, so that taking its bounds fails as before.
    V_VT(copy) = V_VT(&given) & ~VT_BYREF;
    V_ARRAY(copy) = nullptr;
    return;
  }
  failure_ = VariantCopyInd(copy, const_cast<VARIANT*>(&given));  // an array reached through a pointer, copied too
  if (FAILED(failure_)) return;
  if ((V_VT(copy) & VT_TYPEMASK) == VT_VARIANT) copyElements(V_ARRAY(copy));
}

const VARIANT& ArgumentCopy::array() const {
  if (FAILED(failure_)) raiseArrayError(failure_);
  return *copy_.get();
}

// The array's copy holds copies of its elements already, but a by-reference element still
// points at the caller's value.
void ArgumentCopy::copyElements(SAFEARRAY* array) {
  UINT dimensions = SafeArrayGetDim(array);
  ULONG count = dimensions ? 1 : 0;
  for (UINT d = 0; d < dimensions; ++d) count *= array->rgsabound[d].cElements;
  // Unlocked on every way out, also when memory for a copied value runs out.
  HRESULT hr = S_OK;
  SafeArrayData data(array, hr);
  if (FAILED(hr)) return;
  auto* elements = static_cast<VARIANT*>(data.data());
  for (ULONG i = 0; i < count; ++i) copyElement(elements[i]);
}

void ArgumentCopy::copyElement(VARIANT& element) {
  if (V_VT(&element) == (VT_BYREF | VT_VARIANT)) {
    // A reference to a variant reads as the variant it leads to; the copy holds that one.
    const VARIANT& target = followReferences(element);
    if (V_VT(&target) == (VT_BYREF | VT_VARIANT)) return;  // a null reference: nothing to copy
    VARIANT copied;
    VariantInit(&copied);
    if (FAILED(VariantCopy(&copied, const_cast<VARIANT*>(&target)))) return;
    element = copied;  // the reference held nothing to free
  }
  if (!(V_VT(&element) & VT_BYREF) || !V_BYREF(&element)) return;
  Variant& value = referenced_.emplace_back();
  if (FAILED(VariantCopyInd(value.get(), &element))) {
    // A value that cannot be copied (a record, say): only the platform's conversion reads it,
    // through the reference, as before.
    referenced_.pop_back();
    return;
  }
  VARIANT* v = value.get();
  V_BYREF(&element) = (V_VT(v) == VT_DECIMAL) ? static_cast<void*>(&V_DECIMAL(v)) : static_cast<void*>(&V_UI1(v));
}

SafeArray newVariantArray(LONG count) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(count), 0};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
  if (!array) throw Exception(frameText(IDS_VAR_ARRAY_CREATE));
  return SafeArray::adopt(array);
}

VARIANT& variantArraySlot(const SafeArray& array, LONG index) {
  void* slot = nullptr;
  HRESULT hr = SafeArrayPtrOfIndex(array.get(), &index, &slot);
  if (FAILED(hr)) raiseArrayError(hr);
  return *static_cast<VARIANT*>(slot);
}

}  // namespace vantorelix
