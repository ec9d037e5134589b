// The one server object of the process: it counts live objects and factory references, holds
// the embedded type library, and carries the registration passes.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "automation/raii.h"
#include "server/registration.h"

namespace vantorelix {

// What a factory asks of the server it belongs to.
class TComServerObject {
 public:
  virtual ~TComServerObject() = default;
  virtual LONG countObject(bool created) = 0;
  virtual LONG countFactory(bool created) = 0;
  virtual std::u16string helpFileName() = 0;
  virtual std::u16string serverFileName() = 0;
  virtual std::u16string serverKey() = 0;
  virtual std::u16string serverName() = 0;
  virtual ITypeLib* typeLib() = 0;
  // The key under which a registration pass writes and deletes the class entries.
  virtual const ClassesRoot& registryRoot() = 0;
};

class TComServer final : public TComServerObject {
 public:
  TComServer();
  ~TComServer() override;  // frees every factory of this server

  LONG countObject(bool created) override;
  LONG countFactory(bool created) override;
  std::u16string helpFileName() override { return helpFileName_; }
  std::u16string serverFileName() override;
  std::u16string serverKey() override { return u"InprocServer32"; }
  std::u16string serverName() override;
  ITypeLib* typeLib() override;  // loaded on first need; raises EOleSysError when it cannot be
  const ClassesRoot& registryRoot() override { return registryRoot_; }

  LONG liveObjectCount() const { return liveObjectCount_; }
  LONG factoryRefCount() const { return factoryRefCount_; }
  bool canUnloadNow() const { return liveObjectCount_ == 0 && factoryRefCount_ == 0; }

  bool registering() const { return registering_; }
  void WriteRegistration();
  void EraseRegistration();
  // The same entries under HKEY_CURRENT_USER\Software\Classes and the type library registered
  // for the current user only: no administrator rights needed.
  void WriteUserRegistration();
  void EraseUserRegistration();

 private:
  void updateFactories(bool registering);
  void eraseTypeLibRegistration(ITypeLib* lib, UnRegisterTypeLibFn unregister);
  bool otherViewRegistersAClass();

  volatile LONG liveObjectCount_ = 0;
  volatile LONG factoryRefCount_ = 0;
  ComPtr<ITypeLib> typeLib_;
  std::u16string helpFileName_;  // nothing in the library assigns it
  bool registering_ = true;
  ClassesRoot registryRoot_;  // the machine's classes; the user's only while a per-user pass runs
};

// The server of this process, or null before start-up and after unload.
TComServer* comServer();

// The library's path in its long form, in UTF-16 without a detour through the ANSI code page,
// so that a folder name the code page cannot spell still loads and registers the library
// (empty when it cannot be had).
std::u16string moduleLongPathW();

// Another form of a path (GetLongPathNameW, GetShortPathNameW) at any length; empty when the
// system gives none.
std::u16string pathForm(DWORD(WINAPI* form)(LPCWSTR, LPWSTR, DWORD), const std::u16string& path);

// The directory part of a path: everything up to and including its last "\" or ":".
std::u16string directoryOf(const std::u16string& path);

}  // namespace vantorelix
