// Late-bound argument fuzzer: calls every member of Vantorelix.Utils through IDispatch::Invoke
// with generated arguments, from a fixed seed, and checks each answer.
//   argfuzz [calls] [seed] [differential]
// "differential" sends every generated call through both paths of Invoke (fast and platform) and compares the
// answers (see differentialRun below).
// Arguments: every VARTYPE by value, by-reference chains, arrays of each element type with 0, 1
// and 2 dimensions and negative or empty bounds, array variants without an array, strings of
// 0 to 1 MiB with embedded NULs and lone surrogates, wrong argument counts, named arguments.
// Members with wide side effects run in a sandbox: sleep and beep get small values only, the
// sound gets names that are not files, setCurrentDir and setSysColor are undone after each
// call, regsvr/regsvr_u see only the fixture DLLs and paths that are not there, and the file
// times touch only files in the temporary folder.
// Each answer is S_OK, DISP_E_EXCEPTION with the object's error information, or one of the
// dispatch codes that the platform gives for a malformed call, with no error information.
// Memory: a last phase of a fifth as many calls again, with texts of at most 16 characters,
// may grow the private bytes by at most 256 KiB between its first tenth and its end. (Texts of
// tens of thousands of characters make Wine's heap grow by about 400 bytes a round even when
// no call is made at all, so the phase with them cannot show the server's own growth.)
#include <windows.h>
#include <oleauto.h>
#include <mmsystem.h>
#undef sndPlaySound

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Vantorelix.h"
#include "automation/fastdispatch.h"
#include "tests/stress/stress_support.h"

namespace {

struct Member {
  DISPID id;
  std::wstring name;
  std::vector<std::wstring> params;  // declared names, retval excluded
  std::vector<VARTYPE> paramTypes;   // VT_VARIANT for VARIANT and VARIANT*
  VARTYPE result;                    // VT_EMPTY for none, VT_VARIANT when any type may come back
  std::vector<bool> optional;        // declared optional or with a default
};

VARTYPE typeOf(const TYPEDESC& t) { return t.vt == VT_PTR ? t.lptdesc->vt : t.vt; }

std::vector<Member> membersOf(IDispatch* d) {
  std::vector<Member> out;
  ITypeInfo* info = nullptr;
  if (d->GetTypeInfo(0, 0, &info) != S_OK) return out;
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* f = nullptr;
    info->GetFuncDesc(i, &f);
    BSTR names[16] = {};
    UINT count = 0;
    info->GetNames(f->memid, names, 16, &count);
    if (f->memid >= 0xC9 && f->memid <= 0xE3) {  // the methods, not IDispatch's own
      Member m{f->memid, names[0], {}, {}, VT_EMPTY};
      VARTYPE ret = typeOf(f->elemdescFunc.tdesc);
      if (ret != VT_HRESULT && ret != VT_VOID) m.result = ret;
      for (SHORT p = 0; p < f->cParams; ++p) {
        const ELEMDESC& e = f->lprgelemdescParam[p];
        if (e.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
          m.result = typeOf(e.tdesc);
          continue;
        }
        m.params.push_back(static_cast<UINT>(p + 1) < count ? names[p + 1] : L"");
        m.paramTypes.push_back(typeOf(e.tdesc));
        m.optional.push_back((e.paramdesc.wParamFlags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) != 0);
      }
      out.push_back(m);
    }
    for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    info->ReleaseFuncDesc(f);
  }
  info->ReleaseTypeAttr(attr);
  info->Release();
  return out;
}

// The values of one call, and everything they point to, freed after it.
struct Arena {
  std::vector<VARIANT> args;
  std::deque<VARIANT> targets;
  std::deque<DECIMAL> decimals;
  std::vector<std::pair<SAFEARRAY*, USHORT>> zeroDim;  // shown with no dimension during the call
  ~Arena() {
    for (auto& a : zeroDim) a.first->cDims = a.second;
    for (VARIANT& v : args) VariantClear(&v);
    for (VARIANT& v : targets) VariantClear(&v);
  }
};

class Generator {
 public:
  Generator(unsigned seed, IDispatch* self) : rng_(seed), self_(self) {}
  unsigned pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }
  bool chance(unsigned inN) { return pick(inN) == 0; }

  LONG integer() {
    static const LONG edges[] = {0, 1, -1, 2, 7, 15, 30, 31, 100, 255, 256, 32767, -32768, 65535, 0x7FFFFFFF,
                                 LONG(0x80000000), LONG(0xFFFFFFFE), 1601, 9999, 10000, 12, 13, 59, 60, 999, 1000};
    return chance(3) ? LONG(rng_()) : edges[pick(sizeof edges / sizeof edges[0])];
  }
  double real() {
    static const double edges[] = {0.0, -0.0, 0.5, 1.5, -1.5, 2.5, 1e300, -1e300, 4294967295.0, 4294967296.0,
                                   2147483647.5, -2147483648.5, INFINITY, -INFINITY, NAN, 1e-300, 36526.75};
    return chance(3) ? double(integer()) / (1 + pick(1000)) : edges[pick(sizeof edges / sizeof edges[0])];
  }

  std::wstring text() {
    size_t len;
    unsigned r = shortTexts ? 0 : pick(1000);
    if (r < 650) len = pick(17);
    else if (r < 940) len = pick(300);
    else if (r < 998) len = pick(40000);
    else len = pick(512 * 1024 + 1);  // up to 1 MiB of UTF-16
    static const wchar_t pool[] = L"aZ09 .\\/:*?\"<>|~-_%$\x30a8\x30e9\x30fc\x8868\x00e9\xff57\x3000";
    std::wstring s(len, L'a');
    for (size_t i = 0; i < len; ++i) {
      unsigned k = pick(20);
      if (k == 0) s[i] = L'\0';
      else if (k == 1) s[i] = wchar_t(0xD800 + pick(0x800));  // lone surrogates, either half
      else if (k == 2) s[i] = wchar_t(1 + pick(0xFFFE));
      else s[i] = pool[pick(sizeof pool / sizeof pool[0] - 1)];
    }
    if (len && chance(4)) {  // a path-like start
      static const wchar_t* starts[] = {L"C:\\", L"\\\\srv\\share\\", L"..\\", L"Z:", L"\\\\?\\"};
      s = starts[pick(5)] + s;
    }
    return s;
  }
  BSTR bstr() {
    if (chance(40)) return nullptr;  // a null BSTR reads as the empty string
    std::wstring s = text();
    return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  }

  // A scalar of the given type into v.
  void scalar(VARTYPE vt, VARIANT& v, Arena& arena) {
    VariantInit(&v);
    V_VT(&v) = vt;
    switch (vt) {
      case VT_I1: V_I1(&v) = CHAR(integer()); break;
      case VT_UI1: V_UI1(&v) = BYTE(integer()); break;
      case VT_I2: V_I2(&v) = SHORT(integer()); break;
      case VT_UI2: V_UI2(&v) = USHORT(integer()); break;
      case VT_I4: case VT_INT: case VT_ERROR: V_I4(&v) = integer(); break;
      case VT_UI4: case VT_UINT: V_UI4(&v) = ULONG(integer()); break;
      case VT_I8: V_I8(&v) = (LONGLONG(integer()) << pick(33)) ^ integer(); break;
      case VT_UI8: V_UI8(&v) = (ULONGLONG(ULONG(integer())) << pick(33)) ^ ULONG(integer()); break;
      case VT_R4: V_R4(&v) = float(real()); break;
      case VT_R8: V_R8(&v) = real(); break;
      case VT_DATE: V_DATE(&v) = real(); break;
      case VT_CY: V_CY(&v).int64 = LONGLONG(integer()) * (1 + pick(100000)); break;
      case VT_BOOL: V_BOOL(&v) = chance(5) ? VARIANT_BOOL(integer()) : (chance(2) ? VARIANT_TRUE : VARIANT_FALSE); break;
      case VT_BSTR: V_BSTR(&v) = bstr(); break;
      case VT_DISPATCH: V_DISPATCH(&v) = chance(2) ? nullptr : self_; if (V_DISPATCH(&v)) self_->AddRef(); break;
      case VT_UNKNOWN: V_UNKNOWN(&v) = chance(2) ? nullptr : self_; if (V_UNKNOWN(&v)) self_->AddRef(); break;
      case VT_DECIMAL: {
        DECIMAL d{};
        d.scale = BYTE(pick(30));  // scales above 28 are invalid
        d.sign = chance(2) ? DECIMAL_NEG : 0;
        d.Hi32 = chance(3) ? ULONG(integer()) : 0;
        d.Lo64 = ULONGLONG(ULONG(integer())) << pick(32);
        V_DECIMAL(&v) = d;
        V_VT(&v) = VT_DECIMAL;
        break;
      }
      default: break;
    }
    (void)arena;
  }

  VARTYPE anyElementType() {
    static const VARTYPE types[] = {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_I8, VT_UI8,
                                    VT_R4, VT_R8, VT_DATE, VT_CY, VT_BOOL, VT_BSTR, VT_ERROR, VT_DECIMAL,
                                    VT_DISPATCH, VT_UNKNOWN, VT_VARIANT};
    return types[pick(sizeof types / sizeof types[0])];
  }

  SAFEARRAY* array(VARTYPE vt, Arena& arena, int depth) {
    UINT dims = 1 + pick(2);
    SAFEARRAYBOUND bounds[2];
    static const LONG lows[] = {0, 0, 0, 1, -3, -1, 0x7FFFFFF0};
    for (UINT d = 0; d < dims; ++d) bounds[d] = {pick(4), lows[pick(7)]};
    SAFEARRAY* a = SafeArrayCreate(vt, dims, bounds);
    if (!a) return nullptr;
    ULONG cells = 1;
    for (UINT d = 0; d < dims; ++d) cells *= bounds[d].cElements;
    if (cells && SUCCEEDED(SafeArrayLock(a))) {
      for (ULONG i = 0; i < cells; ++i) {
        char* cell = static_cast<char*>(a->pvData) + i * a->cbElements;
        if (vt == VT_VARIANT) {
          generic(*reinterpret_cast<VARIANT*>(cell), arena, depth + 1, false);
        } else if (vt != VT_DISPATCH && vt != VT_UNKNOWN) {  // object cells stay null
          VARIANT v;
          scalar(vt, v, arena);
          if (vt == VT_DECIMAL) std::memcpy(cell, &V_DECIMAL(&v), sizeof(DECIMAL));
          else std::memcpy(cell, &V_I1(&v), a->cbElements);  // takes over a BSTR
        }
      }
      SafeArrayUnlock(a);
    }
    if (chance(12)) {  // shown with no dimension at all during the call
      arena.zeroDim.push_back({a, a->cDims});
      a->cDims = 0;
    }
    return a;
  }

  // Any value; nullRefs allows by-reference variants without a pointer (only handed to
  // VARIANT parameters, which the platform passes on as they are).
  void generic(VARIANT& v, Arena& arena, int depth, bool nullRefs) {
    VariantInit(&v);
    unsigned k = pick(depth > 2 ? 24 : 32);
    if (k < 21) {
      static const VARTYPE scalars[] = {VT_EMPTY, VT_NULL, VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT,
                                        VT_UINT, VT_I8, VT_UI8, VT_R4, VT_R8, VT_DATE, VT_CY, VT_BOOL, VT_BSTR,
                                        VT_BSTR, VT_ERROR, VT_DECIMAL};
      VARTYPE vt = scalars[k];
      scalar(vt, v, arena);
      if (vt == VT_ERROR && chance(2)) V_ERROR(&v) = DISP_E_PARAMNOTFOUND;  // a missing argument
    } else if (k == 21) {
      scalar(chance(2) ? VT_DISPATCH : VT_UNKNOWN, v, arena);
    } else if (k == 22) {
      // Types that are not values: the platform refuses them. (No VT_RECORD: the platform's
      // conversion calls through the record's IRecordInfo without a check, so a made-up one
      // would only crash oleaut32.)
      static const VARTYPE bad[] = {VT_VARIANT, 15, 0x7F, VT_VOID, VT_PTR, 0x0FFF, VT_ARRAY, VT_BYREF};
      V_VT(&v) = bad[pick(8)];
      V_BYREF(&v) = nullptr;
    } else if (k == 23) {
      V_VT(&v) = VT_ARRAY | anyElementType();  // an array variant without an array
      V_ARRAY(&v) = nullptr;
    } else if (k < 28) {
      VARTYPE vt = anyElementType();
      V_VT(&v) = VT_ARRAY | vt;
      V_ARRAY(&v) = array(vt, arena, depth);
      if (!V_ARRAY(&v)) V_VT(&v) = VT_EMPTY;
    } else if (k < 30) {  // a chain of references to variants
      arena.targets.emplace_back();
      VARIANT& target = arena.targets.back();
      generic(target, arena, depth + 1, nullRefs);
      V_VT(&v) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&v) = &target;
    } else {  // a reference to a value of any type
      arena.targets.emplace_back();
      VARIANT& target = arena.targets.back();
      generic(target, arena, depth + 1, nullRefs);
      VARTYPE vt = V_VT(&target);
      if (vt & VT_BYREF) {
        V_VT(&v) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&v) = &target;
      } else if (vt == VT_DECIMAL) {
        arena.decimals.push_back(V_DECIMAL(&target));
        V_VT(&v) = VT_BYREF | VT_DECIMAL;
        V_DECIMALREF(&v) = &arena.decimals.back();
        VariantInit(&target);
      } else {
        V_VT(&v) = VT_BYREF | vt;
        V_BYREF(&v) = &V_I1(&target);
      }
      if (nullRefs && chance(6)) V_BYREF(&v) = nullptr;
    }
  }

  bool shortTexts = false;  // 16 characters at most

 private:
  std::mt19937 rng_;
  IDispatch* self_;
};

struct Sandbox {
  std::wstring temp;
  std::wstring files[2];
  std::wstring fixtures[6];
  wchar_t startDir[MAX_PATH * 4] = {};
  COLORREF colours[31] = {};

  Sandbox() {
    temp = vtest::tempDir<std::wstring>() + L"\\argfuzz";
    CreateDirectoryW(temp.c_str(), nullptr);
    files[0] = temp + L"\\plain.txt";
    files[1] = temp + L"\\\x30a8\x30e9\x30fc file.txt";
    for (auto& f : files) {
      HANDLE h = CreateFileW(f.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      CloseHandle(h);
    }
    const wchar_t* names[] = {L"fixture_ok.dll", L"fixture_false.dll", L"fixture_no_entry.dll",
                              L"fixture_raise.dll", L"fixture_read_null.dll", L"fixture_divide_zero.dll"};
    for (int i = 0; i < 6; ++i) fixtures[i] = vtest::fixturePath(names[i]);
    GetCurrentDirectoryW(MAX_PATH * 4, startDir);
    for (int i = 0; i < 31; ++i) colours[i] = GetSysColor(i);
  }
  void restoreColours() {
    INT idx[31];
    for (int i = 0; i < 31; ++i) idx[i] = i;
    SetSysColors(31, idx, colours);
  }
  bool coloursIntact() {
    for (int i = 0; i < 31; ++i)
      if (GetSysColor(i) != colours[i]) return false;
    return true;
  }
};

void setText(VARIANT& v, const std::wstring& s) {
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

// One argument of `m` at declared position `pos` (or an extra one past the end).
void argumentFor(const Member& m, size_t pos, Generator& g, Sandbox& box, Arena& arena, VARIANT& v) {
  const std::wstring& n = m.name;
  bool variantParam = pos < m.paramTypes.size() && m.paramTypes[pos] == VT_VARIANT;
  if (n == L"sleep" || n == L"beep") {  // small values of a few types: no long pauses
    VariantInit(&v);
    static const VARTYPE t[] = {VT_I4, VT_UI1, VT_I2, VT_R8, VT_BSTR, VT_EMPTY, VT_BOOL};
    VARTYPE vt = t[g.pick(7)];
    unsigned small = g.pick(3);
    if (vt == VT_BSTR) return setText(v, std::to_wstring(small));
    V_VT(&v) = vt;
    if (vt == VT_R8) V_R8(&v) = small; else V_I4(&v) = LONG(small);
    if (vt == VT_UI1 || vt == VT_I2 || vt == VT_BOOL) { V_I4(&v) = 0; V_UI1(&v) = BYTE(small); }
    return;
  }
  if (n == L"sndPlaySound" && pos == 1) {
    // Never the default sound, so nothing plays on, and synchronous: Wine starts a player
    // thread for each asynchronous sound, whose memory the growth check would count.
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = LONG((g.pick(0x20) | SND_NODEFAULT) & ~(SND_LOOP | SND_ASYNC));
    return;
  }
  if (n == L"sndPlaySound" && pos == 0) {
    return setText(v, box.temp + L"\\no sound " + std::to_wstring(g.pick(1000)) + L".wav");
  }
  if ((n == L"regsvr" || n == L"regsvr_u") && pos == 0) {
    unsigned k = g.pick(10);
    if (k < 6) return setText(v, box.fixtures[k]);
    if (k < 8) return setText(v, box.temp + L"\\missing\\" + g.text());
    if (k == 8) return setText(v, L"");
    do g.generic(v, arena, 0, false); while (V_VT(&v) == VT_BSTR || V_VT(&v) == (VT_BYREF | VT_BSTR) ||
                                            V_VT(&v) == (VT_BYREF | VT_VARIANT) || (V_VT(&v) & VT_ARRAY));
    return;
  }
  if ((n == L"setFileTime" || n == L"setFileTimeOne" || n == L"getFileTime") && pos == 0) {
    unsigned k = g.pick(8);
    if (k < 4) return setText(v, box.files[k % 2]);
    if (k < 6) return setText(v, box.temp + L"\\missing " + g.text());
    if (k == 6) return setText(v, box.temp);  // a folder
    do g.generic(v, arena, 0, false); while (V_VT(&v) == VT_BSTR || V_VT(&v) == (VT_BYREF | VT_BSTR) ||
                                            V_VT(&v) == (VT_BYREF | VT_VARIANT) || (V_VT(&v) & VT_ARRAY));
    return;
  }
  // Half the time a value of the declared type, so that most calls reach the method body.
  VARTYPE declared = pos < m.paramTypes.size() ? m.paramTypes[pos] : VARTYPE(VT_EMPTY);
  if (g.chance(2) && declared == VT_BSTR) {
    static const wchar_t* kinds[] = {L"C", L"a", L"W", L"cAw", L"", L"x"};
    return setText(v, n == L"setFileTimeOne" ? kinds[g.pick(6)] : g.text());
  }
  if (g.chance(2) && (declared == VT_I4 || declared == VT_INT || declared == VT_UI4 || declared == VT_UINT)) {
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = g.chance(2) ? LONG(g.pick(61)) : g.integer();
    return;
  }
  g.generic(v, arena, 0, variantParam);
}


// ---- Differential mode ---------------------------------------------------------------------
// Each generated call goes twice through IDispatch::Invoke: as an ordinary caller makes it,
// where the server's fast path takes the calls that it can, and with the interface
// identifier that sends every call through the platform's ITypeInfo::Invoke. The two answers
// must be the same in everything a caller can see: the HRESULT, the result's type and value,
// what was written to puArgErr, every EXCEPINFO field, and whether error information is left
// on the thread. Result, puArgErr and the EXCEPINFO code start from marker values, so that
// writing them where the other path leaves them shows; sometimes they are not given at all.

// The server's switch to the platform path, from the server's own header.
using vantorelix::kPlatformDispatchPath;

// Shapes that ordinary callers send and the fast path is meant for, mixed into the
// generated arguments: 16-bit and unsigned integers for integer inputs, one level of
// VT_BYREF|VT_VARIANT around a value (as script engines send variables), and the marker of a
// missing argument for inputs that have a default.
void directRoadShape(const Member& m, size_t pos, Generator& g, Arena& arena, VARIANT& v) {
  VARTYPE declared = pos < m.paramTypes.size() ? m.paramTypes[pos] : VARTYPE(VT_EMPTY);
  bool integer = declared == VT_I4 || declared == VT_INT || declared == VT_UI4 || declared == VT_UINT;
  if (integer && V_VT(&v) == VT_I4) {
    unsigned k = g.pick(6);
    if (k == 0 && V_I4(&v) >= -32768 && V_I4(&v) <= 32767) {
      SHORT x = SHORT(V_I4(&v));
      V_VT(&v) = VT_I2;
      V_I2(&v) = x;
    } else if (k == 1) {
      V_VT(&v) = VT_UI4;
    }
  }
  if (pos < m.optional.size() && m.optional[pos] && m.name != L"sleep" && g.chance(8)) {
    // The value made for this place stays with the arena, which frees it with everything
    // else after the call (an array of it may be shown without dimensions until then).
    arena.targets.emplace_back(v);
    VariantInit(&v);
    V_VT(&v) = VT_ERROR;
    V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  }
  if (g.chance(5) && !(V_VT(&v) & VT_BYREF)) {
    arena.targets.emplace_back(v);  // the arena's target owns the value from now on
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = &arena.targets.back();
  }
}

std::wstring describe(const VARIANT& v);

std::wstring describeArray(SAFEARRAY* a) {
  if (!a) return L"(no array)";
  std::wstring out = L"[" + std::to_wstring(a->cDims) + L"d";
  VARTYPE vt = VT_EMPTY;
  SafeArrayGetVartype(a, &vt);
  out += L" vt" + std::to_wstring(vt);
  if (a->cDims == 1 && vt == VT_VARIANT) {
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(a, 1, &lo);
    SafeArrayGetUBound(a, 1, &hi);
    out += L" " + std::to_wstring(lo) + L".." + std::to_wstring(hi) + L":";
    for (LONG i = lo; i <= hi; ++i) {
      VARIANT e;
      VariantInit(&e);
      SafeArrayGetElement(a, &i, &e);
      out += L" " + describe(e);
      VariantClear(&e);
    }
  }
  return out + L"]";
}

// Everything a caller can read of a value, as text.
std::wstring describe(const VARIANT& v) {
  std::wstring out = L"vt" + std::to_wstring(V_VT(&v)) + L"=";
  switch (V_VT(&v)) {
    case VT_EMPTY: case VT_NULL: return out;
    case VT_BSTR:
      if (!V_BSTR(&v)) return out + L"(null)";
      return out + L"\"" + std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) + L"\"";
    case VT_I2: return out + std::to_wstring(V_I2(&v));
    case VT_I4: case VT_INT: case VT_ERROR: return out + std::to_wstring(V_I4(&v));
    case VT_UI4: case VT_UINT: return out + std::to_wstring(V_UI4(&v));
    case VT_BOOL: return out + std::to_wstring(V_BOOL(&v));
    case VT_ARRAY | VT_VARIANT: return out + describeArray(V_ARRAY(&v));
    case VT_BYREF | VT_VARIANT: return out + (V_VARIANTREF(&v) ? L"&(" + describe(*V_VARIANTREF(&v)) + L")" : L"&null");
    case VT_I1: case VT_UI1: case VT_UI2: case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_DATE: case VT_CY:
    case VT_DECIMAL: {
      // Only plain numbers are converted for the text: objects, references and invalid types
      // would have the platform call into them.
      VARIANT text;
      VariantInit(&text);
      if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&v), 0, VT_BSTR)) && V_BSTR(&text)) out += V_BSTR(&text);
      else out += L"?";
      VariantClear(&text);
      return out;
    }
    default:
      if (V_VT(&v) & VT_BYREF) return out + (V_BYREF(&v) ? L"&..." : L"&null");
      return out + L"?";
  }
}

// What one path answered.
struct Answer {
  HRESULT hr = S_OK;
  std::wstring result, excep, argErr;
  bool infoLeft = false;
  std::wstring text() const {
    wchar_t h[16];
    swprintf(h, 16, L"%08lX", static_cast<unsigned long>(hr));
    return std::wstring(L"hr ") + h + L"; result " + result + L"; excepinfo " + excep + L"; argErr " + argErr +
           (infoLeft ? L"; error information left" : L"");
  }
};

Answer invokeThrough(IDispatch* d, REFIID iid, DISPID id, WORD flags, DISPPARAMS& params, bool giveResult,
                     bool giveExcep, bool giveArgErr) {
  Answer a;
  VARIANT result;
  VariantInit(&result);
  V_VT(&result) = VT_I2;  // a marker that either path may overwrite or clear, never free
  V_I2(&result) = 12345;
  // EXCEPINFO starts cleared, as callers give it: Windows' rule is that the fields a failure
  // does not use are 0 or null, which the fast path writes and Wine's path leaves as they
  // were (the in-process frame test shows that difference with a marker in every field).
  // The code carries a marker, to show a write where the other path makes none.
  EXCEPINFO excep;
  std::memset(&excep, 0, sizeof excep);
  excep.scode = 0x12345678;
  UINT argErr = 0xCCCCCCCC;
  SetErrorInfo(0, nullptr);
  a.hr = d->Invoke(id, iid, LOCALE_USER_DEFAULT, flags, &params, giveResult ? &result : nullptr,
                   giveExcep ? &excep : nullptr, giveArgErr ? &argErr : nullptr);
  IErrorInfo* left = nullptr;
  a.infoLeft = GetErrorInfo(0, &left) == S_OK && left;
  if (left) left->Release();
  a.result = giveResult ? describe(result) : L"-";
  if (giveExcep) {
    auto text = [](BSTR b) { return b ? L"\"" + std::wstring(b, SysStringLen(b)) + L"\"" : std::wstring(L"(null)"); };
    wchar_t numbers[96];
    swprintf(numbers, 96, L"wCode %u wReserved %u helpContext %lu scode %08lX reserved %d fill-in %d",
             unsigned(excep.wCode), unsigned(excep.wReserved), static_cast<unsigned long>(excep.dwHelpContext),
             static_cast<unsigned long>(excep.scode), excep.pvReserved != nullptr, excep.pfnDeferredFillIn != nullptr);
    a.excep = std::wstring(numbers) + L" source " + text(excep.bstrSource) + L" description " +
              text(excep.bstrDescription) + L" help file " + text(excep.bstrHelpFile);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  } else {
    a.excep = L"-";
  }
  a.argErr = giveArgErr ? std::to_wstring(argErr) : L"-";
  VariantClear(&result);
  return a;
}

// A result that is not the same from one call to the next: a new GUID, the tick count. Its
// type and form are compared, not its value.
std::wstring steadyPart(const std::wstring& member, const Answer& a) {
  if (member == L"genGUID" || member == L"getTickCount") {
    std::wstring r = a.result;
    size_t eq = r.find(L'=');
    if (eq != std::wstring::npos) r = r.substr(0, eq + 1) + L"<" + std::to_wstring(r.size() - eq - 1) + L" chars>";
    if (member == L"getTickCount") r = r.substr(0, eq + 1);
    return r;
  }
  return a.result;
}

// The DISPIDs of the first `count` arguments, given by name: mostly a parameter's own from
// `ids` (where the pick is the member's own, at 0, the argument's position instead), sometimes
// one that names no parameter.
std::vector<DISPID> namedIds(Generator& g, const std::vector<DISPID>& ids, size_t count) {
  std::vector<DISPID> named;
  for (size_t i = 0; i < count; ++i) {
    size_t pos = g.pick(unsigned(ids.size()));
    named.push_back(g.chance(8) ? DISPID(g.pick(40)) - 2 : (pos ? ids[pos] : DISPID(i)));
  }
  return named;
}

int differentialRun(IDispatch* utils, const std::vector<Member>& members, unsigned long calls, unsigned seed) {
  stress::Verdict verdict;
  Sandbox box;
  Generator g(seed, utils);
  g.shortTexts = true;  // strings of every kind, without the megabyte ones (twice the calls)
  std::map<std::wstring, std::vector<DISPID>> paramIds;
  for (const Member& m : members) {
    std::vector<LPOLESTR> names{const_cast<LPOLESTR>(m.name.c_str())};
    for (const auto& p : m.params) names.push_back(const_cast<LPOLESTR>(p.c_str()));
    std::vector<DISPID> ids(names.size());
    utils->GetIDsOfNames(IID_NULL, names.data(), UINT(names.size()), 0, ids.data());
    paramIds[m.name] = ids;
  }
  std::map<HRESULT, unsigned long> answers;
  std::map<std::wstring, unsigned long> exceptions;
  unsigned long differences = 0;
  DWORD started = GetTickCount();
  for (unsigned long call = 0; call < calls; ++call) {
    const Member& m = members[g.pick(unsigned(members.size()))];
    Arena arena;
    size_t count = m.params.size();
    unsigned shape = g.pick(20);
    if (shape == 0 && count) count -= 1 + g.pick(unsigned(count));
    else if (shape == 1) count += 1 + g.pick(3);
    else if (shape == 2) while (count && m.optional[count - 1] && g.chance(2)) --count;  // defaults left out
    size_t namedCount = (g.chance(12) && count) ? 1 + g.pick(unsigned(count)) : 0;
    arena.args.resize(count);
    for (size_t i = 0; i < count; ++i) {
      size_t pos = i < namedCount ? i : count - 1 - (i - namedCount);
      argumentFor(m, pos, g, box, arena, arena.args[i]);
      directRoadShape(m, pos, g, arena, arena.args[i]);
    }
    std::vector<DISPID> named = namedIds(g, paramIds[m.name], namedCount);
    DISPPARAMS params{count ? arena.args.data() : nullptr, namedCount ? named.data() : nullptr, UINT(count),
                      UINT(namedCount)};
    DISPID id = g.chance(200) ? DISPID(0xC9 + 27 + g.pick(5)) : m.id;
    static const WORD flagChoices[] = {DISPATCH_METHOD, DISPATCH_METHOD, DISPATCH_METHOD, DISPATCH_METHOD,
                                       DISPATCH_METHOD | DISPATCH_PROPERTYGET, DISPATCH_PROPERTYGET,
                                       DISPATCH_PROPERTYPUT, DISPATCH_METHOD | 0x10};
    WORD flags = g.chance(4) ? flagChoices[g.pick(8)] : WORD(DISPATCH_METHOD);
    bool giveResult = !g.chance(10), giveExcep = !g.chance(10), giveArgErr = !g.chance(10);

    // The same starting state for both: the current folder and the system colours.
    SetCurrentDirectoryW(box.startDir);
    Answer direct = invokeThrough(utils, IID_NULL, id, flags, params, giveResult, giveExcep, giveArgErr);
    SetCurrentDirectoryW(box.startDir);
    if (m.name == L"setSysColor" && !box.coloursIntact()) box.restoreColours();
    Answer general = invokeThrough(utils, kPlatformDispatchPath, id, flags, params, giveResult, giveExcep, giveArgErr);
    SetCurrentDirectoryW(box.startDir);
    if (m.name == L"setSysColor" && !box.coloursIntact()) box.restoreColours();
    if (m.name == L"sndPlaySound") PlaySoundW(nullptr, nullptr, 0);
    answers[general.hr]++;
    if (general.hr == DISP_E_EXCEPTION) exceptions[m.name]++;

    bool same = direct.hr == general.hr && steadyPart(m.name, direct) == steadyPart(m.name, general) &&
                direct.excep == general.excep && direct.argErr == general.argErr && direct.infoLeft == general.infoLeft;
    if (!same) {
      ++differences;
      std::wstring args;
      for (size_t i = count; i-- > 0;) args += describe(arena.args[i]) + L" ";
      verdict.check(false, "call %lu %ls flags %u named %u args %ls\n  direct:  %ls\n  general: %ls", call,
                    m.name.c_str(), unsigned(flags), unsigned(namedCount), args.c_str(), direct.text().c_str(),
                    general.text().c_str());
    } else {
      verdict.check(true, "");
    }
  }
  double seconds = (GetTickCount() - started) / 1000.0;
  std::printf("differential: %lu calls through both paths in %.1f s from seed %u, %lu differences\n", calls, seconds,
              seed, differences);
  for (const auto& a : answers)
    std::printf("  answer 0x%08lX: %lu\n", static_cast<unsigned long>(a.first), a.second);
  for (const auto& e : exceptions) std::printf("  DISP_E_EXCEPTION from %ls: %lu\n", e.first.c_str(), e.second);

  // The fast path is taken at all: an ordinary call of getMaxPath, with a place for the
  // exception as scripts give it, costs a small part of the platform path (a tenth here; the
  // check allows half, for a loaded machine).
  auto timeOf = [&](REFIID iid) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXCEPINFO excep;
    std::memset(&excep, 0, sizeof excep);
    double best = 1e30;
    for (int round = 0; round < 5; ++round) {
      LARGE_INTEGER a, b;
      QueryPerformanceCounter(&a);
      for (int i = 0; i < 2000; ++i) {
        VARIANT r;
        VariantInit(&r);
        utils->Invoke(0xD7, iid, 0, DISPATCH_METHOD, &none, &r, &excep, nullptr);
      }
      QueryPerformanceCounter(&b);
      best = std::min(best, double(b.QuadPart - a.QuadPart));
    }
    return best;
  };
  double direct = timeOf(IID_NULL), general = timeOf(kPlatformDispatchPath);
  std::printf("getMaxPath through Invoke: fast path %.0f%% of the platform path\n", 100 * direct / general);
  verdict.check(direct < general / 2, "getMaxPath does not take the fast path (%.0f%% of the platform's time)",
                100 * direct / general);
  return verdict.finish();
}

bool isDispatchCode(HRESULT hr) { return FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_DISPATCH; }

}  // namespace

int main(int argc, char** argv) {
  unsigned long calls = stress::argCount(argc, argv, 100000);
  unsigned seed = argc > 2 ? unsigned(std::strtoul(argv[2], nullptr, 10)) : 20261209u;
  const bool differential = argc > 3 && std::strcmp(argv[3], "differential") == 0;
  stress::Verdict verdict;
  const bool trace = std::getenv("ARGFUZZ_TRACE") != nullptr;  // memory growth by member and answer
  if (CoInitialize(nullptr) != S_OK) return 2;
  stress::ServerDll dll(vtest::dllPath<std::wstring>());
  IDispatch* utils = nullptr;
  HRESULT created = stress::createThroughExports(dll, CLSID_Utils, IID_IDispatch, reinterpret_cast<void**>(&utils));
  if (created != S_OK) {
    std::printf("FAIL: Vantorelix.Utils cannot be created: 0x%08lX\n", static_cast<unsigned long>(created));
    return 1;
  }
  std::vector<Member> members = membersOf(utils);
  verdict.check(members.size() == 27, "27 members in the type information, found %u", unsigned(members.size()));
  if (differential) {
    int verdictOfRun = differentialRun(utils, members, calls, seed);
    utils->Release();
    CoUninitialize();
    return verdict.failures ? 1 : verdictOfRun;
  }
  std::map<std::wstring, std::vector<DISPID>> paramIds;
  for (const Member& m : members) {
    std::vector<LPOLESTR> names{const_cast<LPOLESTR>(m.name.c_str())};
    for (const auto& p : m.params) names.push_back(const_cast<LPOLESTR>(p.c_str()));
    std::vector<DISPID> ids(names.size());
    verdict.check(utils->GetIDsOfNames(IID_NULL, names.data(), UINT(names.size()), 0, ids.data()) == S_OK,
                  "names of %ls", m.name.c_str());
    paramIds[m.name] = ids;
  }

  Sandbox box;
  Generator g(seed, utils);
  std::map<HRESULT, unsigned long> answers;
  std::map<std::wstring, unsigned long> succeeded;
  std::map<std::wstring, long> growth;
  std::map<HRESULT, long> growthByAnswer;
  size_t memoryAfterWarmUp = 0, memoryPeak = 0;
  DWORD started = GetTickCount();

  const unsigned long memoryCalls = calls / 5, total = calls + memoryCalls;
  for (unsigned long call = 0; call < total; ++call) {
    if (call == calls) g.shortTexts = true;
    if (call == calls + memoryCalls / 10) memoryAfterWarmUp = vtest::privateBytes();
    const Member& m = members[g.pick(unsigned(members.size()))];
    Arena arena;
    // Mostly the declared count; sometimes one too few, too many, or none at all.
    size_t count = m.params.size();
    unsigned shape = g.pick(20);
    if (shape == 0 && count) count -= 1 + g.pick(unsigned(count));
    else if (shape == 1) count += 1 + g.pick(3);
    size_t namedCount = 0;
    if (g.chance(10) && count) namedCount = 1 + g.pick(unsigned(count));
    // DISPPARAMS hold named arguments first, then positional ones in reverse order.
    arena.args.resize(count);
    for (size_t i = 0; i < count; ++i) {
      size_t pos = i < namedCount ? i : count - 1 - (i - namedCount);
      argumentFor(m, pos, g, box, arena, arena.args[i]);
    }
    std::vector<DISPID> named = namedIds(g, paramIds[m.name], namedCount);
    DISPPARAMS params{count ? arena.args.data() : nullptr, namedCount ? named.data() : nullptr, UINT(count),
                      UINT(namedCount)};
    DISPID id = g.chance(200) ? DISPID(0xC9 + 27 + g.pick(5)) : m.id;
    WORD flags = g.chance(30) ? WORD(DISPATCH_METHOD | DISPATCH_PROPERTYGET) : WORD(DISPATCH_METHOD);

        size_t before = trace ? vtest::privateBytes() : 0;
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT argErr = 0;
    SetErrorInfo(0, nullptr);
    HRESULT hr = utils->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &excep, &argErr);
    answers[hr]++;

    // The answer and the error information.
    IErrorInfo* left = nullptr;
    bool infoLeft = GetErrorInfo(0, &left) == S_OK && left;
    if (left) left->Release();
    if (hr == S_OK) {
      succeeded[m.name]++;
      verdict.check(!infoLeft, "call %lu %ls: error information after success", call, m.name.c_str());
      if (m.result != VT_VARIANT && m.result != VT_EMPTY) {
        auto plain = [](VARTYPE t) { return t == VT_INT ? VARTYPE(VT_I4) : t == VT_UINT ? VARTYPE(VT_UI4) : t; };
        VARTYPE want = plain(m.result), got = plain(V_VT(&result));
        verdict.check(got == want, "call %lu %ls: result of type %u, declared %u", call, m.name.c_str(),
                      unsigned(V_VT(&result)), unsigned(m.result));
      }
    } else if (hr == DISP_E_EXCEPTION) {
      bool described = excep.bstrSource && std::wstring(excep.bstrSource) == L"Vantorelix.Utils" &&
                       excep.bstrDescription && SysStringLen(excep.bstrDescription) > 0;
      verdict.check(described && FAILED(excep.scode) && id == m.id,
                    "call %lu %ls: exception 0x%08lX without the object's error information", call,
                    m.name.c_str(), static_cast<unsigned long>(excep.scode));
    } else {
      verdict.check(isDispatchCode(hr) || hr == E_INVALIDARG || hr == E_OUTOFMEMORY,
                    "call %lu %ls: answer 0x%08lX", call, m.name.c_str(), static_cast<unsigned long>(hr));
      verdict.check(!excep.bstrSource && !excep.bstrDescription && !infoLeft,
                    "call %lu %ls: error information with the platform's answer 0x%08lX", call, m.name.c_str(),
                    static_cast<unsigned long>(hr));
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    VariantClear(&result);

    // Undo the side effects.
    if (m.name == L"setCurrentDir") SetCurrentDirectoryW(box.startDir);
    if (m.name == L"setSysColor" && hr == S_OK && !box.coloursIntact()) box.restoreColours();
    if (m.name == L"sndPlaySound") PlaySoundW(nullptr, nullptr, 0);
    if (trace) {
      long grown = long(vtest::privateBytes()) - long(before);
      growth[m.name] += grown;
      growthByAnswer[hr] += grown;
    }
    if (call % 1000 == 0) memoryPeak = std::max(memoryPeak, vtest::privateBytes());
  }

  size_t memoryEnd = vtest::privateBytes();
  double seconds = (GetTickCount() - started) / 1000.0;
  std::printf("%lu calls, then %lu with short texts, in %.1f s from seed %u\n", calls, memoryCalls, seconds, seed);
  for (const auto& a : answers)
    std::printf("  answer 0x%08lX: %lu, %ld KiB\n", static_cast<unsigned long>(a.first), a.second,
                growthByAnswer[a.first] / 1024);
  for (const Member& m : members)
    std::printf("  %ls: %lu succeeded, %ld KiB\n", m.name.c_str(), succeeded[m.name], growth[m.name] / 1024);
  std::printf("private bytes in the memory phase: after its first tenth %lu KiB, at the end %lu KiB; highest %lu KiB\n",
              static_cast<unsigned long>(memoryAfterWarmUp / 1024), static_cast<unsigned long>(memoryEnd / 1024),
              static_cast<unsigned long>(memoryPeak / 1024));
  verdict.check(memoryEnd <= memoryAfterWarmUp + 256 * 1024, "private bytes grew by %ld KiB in the memory phase",
                long((long long)memoryEnd - (long long)memoryAfterWarmUp) / 1024);
  verdict.check(GetCurrentDirectoryW(0, nullptr) > 0, "current folder");
  verdict.check(box.coloursIntact(), "system colours as they were");
  for (const Member& m : members)
    verdict.check(succeeded[m.name] > 0 || calls < 2000, "%ls never succeeded", m.name.c_str());
  utils->Release();
  CoUninitialize();
  return verdict.finish();
}
