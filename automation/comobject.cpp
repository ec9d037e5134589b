#include "automation/comobject.h"

#include <atomic>
#include <exception>
#include <string_view>

#include "automation/raii.h"
#include "automation/text_logic.h"
#include "automation/variants.h"

namespace vantorelix {

const InterfaceEntry* findInterfaceEntry(const ComClass& cls, REFIID iid) {
  for (const ComClass* c = &cls; c; c = c->base)
    for (size_t i = 0; i < c->entryCount; ++i)
      if (IsEqualGUID(*c->entries[i].iid, iid)) return &c->entries[i];
  return nullptr;
}

// ---- TComObject ---------------------------------------------------------------------------

namespace {
const InterfaceEntry kComObjectEntries[] = {
    {&IID_ISupportErrorInfo, [](TComObject* o) -> IUnknown* { return static_cast<ISupportErrorInfo*>(o); }},
    {&IID_IUnknown, [](TComObject* o) -> IUnknown* { return o->nonDelegatingUnknown(); }},
};

std::atomic<ObjectCounter> gObjectCounter{nullptr};
}  // namespace

void setObjectCounter(ObjectCounter counter) { gObjectCounter = counter; }

const ComClass TComObject::comClass = {u"TComObject", nullptr, kComObjectEntries, 2, nullptr};

TComObject::TComObject() { inner_.self = this; }

TComObject::~TComObject() {
  if (counted_) gObjectCounter.load()(false);
}

void TComObject::construct(ObjectFactory& factory, IUnknown* controller) {
  refCount_ = 1;
  factory_ = &factory;
  controller_ = controller;
  if (ObjectCounter count = gObjectCounter.load()) {
    count(true);
    counted_ = true;
  }
  initialize();
  refCount_ = 0;
}

void TComObject::initialize() {}

ULONG TComObject::nonDelegatingAddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

HRESULT TComObject::nonDelegatingQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const InterfaceEntry* entry = findInterfaceEntry(interfaceTable(), iid);
  if (!entry) return E_NOINTERFACE;
  IUnknown* itf = entry->get(this);
  itf->AddRef();
  *out = itf;
  return S_OK;
}

ULONG TComObject::nonDelegatingRelease() {
  LONG n = InterlockedDecrement(&refCount_);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

HRESULT TComObject::QueryInterface(REFIID iid, void** out) {
  return controller_ ? controller_->QueryInterface(iid, out) : nonDelegatingQueryInterface(iid, out);
}

ULONG TComObject::AddRef() { return controller_ ? controller_->AddRef() : nonDelegatingAddRef(); }

ULONG TComObject::Release() { return controller_ ? controller_->Release() : nonDelegatingRelease(); }

HRESULT TComObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return findInterfaceEntry(interfaceTable(), iid) ? S_OK : S_FALSE;
}

HRESULT TComObject::reportMethodError(const Exception& error) {
  HRESULT result = E_UNEXPECTED;
  ComPtr<ICreateErrorInfo> info;
  if (FAILED(CreateErrorInfo(&info))) return E_UNEXPECTED;
  info->SetGUID(factory().errorIID());
  const std::u16string& progID = factory().progID();
  if (!progID.empty()) info->SetSource(const_cast<LPOLESTR>(wptr(progID)));
  std::u16string helpFile = factory().helpFileName();
  if (!helpFile.empty()) info->SetHelpFile(const_cast<LPOLESTR>(wptr(helpFile)));
  info->SetDescription(const_cast<LPOLESTR>(wptr(error.message())));
  info->SetHelpContext(error.helpContext());
  if (auto sysError = dynamic_cast<const EOleSysError*>(&error))
    if (sysError->code() < 0) result = sysError->code();
  ComPtr<IErrorInfo> errorInfo;
  if (SUCCEEDED(info.As(&errorInfo))) SetErrorInfo(0, errorInfo.Get());
  return result;
}

// ---- TTypedComObject ----------------------------------------------------------------------

namespace {
const InterfaceEntry kTypedComObjectEntries[] = {
    {&IID_IProvideClassInfo,
     [](TComObject* o) -> IUnknown* { return static_cast<IProvideClassInfo*>(static_cast<TTypedComObject*>(o)); }},
};
}  // namespace

const ComClass TTypedComObject::comClass = {u"TTypedComObject", &TComObject::comClass, kTypedComObjectEntries, 1,
                                            nullptr};

HRESULT TTypedComObject::GetClassInfo(ITypeInfo** out) {
  if (!out) return E_POINTER;
  ITypeInfo* info = factory().classTypeInfo();
  info->AddRef();
  *out = info;
  return S_OK;
}

// ---- TAutoObject --------------------------------------------------------------------------

namespace {
const InterfaceEntry kAutoObjectEntries[] = {
    {&IID_IDispatch, [](TComObject* o) -> IUnknown* { return static_cast<IDispatch*>(static_cast<TAutoObject*>(o)); }},
};
}  // namespace

const ComClass TAutoObject::comClass = {u"TAutoObject", &TTypedComObject::comClass, kAutoObjectEntries, 1, nullptr};

void TAutoObject::initialize() {
  TTypedComObject::initialize();
  dispatchInstance_ = factory().dispatchEntry().get(this);
  fastDispatch_ = &factory().fastDispatch();
}

HRESULT TAutoObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  // Scripts ask for a member's DISPID on every call; a lone member name is answered from the
  // factory's table, which gives what the type information gives, several times faster.
  if (count == 1 && names && ids && factory().findMemberId(names[0], ids[0])) return S_OK;
  return DispGetIDsOfNames(factory().dispatchTypeInfo(), names, count, ids);
}

HRESULT TAutoObject::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  ITypeInfo* info = factory().dispatchTypeInfo();
  info->AddRef();
  *out = info;
  return S_OK;
}

HRESULT TAutoObject::GetTypeInfoCount(UINT* out) {
  if (!out) return E_POINTER;
  *out = 1;
  return S_OK;
}

HRESULT TAutoObject::Invoke(DISPID dispid, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* excepInfo, UINT* argErr) {
  IUnknown* instance = dispatchInstance_;
  // Ordinary calls whose arguments need no conversion go straight to the method; the answer
  // is the one that the platform path below gives the same call.
  HRESULT hr;
  if (!asksForPlatformPath(iid) && fastDispatch_->invoke(instance, dispid, flags, params, result, excepInfo, hr))
    return hr;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) flags = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
  return factory().dispatchTypeInfo()->Invoke(instance, dispid, flags, params, result, excepInfo, argErr);
}

// ---- rethrowFailedCall --------------------------------------------------------------------

void rethrowFailedCall(HRESULT hr) {
  if (hr >= 0) return;
  std::u16string message, source, helpFile;
  DWORD helpContext = 0;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    Bstr description, src, file;
    info->GetDescription(description.out());
    info->GetSource(src.out());
    info->GetHelpFile(file.out());
    info->GetHelpContext(&helpContext);
    message = trimTrailing(std::u16string(description.view()));
    source = std::u16string(src.view());
    helpFile = std::u16string(file.view());
  }
  throw EOleException(std::move(message), hr, std::move(source), std::move(helpFile), helpContext);
}

// ---- what a fixed answer drops ----------------------------------------------------------------

namespace {

// "0x" and eight hexadecimal digits.
struct HexText {
  explicit HexText(uint32_t value) noexcept {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    text[0] = u'0';
    text[1] = u'x';
    for (int i = 0; i < 8; ++i) text[2 + i] = kDigits[(value >> (28 - 4 * i)) & 0xF];
    text[10] = 0;
  }
  char16_t text[11];
};

// One line of the trace in a buffer of its own: a long message is cut short, never allocated
// for, and a line break inside it becomes a space, so that the trace stays one line.
class TraceLine {
 public:
  TraceLine& operator<<(std::u16string_view text) noexcept {
    for (char16_t c : text) put(c == u'\r' || c == u'\n' ? u' ' : c);
    return *this;
  }
  TraceLine& operator<<(const char* text) noexcept {  // ASCII: the name of a standard exception
    for (; *text; ++text) put(static_cast<unsigned char>(*text));
    return *this;
  }
  void send() noexcept {
    text_[length_++] = L'\n';
    text_[length_] = 0;
    OutputDebugStringW(text_);
  }

 private:
  void put(char16_t c) noexcept {
    if (length_ + 2 < kSize) text_[length_++] = static_cast<wchar_t>(c);  // room for the line end and the zero
  }
  static constexpr size_t kSize = 1024;
  wchar_t text_[kSize];
  size_t length_ = 0;
};

const char16_t* errorClassName(const Exception& error) noexcept {
  if (dynamic_cast<const EOleException*>(&error)) return u"EOleException";
  if (dynamic_cast<const EOleSysError*>(&error)) return u"EOleSysError";
  if (dynamic_cast<const EOleRegistrationError*>(&error)) return u"EOleRegistrationError";
  if (dynamic_cast<const EOleError*>(&error)) return u"EOleError";
  if (dynamic_cast<const EConvertError*>(&error)) return u"EConvertError";
  if (dynamic_cast<const EVariantError*>(&error)) return u"EVariantError";
  return u"Exception";
}

}  // namespace

void traceDroppedError(const char16_t* where, const char16_t* answer) noexcept {
  TraceLine line;
  line << u"Vantorelix: " << where << u" answered " << answer << u", dropping ";
  if (!std::current_exception()) {
    line << u"nothing: no exception is being handled";
  } else {
    try {
      throw;
    } catch (const Exception& error) {
      line << errorClassName(error);
      if (auto sysError = dynamic_cast<const EOleSysError*>(&error))
        line << u" " << HexText(static_cast<uint32_t>(sysError->code())).text;
      else if (auto variantError = dynamic_cast<const EVariantError*>(&error))
        line << u" " << HexText(static_cast<uint32_t>(variantError->code())).text;
      line << u": " << error.message();
    } catch (const std::bad_alloc&) {
      line << u"std::bad_alloc: memory is exhausted";
    } catch (const std::exception& error) {
      line << u"std::exception: " << error.what();
    } catch (...) {
      line << u"an exception of no known kind";
    }
  }
  line.send();
}

HRESULT answerAtEdge(const char16_t* edge, HRESULT answer) noexcept {
  traceDroppedError(edge, HexText(static_cast<uint32_t>(answer)).text);
  return answer;
}

}  // namespace vantorelix
