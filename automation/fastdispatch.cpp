#include "automation/fastdispatch.h"

#include <cstring>
#include <utility>

namespace vantorelix {
namespace {

using Word = uintptr_t;  // one argument slot of the vtable call

// The type of an input or a result as the platform hands it over: an int travels as VT_I4 and
// an unsigned int as VT_UI4. That is what Wine's ITypeInfo::Invoke makes of VT_INT and VT_UINT
// (the differential fuzzer compares it there); Windows' is expected to agree, and the same
// fuzzer run on Windows is the check.
VARTYPE plainType(VARTYPE declared) {
  switch (declared) {
    case VT_BSTR:
    case VT_I4:
    case VT_UI4:
    case VT_BOOL: return declared;
    case VT_INT: return VT_I4;
    case VT_UINT: return VT_UI4;
    default: return VT_EMPTY;
  }
}

VARTYPE resultType(const TYPEDESC& t) {
  if (t.vt != VT_PTR || !t.lptdesc) return VT_EMPTY;
  return t.lptdesc->vt == VT_VARIANT ? VARTYPE(VT_VARIANT) : plainType(t.lptdesc->vt);
}

// The vtable half of a dual interface, or the interface itself when it is a vtable interface.
ComPtr<ITypeInfo> vtableInfoOf(ITypeInfo* info) {
  ComPtr<ITypeInfo> out;
  TypeAttr attr = typeAttrOrNone(info);
  if (!attr) return out;
  if (attr->typekind == TKIND_INTERFACE) {
    out = info;
  } else if (attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL)) {
    HREFTYPE ref = 0;
    if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref))) info->GetRefTypeInfo(ref, &out);
  }
  return out;
}

template <size_t>
using WordAt = Word;

template <size_t... I>
HRESULT callWith(void* function, void* instance, const Word* args, std::index_sequence<I...>) {
  using Method = HRESULT(STDMETHODCALLTYPE*)(void*, WordAt<I>...);
  return reinterpret_cast<Method>(function)(instance, args[I]...);
}

// Calls vtable slot `slot` of `instance` with `count` arguments of one slot each. Every type
// that the fast path passes (a string pointer, a 32-bit integer, a 16-bit truth value, a
// pointer to the result) takes exactly one argument slot in both calling conventions (four
// bytes of the stdcall stack, one register or eight-byte stack slot on x64), so a method
// receives the same bytes as from a call compiled against its own declaration.
HRESULT callSlot(void* instance, size_t slot, const Word* args, unsigned count) {
  void* function = (*static_cast<void***>(instance))[slot];
  switch (count) {
    case 0: return callWith(function, instance, args, std::make_index_sequence<0>());
    case 1: return callWith(function, instance, args, std::make_index_sequence<1>());
    case 2: return callWith(function, instance, args, std::make_index_sequence<2>());
    case 3: return callWith(function, instance, args, std::make_index_sequence<3>());
    case 4: return callWith(function, instance, args, std::make_index_sequence<4>());
    case 5: return callWith(function, instance, args, std::make_index_sequence<5>());
    case 6: return callWith(function, instance, args, std::make_index_sequence<6>());
    case 7: return callWith(function, instance, args, std::make_index_sequence<7>());
    case 8: return callWith(function, instance, args, std::make_index_sequence<8>());
    case 9: return callWith(function, instance, args, std::make_index_sequence<9>());
    case 10: return callWith(function, instance, args, std::make_index_sequence<10>());
    default: return E_UNEXPECTED;  // never: members have at most kMaxInputs inputs and a result
  }
}
static_assert(FastDispatch::kMaxInputs + 1 <= 10, "callSlot covers every member");

// The argument `given` for an input of type `type`, when it is of that type already or of one
// that becomes it without loss and without a conversion rule of the platform's: a 16- or
// 32-bit integer for a signed 32-bit input; an unsigned 32-bit integer, or a 16- or 32-bit
// integer that is not negative, for an unsigned one; a string for a string; a truth value for
// a truth value. One level of VT_BYREF|VT_VARIANT around these is looked through, as script
// engines send their variables. False for anything else.
bool takeArgument(const VARIANT& given, const FastDispatch::Param& param, Word& out) {
  // A missing argument in its place, by value: the declared default. (Behind a reference the
  // same marker is a value like any other, which the platform converts or refuses.)
  if (V_VT(&given) == VT_ERROR && V_ERROR(&given) == DISP_E_PARAMNOTFOUND) {
    if (!param.hasDefault) return false;
    out = param.defaultValue;
    return true;
  }
  const VARIANT* v = &given;
  if (V_VT(v) == (VT_BYREF | VT_VARIANT)) {
    v = V_VARIANTREF(v);
    if (!v) return false;
  }
  VARTYPE vt = V_VT(v);
  switch (param.type) {
    case VT_BSTR:
      if (vt != VT_BSTR) return false;
      out = reinterpret_cast<Word>(V_BSTR(v));
      return true;
    case VT_BOOL:
      if (vt != VT_BOOL) return false;
      out = static_cast<USHORT>(V_BOOL(v));
      return true;
    case VT_I4:
      if (vt == VT_I4) out = static_cast<Word>(static_cast<intptr_t>(V_I4(v)));
      else if (vt == VT_I2) out = static_cast<Word>(static_cast<intptr_t>(V_I2(v)));
      else return false;
      return true;
    case VT_UI4:
      if (vt == VT_UI4 || vt == VT_UINT) out = V_UI4(v);
      else if (vt == VT_I4 && V_I4(v) >= 0) out = static_cast<Word>(V_I4(v));
      else if (vt == VT_I2 && V_I2(v) >= 0) out = static_cast<Word>(V_I2(v));
      else return false;
      return true;
    default: return false;
  }
}

}  // namespace

FastDispatch::FastDispatch(ITypeInfo* dispatchInfo) {
  ComPtr<ITypeInfo> vtableInfo = vtableInfoOf(dispatchInfo);
  TypeAttr dispatchAttr = typeAttrOrNone(dispatchInfo);
  if (!vtableInfo || !dispatchAttr) return;
  TypeAttr vtableAttr = typeAttrOrNone(vtableInfo.Get());
  if (!vtableAttr) return;
  // The member is found as the platform finds it, by DISPID in the dispatch interface; its
  // slot, parameters and defaults are those of the vtable half.
  for (UINT i = 0; i < dispatchAttr->cFuncs; ++i) {
    FuncDesc dispatchFunc = funcDescOrNone(dispatchInfo, i);
    if (!dispatchFunc || dispatchFunc->invkind != INVOKE_FUNC || (dispatchFunc->wFuncFlags & FUNCFLAG_FRESTRICTED))
      continue;
    for (UINT k = 0; k < vtableAttr->cFuncs; ++k) {
      FuncDesc vtableFunc = funcDescOrNone(vtableInfo.Get(), k);
      if (vtableFunc && vtableFunc->memid == dispatchFunc->memid && vtableFunc->invkind == INVOKE_FUNC) {
        addMember(vtableInfo.Get(), *vtableFunc);
        break;
      }
    }
  }
  if (members_.empty()) return;
  DISPID first = members_[0].id, last = members_[0].id;
  for (const Member& m : members_) {
    first = m.id < first ? m.id : first;
    last = m.id > last ? m.id : last;
  }
  if (last - first >= 4096) {  // DISPIDs too far apart for a direct index: no fast path
    members_.clear();
    return;
  }
  firstId_ = first;
  index_.assign(static_cast<size_t>(last - first) + 1, -1);
  for (size_t k = 0; k < members_.size(); ++k) index_[static_cast<size_t>(members_[k].id - first)] = int16_t(k);
}

void FastDispatch::addMember(ITypeInfo*, const FUNCDESC& desc) {
  if (desc.funckind != FUNC_PUREVIRTUAL || desc.callconv != CC_STDCALL || desc.elemdescFunc.tdesc.vt != VT_HRESULT ||
      desc.cParamsOpt != 0 || desc.oVft < 0 || desc.oVft % sizeof(void*) != 0)
    return;
  Member m;
  m.id = desc.memid;
  m.slot = static_cast<size_t>(desc.oVft) / sizeof(void*);
  if (m.slot < 7) return;  // IUnknown and IDispatch themselves
  std::vector<Bstr> texts;
  for (SHORT p = 0; p < desc.cParams; ++p) {
    const ELEMDESC& e = desc.lprgelemdescParam[p];
    USHORT flags = e.paramdesc.wParamFlags;
    if (flags & PARAMFLAG_FRETVAL) {
      if (p != desc.cParams - 1) return;
      m.result = resultType(e.tdesc);
      if (m.result == VT_EMPTY) return;
      continue;
    }
    if ((flags & (PARAMFLAG_FOUT | PARAMFLAG_FLCID)) || m.inputs == kMaxInputs) return;
    Param& param = m.params[m.inputs++];
    param.type = plainType(e.tdesc.vt);
    if (param.type == VT_EMPTY) return;
    if (flags & PARAMFLAG_FHASDEFAULT) {
      if (!e.paramdesc.pparamdescex) return;
      // The default as the platform passes it: the declared value changed to the input's type.
      Variant value;
      if (FAILED(VariantChangeType(value.get(), &e.paramdesc.pparamdescex->varDefaultValue, 0, param.type))) return;
      param.hasDefault = true;
      switch (param.type) {
        case VT_BSTR: {
          VARIANT text = value.release();
          param.defaultValue = reinterpret_cast<Word>(V_BSTR(&text));
          texts.push_back(Bstr::adopt(V_BSTR(&text)));
          break;
        }
        case VT_BOOL: param.defaultValue = static_cast<USHORT>(V_BOOL(value.get())); break;
        case VT_I4: param.defaultValue = static_cast<Word>(static_cast<intptr_t>(V_I4(value.get()))); break;
        default: param.defaultValue = V_UI4(value.get()); break;
      }
    } else if (flags & PARAMFLAG_FOPT) {
      return;  // optional without a default: the platform passes a marker that no input of these types holds
    }
  }
  m.required = 0;
  for (unsigned p = 0; p < m.inputs; ++p)
    if (!m.params[p].hasDefault) m.required = p + 1;
  for (Bstr& t : texts) defaultTexts_.push_back(std::move(t));
  members_.push_back(m);
}

const FastDispatch::Member* FastDispatch::find(DISPID id) const {
  if (id < firstId_) return nullptr;
  size_t k = static_cast<size_t>(id - firstId_);
  if (k >= index_.size() || index_[k] < 0) return nullptr;
  return &members_[static_cast<size_t>(index_[k])];
}

bool FastDispatch::invoke(void* instance, DISPID id, WORD flags, const DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excepInfo, HRESULT& hr) const {
  // An ordinary call of a method: as a method, or as a method or property get as script
  // engines send it; positional arguments only, as many as the method declares or fewer
  // where the rest have defaults.
  if (!(flags & DISPATCH_METHOD) || (flags & ~(DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return false;
  if (!params || params->cNamedArgs != 0 || (params->cArgs && !params->rgvarg)) return false;
  // Without a place for the exception the platform may answer a failing method with the
  // method's own HRESULT instead of DISP_E_EXCEPTION ("if pExcepInfo is null, only an HRESULT
  // error will be returned"): such a call is the platform's, whichever system it runs on.
  // Scripts always give one, so they lose nothing.
  if (!excepInfo) return false;
  const Member* m = find(id);
  if (!m || params->cArgs > m->inputs || params->cArgs < m->required) return false;

  Word args[kMaxInputs + 1];
  unsigned given = params->cArgs;
  for (unsigned p = 0; p < m->inputs; ++p) {
    if (p < given) {
      // Positional arguments lie in reverse order.
      if (!takeArgument(params->rgvarg[given - 1 - p], m->params[p], args[p])) return false;
    } else {
      args[p] = m->params[p].defaultValue;
    }
  }

  union Outcome {
    BSTR text;
    LONG number;
    ULONG unsignedNumber;
    VARIANT_BOOL truth;
    VARIANT any;
  } out;
  std::memset(&out, 0, sizeof out);
  unsigned count = m->inputs;
  if (m->result != VT_EMPTY) args[count++] = reinterpret_cast<Word>(&out);

  HRESULT methodResult = callSlot(instance, m->slot, args, count);

  // The result value, also after a failure, as the platform path hands it back.
  if (m->result != VT_EMPTY) {
    if (result) {
      V_VT(result) = VT_EMPTY;
      V_I8(result) = 0;  // the whole value, as the platform's copy of its cleared temporary
      switch (m->result) {
        // The platform path hands back a copy of the result string, and its copy of a null
        // string is an empty string that is not null (Wine's VariantCopyInd, which follows
        // Windows' there); a script sees no difference, a C++ caller may.
        case VT_BSTR: V_BSTR(result) = out.text ? out.text : SysAllocStringLen(nullptr, 0); break;
        case VT_I4: V_I4(result) = out.number; break;
        case VT_UI4: V_UI4(result) = out.unsignedNumber; break;
        case VT_BOOL: V_BOOL(result) = out.truth; break;
        default: break;
      }
      if (m->result == VT_VARIANT) *result = out.any;
      else V_VT(result) = m->result;
    } else if (m->result == VT_BSTR) {
      Bstr::adopt(out.text).reset();  // no place for the result: it goes
    } else if (m->result == VT_VARIANT) {
      Variant::adopt(out.any).reset();
    }
  }

  if (FAILED(methodResult)) {
    // The method's error goes to the caller as an exception whose description is the error
    // information that the method left on the thread, taken away from it, filled in at once
    // (no deferred fill-in). EXCEPINFO follows Windows' rule: the structure is cleared first,
    // so that wCode, the field that scode makes unused, is 0 and pfnDeferredFillIn is null.
    // Wine's ITypeInfo::Invoke writes the same values into the fields it fills but leaves the
    // others (and, without error information, all but scode) as the caller had them; callers
    // hand in a cleared EXCEPINFO, where the two are the same.
    hr = DISP_E_EXCEPTION;
    std::memset(excepInfo, 0, sizeof *excepInfo);
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK && info) {
      info->GetDescription(&excepInfo->bstrDescription);
      info->GetHelpFile(&excepInfo->bstrHelpFile);
      info->GetSource(&excepInfo->bstrSource);
      info->GetHelpContext(&excepInfo->dwHelpContext);
    }
    excepInfo->scode = methodResult;
    return true;
  }
  hr = S_OK;
  return true;
}

}  // namespace vantorelix
