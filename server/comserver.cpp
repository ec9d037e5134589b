// Library start-up and unload, and the server object (the exports are in server/exports.cpp,
// the registration members in server/registration.cpp).
#include "server/comserver.h"

#include <atomic>
#include <utility>

#include "automation/ansi.h"
#include "automation/errors.h"
#include "server/classmanager.h"
#include "server/factory.h"
#include "server/startup.h"
#include "utils/TUtils.h"

namespace vantorelix {
namespace {

HINSTANCE gModule = nullptr;
HMODULE gOleAut = nullptr;
// Read without a lock by DllCanUnloadNow and by objects going away, on any thread.
std::atomic<TComServer*> gServer{nullptr};
std::u16string gStartupError;
INIT_ONCE gStartOnce = INIT_ONCE_STATIC_INIT;

}  // namespace

TComServer* comServer() { return gServer; }
const std::u16string& startupError() { return gStartupError; }

std::u16string moduleLongPathW() {
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(gModule, wptr(path), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::u16string longPath = pathForm(GetLongPathNameW, path);
  return longPath.empty() ? path : longPath;
}

std::u16string pathForm(DWORD(WINAPI* form)(LPCWSTR, LPWSTR, DWORD), const std::u16string& path) {
  DWORD need = form(wptr(path), nullptr, 0);
  if (need == 0) return {};
  std::u16string out(need, u'\0');
  DWORD n = form(wptr(path), wptr(out), need);
  if (n == 0 || n >= need) return {};
  out.resize(n);
  return out;
}

std::u16string directoryOf(const std::u16string& path) {
  size_t at = path.find_last_of(u"\\:");
  return at == std::u16string::npos ? std::u16string() : path.substr(0, at + 1);
}

// ---- TComServer ---------------------------------------------------------------------------

TComServer::TComServer() = default;

TComServer::~TComServer() {
  comClassManager().ForEachFactoryOf(this, [](TComObjectFactory* factory) { delete factory; });
}

LONG TComServer::countObject(bool created) {
  return created ? InterlockedIncrement(&liveObjectCount_) : InterlockedDecrement(&liveObjectCount_);
}

LONG TComServer::countFactory(bool created) {
  return created ? InterlockedIncrement(&factoryRefCount_) : InterlockedDecrement(&factoryRefCount_);
}

std::u16string TComServer::serverFileName() { return moduleLongPathW(); }

std::u16string TComServer::serverName() {
  Bstr name;
  if (typeLib_ && SUCCEEDED(typeLib_->GetDocumentation(-1, name.out(), nullptr, nullptr, nullptr)))
    return std::u16string(name.view());
  return {};
}

ITypeLib* TComServer::typeLib() {
  if (!typeLib_) {
    std::u16string path = moduleLongPathW();
    HRESULT hr = LoadTypeLibEx(wptr(path), REGKIND_NONE, &typeLib_);
    if (FAILED(hr)) throw EOleSysError(hr);
  }
  return typeLib_.Get();
}

// ---- start-up and unload ------------------------------------------------------------------

void recordLibraryModule(HINSTANCE module) { gModule = module; }

namespace {
BOOL CALLBACK runStartUp(PINIT_ONCE, PVOID, PVOID*) {
  try {
    startLibrary(gModule);
  } catch (...) {
    // Memory ran out before the server was whole: what was made goes again, and the exports
    // answer as for any failed start-up (no class object, registration fails).
    stopLibrary(false);
    gStartupError = u"?";
  }
  return TRUE;  // start-up runs once, whatever its outcome
}
}  // namespace

bool startLibraryOnce() {
  InitOnceExecuteOnce(&gStartOnce, runStartUp, nullptr, nullptr);
  return gServer.load() != nullptr;
}

void startLibrary(HINSTANCE module) {
  gModule = module;
  setResourceModule(module);
  captureAnsiCodePage();

  UINT previousMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
  gOleAut = LoadLibraryA("OLEAUT32.DLL");
  SetErrorMode(previousMode);

  gServer = new TComServer();
  // Every object is counted in the server while it lives; once unload has begun the server is
  // gone and nothing is counted any more.
  setObjectCounter([](bool created) -> LONG {
    TComServer* server = gServer.load();
    return server ? server->countObject(created) : 0;
  });
  TUtils::startUp();

  try {
    new TAutoObjectFactory(*gServer.load(), TUtils::comClass, CLSID_Utils, Instancing::MultiInstance,
                           ThreadingModel::Apartment);
  } catch (const Exception& error) {
    // No factory for Utils exists now: DllGetClassObject answers CLASS_E_CLASSNOTAVAILABLE
    // and registration fails with E_FAIL.
    gStartupError = error.message();
  } catch (...) {
    gStartupError = u"?";
  }
}

// At unload by FreeLibrary this runs in DllMain, under the loader lock. The host has just
// heard S_OK from DllCanUnloadNow, so no object and no factory reference is out, and only
// what start-up made is left. Each step is one that the loader lock allows:
//  - the server, its factories and the factory registry are this library's own heap memory;
//  - the factories' type information and the type library go back to OLEAUT32 by Release.
//    OLEAUT32 is imported statically, so it is still loaded, and a release frees memory
//    and loads nothing; kept past unload, they would leak at every load and unload;
//  - FreeLibrary of OLEAUT32: the DllMain rules forbid FreeLibrary at attach (a DLL could
//    be used after its own detach ran). Here the static import holds OLEAUT32 as well, so
//    this reference is never the last one: the call only lowers the count and runs no other
//    DllMain, and the loader lock it takes is this thread's own already.
// When start-up never ran, every pointer is still null and nothing happens.
void stopLibrary(bool processEnding) {
  TComServer* server = gServer.exchange(nullptr);  // objects destroyed from now on are no longer counted
  if (processEnding) return;                       // other modules may be gone already: touch nothing
  delete server;
  // Held raw, not in a Module: the runtime's exit code would free an owner in static storage
  // when the process ends too, where nothing may be touched.
  Module::adopt(std::exchange(gOleAut, nullptr)).reset();
  destroyComClassManager();
}

}  // namespace vantorelix
