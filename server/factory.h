// The class factory chain: TComObjectFactory (IClassFactory, registration), TTypedComObjectFactory
// (the coclass's type information) and TAutoObjectFactory (the dispatch interface).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "automation/comobject.h"
#include "automation/fastdispatch.h"
#include "automation/raii.h"

namespace vantorelix {

class TComServerObject;

enum class Instancing { Internal = 0, SingleInstance = 1, MultiInstance = 2 };
enum class ThreadingModel { Single = 0, Apartment = 1, Free = 2, Both = 3, Neutral = 4 };

class TComObjectFactory : public IClassFactory, public ObjectFactory {
 public:
  TComObjectFactory(TComServerObject& server, const ComClass& cls, REFCLSID clsid, std::u16string className,
                    std::u16string description, Instancing instancing, ThreadingModel threadingModel);
  virtual ~TComObjectFactory();
  TComObjectFactory(const TComObjectFactory&) = delete;
  TComObjectFactory& operator=(const TComObjectFactory&) = delete;

  // IUnknown and IClassFactory share one vtable.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  TComServerObject& server() const { return server_; }
  const ComClass& implementingClass() const { return class_; }
  REFCLSID classId() const { return clsid_; }
  const std::u16string& className() const { return className_; }
  const std::u16string& description() const { return description_; }
  const std::u16string& progID() const override { return progID_; }
  Instancing instancing() const { return instancing_; }
  ThreadingModel threadingModel() const { return threadingModel_; }
  bool showErrors() const { return showErrors_; }
  void setShowErrors(bool show) { showErrors_ = show; }
  REFIID errorIID() const override { return errorIID_; }
  std::u16string helpFileName() const override;

  // Writes (registering) or deletes this class's registry entries.
  virtual void updateRegistry(bool registering);
  // Whether the other registry view (the other bitness on 64-bit Windows) still names a server
  // for this class; always false where there is one view only.
  bool registeredInOtherView();

 protected:
  void setErrorIID(REFIID iid) { errorIID_ = iid; }

 private:
  void writeClassEntries();
  void eraseClassEntries();

  TComServerObject& server_;
  const ComClass& class_;
  CLSID clsid_;
  std::u16string className_;
  std::u16string description_;
  std::u16string progID_;
  Instancing instancing_;
  ThreadingModel threadingModel_;
  bool showErrors_ = true;
  IID errorIID_ = IID_IUnknown;
};

class TTypedComObjectFactory : public TComObjectFactory {
 public:
  TTypedComObjectFactory(TComServerObject& server, const ComClass& cls, REFCLSID clsid, Instancing instancing,
                         ThreadingModel threadingModel);
  ITypeInfo* classTypeInfo() const override { return classTypeInfo_.Get(); }

 private:
  struct CoclassInfo {
    ComPtr<ITypeInfo> typeInfo;
    std::u16string name;
    std::u16string description;
  };
  static CoclassInfo readCoclass(TComServerObject& server, const ComClass& cls, REFCLSID clsid);
  TTypedComObjectFactory(TComServerObject& server, const ComClass& cls, REFCLSID clsid, Instancing instancing,
                         ThreadingModel threadingModel, CoclassInfo coclass);

  ComPtr<ITypeInfo> classTypeInfo_;
};

class TAutoObjectFactory : public TTypedComObjectFactory {
 public:
  TAutoObjectFactory(TComServerObject& server, const ComClass& cls, REFCLSID clsid, Instancing instancing,
                     ThreadingModel threadingModel);
  ITypeInfo* dispatchTypeInfo() const override { return dispatchTypeInfo_.Get(); }
  const InterfaceEntry& dispatchEntry() const override { return *dispatchEntry_; }
  // The DISPID of a member of the dispatch interface by its name, in any letter case, from a
  // table read once from the type information; false for a name it does not hold.
  bool findMemberId(const wchar_t* name, DISPID& id) const override;
  // The fast path of Invoke, read from the same type information.
  const FastDispatch& fastDispatch() const override { return *fastDispatch_; }

 private:
  void readMemberNames();

  ComPtr<ITypeInfo> dispatchTypeInfo_;
  std::vector<std::pair<std::u16string, DISPID>> memberIds_;
  const InterfaceEntry* dispatchEntry_ = nullptr;
  std::unique_ptr<FastDispatch> fastDispatch_;
};

}  // namespace vantorelix
