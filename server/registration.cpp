// Self-registration: the type library and the registry entries that lead the COM runtime from
// the ProgID or the CLSID to this library, and their removal.
#include <windows.h>
#include <oleauto.h>

#include "automation/ansi.h"
#include "automation/frame_strings.h"
#include "automation/raii.h"
#include "server/classmanager.h"
#include "server/comserver.h"
#include "server/factory.h"
#include "server/startup.h"

namespace vantorelix {
namespace {

void createRegKey(HKEY root, const std::string& key, const std::string& valueName, const std::string& data) {
  RegKey handle;
  DWORD disposition = 0;
  char emptyClass[] = "";
  LONG r = RegCreateKeyExA(root, key.c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, handle.out(), &disposition);
  if (r == ERROR_SUCCESS)
    r = RegSetValueExA(handle.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
  if (r != ERROR_SUCCESS) throw EOleRegistrationError(frameText(IDS_REGISTRY_WRITE));
}

void deleteRegKey(HKEY root, const std::string& key) { RegDeleteKeyA(root, key.c_str()); }

std::string guidText(REFGUID guid) {
  CoTaskText text;
  HRESULT hr = StringFromCLSID(guid, text.out());
  if (FAILED(hr)) throw EOleSysError(hr);
  return toAnsi(text.text());
}

// The type library's attributes, given back on every way out.
class LibAttr {
 public:
  explicit LibAttr(ITypeLib* lib) : lib_(lib) {
    HRESULT hr = lib_->GetLibAttr(&attr_);
    if (FAILED(hr)) throw EOleSysError(hr);
  }
  ~LibAttr() { lib_->ReleaseTLibAttr(attr_); }
  LibAttr(const LibAttr&) = delete;
  LibAttr& operator=(const LibAttr&) = delete;
  const TLIBATTR* operator->() const { return attr_; }

 private:
  ITypeLib* lib_;
  TLIBATTR* attr_ = nullptr;
};

std::string shortFormIfSpaced(const std::string& path) {
  if (path.find(' ') == std::string::npos) return path;
  char shortPath[260] = {};
  DWORD n = GetShortPathNameA(path.c_str(), shortPath, 260);
  if (n >= 260) n = 0;
  return std::string(shortPath, n);
}

const char* threadingModelName(ThreadingModel model) {
  switch (model) {
    case ThreadingModel::Apartment: return "Apartment";
    case ThreadingModel::Free: return "Free";
    case ThreadingModel::Both: return "Both";
    case ThreadingModel::Neutral: return "Neutral";
    default: return "";
  }
}

// An export of OLEAUT32.DLL looked up by name, null when the system has none of that name
// (the per-user type library functions came after the others).
template <typename Function>
Function oleAutFunction(const char* name) {
  HMODULE oleAut = GetModuleHandleA("OLEAUT32.DLL");
  return oleAut ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(oleAut, name))) : nullptr;
}

using UnRegisterTypeLibFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
using RegisterTypeLibForUserFn = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);

// HKEY_CURRENT_USER\Software\Classes, the per-user part of HKEY_CLASSES_ROOT; made when missing.
void openUserClasses(RegKey& key) {
  DWORD disposition = 0;
  char emptyClass[] = "";
  LONG r = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, emptyClass, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, key.out(), &disposition);
  if (r != ERROR_SUCCESS) throw EOleRegistrationError(frameText(IDS_REGISTRY_WRITE));
}

// Points a registration pass at another root key and back at HKEY_CLASSES_ROOT on every way out.
class RootScope {
 public:
  RootScope(HKEY& root, HKEY during) : root_(root) { root_ = during; }
  ~RootScope() { root_ = HKEY_CLASSES_ROOT; }
  RootScope(const RootScope&) = delete;
  RootScope& operator=(const RootScope&) = delete;

 private:
  HKEY& root_;
};


}  // namespace

void TComObjectFactory::updateRegistry(bool registering) {
  if (instancing_ == Instancing::Internal) return;
  const std::string classKey = "CLSID\\" + guidText(clsid_);
  const std::string progID = toAnsi(progID_);
  ITypeLib* typeLib = server_.typeLib();
  const HKEY root = server_.registryRoot();
  if (registering) {
    const std::string description = toAnsi(description_);
    createRegKey(root, classKey, "", description);
    const std::string serverKey = classKey + "\\" + server_.serverKey();
    createRegKey(root, serverKey, "", shortFormIfSpaced(server_.serverFileName()));
    if (threadingModel_ != ThreadingModel::Single)
      createRegKey(root, serverKey, "ThreadingModel", threadingModelName(threadingModel_));
    if (!progID.empty()) {
      createRegKey(root, progID, "", description);
      createRegKey(root, progID + "\\Clsid", "", guidText(clsid_));
      createRegKey(root, classKey + "\\ProgID", "", progID);
    }
    LibAttr attr(typeLib);
    char version[32];
    wsprintfA(version, "%d.%d", attr->wMajorVerNum, attr->wMinorVerNum);
    createRegKey(root, classKey + "\\Version", "", version);
    createRegKey(root, classKey + "\\TypeLib", "", guidText(attr->guid));
  } else {
    deleteRegKey(root, classKey + "\\TypeLib");
    deleteRegKey(root, classKey + "\\Version");
    if (!progID.empty()) {
      deleteRegKey(root, classKey + "\\ProgID");
      deleteRegKey(root, progID + "\\Clsid");
      deleteRegKey(root, progID);
    }
    deleteRegKey(root, classKey + "\\" + server_.serverKey());
    deleteRegKey(root, classKey);
  }
}

void TComServer::updateFactories(bool registering) {
  registering_ = registering;
  comClassManager().ForEachFactoryOf(this, [this](TComObjectFactory* f) { f->updateRegistry(registering_); });
}

void TComServer::WriteRegistration() {
  if (ITypeLib* lib = typeLib_.Get()) {
    std::u16string path = moduleLongPathW();
    std::u16string directory = directoryOf(path);
    HRESULT hr = RegisterTypeLib(lib, const_cast<LPOLESTR>(wptr(path)), const_cast<LPOLESTR>(wptr(directory)));
    if (FAILED(hr)) throw EOleSysError(hr);
  }
  updateFactories(true);
}

void TComServer::EraseRegistration() {
  if (ITypeLib* lib = typeLib_.Get()) {
    if (auto unregister = oleAutFunction<UnRegisterTypeLibFn>("UnRegisterTypeLib")) {
      LibAttr attr(lib);
      unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    }
  }
  updateFactories(false);
}

void TComServer::WriteUserRegistration() {
  if (ITypeLib* lib = typeLib_.Get()) {
    auto registerForUser = oleAutFunction<RegisterTypeLibForUserFn>("RegisterTypeLibForUser");
    if (!registerForUser) throw EOleSysError(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
    std::u16string path = moduleLongPathW();
    std::u16string directory = directoryOf(path);
    HRESULT hr = registerForUser(lib, const_cast<LPOLESTR>(wptr(path)), const_cast<LPOLESTR>(wptr(directory)));
    if (FAILED(hr)) throw EOleSysError(hr);
  }
  RegKey userClasses;
  openUserClasses(userClasses);
  RootScope scope(registryRoot_, userClasses.get());
  updateFactories(true);
}

void TComServer::EraseUserRegistration() {
  if (ITypeLib* lib = typeLib_.Get()) {
    if (auto unregister = oleAutFunction<UnRegisterTypeLibFn>("UnRegisterTypeLibForUser")) {
      LibAttr attr(lib);
      unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    }
  }
  RegKey userClasses;
  openUserClasses(userClasses);
  {
    RootScope scope(registryRoot_, userClasses.get());
    updateFactories(false);
  }
  // Registration made the user's CLSID key if it had none; it goes again when nothing else is
  // in it (a key with subkeys is never deleted).
  RegDeleteKeyA(userClasses.get(), "CLSID");
}

}  // namespace vantorelix
