// Path utilities: long, short and full paths, relative paths, the current directory.
// The wide methods hand the caller's UTF-16 text to the platform's wide calls and return its
// answer unchanged; expandFileName and extractRelPath work on the bytes of the ANSI code page.
#include <windows.h>
#include <shlwapi.h>
#include <winnetwk.h>

#include <string>
#include <vector>

#include "automation/ansi.h"
#include "automation/raii.h"
#include "utils/TUtils.h"
#include "utils/relpath_logic.h"

namespace vantorelix {
namespace {

constexpr DWORD kAnsiPathBuffer = MAX_PATH;  // 260 bytes: the first ask of expandFileName
constexpr DWORD kUniversalNameBuffer = 1024;
constexpr DWORD kConnectionBuffer = 1600;

// The code page's view of path bytes, fixed at start-up.
AnsiPathRules gPathRules;

// A null automation string is the empty text.
const wchar_t* widePath(BSTR s) { return s ? s : L""; }

// Outside DBCS mode names fold by the system's rules.
std::string systemLower(std::string_view text) {
  std::string out(text);
  if (!out.empty()) CharLowerBuffA(&out[0], static_cast<DWORD>(out.size()));
  return out;
}

bool sameForUserLocale(std::string_view a, std::string_view b) {
  // Never a null pointer, also for an empty name.
  const char* pa = a.empty() ? "" : a.data();
  const char* pb = b.empty() ? "" : b.data();
  return CompareStringA(LOCALE_USER_DEFAULT, 0, pa, static_cast<int>(a.size()), pb, static_cast<int>(b.size())) ==
         CSTR_EQUAL;
}

// The size query of the wide path calls: ask with size 0 for the code units that the answer
// needs, then fetch it into a zero-filled buffer of that size. The second answer is not
// examined: a failed fetch leaves the buffer empty.
template <class Call>
std::u16string askForSizeThenFetch(Call call) {
  int needed = static_cast<int>(call(nullptr, 0));
  if (needed <= 0) return {};
  TextBuffer buffer(static_cast<size_t>(needed));
  call(buffer.data(), static_cast<DWORD>(needed));
  return std::u16string(buffer.text());
}

// The same, straight into the result string.
template <class Call>
BSTR askForSizeThenFetchResult(Call call) {
  int needed = static_cast<int>(call(nullptr, 0));
  if (needed <= 0) return nullptr;
  TextBuffer buffer(static_cast<size_t>(needed));
  call(buffer.data(), static_cast<DWORD>(needed));
  return newResultString(buffer.text());
}

// Some systems' ANSI path calls refuse a name or a full path longer than 260 bytes instead of
// asking for more room. The wide call has no such limit; given the same ANSI text and
// converted back, it gives the bytes that the ANSI call gives a shorter path.
std::string longAnsiFullPath(const std::string& name) {
  std::u16string wideName = fromAnsi(name);
  std::u16string full = askForSizeThenFetch([&](wchar_t* buffer, DWORD size) {
    wchar_t* filePart = nullptr;
    return GetFullPathNameW(wptr(wideName), size, buffer, &filePart);
  });
  return toAnsi(full);
}

// GetFullPathNameA into 260 bytes. When the full path does not fit, the platform answers with
// the size that it needs, and it is asked again with that much room.
std::string ansiFullPath(const std::string& name) {
  std::vector<char> buffer(kAnsiPathBuffer);
  char* filePart = nullptr;
  SetLastError(ERROR_SUCCESS);
  DWORD n = GetFullPathNameA(name.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &filePart);
  while (n >= buffer.size()) {
    buffer.assign(n, '\0');
    n = GetFullPathNameA(name.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &filePart);
  }
  if (n == 0 && GetLastError() == ERROR_FILENAME_EXCED_RANGE) return longAnsiFullPath(name);
  return std::string(buffer.data(), n);
}

// No 64-bit Windows is of the 9x family: the 64-bit build asks the network provider only.
#ifndef _WIN64
bool isWindows9x() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!GetVersionExA(&version)) return false;
  return version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMajorVersion <= 4;
}

// An open enumeration of network resources.
inline void closeNetEnumeration(HANDLE h) noexcept { WNetCloseEnum(h); }
using NetEnumeration = UniqueOwner<PointerTraits<HANDLE, closeNetEnumeration>>;

#endif

// The UNC form of a path on a network connection, asked of the network provider (NT family).
bool universalNameNt(const std::string& path, std::string& unc) {
  std::vector<BYTE> buffer(kUniversalNameBuffer);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (WNetGetUniversalNameA(path.c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size) != NO_ERROR) return false;
  const char* name = reinterpret_cast<const UNIVERSAL_NAME_INFOA*>(buffer.data())->lpUniversalName;
  unc = name ? name : "";
  return true;
}

#ifndef _WIN64
// The UNC form of a drive-letter path, found among the connected disk resources (9x family,
// whose WNetGetUniversalNameA does not give it).
bool universalNameFromConnections(const std::string& path, std::string& unc) {
  if (!startsWithDriveRoot(path)) return false;
  char letter = driveLetterOf(path);

  NetEnumeration connections;
  if (WNetOpenEnumA(RESOURCE_CONNECTED, RESOURCETYPE_DISK, 0, nullptr, connections.out()) != NO_ERROR) return false;
  std::vector<BYTE> buffer(kConnectionBuffer);
  for (;;) {
    DWORD count = 0xFFFFFFFF;
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD status = WNetEnumResourceA(connections.get(), &count, buffer.data(), &size);
    if (status == ERROR_MORE_DATA) {
      buffer.resize(size > buffer.size() ? size : buffer.size() * 2);
      continue;
    }
    if (status != NO_ERROR) return false;
    const NETRESOURCEA* records = reinterpret_cast<const NETRESOURCEA*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      const char* local = records[i].lpLocalName;
      if (!local || driveLetterOf(local) != letter) continue;
      unc = records[i].lpRemoteName ? records[i].lpRemoteName : "";
      unc += path.substr(2);
      return true;
    }
  }
}
#endif

// `path` in its UNC form when it lies on a network connection; otherwise unchanged.
std::string universalName(const std::string& path) {
  std::string unc;
#ifdef _WIN64
  bool found = universalNameNt(path, unc);
#else
  bool found = isWindows9x() ? universalNameFromConnections(path, unc) : universalNameNt(path, unc);
#endif
  return found ? unc : path;
}

}  // namespace

void TUtils::startUpPaths() {
  gPathRules.dbcs = GetSystemMetrics(SM_DBCSENABLED) != 0;
  CPINFO info{};
  if (gPathRules.dbcs && GetCPInfo(CP_ACP, &info)) gPathRules.leadBytes = leadByteTable(info.LeadByte, MAX_LEADBYTES);
  gPathRules.lower = systemLower;
  gPathRules.equal = sameForUserLocale;
}

HRESULT TUtils::getLongPath(BSTR ShortPath, BSTR* longPath) {
  return methodGuard(*this, longPath, [&] {
    const wchar_t* path = widePath(ShortPath);
    // Not tested: a failed query (0) gives a fetch of size 0 into an empty buffer.
    DWORD needed = GetLongPathNameW(path, nullptr, 0);
    TextBuffer buffer(static_cast<size_t>(needed) + 1);
    GetLongPathNameW(path, buffer.data(), needed);
    *longPath = newResultString(buffer.text());
  });
}

HRESULT TUtils::getShortPath(BSTR longPath, BSTR* ShortPath) {
  return methodGuard(*this, ShortPath, [&] {
    const wchar_t* path = widePath(longPath);
    *ShortPath =
        askForSizeThenFetchResult([&](wchar_t* buffer, DWORD size) { return GetShortPathNameW(path, buffer, size); });
  });
}

HRESULT TUtils::getMaxPath(INT* iMaxPath) {
  return methodGuard(*this, iMaxPath, [&] { *iMaxPath = MAX_PATH; });
}

HRESULT TUtils::getFullPathName(BSTR relPath, BSTR* fullPath) {
  return methodGuard(*this, fullPath, [&] {
    const wchar_t* path = widePath(relPath);
    *fullPath = askForSizeThenFetchResult([&](wchar_t* buffer, DWORD size) {
      wchar_t* filePart = nullptr;
      return GetFullPathNameW(path, size, buffer, &filePart);
    });
  });
}

HRESULT TUtils::expandFileName(BSTR relPath, BSTR* fullPath) {
  return methodGuard(*this, fullPath, [&] {
    std::string full = ansiFullPath(toAnsi(bstrView(relPath)));
    if (startsWithDriveLetter(full)) full = universalName(full);
    *fullPath = newResultString(fromAnsi(full));
  });
}

HRESULT TUtils::pathRelPathTo(BSTR fromPath, VARIANT_BOOL fromIsDir, BSTR toPath, VARIANT_BOOL toIsDir, BSTR* relPath) {
  return methodGuard(*this, relPath, [&] {
    DWORD fromAttributes = fromIsDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    DWORD toAttributes = toIsDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    // The platform needs room for 260 code units; more than enough is given.
    size_t fromLength = bstrView(fromPath).size(), toLength = bstrView(toPath).size();
    size_t length = fromLength + toLength + fromLength / 2;
    TextBuffer buffer(length < 1024 ? 1024 : length);
    if (!PathRelativePathToW(buffer.data(), widePath(fromPath), fromAttributes, widePath(toPath), toAttributes)) return;
    *relPath = newResultString(buffer.text());
  });
}

HRESULT TUtils::extractRelPath(BSTR basePath, BSTR destPath, BSTR* relPath) {
  return methodGuard(*this, relPath, [&] {
    std::string base = toAnsi(bstrView(basePath));
    std::string dest = toAnsi(bstrView(destPath));
    *relPath = newResultString(fromAnsi(vantorelix::extractRelPath(base, dest, gPathRules)));
  });
}

HRESULT TUtils::getCurrentDir(BSTR* currentDir) {
  return methodGuard(*this, currentDir, [&] {
    *currentDir =
        askForSizeThenFetchResult([](wchar_t* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
  });
}

HRESULT TUtils::setCurrentDir(BSTR dirPath, VARIANT_BOOL* bSuccess) {
  return methodGuard(*this, bSuccess,
                     [&] { *bSuccess = SetCurrentDirectoryW(widePath(dirPath)) ? VARIANT_TRUE : VARIANT_FALSE; });
}

}  // namespace vantorelix
