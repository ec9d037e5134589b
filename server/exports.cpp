// The exported entry points. Each catches everything at its edge: no C++ exception ever
// leaves the library. A caller sees the result code it has always seen for any failure
// (E_FAIL from the registration entries), and answerAtEdge writes what that code drops, the
// HRESULT and message that registration raised, to the debugger.
#include <windows.h>
#include <objbase.h>

#include "server/classmanager.h"
#include "server/comserver.h"
#include "server/factory.h"
#include "server/startup.h"

using namespace vantorelix;

namespace {
// Registration needs the server and its Utils factory; without them it fails.
void requireStartedServer() {
  if (!startLibraryOnce()) throw EOleError(u"");
  if (!startupError().empty()) throw EOleError(startupError());
}
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      // Under the loader lock: no library is loaded and no COM or OLE call is made here. The
      // start-up waits for the first export that needs it.
      DisableThreadLibraryCalls(module);
      recordLibraryModule(module);
      break;
    case DLL_PROCESS_DETACH: stopLibrary(reserved != nullptr); break;
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    TComObjectFactory* factory = startLibraryOnce() ? comClassManager().FindFactory(clsid) : nullptr;
    if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
    return factory->QueryInterface(iid, out);
  } catch (...) {
    // Only memory running out while the factory registry is made raises here, after a start-up
    // that made no factory: there is none to give.
    return answerAtEdge(u"DllGetClassObject", CLASS_E_CLASSNOTAVAILABLE);
  }
}

// Never starts the library: before any start there is nothing to keep it loaded.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  TComServer* server = comServer();
  return (!server || server->canUnloadNow()) ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  try {
    requireStartedServer();
    comServer()->WriteRegistration();
    return S_OK;
  } catch (...) {
    return answerAtEdge(u"DllRegisterServer", E_FAIL);
  }
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  try {
    requireStartedServer();
    comServer()->EraseRegistration();
    return S_OK;
  } catch (...) {
    return answerAtEdge(u"DllUnregisterServer", E_FAIL);
  }
}

// regsvr32 /n /i:user (and /u /n /i:user): the registration for the current user only. "user"
// is the one command line understood.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
  try {
    if (!commandLine || lstrcmpiW(commandLine, L"user") != 0) return E_INVALIDARG;
    requireStartedServer();
    if (install) comServer()->WriteUserRegistration();
    else comServer()->EraseUserRegistration();
    return S_OK;
  } catch (...) {
    return answerAtEdge(install ? u"DllInstall(TRUE, \"user\")" : u"DllInstall(FALSE, \"user\")", E_FAIL);
  }
}
