// The relative-path extraction of extractRelPath and the byte rules of expandFileName, over
// ANSI bytes. The code page's view of the bytes (DBCS mode, the lead-byte ranges, the folding
// and the comparison of names) is handed in, so that none of this needs the platform.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorelix {

// One flag per byte value: true for the bytes of the code page's lead-byte ranges.
using LeadByteTable = std::array<bool, 256>;

// The lead-byte ranges as the platform reports them: pairs of low and high byte, at most
// `count` / 2 pairs, ending at the first pair of two zeros.
LeadByteTable leadByteTable(const unsigned char* pairs, size_t count);

// How the extraction sees the bytes of the ANSI code page.
struct AnsiPathRules {
  bool dbcs = false;          // lead bytes are honoured only in DBCS mode
  LeadByteTable leadBytes{};  // the lead-byte ranges
  // Outside DBCS mode: the whole text folded by the system's rules.
  std::function<std::string(std::string_view)> lower;
  // True when two folded names are equal for the user's locale.
  std::function<bool(std::string_view, std::string_view)> equal;
};

enum class ByteKind : unsigned char { single, lead, trail };

// The kind of every byte of `s`: a trail byte follows an odd run of lead-range bytes, a lead
// byte is a lead-range byte that is no trail byte. Outside DBCS mode every byte is single.
std::vector<ByteKind> byteKinds(std::string_view s, const AnsiPathRules& rules);

// The drive ("C:") or server and share ("\\srv\share") at the start of `s`; empty when none.
// These byte tests do not consult the DBCS classification.
std::string_view drivePrefix(std::string_view s);

// `s` up to and including its last "\" or ":" that is not a trail byte; empty when none.
std::string_view directoryPart(std::string_view s, const AnsiPathRules& rules);

// The bytes of `s` after its directory part.
std::string_view fileNamePart(std::string_view s, const AnsiPathRules& rules);

// Both names folded (in DBCS mode by the ASCII rule, double-byte characters untouched;
// otherwise by `rules.lower`) and then compared by `rules.equal`. Two empty names match.
bool namesMatch(std::string_view a, std::string_view b, const AnsiPathRules& rules);

// `t` cut at every "\" that is a single byte: k separators give k + 1 segments; an empty `t`
// has none.
std::vector<std::string_view> pathSegments(std::string_view t, const AnsiPathRules& rules);

// The path that leads from the directory of `basePath` to `destPath`; `destPath` itself when
// the two lie on different drives or shares. A base that does not end in "\" names a file.
std::string extractRelPath(std::string_view basePath, std::string_view destPath, const AnsiPathRules& rules);

// True for a full path that begins with a drive letter: at least 3 bytes, "A" to "Z" (either
// case) and ":".
bool startsWithDriveLetter(std::string_view path);

// True for a path that begins with a drive letter, ":" and "\".
bool startsWithDriveRoot(std::string_view path);

// The letter of such a path in upper case (ASCII rule); 0 when the first byte is no letter.
char driveLetterOf(std::string_view path);

}  // namespace vantorelix
