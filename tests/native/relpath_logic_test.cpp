#include "utils/relpath_logic.h"

#include <gtest/gtest.h>

#include <random>

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

}  // namespace

TEST(ExtractRelPath, TheDocumentedExamplesUnderBothKindsOfCodePage) {
  for (const AnsiPathRules& rules : {westernRules(), japaneseRules()}) {
    SCOPED_TRACE(rules.dbcs ? "DBCS" : "single-byte");
    EXPECT_EQ(rel("C:\\a\\b\\c.txt", "C:\\a\\d\\e.txt", rules), "..\\d\\e.txt");
    EXPECT_EQ(rel("C:\\a\\b\\", "C:\\a\\b\\x.txt", rules), "x.txt");
    EXPECT_EQ(rel("C:\\a\\b", "C:\\a\\b\\x.txt", rules), "b\\x.txt");  // the base names a file
    EXPECT_EQ(rel("C:\\a\\b\\c\\", "C:\\x.txt", rules), "..\\..\\..\\x.txt");
    EXPECT_EQ(rel("c:\\A\\B\\", "C:\\a\\b\\x\\y.txt", rules), "x\\y.txt");
    EXPECT_EQ(rel("\\\\srv\\share\\a\\", "\\\\SRV\\share\\b\\f.txt", rules), "..\\b\\f.txt");
    EXPECT_EQ(rel("C:\\a\\", "C:\\a\\", rules), "");
    EXPECT_EQ(rel("a\\b\\f", "a\\c\\g", rules), "..\\c\\g");
    EXPECT_EQ(rel("", "x\\y", rules), "x\\y");
    EXPECT_EQ(rel("C:\\a\\b\\", "D:\\x.txt", rules), "D:\\x.txt");
  }
}

TEST(ExtractRelPath, NamesAreComparedNotResolved) {
  AnsiPathRules rules = westernRules();
  // "." and ".." are names like any other; "/" is an ordinary character.
  EXPECT_EQ(rel("C:\\a\\..\\b\\", "C:\\a\\b\\f", rules), "..\\..\\b\\f");
  EXPECT_EQ(rel("C:\\a\\", "C:\\a\\.\\f", rules), ".\\f");
  EXPECT_EQ(rel("C:\\a/b\\", "C:\\a/b\\f", rules), "f");
  EXPECT_EQ(rel("C:\\a\\", "C:\\a/b\\f", rules), "..\\a/b\\f");
  // A drive-relative base is the root of its drive: no step up, and the destination's empty
  // root segment is dropped.
  EXPECT_EQ(rel("C:a.txt", "C:\\x\\y.txt", rules), "x\\y.txt");
  EXPECT_EQ(rel("C:\\x\\", "C:y.txt", rules), "..\\..\\y.txt");
  // Different shares, and a share against a drive, give the destination itself.
  EXPECT_EQ(rel("\\\\srv\\one\\a\\", "\\\\srv\\two\\a\\f", rules), "\\\\srv\\two\\a\\f");
  EXPECT_EQ(rel("\\\\srv\\one\\", "C:\\f", rules), "C:\\f");
  EXPECT_EQ(rel("", "C:\\f", rules), "C:\\f");
  // Relative paths without a drive share the empty prefix.
  EXPECT_EQ(rel("f", "g", rules), "g");
  EXPECT_EQ(rel("a\\", "b\\c", rules), "..\\b\\c");
}

TEST(ExtractRelPath, FoldingFollowsTheSystemOutsideDbcsMode) {
  AnsiPathRules rules = westernRules();
  // "\xC4" (A with diaeresis) folds to "\xE4" by the system's rules.
  EXPECT_EQ(rel("C:\\\xC4rger\\x\\", "C:\\\xE4rger\\f", rules), "..\\f");
}

TEST(ExtractRelPath, ADoubleByteCharacterEndingInBackslashIsNoSeparator) {
  AnsiPathRules dbcs = japaneseRules();
  AnsiPathRules western = westernRules();
  // Base directory C:\表\ is one level deep under code page 932; byte by byte it is two.
  EXPECT_EQ(rel("C:\\" + kHyo + "\\", "C:\\f.txt", dbcs), "..\\f.txt");
  EXPECT_EQ(rel("C:\\" + kHyo + "\\", "C:\\f.txt", western), "..\\..\\f.txt");
  // A base file named 表 is dropped whole, so the base directory is C:\a\.
  EXPECT_EQ(rel("C:\\a\\" + kHyo, "C:\\a\\x.txt", dbcs), "x.txt");
  EXPECT_EQ(rel("C:\\a\\" + kHyo, "C:\\a\\x.txt", western), "..\\x.txt");
  // Directory names with the character inside them are compared as whole names.
  EXPECT_EQ(rel("C:\\" + kSo + "x\\" + kHyo + "\\", "C:\\" + kSo + "x\\" + kHyo + "\\f", dbcs), "f");
  EXPECT_EQ(rel("C:\\" + kSo + "x\\a\\", "C:\\" + kSo + "y\\f", dbcs), "..\\..\\" + kSo + "y\\f");
  EXPECT_EQ(rel("C:\\d\\", "C:\\" + kSo + "\\" + kHyo + "\\f", dbcs), "..\\" + kSo + "\\" + kHyo + "\\f");
  // The trail byte of ア (0x83 0x41) is not an ASCII capital: "\x83\x41" and "\x83\x61" differ.
  EXPECT_EQ(rel("C:\\\x83\x41\\", "C:\\\x83\x61\\f", dbcs), "..\\\x83\x61\\f");
  EXPECT_EQ(rel("C:\\\x83\x41\\", "C:\\\x83\x61\\f", western), "f");
}

TEST(DrivePrefix, DriveLettersAndServerShares) {
  EXPECT_EQ(drivePrefix("C:\\a\\b"), "C:");
  EXPECT_EQ(drivePrefix("C:"), "C:");
  EXPECT_EQ(drivePrefix("?:x"), "?:");  // whatever the first byte is
  EXPECT_EQ(drivePrefix("\\\\srv\\share\\dir\\f.txt"), "\\\\srv\\share");
  EXPECT_EQ(drivePrefix("\\\\srv\\share"), "\\\\srv\\share");
  EXPECT_EQ(drivePrefix("\\\\srv\\share\\"), "\\\\srv\\share");
  EXPECT_EQ(drivePrefix("\\\\srv"), "\\\\srv");
  EXPECT_EQ(drivePrefix("\\\\srv\\"), "\\\\srv");
  EXPECT_EQ(drivePrefix("\\\\"), "\\\\");
  EXPECT_EQ(drivePrefix("\\\\\\"), "\\\\");
  EXPECT_EQ(drivePrefix("\\a\\b"), "");
  EXPECT_EQ(drivePrefix("a"), "");
  EXPECT_EQ(drivePrefix(""), "");
  // No DBCS classification here: the trail byte of 表 ends the share name.
  EXPECT_EQ(drivePrefix("\\\\srv\\" + kHyo + "\\x"), "\\\\srv\\\x95");
}

TEST(DirectoryAndFileName, SplitAtTheLastSeparatorThatIsNoTrailByte) {
  AnsiPathRules dbcs = japaneseRules();
  AnsiPathRules western = westernRules();
  EXPECT_EQ(directoryPart("C:\\a\\b.txt", dbcs), "C:\\a\\");
  EXPECT_EQ(fileNamePart("C:\\a\\b.txt", dbcs), "b.txt");
  EXPECT_EQ(directoryPart("C:b.txt", dbcs), "C:");
  EXPECT_EQ(fileNamePart("b.txt", dbcs), "b.txt");
  EXPECT_EQ(directoryPart("b.txt", dbcs), "");
  EXPECT_EQ(directoryPart("", dbcs), "");
  EXPECT_EQ(fileNamePart("C:\\a\\", dbcs), "");
  std::string path = "C:\\a\\" + kHyo;
  EXPECT_EQ(directoryPart(path, dbcs), "C:\\a\\");
  EXPECT_EQ(fileNamePart(path, dbcs), kHyo);
  EXPECT_EQ(directoryPart(path, western), path);
  EXPECT_EQ(fileNamePart(path, western), "");
  // Three lead-range bytes: the third opens a character, so the "\" after it is its second byte.
  EXPECT_EQ(directoryPart("x\\\x81\x81\x81\\", dbcs), "x\\");
  EXPECT_EQ(directoryPart("x\\\x81\x81\\", dbcs), "x\\\x81\x81\\");
}

TEST(Segments, CutAtSingleByteBackslashes) {
  AnsiPathRules dbcs = japaneseRules();
  using V = std::vector<std::string_view>;
  EXPECT_EQ(pathSegments("", dbcs), V{});
  EXPECT_EQ(pathSegments("\\a\\b\\", dbcs), (V{"", "a", "b", ""}));
  EXPECT_EQ(pathSegments("a", dbcs), V{"a"});
  EXPECT_EQ(pathSegments("\\", dbcs), (V{"", ""}));
  EXPECT_EQ(pathSegments("a\\\\b", dbcs), (V{"a", "", "b"}));
  std::string t = "\\" + kSo + "\\" + kHyo + "x\\";
  EXPECT_EQ(pathSegments(t, dbcs), (V{"", kSo, kHyo + "x", ""}));
  EXPECT_EQ(pathSegments(t, westernRules()).size(), 6u);
}

TEST(NamesMatch, FoldsThenCompares) {
  AnsiPathRules dbcs = japaneseRules();
  AnsiPathRules western = westernRules();
  EXPECT_TRUE(namesMatch("", "", dbcs));
  EXPECT_TRUE(namesMatch("", "", western));
  EXPECT_FALSE(namesMatch("", "a", western));
  EXPECT_TRUE(namesMatch("ABC", "abc", dbcs));
  EXPECT_TRUE(namesMatch("ABC", "abc", western));
  EXPECT_FALSE(namesMatch("abc", "abd", western));
  EXPECT_TRUE(namesMatch("\xC0", "\xE0", western));
  EXPECT_FALSE(namesMatch("\x83\x41", "\x83\x61", dbcs));
  EXPECT_TRUE(namesMatch("\x83\x41" "A", "\x83\x41" "a", dbcs));
  // A lead byte at the end has no partner and stays as it is.
  EXPECT_TRUE(namesMatch("A\x81", "a\x81", dbcs));
  // Two empty names match without asking the comparison.
  AnsiPathRules refusing = western;
  refusing.equal = [](std::string_view, std::string_view) { return false; };
  EXPECT_TRUE(namesMatch("", "", refusing));
  EXPECT_FALSE(namesMatch("a", "a", refusing));
}

TEST(ByteKinds, TrailBytesFollowAnOddRunOfLeadRangeBytes) {
  AnsiPathRules dbcs = japaneseRules();
  using K = std::vector<ByteKind>;
  const auto S = ByteKind::single, L = ByteKind::lead, T = ByteKind::trail;
  EXPECT_EQ(byteKinds("\x81\x81\\", dbcs), (K{L, T, S}));
  EXPECT_EQ(byteKinds("\x81\x81\x81\\", dbcs), (K{L, T, L, T}));
  EXPECT_EQ(byteKinds("a\xE0\x40\xFC", dbcs), (K{S, L, T, L}));
  EXPECT_EQ(byteKinds("\xA0\x80\xFD", dbcs), (K{S, S, S}));  // outside both ranges
  EXPECT_EQ(byteKinds("\x81\x81", westernRules()), (K{S, S}));
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
  EXPECT_TRUE(startsWithDriveLetter("C:\\x"));
  EXPECT_TRUE(startsWithDriveLetter("z:x"));
  EXPECT_FALSE(startsWithDriveLetter("C:"));  // fewer than 3 bytes
  EXPECT_FALSE(startsWithDriveLetter("1:\\"));
  EXPECT_FALSE(startsWithDriveLetter("\\\\s\\x"));
  EXPECT_TRUE(startsWithDriveRoot("x:\\"));
  EXPECT_FALSE(startsWithDriveRoot("x:a"));
  EXPECT_EQ(driveLetterOf("q:\\"), 'Q');
  EXPECT_EQ(driveLetterOf("@:\\"), 0);
  EXPECT_EQ(driveLetterOf(""), 0);
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
