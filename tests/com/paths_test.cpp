// The path methods through COM: the wide calls with their size queries, the ANSI methods with
// their code-page passage, and the process-wide current directory.
#include "com_support.h"

#include <cstdio>

using namespace vtest;

namespace {
::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

// The current directory of the process, put back when a test that changes it ends.
class CurrentDirectoryKept {
 public:
  CurrentDirectoryKept() {
    wchar_t buffer[4096] = {};
    GetCurrentDirectoryW(4096, buffer);
    saved_ = buffer;
  }
  ~CurrentDirectoryKept() { SetCurrentDirectoryW(saved_.c_str()); }

 private:
  std::wstring saved_;
};

// What the ANSI passage makes of a text: to the code page and back, flags 0 both ways.
std::u16string throughAnsi(const std::u16string& s) {
  auto src = reinterpret_cast<const wchar_t*>(s.c_str());
  int n = WideCharToMultiByte(GetACP(), 0, src, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  WideCharToMultiByte(GetACP(), 0, src, -1, &bytes[0], n, nullptr, nullptr);
  int m = MultiByteToWideChar(GetACP(), 0, bytes.c_str(), -1, nullptr, 0);
  std::wstring back(m, L'\0');
  MultiByteToWideChar(GetACP(), 0, bytes.c_str(), -1, &back[0], m);
  return std::u16string(reinterpret_cast<const char16_t*>(back.c_str()));
}

// The text answer of a method with one string input, called early-bound.
using TextMethod = HRESULT (STDMETHODCALLTYPE IUtils::*)(BSTR, BSTR*);
std::u16string ask(const ComPtr<IUtils>& utils, TextMethod method, BSTR input) {
  Bstr result;
  EXPECT_EQ(((*utils.Get()).*method)(input, result.out()), S_OK);
  return text(result.get());
}
std::u16string ask(const ComPtr<IUtils>& utils, TextMethod method, const std::u16string& input) {
  return ask(utils, method, Bstr(input).get());
}

std::u16string relPathTo(const ComPtr<IUtils>& utils, const std::u16string& from, VARIANT_BOOL fromIsDir,
                         const std::u16string& to, VARIANT_BOOL toIsDir) {
  Bstr result;
  EXPECT_EQ(utils->pathRelPathTo(Bstr(from).get(), fromIsDir, Bstr(to).get(), toIsDir, result.out()), S_OK);
  return text(result.get());
}

std::u16string extract(const ComPtr<IUtils>& utils, const std::u16string& base, const std::u16string& dest) {
  Bstr result;
  EXPECT_EQ(utils->extractRelPath(Bstr(base).get(), Bstr(dest).get(), result.out()), S_OK);
  return text(result.get());
}

std::u16string makeDirectory(const std::u16string& name) {
  std::u16string path = tempDir() + u"\\" + name;
  CreateDirectoryW(w(path), nullptr);
  return path;
}
}  // namespace

TEST(Paths, CodePageOfThisRun) {
  // Printed so that a wrong locale shows in the log.
  std::printf("ANSI code page %u, DBCS mode %d\n", GetACP(), GetSystemMetrics(SM_DBCSENABLED));
  auto utils = createUtils();
  INT maxPath = 0;
  ASSERT_EQ(utils->getMaxPath(&maxPath), S_OK);
  EXPECT_EQ(maxPath, 260);
  CallResult late;
  invoke(utils.Get(), L"getMaxPath", {}, late);
  ASSERT_EQ(late.hr, S_OK);
  // Wine's type-information call hands an int result back as VT_I4.
  VARIANT as4;
  VariantInit(&as4);
  ASSERT_EQ(VariantChangeType(&as4, late.value.get(), 0, VT_I4), S_OK);
  EXPECT_EQ(V_I4(&as4), 260);
  EXPECT_EQ(utils->getMaxPath(nullptr), E_POINTER);
}

TEST(Paths, EmptyInputsGiveEmptyResultsAndFalse) {
  auto utils = createUtils();
  EXPECT_EQ(ask(utils, &IUtils::getLongPath, nullptr), u"");
  EXPECT_EQ(ask(utils, &IUtils::getShortPath, nullptr), u"");
  EXPECT_EQ(ask(utils, &IUtils::getFullPathName, nullptr), u"");
  EXPECT_EQ(ask(utils, &IUtils::expandFileName, nullptr), u"");
  EXPECT_EQ(ask(utils, &IUtils::getFullPathName, std::u16string()), u"");
  Bstr previous(std::u16string(u"previous"));
  BSTR location = previous.get();  // the caller still owns "previous"
  ASSERT_EQ(utils->getLongPath(nullptr, &location), S_OK);
  EXPECT_EQ(location, nullptr) << "an empty result is a null BSTR";
  CurrentDirectoryKept kept;
  VARIANT_BOOL ok = VARIANT_TRUE;
  ASSERT_EQ(utils->setCurrentDir(nullptr, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE);
  // Without a place for the answer nothing happens at all: the directory stays.
  wchar_t before[MAX_PATH] = {}, after[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, before);
  Bstr temp(tempDir());
  ASSERT_NE(temp.view(), std::u16string_view(reinterpret_cast<const char16_t*>(before)));
  EXPECT_EQ(utils->setCurrentDir(temp.get(), nullptr), E_POINTER);
  GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_STREQ(after, before);
}

TEST(Paths, LongAndShortFormsOfAnExistingPath) {
  auto utils = createUtils();
  std::u16string longName = makeDirectory(u"a directory with a long name");
  std::u16string shortForm = ask(utils, &IUtils::getShortPath, longName);
  // The short form is the platform's own answer. Windows gives an 8.3 name only where the
  // volume makes them (many NTFS volumes do not, and then the short form is the long path
  // itself); Wine always makes one, hashed, so only its shape is known.
  wchar_t platform[1024] = {};
  DWORD n = GetShortPathNameW(w(longName), platform, 1024);
  ASSERT_GT(n, 0u);
  ASSERT_FALSE(shortForm.empty());
  EXPECT_EQ(shortForm, std::u16string(reinterpret_cast<const char16_t*>(platform), n));
  if (runningUnderWine()) {
    EXPECT_NE(shortForm, longName) << "Wine gives every long name an 8.3 form";
  }
  if (shortForm != longName) {
    std::u16string lastPart = shortForm.substr(shortForm.rfind(u'\\') + 1);
    EXPECT_LE(lastPart.size(), 12u);
    EXPECT_NE(lastPart.find(u'~'), std::u16string::npos);
  } else {
    std::printf("this volume makes no 8.3 names: the short form is the long path\n");
  }
  std::u16string back = ask(utils, &IUtils::getLongPath, shortForm);
  EXPECT_EQ(back.substr(back.rfind(u'\\') + 1), u"a directory with a long name");
  EXPECT_EQ(ask(utils, &IUtils::getLongPath, tempDir() + u"\\no such directory\\x"), u"")
      << "a missing path gives the empty string, not the input";
}

TEST(Paths, FullPathsKeepWideCharactersAndTheAnsiMethodSubstitutes) {
  auto utils = createUtils();
  // U+AC00 (a Hangul syllable) is in neither code page 1252 nor 932.
  std::u16string name = tempDir() + u"\\x\uAC00y.txt";
  ASSERT_NE(throughAnsi(name), name) << "this case needs an ANSI code page without U+AC00 (not " << GetACP() << ")";
  std::u16string full = ask(utils, &IUtils::getFullPathName, name);
  std::u16string expanded = ask(utils, &IUtils::expandFileName, name);
  EXPECT_EQ(full, name);
  EXPECT_EQ(expanded, throughAnsi(name));
  EXPECT_EQ(expanded.find(u'\uAC00'), std::u16string::npos);
  EXPECT_EQ(expanded.size(), full.size());
  // For text that the code page can represent the two agree.
  std::u16string plain = tempDir() + u"\\sub\\..\\plain.txt";
  std::u16string fullPlain = ask(utils, &IUtils::getFullPathName, plain);
  EXPECT_EQ(fullPlain, tempDir() + u"\\plain.txt");
  EXPECT_EQ(ask(utils, &IUtils::expandFileName, plain), fullPlain);
}

TEST(Paths, RelativeInputsAreCompletedAgainstTheCurrentDirectory) {
  CurrentDirectoryKept kept;
  auto utils = createUtils();
  std::u16string dir = makeDirectory(u"current");
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(utils->setCurrentDir(Bstr(dir).get(), &ok), S_OK);
  ASSERT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(ask(utils, &IUtils::getFullPathName, u"f.txt"), dir + u"\\f.txt");
  // A local drive has no network connection: the full path comes back as it is. (Wine has no
  // mapped network drives here, so the UNC form of a mapped drive cannot be shown.)
  EXPECT_EQ(ask(utils, &IUtils::expandFileName, u"..\\g.txt"), tempDir() + u"\\g.txt");
  Bstr current;
  ASSERT_EQ(utils->getCurrentDir(current.out()), S_OK);
  EXPECT_EQ(current.view(), dir);
}

TEST(Paths, ExpandFileNameGivesAFullPathOfMoreThan260BytesUncut) {
  auto utils = createUtils();
  std::u16string name = tempDir();
  while (name.size() < 300) name += u"\\abcdefghijklmnopqrstuvwxyz";
  name += u"\\..\\f.txt";
  std::u16string expected = name.substr(0, name.size() - 36) + u"\\f.txt";
  EXPECT_EQ(ask(utils, &IUtils::getFullPathName, name), expected);
  std::u16string expanded = ask(utils, &IUtils::expandFileName, name);
  EXPECT_GT(expanded.size(), 260u);
  EXPECT_EQ(expanded, expected);
}

TEST(Paths, CurrentDirectorySetThroughOneObjectIsSeenByAnother) {
  CurrentDirectoryKept kept;
  auto first = createUtils();
  auto second = createUtils();
  std::u16string dir = makeDirectory(u"shared current");
  CallResult set, seen;
  invoke(first.Get(), L"setCurrentDir", {str(dir)}, set);
  ASSERT_EQ(set.hr, S_OK);
  EXPECT_EQ(V_VT(set.value.get()), VT_BOOL);
  EXPECT_EQ(V_BOOL(set.value.get()), VARIANT_TRUE);
  invoke(second.Get(), L"getCurrentDir", {}, seen);
  ASSERT_EQ(seen.hr, S_OK);
  EXPECT_EQ(seen.string(), dir);
  // A directory that does not exist leaves the current one as it is.
  VARIANT_BOOL ok = VARIANT_TRUE;
  ASSERT_EQ(second->setCurrentDir(Bstr(tempDir() + u"\\no such dir").get(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE);
  Bstr still;
  ASSERT_EQ(first->getCurrentDir(still.out()), S_OK);
  EXPECT_EQ(still.view(), dir);
}

TEST(Paths, PathRelPathToTakesAnyNonzeroTruthAsDirectory) {
  auto utils = createUtils();
  struct Case {
    std::u16string from;
    VARIANT_BOOL fromIsDir;
    std::u16string to;
    VARIANT_BOOL toIsDir;
    std::u16string way;
  };
  const Case cases[] = {
      // fromIsDir = 1, not -1: from is a directory, so the way leads up out of b.
      {u"C:\\a\\b", 1, u"C:\\a\\c\\d.txt", 0, u"..\\c\\d.txt"},
      {u"C:\\a\\b", 0, u"C:\\a\\c\\d.txt", 0, u".\\c\\d.txt"},
      // Paths on different drives have no relative path.
      {u"C:\\a", -1, u"D:\\b", -1, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(wide(c.from + u" to " + c.to)));
    EXPECT_EQ(relPathTo(utils, c.from, c.fromIsDir, c.to, c.toIsDir), c.way);
  }
  // Three arguments late-bound: toIsDir takes its default, false.
  CallResult three;
  invoke(utils.Get(), L"pathRelPathTo", {str(u"C:\\a\\b"), truth(true), str(u"C:\\a\\b\\c")}, three);
  ASSERT_EQ(three.hr, S_OK);
  EXPECT_EQ(three.string(), u".\\c");
}

TEST(Paths, ExtractRelPathThroughTheDll) {
  auto utils = createUtils();
  // A destination on another drive comes back through the code page.
  const std::u16string otherDrive = u"D:\\\uAC00.txt";
  struct Case {
    std::u16string base, dest, expected;
  };
  std::vector<Case> cases = {
      {u"C:\\a\\b\\c.txt", u"C:\\a\\d\\e.txt", u"..\\d\\e.txt"},
      {u"c:\\A\\B\\", u"C:\\a\\b\\x\\y.txt", u"x\\y.txt"},
      {u"\\\\srv\\share\\a\\", u"\\\\SRV\\share\\b\\f.txt", u"..\\b\\f.txt"},
      {u"C:\\a\\", u"C:\\a\\", u""},
      {u"C:\\a\\b\\", u"D:\\x.txt", u"D:\\x.txt"},
      {u"C:\\", otherDrive, throughAnsi(otherDrive)},
  };
  // Outside DBCS mode the system folds the Latin capitals too: U+00C4 and U+00E4 match.
  if (GetACP() == 1252) cases.push_back({u"C:\\\u00C4\\x\\", u"C:\\\u00E4\\f", u"..\\f"});
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(wide(c.base + u" to " + c.dest)));
    EXPECT_EQ(extract(utils, c.base, c.dest), c.expected);
  }
}
