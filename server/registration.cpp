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

void createRegKey(const std::string& key, const std::string& valueName, const std::string& data) {
  RegKey handle;
  DWORD disposition = 0;
  char emptyClass[] = "";
  LONG r = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, handle.out(), &disposition);
  if (r == ERROR_SUCCESS)
    r = RegSetValueExA(handle.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
  if (r != ERROR_SUCCESS) throw EOleRegistrationError(frameText(IDS_REGISTRY_WRITE));
}

void deleteRegKey(const std::string& key) { RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str()); }

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


}  // namespace

void TComObjectFactory::updateRegistry(bool registering) {
  if (instancing_ == Instancing::Internal) return;
  const std::string classKey = "CLSID\\" + guidText(clsid_);
  const std::string progID = toAnsi(progID_);
  ITypeLib* typeLib = server_.typeLib();
  if (registering) {
    const std::string description = toAnsi(description_);
    createRegKey(classKey, "", description);
    const std::string serverKey = classKey + "\\" + server_.serverKey();
    createRegKey(serverKey, "", shortFormIfSpaced(server_.serverFileName()));
    if (threadingModel_ != ThreadingModel::Single)
      createRegKey(serverKey, "ThreadingModel", threadingModelName(threadingModel_));
    if (!progID.empty()) {
      createRegKey(progID, "", description);
      createRegKey(progID + "\\Clsid", "", guidText(clsid_));
      createRegKey(classKey + "\\ProgID", "", progID);
    }
    LibAttr attr(typeLib);
    char version[32];
    wsprintfA(version, "%d.%d", attr->wMajorVerNum, attr->wMinorVerNum);
    createRegKey(classKey + "\\Version", "", version);
    createRegKey(classKey + "\\TypeLib", "", guidText(attr->guid));
  } else {
    deleteRegKey(classKey + "\\TypeLib");
    deleteRegKey(classKey + "\\Version");
    if (!progID.empty()) {
      deleteRegKey(classKey + "\\ProgID");
      deleteRegKey(progID + "\\Clsid");
      deleteRegKey(progID);
    }
    deleteRegKey(classKey + "\\" + server_.serverKey());
    deleteRegKey(classKey);
  }
}

void TComServer::WriteRegistration() {
  if (ITypeLib* lib = typeLib_.Get()) {
    std::u16string path = moduleLongPathW();
    std::u16string directory = directoryOf(path);
    HRESULT hr = RegisterTypeLib(lib, const_cast<LPOLESTR>(wptr(path)), const_cast<LPOLESTR>(wptr(directory)));
    if (FAILED(hr)) throw EOleSysError(hr);
  }
  registering_ = true;
  comClassManager().ForEachFactoryOf(this, [this](TComObjectFactory* f) { f->updateRegistry(registering_); });
}

void TComServer::EraseRegistration() {
  if (ITypeLib* lib = typeLib_.Get()) {
    using UnRegisterTypeLibFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    HMODULE oleAut = GetModuleHandleA("OLEAUT32.DLL");
    auto unregister = oleAut ? reinterpret_cast<UnRegisterTypeLibFn>(reinterpret_cast<void*>(
                                   GetProcAddress(oleAut, "UnRegisterTypeLib")))
                             : nullptr;
    if (unregister) {
      LibAttr attr(lib);
      unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    }
  }
  registering_ = false;
  comClassManager().ForEachFactoryOf(this, [this](TComObjectFactory* f) { f->updateRegistry(registering_); });
}

}  // namespace vantorelix

