// The DLL's version, read from its resources: VERSIONINFO's numbers and texts and the assembly
// identity of the embedded side-by-side manifest and of the file beside the DLL carry the one
// project version that the build was given.
#include "com_support.h"

#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

using namespace vtest;
using vantorelix::Module;

namespace {

std::string expectedVersion() {  // four parts, as Windows writes file versions
  const std::u16string v = envText("VANTORELIX_VERSION");
  return std::string(v.begin(), v.end()) + ".0";
}

std::string resourceBytes(HMODULE dll, LPCWSTR type, LPCWSTR name) {
  HRSRC res = FindResourceW(dll, name, type);
  if (!res) return {};
  const char* data = static_cast<const char*>(LockResource(LoadResource(dll, res)));
  return std::string(data, SizeofResource(dll, res));
}

// The text value of a VERSIONINFO string entry: its UTF-16 key, padding, then the value.
std::u16string versionString(const std::string& block, const std::u16string& key) {
  std::string needle(reinterpret_cast<const char*>(key.c_str()), (key.size() + 1) * 2);
  size_t at = block.find(needle);
  if (at == std::string::npos) return {};
  at += needle.size();
  at = (at + 3) & ~size_t(3);
  std::u16string value;
  for (; at + 1 < block.size(); at += 2) {
    char16_t c = static_cast<unsigned char>(block[at]) | (static_cast<unsigned char>(block[at + 1]) << 8);
    if (c == 0) break;
    value += c;
  }
  return value;
}

std::string assemblyVersion(const std::string& manifest) {
  std::smatch m;
  static const std::regex identity(R"re(<assemblyIdentity[^>]*\sversion="([^"]*)")re");
  return std::regex_search(manifest, m, identity) ? m[1].str() : std::string("<none>");
}

std::string narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

}  // namespace

TEST(Version, VersionInfoNumbersAndTextsAreTheProjectVersion) {
  ASSERT_NE(expectedVersion(), ".0") << "VANTORELIX_VERSION is not set";
  Module dll = Module::adopt(LoadLibraryExW(w(dllPath()), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(dll);
  std::string block = resourceBytes(dll.get(), MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1));
  ASSERT_FALSE(block.empty());
  const DWORD signature = 0xFEEF04BD;
  size_t at = block.find(std::string(reinterpret_cast<const char*>(&signature), 4));
  ASSERT_NE(at, std::string::npos);
  VS_FIXEDFILEINFO fixed;
  ASSERT_LE(at + sizeof fixed, block.size());
  std::memcpy(&fixed, block.data() + at, sizeof fixed);
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "%lu.%lu.%lu.%lu", fixed.dwFileVersionMS >> 16, fixed.dwFileVersionMS & 0xFFFF,
                fixed.dwFileVersionLS >> 16, fixed.dwFileVersionLS & 0xFFFF);
  EXPECT_EQ(numbers, expectedVersion());
  EXPECT_EQ(fixed.dwProductVersionMS, fixed.dwFileVersionMS);
  EXPECT_EQ(fixed.dwProductVersionLS, fixed.dwFileVersionLS);
  EXPECT_EQ(narrow(versionString(block, u"FileVersion")), expectedVersion());
  EXPECT_EQ(narrow(versionString(block, u"ProductVersion")), expectedVersion());
}

TEST(Version, ManifestsNameTheProjectVersion) {
  Module dll = Module::adopt(LoadLibraryExW(w(dllPath()), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(dll);
  EXPECT_EQ(assemblyVersion(resourceBytes(dll.get(), MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(2))), expectedVersion());
  std::u16string path = dllPath();
  std::u16string beside = path.substr(0, path.find_last_of(u'\\') + 1) + u"Vantorelix.manifest";
  std::ifstream file(narrow(beside), std::ios::binary);
  ASSERT_TRUE(file) << "no Vantorelix.manifest beside the DLL";
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(assemblyVersion(text.str()), expectedVersion());
}
