// The two registry views of 64-bit Windows, for the tests of side-by-side registration: where
// the other bitness's registration of Vantorelix.Utils lives, and the keys it writes and
// removes. A 64-bit test program cannot run the 32-bit DLL, so it puts in place, through the
// other view, exactly the keys that the 32-bit DLL's registration writes.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "automation/raii.h"
#include "tests/support/text.h"

namespace vtest {

const wchar_t kUtilsClsid[] = L"{D26D3337-1F1D-4805-AC89-287F698FEC0E}";
const wchar_t kUtilsLibid[] = L"{C7C9CF68-A9EA-4EBB-9196-AEF9132F38EA}";
const wchar_t kIUtilsIid[] = L"{33E75799-BA2C-48E8-8AC5-8C52D210F460}";
const wchar_t kProgID[] = L"Vantorelix.Utils";
const std::wstring kUtilsClassKey = std::wstring(L"CLSID\\") + kUtilsClsid;
const std::wstring kTypeLibKey = std::wstring(L"TypeLib\\") + kUtilsLibid;
const std::wstring kTypeLibLocaleKey = kTypeLibKey + L"\\1.0\\409";
const std::wstring kInterfaceKey = std::wstring(L"Interface\\") + kIUtilsIid;

// Where a registration writes: HKEY_CLASSES_ROOT, or HKEY_CURRENT_USER\Software\Classes.
struct ClassesPlace {
  HKEY base;
  std::wstring prefix;
  const char* name;
};
inline ClassesPlace machineClasses() { return {HKEY_CLASSES_ROOT, L"", "HKEY_CLASSES_ROOT"}; }
// The machine's own classes, which HKEY_CLASSES_ROOT merges with the user's on Windows.
inline ClassesPlace localMachineClasses() {
  return {HKEY_LOCAL_MACHINE, L"Software\\Classes\\", "HKEY_LOCAL_MACHINE\\Software\\Classes"};
}
inline ClassesPlace userClasses() {
  return {HKEY_CURRENT_USER, L"Software\\Classes\\", "HKEY_CURRENT_USER\\Software\\Classes"};
}

// This program's view and the other bitness's; other is 0 on 32-bit Windows (no WOW64).
struct Views {
  REGSAM own = 0, other = 0;
  const wchar_t* otherPlatform = L"";  // the type library platform key of the other bitness
};
inline Views registryViews() {
  if (sizeof(void*) == 8) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY, L"win32"};
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) return {KEY_WOW64_32KEY, KEY_WOW64_64KEY, L"win64"};
  return {};
}

inline bool keyIn(const ClassesPlace& place, const std::wstring& key, REGSAM view) {
  vantorelix::RegKey k;
  return RegOpenKeyExW(place.base, (place.prefix + key).c_str(), 0, KEY_READ | view, k.out()) == ERROR_SUCCESS;
}

// A REG_SZ value as one view shows it; nothing when the key or the value is missing.
inline std::optional<std::wstring> valueIn(const ClassesPlace& place, const std::wstring& key, REGSAM view,
                                           const wchar_t* name = L"") {
  vantorelix::RegKey k;
  if (RegOpenKeyExW(place.base, (place.prefix + key).c_str(), 0, KEY_READ | view, k.out()) != ERROR_SUCCESS)
    return std::nullopt;
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t), type = 0;
  if (RegQueryValueExW(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return std::nullopt;
  return std::wstring(data);
}

inline void setValueIn(const ClassesPlace& place, const std::wstring& key, REGSAM view, const std::wstring& data,
                       const wchar_t* name = L"") {
  vantorelix::RegKey k;
  LONG r = RegCreateKeyExW(place.base, (place.prefix + key).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | view,
                           nullptr, k.out(), nullptr);
  if (r == ERROR_SUCCESS)
    r = RegSetValueExW(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  if (r != ERROR_SUCCESS) ADD_FAILURE() << "cannot write " << place.name << "\\" << std::string(key.begin(), key.end());
}

inline void deleteIn(const ClassesPlace& place, const std::wstring& key, REGSAM view) {
  RegDeleteKeyExW(place.base, (place.prefix + key).c_str(), view, 0);
}

// What the other bitness's DLL, registered from otherServer, writes into its own view: the
// class entries, the ProgID, and (by the platform's RegisterTypeLib) the type library with its
// own platform key and the IUtils interface key.
inline void putOtherViewRegistration(const ClassesPlace& place, const Views& views, const std::wstring& otherServer) {
  const REGSAM v = views.other;
  setValueIn(place, kUtilsClassKey, v, L"Utils Object");
  setValueIn(place, kUtilsClassKey + L"\\InprocServer32", v, otherServer);
  setValueIn(place, kUtilsClassKey + L"\\InprocServer32", v, L"Apartment", L"ThreadingModel");
  setValueIn(place, kProgID, v, L"Utils Object");
  setValueIn(place, std::wstring(kProgID) + L"\\Clsid", v, kUtilsClsid);
  setValueIn(place, kUtilsClassKey + L"\\ProgID", v, kProgID);
  setValueIn(place, kUtilsClassKey + L"\\Version", v, L"1.0");
  setValueIn(place, kUtilsClassKey + L"\\TypeLib", v, kUtilsLibid);
  setValueIn(place, kTypeLibKey + L"\\1.0", v, L"Vantorelix Library");
  setValueIn(place, kTypeLibLocaleKey + L"\\" + views.otherPlatform, v, otherServer);
  setValueIn(place, kInterfaceKey, v, L"IUtils");
  setValueIn(place, kInterfaceKey + L"\\ProxyStubClsid32", v, L"{00020424-0000-0000-C000-000000000046}");
  setValueIn(place, kInterfaceKey + L"\\TypeLib", v, kUtilsLibid);
}

// What the other bitness's unregistration takes away while this view still registers the
// class: its own class entries and its type library platform key.
inline void eraseOtherViewOwnEntries(const ClassesPlace& place, const Views& views) {
  const REGSAM v = views.other;
  for (const wchar_t* sub : {L"\\TypeLib", L"\\Version", L"\\ProgID", L"\\InprocServer32", L""})
    deleteIn(place, kUtilsClassKey + sub, v);
  deleteIn(place, kTypeLibLocaleKey + L"\\" + views.otherPlatform, v);
  deleteIn(place, kTypeLibLocaleKey, v);
}

// Everything the other bitness's registration wrote, whatever a failed case left behind.
inline void eraseOtherViewRegistration(const ClassesPlace& place, const Views& views) {
  eraseOtherViewOwnEntries(place, views);
  deleteIn(place, std::wstring(kProgID) + L"\\Clsid", views.other);
  deleteIn(place, kProgID, views.other);
  for (const wchar_t* sub : {L"\\ProxyStubClsid32", L"\\TypeLib", L""}) deleteIn(place, kInterfaceKey + sub, views.other);
}

// Every value of Vantorelix's registration that one scope holds, in both views: one line per
// key, view and value ("<missing>" where there is none), for a comparison key by key.
inline std::wstring registrationIn(const ClassesPlace& place, const Views& views) {
  const std::wstring keys[] = {kUtilsClassKey, kUtilsClassKey + L"\\InprocServer32", kUtilsClassKey + L"\\ProgID",
                               kUtilsClassKey + L"\\Version", kUtilsClassKey + L"\\TypeLib", kProgID,
                               std::wstring(kProgID) + L"\\Clsid", kTypeLibKey + L"\\1.0",
                               kTypeLibLocaleKey + L"\\win32", kTypeLibLocaleKey + L"\\win64", kInterfaceKey,
                               kInterfaceKey + L"\\TypeLib"};
  std::wstring out;
  for (REGSAM v : {views.own, views.other}) {
    for (const std::wstring& key : keys) {
      out += std::to_wstring(v) + L" " + key + L" = " + (keyIn(place, key, v) ? valueIn(place, key, v).value_or(L"") : L"<missing>");
      if (key == kUtilsClassKey + L"\\InprocServer32")
        out += L" ThreadingModel=" + valueIn(place, key, v, L"ThreadingModel").value_or(L"<missing>");
      out += L"\n";
    }
    if (!views.other) break;
  }
  return out;
}

// Runs a program and gives its exit code, or 0x8000xxxx with the error when it cannot start.
inline DWORD runProgram(std::wstring command) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return GetLastError() | 0x80000000u;
  vantorelix::Handle thread = vantorelix::Handle::adopt(process.hThread);
  vantorelix::Handle child = vantorelix::Handle::adopt(process.hProcess);
  WaitForSingleObject(child.get(), 120000);
  DWORD code = 0x7fffffff;
  GetExitCodeProcess(child.get(), &code);
  return code;
}

// A program of the Windows folder of a bitness: system32 (this program's own) or syswow64.
inline std::wstring systemProgramIn(const wchar_t* folder, const wchar_t* program) {
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  return std::wstring(windows) + L"\\" + folder + L"\\" + program;
}
inline std::wstring regsvr32In(const wchar_t* folder) { return systemProgramIn(folder, L"regsvr32.exe"); }

// Whether the 32-bit programs see a key of HKEY_CLASSES_ROOT, asked of syswow64's reg.exe: a
// 32-bit program's own reading, which a 64-bit program's KEY_WOW64_32KEY need not match for a
// key that Windows shares between the views. (Wine's 32-bit programs write a ProgID into the
// one key Windows shares, while Wine answers a 64-bit program's KEY_WOW64_32KEY reading of it
// from a per-view copy that nothing writes.)
inline bool thirtyTwoBitProgramsSee(const std::wstring& classesKey) {
  return runProgram(L"\"" + systemProgramIn(L"SysWOW64", L"reg.exe") + L"\" query \"HKCR\\" + classesKey + L"\" /ve") == 0;
}

}  // namespace vtest
