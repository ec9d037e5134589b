// Self-registration, the registry half of two classes: where a pass writes, and which members
// of TComServer and TComObjectFactory live in server/registration.cpp.
//   TComServer:         WriteRegistration, EraseRegistration, WriteUserRegistration,
//                       EraseUserRegistration, eraseTypeLibRegistration, otherViewRegistersAClass,
//                       updateFactories (declared in server/comserver.h)
//   TComObjectFactory:  updateRegistry, writeClassEntries, eraseClassEntries,
//                       registeredInOtherView (declared in server/factory.h)
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace vantorelix {

using UnRegisterTypeLibFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// Where a registration pass writes the class entries: HKEY_LOCAL_MACHINE\Software\Classes for
// the machine, HKEY_CURRENT_USER\Software\Classes for the current user. Never the merged
// HKEY_CLASSES_ROOT: Windows stores a write through it under the user's classes wherever they
// already hold the key, so a machine registration after a per-user one would reach only that
// user, and an unregistration would read and remove the user's keys for the machine's. A key
// is named by its whole path from `base`, so that another registry view of it can be asked for.
struct ClassesRoot {
  HKEY base = HKEY_LOCAL_MACHINE;
  std::u16string prefix = u"Software\\Classes\\";  // the path of the classes key with a closing "\"
  std::u16string path(const std::u16string& key) const { return prefix + key; }
};

}  // namespace vantorelix
