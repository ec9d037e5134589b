// Reading variant array arguments and converting their elements to integers. setSysColor and
// setFileTime judge, bound, read and convert their arguments with these four operations, and
// array results are made with the two helpers at the end.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <deque>

#include "automation/errors.h"
#include "automation/raii.h"
#include "automation/variant_logic.h"

namespace vantorelix {

// Looks up the oleaut32 conversions by name; runs once at library start-up.
void startUpVariants();

// A failed array access or conversion; the message says what failed, the code is the
// platform's result code behind it. Reaches a method's guard as E_UNEXPECTED.
class EVariantError : public Exception {
 public:
  EVariantError(std::u16string message, HRESULT code) : Exception(std::move(message)), code_(code) {}
  HRESULT code() const { return code_; }

 private:
  HRESULT code_;
};

// The message for a failure code of the platform's variant calls: in a conversion the
// type-mismatch and overflow texts name the value's type (`from`) and the target (`to`).
std::u16string variantFailureMessage(HRESULT code, VariantFailure where, std::u16string_view from = {},
                                     std::u16string_view to = {});

// True for an array, also one reached through a pointer or through any chain of by-reference
// variants, whatever its element type.
bool isArrayArgument(const VARIANT& value);

enum class Bound { lower, upper };

// A bound of one dimension of an array argument (the by-reference chain followed first).
// An array variant that holds no array raises "不正な引数が渡されました".
LONG arrayBound(const VARIANT& value, UINT dimension, Bound which);

// Element `index` of a one-dimensional array argument: an element of an array of variants is
// copied unchanged, with its own type; any other element is read as a value of the array's
// element type. Two or more dimensions, or an index outside the bounds, raise
// "バリアント配列の範囲を超えています".
void readArrayElement(const VARIANT& array, LONG index, Variant& element);

// One automation value as a signed 32-bit integer: Empty 0, Boolean true -1, floating values
// rounded to the even neighbour, text read by the platform, then as an integer literal, then
// as a truth value (1 or 0). Failures raise the conversion or overflow message naming both
// types.
int32_t variantToInt32(const VARIANT& value);

// A method's own copy of a variant argument received by value. A script passes a variable as
// a reference to it, and converting an element (an object's default property) can run the
// caller's code, which may change that variable while the method is still reading it; so the
// copy is taken whole before anything is read: the by-reference chain followed, the array
// copied with its elements, and each by-reference element pointed at a copy of its value
// (so it keeps its type, and its type name in messages). Only arrays are copied: an argument
// that is no array is never read past its type.
class ArgumentCopy {
 public:
  explicit ArgumentCopy(const VARIANT* value);  // null: no argument, no array
  ArgumentCopy(const ArgumentCopy&) = delete;
  ArgumentCopy& operator=(const ArgumentCopy&) = delete;

  // isArrayArgument of the argument as it was given.
  bool isArray() const { return isArray_; }
  // The copied array variant, for arrayBound and readArrayElement. An array that could not be
  // copied (memory exhausted) raises the array-access error of the platform's code here.
  const VARIANT& array() const;

 private:
  void copyElements(SAFEARRAY* array);
  void copyElement(VARIANT& element);

  bool isArray_ = false;
  HRESULT failure_ = S_OK;
  Variant copy_;
  std::deque<Variant> referenced_;  // the values that by-reference elements of copy_ point at
};

// A new one-dimensional array of `count` Empty variants, lower bound 0; raises
// "バリアント配列を作成できません" when the platform cannot make it.
SafeArray newVariantArray(LONG count);
// The slot of element `index` of an array of variants made by newVariantArray.
VARIANT& variantArraySlot(const SafeArray& array, LONG index);

}  // namespace vantorelix
