#include "server/factory.h"

#include "automation/frame_strings.h"
#include "automation/text_logic.h"
#include "server/classmanager.h"
#include "server/comserver.h"

namespace vantorelix {

// ---- TComObjectFactory --------------------------------------------------------------------

TComObjectFactory::TComObjectFactory(TComServerObject& server, const ComClass& cls, REFCLSID clsid,
                                     std::u16string className, std::u16string description, Instancing instancing,
                                     ThreadingModel threadingModel)
    : server_(server),
      class_(cls),
      clsid_(clsid),
      className_(std::move(className)),
      description_(std::move(description)),
      instancing_(instancing),
      threadingModel_(threadingModel) {
  comClassManager().AddFactory(this);
  if (!className_.empty()) progID_ = server_.serverName() + u"." + className_;
}

TComObjectFactory::~TComObjectFactory() { comClassManager().RemoveFactory(this); }

std::u16string TComObjectFactory::helpFileName() const { return server_.helpFileName(); }

HRESULT TComObjectFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// Factory references are counted over the whole server; a factory lives until unload.
ULONG TComObjectFactory::AddRef() { return static_cast<ULONG>(server_.countFactory(true)); }
ULONG TComObjectFactory::Release() { return static_cast<ULONG>(server_.countFactory(false)); }

HRESULT TComObjectFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer && !IsEqualGUID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  TComObject* object = nullptr;
  try {
    object = class_.create();
    object->construct(*this, outer);
  } catch (...) {
    // The caller sees E_UNEXPECTED for any failure; the debugger sees why.
    const HRESULT answer = answerAtEdge(u"IClassFactory::CreateInstance", E_UNEXPECTED);
    // A half-made object is already counted; deleting it uncounts it again.
    delete object;
    std::u16string message;
    bool show = showErrors_;
    try {
      throw;
    } catch (const Exception& error) {
      message = error.message();
    } catch (const std::bad_alloc&) {
      message = frameText(IDS_OUT_OF_MEMORY);
    } catch (...) {
      show = false;
    }
    if (show) {
      message = withClosingPeriod(std::move(message));
      std::u16string caption = frameText(IDS_ERROR_CAPTION);
      MessageBoxW(nullptr, wptr(message), wptr(caption), MB_OK | MB_ICONHAND | MB_SETFOREGROUND);
    }
    return answer;
  }
  HRESULT hr = object->nonDelegatingQueryInterface(iid, out);
  if (object->refCount() == 0) delete object;
  return hr;
}

HRESULT TComObjectFactory::LockServer(BOOL lock) {
  HRESULT hr = CoLockObjectExternal(static_cast<IUnknown*>(this), lock, TRUE);
  server_.countObject(lock != FALSE);
  return hr;
}

// ---- TTypedComObjectFactory ---------------------------------------------------------------

TTypedComObjectFactory::CoclassInfo TTypedComObjectFactory::readCoclass(TComServerObject& server, const ComClass& cls,
                                                                        REFCLSID clsid) {
  ITypeLib* typeLib = server.typeLib();
  CoclassInfo info;
  if (typeLib->GetTypeInfoOfGuid(clsid, &info.typeInfo) != S_OK)
    throw EOleError(fillMessage(frameText(IDS_NO_TYPE_INFO), {cls.name}));
  Bstr name, description;
  HRESULT hr = info.typeInfo->GetDocumentation(MEMBERID_NIL, name.out(), description.out(), nullptr, nullptr);
  if (FAILED(hr)) throw EOleSysError(hr);
  info.name = std::u16string(name.view());
  info.description = std::u16string(description.view());
  return info;
}

TTypedComObjectFactory::TTypedComObjectFactory(TComServerObject& server, const ComClass& cls, REFCLSID clsid,
                                               Instancing instancing, ThreadingModel threadingModel)
    : TTypedComObjectFactory(server, cls, clsid, instancing, threadingModel, readCoclass(server, cls, clsid)) {}

TTypedComObjectFactory::TTypedComObjectFactory(TComServerObject& server, const ComClass& cls, REFCLSID clsid,
                                               Instancing instancing, ThreadingModel threadingModel,
                                               CoclassInfo coclass)
    : TComObjectFactory(server, cls, clsid, std::move(coclass.name), std::move(coclass.description), instancing,
                        threadingModel),
      classTypeInfo_(std::move(coclass.typeInfo)) {}

// ---- TAutoObjectFactory -------------------------------------------------------------------

namespace {
// The attributes of a type that the factory cannot do without: raises when the platform gives none.
TypeAttr requiredTypeAttr(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  HRESULT hr = info->GetTypeAttr(&attr);
  if (FAILED(hr)) throw EOleSysError(hr);
  return TypeAttr::adopt(info, attr);
}
}  // namespace

TAutoObjectFactory::TAutoObjectFactory(TComServerObject& server, const ComClass& cls, REFCLSID clsid,
                                       Instancing instancing, ThreadingModel threadingModel)
    : TTypedComObjectFactory(server, cls, clsid, instancing, threadingModel) {
  // The default interface of the coclass, not a source interface.
  {
    TypeAttr coclass = requiredTypeAttr(classTypeInfo());
    for (UINT i = 0; i < coclass->cImplTypes && !dispatchTypeInfo_; ++i) {
      INT flags = 0;
      if (FAILED(classTypeInfo()->GetImplTypeFlags(i, &flags))) continue;
      if ((flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != IMPLTYPEFLAG_FDEFAULT) continue;
      HREFTYPE ref = 0;
      HRESULT hr = classTypeInfo()->GetRefTypeOfImplType(i, &ref);
      if (SUCCEEDED(hr)) hr = classTypeInfo()->GetRefTypeInfo(ref, &dispatchTypeInfo_);
      if (FAILED(hr)) throw EOleSysError(hr);
    }
  }
  if (!dispatchTypeInfo_) throw EOleError(fillMessage(frameText(IDS_BAD_TYPE_INFO), {cls.name}));
  TypeAttr dispatch = requiredTypeAttr(dispatchTypeInfo_.Get());
  dispatchEntry_ = findInterfaceEntry(cls, dispatch->guid);
  if (!dispatchEntry_) throw EOleError(fillMessage(frameText(IDS_NO_DISPATCH), {cls.name}));
  setErrorIID(dispatch->guid);
  readMemberNames();
  fastDispatch_ = std::make_unique<FastDispatch>(dispatchTypeInfo_.Get());
}

void TAutoObjectFactory::readMemberNames() {
  TypeAttr attr = requiredTypeAttr(dispatchTypeInfo_.Get());
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    MEMBERID id = MEMBERID_NIL;
    {
      FuncDesc desc = funcDescOrNone(dispatchTypeInfo_.Get(), i);
      if (!desc) continue;
      id = desc->memid;
    }
    Bstr name;
    if (SUCCEEDED(dispatchTypeInfo_->GetDocumentation(id, name.out(), nullptr, nullptr, nullptr)))
      memberIds_.emplace_back(std::u16string(name.view()), id);
  }
}

namespace {
char16_t foldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }
}  // namespace

bool TAutoObjectFactory::findMemberId(const wchar_t* name, DISPID& id) const {
  if (!name) return false;
  std::u16string_view wanted(u16ptr(name));
  for (char16_t c : wanted)
    if (c >= 0x80) return false;  // beyond ASCII the platform's own comparison decides
  for (const auto& [member, memberId] : memberIds_) {
    if (member.size() != wanted.size()) continue;
    size_t i = 0;
    while (i < wanted.size() && foldAscii(member[i]) == foldAscii(wanted[i])) ++i;
    if (i == wanted.size()) {
      id = memberId;
      return true;
    }
  }
  return false;
}

}  // namespace vantorelix
