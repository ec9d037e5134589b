#include "utils/relpath_logic.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace vantorelix;

namespace {

// Code page 932: lead bytes 0x81-0x9F and 0xE0-0xFC. Names compare byte for byte once folded.
AnsiPathRules japaneseRules() {
  static const unsigned char ranges[12] = {0x81, 0x9F, 0xE0, 0xFC};
  AnsiPathRules rules;
  rules.dbcs = true;
  rules.leadBytes = leadByteTable(ranges, 12);
  rules.lower = [](std::string_view) -> std::string { ADD_FAILURE() << "DBCS mode folds by itself"; return {}; };
  rules.equal = [](std::string_view a, std::string_view b) { return a == b; };
  return rules;
}

// A single-byte code page whose system folding also knows the Latin-1 capitals (0xC0-0xDE).
AnsiPathRules westernRules() {
  AnsiPathRules rules;
  rules.lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out) {
      unsigned char b = static_cast<unsigned char>(c);
      if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) c = static_cast<char>(b + 0x20);
    }
    return out;
  };
  rules.equal = [](std::string_view a, std::string_view b) { return a == b; };
  return rules;
}

std::string rel(std::string_view base, std::string_view dest, const AnsiPathRules& rules) {
  return extractRelPath(base, dest, rules);
}

// "表" (0x95 0x5C) and "ソ" (0x83 0x5C) in code page 932: their second byte is "\".
const std::string kHyo = "\x95\x5C";
const std::string kSo = "\x83\x5C";

// A base, a destination and the relative path from one to the other under one code page.
struct RelCase {
  std::string base, dest, expected;
};
void expectRelPaths(const std::vector<RelCase>& cases, const AnsiPathRules& rules) {
  for (const RelCase& c : cases) {
    SCOPED_TRACE("base " + c.base + ", destination " + c.dest);
    EXPECT_EQ(rel(c.base, c.dest, rules), c.expected);
  }
}

}  // namespace

TEST(ExtractRelPath, TheDocumentedExamplesUnderBothKindsOfCodePage) {
  const std::vector<RelCase> examples = {
      {"C:\\a\\b\\c.txt", "C:\\a\\d\\e.txt", "..\\d\\e.txt"},
      {"C:\\a\\b\\", "C:\\a\\b\\x.txt", "x.txt"},
      {"C:\\a\\b", "C:\\a\\b\\x.txt", "b\\x.txt"},  // the base names a file
      {"C:\\a\\b\\c\\", "C:\\x.txt", "..\\..\\..\\x.txt"},
      {"c:\\A\\B\\", "C:\\a\\b\\x\\y.txt", "x\\y.txt"},
      {"\\\\srv\\share\\a\\", "\\\\SRV\\share\\b\\f.txt", "..\\b\\f.txt"},
      {"C:\\a\\", "C:\\a\\", ""},
      {"a\\b\\f", "a\\c\\g", "..\\c\\g"},
      {"", "x\\y", "x\\y"},
      {"C:\\a\\b\\", "D:\\x.txt", "D:\\x.txt"},
  };
  for (const AnsiPathRules& rules : {westernRules(), japaneseRules()}) {
    SCOPED_TRACE(rules.dbcs ? "DBCS" : "single-byte");
    expectRelPaths(examples, rules);
  }
}

TEST(ExtractRelPath, NamesAreComparedNotResolved) {
  expectRelPaths(
      {
          // "." and ".." are names like any other; "/" is an ordinary character.
          {"C:\\a\\..\\b\\", "C:\\a\\b\\f", "..\\..\\b\\f"},
          {"C:\\a\\", "C:\\a\\.\\f", ".\\f"},
          {"C:\\a/b\\", "C:\\a/b\\f", "f"},
          {"C:\\a\\", "C:\\a/b\\f", "..\\a/b\\f"},
          // A drive-relative base is the root of its drive: no step up, and the destination's
          // empty root segment is dropped.
          {"C:a.txt", "C:\\x\\y.txt", "x\\y.txt"},
          {"C:\\x\\", "C:y.txt", "..\\..\\y.txt"},
          // Different shares, and a share against a drive, give the destination itself.
          {"\\\\srv\\one\\a\\", "\\\\srv\\two\\a\\f", "\\\\srv\\two\\a\\f"},
          {"\\\\srv\\one\\", "C:\\f", "C:\\f"},
          {"", "C:\\f", "C:\\f"},
          // Relative paths without a drive share the empty prefix.
          {"f", "g", "g"},
          {"a\\", "b\\c", "..\\b\\c"},
      },
      westernRules());
}

TEST(ExtractRelPath, FoldingFollowsTheSystemOutsideDbcsMode) {
  AnsiPathRules rules = westernRules();
  // "\xC4" (A with diaeresis) folds to "\xE4" by the system's rules.
  EXPECT_EQ(rel("C:\\\xC4rger\\x\\", "C:\\\xE4rger\\f", rules), "..\\f");
}

TEST(ExtractRelPath, ADoubleByteCharacterEndingInBackslashIsNoSeparator) {
  expectRelPaths(
      {
          // Base directory C:\表\ is one level deep under code page 932; byte by byte it is two.
          {"C:\\" + kHyo + "\\", "C:\\f.txt", "..\\f.txt"},
          // A base file named 表 is dropped whole, so the base directory is C:\a\.
          {"C:\\a\\" + kHyo, "C:\\a\\x.txt", "x.txt"},
          // Directory names with the character inside them are compared as whole names.
          {"C:\\" + kSo + "x\\" + kHyo + "\\", "C:\\" + kSo + "x\\" + kHyo + "\\f", "f"},
          {"C:\\" + kSo + "x\\a\\", "C:\\" + kSo + "y\\f", "..\\..\\" + kSo + "y\\f"},
          {"C:\\d\\", "C:\\" + kSo + "\\" + kHyo + "\\f", "..\\" + kSo + "\\" + kHyo + "\\f"},
          // The trail byte of ア (0x83 0x41) is not an ASCII capital: "\x83\x41" and "\x83\x61" differ.
          {"C:\\\x83\x41\\", "C:\\\x83\x61\\f", "..\\\x83\x61\\f"},
      },
      japaneseRules());
  // The same bytes under a single-byte code page: every 0x5C is a separator there, and 0x41 a
  // capital A.
  expectRelPaths(
      {
          {"C:\\" + kHyo + "\\", "C:\\f.txt", "..\\..\\f.txt"},
          {"C:\\a\\" + kHyo, "C:\\a\\x.txt", "..\\x.txt"},
          {"C:\\\x83\x41\\", "C:\\\x83\x61\\f", "f"},
      },
      westernRules());
}

TEST(DrivePrefix, DriveLettersAndServerShares) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\a\\b", "C:"},
      {"C:", "C:"},
      {"?:x", "?:"},  // whatever the first byte is
      {"\\\\srv\\share\\dir\\f.txt", "\\\\srv\\share"},
      {"\\\\srv\\share", "\\\\srv\\share"},
      {"\\\\srv\\share\\", "\\\\srv\\share"},
      {"\\\\srv", "\\\\srv"},
      {"\\\\srv\\", "\\\\srv"},
      {"\\\\", "\\\\"},
      {"\\\\\\", "\\\\"},
      {"\\a\\b", ""},
      {"a", ""},
      {"", ""},
      // No DBCS classification here: the trail byte of 表 ends the share name.
      {"\\\\srv\\" + kHyo + "\\x", "\\\\srv\\\x95"},
  };
  for (const auto& c : cases) EXPECT_EQ(drivePrefix(c.first), c.second) << c.first;
}

TEST(DirectoryAndFileName, SplitAtTheLastSeparatorThatIsNoTrailByte) {
  const AnsiPathRules dbcs = japaneseRules();
  const AnsiPathRules western = westernRules();
  const std::string path = "C:\\a\\" + kHyo;
  // The directory part and the file name of a path; a part left open is not looked at.
  struct Split {
    std::string path;
    const AnsiPathRules& rules;
    std::optional<std::string> directory, file;
  };
  const Split cases[] = {
      {"C:\\a\\b.txt", dbcs, "C:\\a\\", "b.txt"},
      {"C:b.txt", dbcs, "C:", {}},
      {"b.txt", dbcs, "", "b.txt"},
      {"", dbcs, "", {}},
      {"C:\\a\\", dbcs, {}, ""},
      {path, dbcs, "C:\\a\\", kHyo},
      {path, western, path, ""},
      // Three lead-range bytes: the third opens a character, so the "\" after it is its second byte.
      {"x\\\x81\x81\x81\\", dbcs, "x\\", {}},
      {"x\\\x81\x81\\", dbcs, "x\\\x81\x81\\", {}},
  };
  for (const Split& c : cases) {
    SCOPED_TRACE(c.path + (c.rules.dbcs ? " (DBCS)" : " (single-byte)"));
    if (c.directory) {
      EXPECT_EQ(directoryPart(c.path, c.rules), *c.directory);
    }
    if (c.file) {
      EXPECT_EQ(fileNamePart(c.path, c.rules), *c.file);
    }
  }
}

TEST(Segments, CutAtSingleByteBackslashes) {
  AnsiPathRules dbcs = japaneseRules();
  using V = std::vector<std::string_view>;
  const std::string hyoX = kHyo + "x";
  const std::string t = "\\" + kSo + "\\" + hyoX + "\\";
  const std::pair<std::string, V> cases[] = {
      {"", V{}},
      {"\\a\\b\\", V{"", "a", "b", ""}},
      {"a", V{"a"}},
      {"\\", V{"", ""}},
      {"a\\\\b", V{"a", "", "b"}},
      {t, V{"", kSo, hyoX, ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(pathSegments(c.first, dbcs), c.second) << c.first;
  EXPECT_EQ(pathSegments(t, westernRules()).size(), 6u);
}

TEST(NamesMatch, FoldsThenCompares) {
  const AnsiPathRules dbcs = japaneseRules();
  const AnsiPathRules western = westernRules();
  struct Names {
    std::string a, b;
    const AnsiPathRules& rules;
    bool match;
  };
  const Names cases[] = {
      {"", "", dbcs, true},
      {"", "", western, true},
      {"", "a", western, false},
      {"ABC", "abc", dbcs, true},
      {"ABC", "abc", western, true},
      {"abc", "abd", western, false},
      {"\xC0", "\xE0", western, true},
      {"\x83\x41", "\x83\x61", dbcs, false},
      {"\x83\x41" "A", "\x83\x41" "a", dbcs, true},
      // A lead byte at the end has no partner and stays as it is.
      {"A\x81", "a\x81", dbcs, true},
  };
  for (const Names& c : cases)
    EXPECT_EQ(namesMatch(c.a, c.b, c.rules), c.match) << c.a << " / " << c.b << (c.rules.dbcs ? " (DBCS)" : "");
  // Two empty names match without asking the comparison.
  AnsiPathRules refusing = western;
  refusing.equal = [](std::string_view, std::string_view) { return false; };
  EXPECT_TRUE(namesMatch("", "", refusing));
  EXPECT_FALSE(namesMatch("a", "a", refusing));
}

TEST(ByteKinds, TrailBytesFollowAnOddRunOfLeadRangeBytes) {
  const AnsiPathRules dbcs = japaneseRules();
  const AnsiPathRules western = westernRules();
  using K = std::vector<ByteKind>;
  const auto S = ByteKind::single, L = ByteKind::lead, T = ByteKind::trail;
  struct Kinds {
    std::string bytes;
    const AnsiPathRules& rules;
    K kinds;
  };
  const Kinds cases[] = {
      {"\x81\x81\\", dbcs, K{L, T, S}},
      {"\x81\x81\x81\\", dbcs, K{L, T, L, T}},
      {"a\xE0\x40\xFC", dbcs, K{S, L, T, L}},
      {"\xA0\x80\xFD", dbcs, K{S, S, S}},  // outside both ranges
      {"\x81\x81", western, K{S, S}},
  };
  for (const Kinds& c : cases) EXPECT_EQ(byteKinds(c.bytes, c.rules), c.kinds) << c.bytes;
}

TEST(LeadByteTable, RangesEndAtTheFirstPairOfZeros) {
  const unsigned char ranges[12] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0, 0xA0, 0xA1};
  LeadByteTable table = leadByteTable(ranges, 12);
  EXPECT_TRUE(table[0x81] && table[0x90] && table[0x9F] && table[0xE0] && table[0xFC]);
  EXPECT_FALSE(table[0x80] || table[0xA0] || table[0xA1] || table[0xDF] || table[0xFD] || table[0x5C]);
  const unsigned char single[12] = {};
  LeadByteTable none = leadByteTable(single, 12);
  for (bool b : none) EXPECT_FALSE(b);
  const unsigned char full[2] = {0x00, 0xFF};  // a low byte of zero does not end the list
  EXPECT_TRUE(leadByteTable(full, 2)[0xFF]);
}

TEST(DriveLetters, OnlyLettersBeforeAColon) {
  const std::pair<const char*, bool> letters[] = {
      {"C:\\x", true},
      {"z:x", true},
      {"C:", false},  // fewer than 3 bytes
      {"1:\\", false},
      {"\\\\s\\x", false},
  };
  for (const auto& c : letters) EXPECT_EQ(startsWithDriveLetter(c.first), c.second) << c.first;
  const std::pair<const char*, bool> roots[] = {{"x:\\", true}, {"x:a", false}};
  for (const auto& c : roots) EXPECT_EQ(startsWithDriveRoot(c.first), c.second) << c.first;
  const std::pair<const char*, char> driveLetters[] = {{"q:\\", 'Q'}, {"@:\\", 0}, {"", 0}};
  for (const auto& c : driveLetters) EXPECT_EQ(driveLetterOf(c.first), c.second) << c.first;
}

// Random paths made of whole characters (single bytes and double-byte characters, also those
// whose second byte is "\"), with the relations that every answer must keep.
class RandomPaths {
 public:
  explicit RandomPaths(unsigned seed) : rng_(seed) {}

  std::string name() {
    static const char singles[] = "aAbZz09 ._-/~\xC4\xA0\xDF";
    static const unsigned char trails[] = {0x40, 0x41, 0x5C, 0x61, 0x7E, 0x80, 0x9F, 0xFC};
    std::string out;
    int length = 1 + pick(4);
    for (int i = 0; i < length; ++i) {
      if (pick(3) == 0) {
        out += static_cast<char>(pick(2) ? 0x81 + pick(0x1F) : 0xE0 + pick(0x1D));
        out += static_cast<char>(trails[pick(sizeof trails)]);
      } else {
        out += singles[pick(sizeof singles - 1)];
      }
    }
    return out;
  }
  std::string directories(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += name() + "\\";
    return out;
  }
  std::string root() {
    switch (pick(3)) {
      case 0: return "C:\\";
      case 1: return "\\\\srv\\share\\";
      default: return "";
    }
  }
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

 private:
  std::mt19937 rng_;
};

TEST(ExtractRelPathProperties, RandomPathsUnderCodePage932) {
  AnsiPathRules rules = japaneseRules();
  RandomPaths gen(20240611);
  for (int round = 0; round < 20000; ++round) {
    std::string root = gen.root();
    std::string common = root + gen.directories(gen.pick(3));
    int up = gen.pick(4);
    std::string down = gen.directories(gen.pick(3));
    std::string file = gen.pick(4) ? gen.name() : "";
    std::string base = common + gen.directories(up) + (gen.pick(2) ? gen.name() : "");
    // The first directory below the common part must differ from the base's, or it is shared.
    if (up > 0 && !down.empty()) down = "!" + down;
    std::string dest = common + down + file;
    std::string expected;
    for (int i = 0; i < up; ++i) expected += "..\\";
    expected += down + file;
    ASSERT_EQ(rel(base, dest, rules), expected) << "base " << base << " dest " << dest;
    // A path relative to itself is its file name.
    ASSERT_EQ(rel(dest, dest, rules), std::string(fileNamePart(dest, rules)));
    // The directory and the file name make the whole path.
    ASSERT_EQ(std::string(directoryPart(dest, rules)) + std::string(fileNamePart(dest, rules)), dest);
  }
}
