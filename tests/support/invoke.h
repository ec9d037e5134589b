// Late-bound calls as a script host makes them: IDispatch::Invoke with the arguments given in
// the caller's order, optionally some by name.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "automation/raii.h"

namespace vtest {

// The DISPPARAMS of a call whose arguments are given in the caller's order: the named ones
// first, then the positional ones in reverse, as Invoke takes them. It holds the VARIANT
// structures, not what they own.
class CallArguments {
 public:
  explicit CallArguments(const std::vector<VARIANT>& positional,
                         const std::vector<std::pair<DISPID, VARIANT>>& named = {}) {
    for (const auto& n : named) {
      raw_.push_back(n.second);
      ids_.push_back(n.first);
    }
    raw_.insert(raw_.end(), positional.rbegin(), positional.rend());
    params_ = {raw_.empty() ? nullptr : raw_.data(), ids_.empty() ? nullptr : ids_.data(), static_cast<UINT>(raw_.size()),
               static_cast<UINT>(ids_.size())};
  }
  CallArguments(const CallArguments&) = delete;
  CallArguments& operator=(const CallArguments&) = delete;
  DISPPARAMS* params() { return &params_; }
  // Clears every value held: for arguments that the call took over.
  void clear() {
    for (VARIANT& v : raw_) VariantClear(&v);
  }

 private:
  std::vector<VARIANT> raw_;
  std::vector<DISPID> ids_;
  DISPPARAMS params_{};
};

// What a late-bound call answered: its HRESULT, its result, the exception and the position of
// a refused argument.
struct CallResult {
  HRESULT hr = E_FAIL;
  vantorelix::Variant value;
  EXCEPINFO excep{};
  UINT argErr = 0;
  CallResult() = default;
  CallResult(const CallResult&) = delete;
  CallResult& operator=(const CallResult&) = delete;
  ~CallResult() {
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
  // The result as text; "<not a string>" when it holds none.
  std::u16string string() const {
    const VARIANT* v = value.get();
    return V_VT(v) == VT_BSTR ? std::u16string(vantorelix::bstrView(V_BSTR(v))) : std::u16string(u"<not a string>");
  }
};

// The places a caller gives Invoke for the result, the exception and the argument error. A
// caller without a place for the exception (as some hosts call) takes the platform's own path
// of Invoke: the server's fast path needs one.
struct Places {
  bool result = true, excep = true, argErr = true;
};
const Places kResultOnly{true, false, false};
const Places kNoPlaces{false, false, false};

// The member's DISPID; DISPID_UNKNOWN when the object knows no member of that name.
inline DISPID dispidOf(IDispatch* d, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  return d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id) == S_OK ? id : DISPID_UNKNOWN;
}

// Calls member `id` with the arguments in the caller's order, and named ones (pairs of DISPID
// and value). The arguments are built values that the call takes over: they are cleared after
// it (a reference owns nothing, so the caller's variables stay).
inline void invokeById(IDispatch* d, DISPID id, std::initializer_list<VARIANT> args, CallResult& out,
                       const std::vector<std::pair<DISPID, VARIANT>>& named = {}, WORD flags = DISPATCH_METHOD,
                       Places places = {}) {
  CallArguments arguments(args, named);
  out.hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, arguments.params(), places.result ? out.value.get() : nullptr,
                     places.excep ? &out.excep : nullptr, places.argErr ? &out.argErr : nullptr);
  arguments.clear();
}

// The same by member name, the named arguments by parameter name. Names the object does not
// know give the call GetIDsOfNames' answer (DISP_E_UNKNOWNNAME) as its HRESULT, and no call.
inline void invoke(IDispatch* d, const wchar_t* name, std::initializer_list<VARIANT> args, CallResult& out,
                   std::initializer_list<std::pair<const wchar_t*, VARIANT>> named = {}) {
  std::vector<LPOLESTR> names{const_cast<LPOLESTR>(name)};
  for (const auto& n : named) names.push_back(const_cast<LPOLESTR>(n.first));
  std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
  HRESULT found = d->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT, ids.data());
  std::vector<std::pair<DISPID, VARIANT>> byId;
  for (size_t i = 0; i < named.size(); ++i) byId.emplace_back(ids[i + 1], (named.begin() + i)->second);
  if (found != S_OK) {
    CallArguments(args, byId).clear();
    out.hr = found;
    return;
  }
  invokeById(d, ids[0], args, out, byId);
}

}  // namespace vtest
