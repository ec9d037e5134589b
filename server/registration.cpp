// Self-registration: the type library and the registry entries that lead the COM runtime from
// the ProgID or the CLSID to this library, and their removal. The machine pass works under
// HKEY_LOCAL_MACHINE\Software\Classes, the per-user pass under HKEY_CURRENT_USER\Software\Classes.
//
// Every key and value is written through the UTF-16 registry functions. For a text that the
// ANSI code page spells exactly they store what the ANSI functions stored, unit for unit; for a
// server path that the code page cannot spell (a folder with Japanese letters under code page
// 1252, say) they store the path itself where the ANSI functions stored substitutes or nothing.
//
// On 64-bit Windows the registry shows 32- and 64-bit programs two views of the classes: the
// CLSID and Interface keys are kept apart for each bitness, while ProgIDs and the type
// libraries' keys are one for both (only the platform key, win32 or win64, under a type
// library's locale belongs to one bitness). Both DLLs may be registered side by side, so
// unregistering one removes its own view's entries and leaves the shared ones while the other
// view still registers the class; the last one removes them. 32-bit Windows has one view.
#include <windows.h>
#include <oleauto.h>

#include <optional>
#include <utility>

#include "automation/frame_strings.h"
#include "automation/raii.h"
#include "server/classmanager.h"
#include "server/comserver.h"
#include "server/registration.h"
#include "server/factory.h"
#include "server/startup.h"

namespace vantorelix {
namespace {

// The view of this process and the other bitness's view, as flags of the registry functions.
struct RegistryViews {
  REGSAM own = 0;
  REGSAM other = 0;  // 0: there is no other view
};

RegistryViews registryViews() {
#ifdef _WIN64
  return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
#else
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) return {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
  return {};
#endif
}

// Every key is written and deleted in this process's own view, named explicitly.
void createRegKey(const ClassesRoot& root, const std::u16string& key, const std::u16string& valueName,
                  const std::u16string& data) {
  RegKey handle;
  DWORD disposition = 0;
  wchar_t emptyClass[] = L"";
  LONG r = RegCreateKeyExW(root.base, wptr(root.path(key)), 0, emptyClass, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE | registryViews().own, nullptr, handle.out(), &disposition);
  if (r == ERROR_SUCCESS)
    r = RegSetValueExW(handle.get(), wptr(valueName), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
  if (r != ERROR_SUCCESS) throw EOleRegistrationError(frameText(IDS_REGISTRY_WRITE));
}

// The result is ignored: a missing key or a denied deletion is no error.
void deleteRegKey(const ClassesRoot& root, const std::u16string& key) {
  RegDeleteKeyExW(root.base, wptr(root.path(key)), registryViews().own, 0);
}

// A key that both views share, taken from both: on Windows they are one key and the second
// deletion finds nothing. Wine (8.0) answers a 64-bit program's KEY_WOW64_32KEY for a ProgID
// from a copy of its own (its 32-bit programs write the shared key), and there this removes
// that copy too.
void deleteSharedKey(const ClassesRoot& root, const std::u16string& key, const RegistryViews& views) {
  deleteRegKey(root, key);
  if (views.other) RegDeleteKeyExW(root.base, wptr(root.path(key)), views.other, 0);
}

// The default value of a key as a view shows it; nothing when the view has no such key.
std::optional<std::u16string> defaultValueInView(const ClassesRoot& root, const std::u16string& key, REGSAM view) {
  RegKey handle;
  if (RegOpenKeyExW(root.base, wptr(root.path(key)), 0, KEY_QUERY_VALUE | view, handle.out()) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(handle.get(), L"", nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::u16string();
  std::u16string value(size / sizeof(char16_t) + 1, u'\0');
  size = static_cast<DWORD>(value.size() * sizeof(char16_t));
  if (RegQueryValueExW(handle.get(), L"", nullptr, &type, reinterpret_cast<BYTE*>(wptr(value)), &size) != ERROR_SUCCESS)
    return std::u16string();
  return textUpToZero(wptr(value), size / sizeof(char16_t));
}

std::u16string guidText(REFGUID guid) {
  CoTaskText text;
  HRESULT hr = StringFromCLSID(guid, text.out());
  if (FAILED(hr)) throw EOleSysError(hr);
  return text.text();
}

// The type library's attributes, given back on every way out; raises when the platform gives none.
LibAttr requiredLibAttr(ITypeLib* lib) {
  TLIBATTR* attr = nullptr;
  HRESULT hr = lib->GetLibAttr(&attr);
  if (FAILED(hr)) throw EOleSysError(hr);
  return LibAttr::adopt(lib, attr);
}

// The server entry: the library's long path, or its 8.3 short form when the long one holds a
// space. Both come from the UTF-16 path functions, so they name the module whatever the ANSI
// code page can spell. Where the volume gives no short form the long one is written; a library
// whose own path cannot be had is not registered at all.
std::u16string serverPathEntry(const std::u16string& longPath) {
  if (longPath.empty()) throw EOleSysError(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
  if (longPath.find(u' ') == std::u16string::npos) return longPath;
  std::u16string shortPath = pathForm(GetShortPathNameW, longPath);
  return shortPath.empty() ? longPath : shortPath;
}

std::u16string versionText(WORD major, WORD minor) {
  wchar_t text[32];
  wsprintfW(text, L"%d.%d", major, minor);
  return u16ptr(text);
}

// TypeLib\{LIBID}\major.minor (hexadecimal, as the platform names it), the key that both views share.
std::u16string typeLibVersionKey(const TLIBATTR& attr) {
  wchar_t version[32];
  wsprintfW(version, L"\\%x.%x", attr.wMajorVerNum, attr.wMinorVerNum);
  return u"TypeLib\\" + guidText(attr.guid) + u16ptr(version);
}

const char16_t* platformKeyName(SYSKIND kind) {
  switch (kind) {
    case SYS_WIN16: return u"win16";
    case SYS_WIN64: return u"win64";
    default: return u"win32";
  }
}

const char16_t* threadingModelName(ThreadingModel model) {
  switch (model) {
    case ThreadingModel::Apartment: return u"Apartment";
    case ThreadingModel::Free: return u"Free";
    case ThreadingModel::Both: return u"Both";
    case ThreadingModel::Neutral: return u"Neutral";
    default: return u"";
  }
}

// An export of OLEAUT32.DLL looked up by name, null when the system has none of that name
// (the per-user type library functions came after the others).
template <typename Function>
Function oleAutFunction(const char* name) {
  HMODULE oleAut = GetModuleHandleA("OLEAUT32.DLL");
  return oleAut ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(oleAut, name))) : nullptr;
}

using RegisterTypeLibForUserFn = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);

// HKEY_CURRENT_USER\Software\Classes, the per-user part of HKEY_CLASSES_ROOT.
ClassesRoot userClasses() { return {HKEY_CURRENT_USER, u"Software\\Classes\\"}; }

// Points a registration pass at another root and, on every way out, back at the one it had: the
// machine's classes, since no pass runs inside another. The root it had is kept rather than made
// again, so that the way back allocates nothing and cannot fail.
class RootScope {
 public:
  RootScope(ClassesRoot& root, ClassesRoot during) : root_(root), previous_(std::exchange(root, std::move(during))) {}
  ~RootScope() { root_ = std::move(previous_); }
  RootScope(const RootScope&) = delete;
  RootScope& operator=(const RootScope&) = delete;

 private:
  ClassesRoot& root_;
  ClassesRoot previous_;
};

}  // namespace

void TComObjectFactory::updateRegistry(bool registering) {
  if (instancing_ == Instancing::Internal) return;
  if (registering) writeClassEntries();
  else eraseClassEntries();
}

void TComObjectFactory::writeClassEntries() {
  const ClassesRoot& root = server_.registryRoot();
  const std::u16string classKey = u"CLSID\\" + guidText(clsid_);
  const std::u16string serverKey = classKey + u"\\" + server_.serverKey();
  const std::u16string serverPath = serverPathEntry(server_.serverFileName());
  createRegKey(root, classKey, u"", description_);
  createRegKey(root, serverKey, u"", serverPath);
  if (threadingModel_ != ThreadingModel::Single)
    createRegKey(root, serverKey, u"ThreadingModel", threadingModelName(threadingModel_));
  if (!progID_.empty()) {
    createRegKey(root, progID_, u"", description_);
    createRegKey(root, progID_ + u"\\Clsid", u"", guidText(clsid_));
    createRegKey(root, classKey + u"\\ProgID", u"", progID_);
  }
  LibAttr attr = requiredLibAttr(server_.typeLib());
  createRegKey(root, classKey + u"\\Version", u"", versionText(attr->wMajorVerNum, attr->wMinorVerNum));
  createRegKey(root, classKey + u"\\TypeLib", u"", guidText(attr->guid));
}

void TComObjectFactory::eraseClassEntries() {
  const ClassesRoot& root = server_.registryRoot();
  const RegistryViews views = registryViews();
  const std::u16string classKey = u"CLSID\\" + guidText(clsid_);
  const bool progIDStillNeeded = registeredInOtherView();
  deleteRegKey(root, classKey + u"\\TypeLib");
  deleteRegKey(root, classKey + u"\\Version");
  if (!progID_.empty()) {
    deleteRegKey(root, classKey + u"\\ProgID");
    if (!progIDStillNeeded) {
      deleteSharedKey(root, progID_ + u"\\Clsid", views);
      deleteSharedKey(root, progID_, views);
    }
  }
  deleteRegKey(root, classKey + u"\\" + server_.serverKey());
  deleteRegKey(root, classKey);
}

bool TComObjectFactory::registeredInOtherView() {
  const RegistryViews views = registryViews();
  if (!views.other) return false;
  const ClassesRoot& root = server_.registryRoot();
  const std::u16string serverKey = u"CLSID\\" + guidText(clsid_) + u"\\" + server_.serverKey();
  std::optional<std::u16string> other = defaultValueInView(root, serverKey, views.other);
  if (!other) return false;
  // A root that the system does not split into views shows one key through both flags (Wine
  // (8.0) does so for HKEY_CURRENT_USER\Software\Classes\CLSID, which Windows splits). What the
  // other view shows is then this view's own entry, told by its naming the same server.
  std::optional<std::u16string> own = defaultValueInView(root, serverKey, views.own);
  return !own || *own != *other;
}

bool TComServer::otherViewRegistersAClass() {
  bool registered = false;
  comClassManager().ForEachFactoryOf(this, [&registered](TComObjectFactory* f) {
    if (f->instancing() != Instancing::Internal && f->registeredInOtherView()) registered = true;
  });
  return registered;
}

void TComServer::updateFactories(bool registering) {
  registering_ = registering;
  comClassManager().ForEachFactoryOf(this, [this](TComObjectFactory* f) { f->updateRegistry(registering_); });
}

// While the other bitness still registers a class of the library, only this bitness's platform
// key goes (and its locale key once empty). The version key stays, and so do the Interface
// keys, which the platform's RegisterTypeLib writes into both views and UnRegisterTypeLib takes
// from both. The last registration to go unregisters the library as a whole.
void TComServer::eraseTypeLibRegistration(ITypeLib* lib, UnRegisterTypeLibFn unregister) {
  LibAttr attr = requiredLibAttr(lib);
  if (otherViewRegistersAClass()) {
    wchar_t locale[16];
    wsprintfW(locale, L"\\%lx", attr->lcid);
    const std::u16string localeKey = typeLibVersionKey(*attr) + u16ptr(locale);
    deleteRegKey(registryRoot_, localeKey + u"\\" + platformKeyName(attr->syskind));
    deleteRegKey(registryRoot_, localeKey);
  } else {
    unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
  }
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
    if (auto unregister = oleAutFunction<UnRegisterTypeLibFn>("UnRegisterTypeLib"))
      eraseTypeLibRegistration(lib, unregister);
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
  RootScope scope(registryRoot_, userClasses());
  updateFactories(true);
}

// The per-user type library lives under HKEY_CURRENT_USER\Software\Classes\TypeLib on Windows;
// Wine's RegisterTypeLibForUser registers it for the whole machine instead, so there a platform
// key that the per-user pass leaves to the other view's registration is not found under the
// user's key and stays until the last per-user unregistration.
void TComServer::EraseUserRegistration() {
  {
    RootScope scope(registryRoot_, userClasses());
    if (ITypeLib* lib = typeLib_.Get()) {
      if (auto unregister = oleAutFunction<UnRegisterTypeLibFn>("UnRegisterTypeLibForUser"))
        eraseTypeLibRegistration(lib, unregister);
    }
    updateFactories(false);
  }
  // The user's CLSID key is a container that other programs' classes share: it stays, empty
  // or not, as Windows keeps it. Whether this registration made it cannot be told afterwards,
  // and a key that was there before must survive the unregistration.
}

}  // namespace vantorelix
