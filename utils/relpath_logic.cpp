#include "utils/relpath_logic.h"

namespace vantorelix {
namespace {

constexpr char kSeparator = '\\';

unsigned char byteAt(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The DBCS folding: double-byte characters stay as they are, single bytes fold by the ASCII
// rule.
std::string foldDbcs(std::string_view s, const AnsiPathRules& rules) {
  std::vector<ByteKind> kinds = byteKinds(s, rules);
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i)
    if (kinds[i] == ByteKind::single) out[i] = asciiLower(out[i]);
  return out;
}

std::string fold(std::string_view s, const AnsiPathRules& rules) {
  if (rules.dbcs) return foldDbcs(s, rules);
  return rules.lower(s);
}

// `s` without its first `n` bytes (nothing left when it is shorter).
std::string_view withoutFirst(std::string_view s, size_t n) { return n < s.size() ? s.substr(n) : std::string_view(); }

// The segments of a path's directory once its drive or share is taken away.
std::vector<std::string_view> directorySegments(std::string_view path, const AnsiPathRules& rules) {
  return pathSegments(withoutFirst(directoryPart(path, rules), drivePrefix(path).size()), rules);
}

}  // namespace

LeadByteTable leadByteTable(const unsigned char* pairs, size_t count) {
  LeadByteTable table{};
  for (size_t i = 0; i + 1 < count; i += 2) {
    unsigned low = pairs[i], high = pairs[i + 1];
    if (low == 0 && high == 0) break;
    for (unsigned b = low; b <= high; ++b) table[b] = true;
  }
  return table;
}

std::vector<ByteKind> byteKinds(std::string_view s, const AnsiPathRules& rules) {
  std::vector<ByteKind> kinds(s.size(), ByteKind::single);
  if (!rules.dbcs) return kinds;
  // From the left: a lead-range byte opens a character whose next byte is its trail byte.
  // This is the same as counting the run of lead-range bytes before each byte.
  for (size_t i = 0; i < s.size(); ++i) {
    if (i > 0 && kinds[i - 1] == ByteKind::lead) kinds[i] = ByteKind::trail;
    else if (rules.leadBytes[byteAt(s, i)]) kinds[i] = ByteKind::lead;
  }
  return kinds;
}

std::string_view drivePrefix(std::string_view s) {
  if (s.size() >= 2 && s[1] == ':') return s.substr(0, 2);
  if (s.size() >= 2 && s[0] == kSeparator && s[1] == kSeparator) {
    // Positions from 1: the prefix runs up to the separator that ends the share name.
    size_t i = 3;
    int separators = 0;
    while (i < s.size() && separators < 2) {
      if (s[i - 1] == kSeparator) ++separators;
      if (separators < 2) ++i;
    }
    if (i <= s.size() && s[i - 1] == kSeparator) --i;
    return s.substr(0, i);  // "\\" alone: no third byte, the prefix is all of it
  }
  return {};
}

std::string_view directoryPart(std::string_view s, const AnsiPathRules& rules) {
  std::vector<ByteKind> kinds = byteKinds(s, rules);
  for (size_t i = s.size(); i-- > 0;) {
    if (s[i] != kSeparator && s[i] != ':') continue;
    if (kinds[i] != ByteKind::trail) return s.substr(0, i + 1);
    // The second byte of a double-byte character: the character is passed over as a whole.
    if (i == 0) break;
    --i;
  }
  return {};
}

std::string_view fileNamePart(std::string_view s, const AnsiPathRules& rules) {
  return s.substr(directoryPart(s, rules).size());
}

bool namesMatch(std::string_view a, std::string_view b, const AnsiPathRules& rules) {
  if (a.empty() && b.empty()) return true;
  return rules.equal(fold(a, rules), fold(b, rules));
}

std::vector<std::string_view> pathSegments(std::string_view t, const AnsiPathRules& rules) {
  std::vector<std::string_view> segments;
  if (t.empty()) return segments;
  std::vector<ByteKind> kinds = byteKinds(t, rules);
  size_t start = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == kSeparator && kinds[i] == ByteKind::single) {
      segments.push_back(t.substr(start, i - start));
      start = i + 1;
    }
  }
  segments.push_back(t.substr(start));
  return segments;
}

std::string extractRelPath(std::string_view basePath, std::string_view destPath, const AnsiPathRules& rules) {
  if (!namesMatch(drivePrefix(basePath), drivePrefix(destPath), rules)) return std::string(destPath);

  std::vector<std::string_view> base = directorySegments(basePath, rules);
  std::vector<std::string_view> dest = directorySegments(destPath, rules);

  // The directories that both paths share.
  size_t common = 0;
  while (common < base.size() && common < dest.size() && namesMatch(base[common], dest[common], rules)) ++common;

  // Up from the rest of the base directory; its last segment is the empty one after its
  // final separator, which takes no step.
  std::string relative;
  for (size_t up = common + 1; up < base.size(); ++up) relative += "..\\";

  // Down into the rest of the destination's directory, then its file name.
  if (common < dest.size() && !dest[common].empty()) {
    relative += dest[common];
    relative += kSeparator;
  }
  for (size_t i = common + 1; i < dest.size(); ++i) {
    relative += dest[i];
    if (i + 1 < dest.size()) relative += kSeparator;
  }
  relative += fileNamePart(destPath, rules);
  return relative;
}

bool startsWithDriveLetter(std::string_view path) {
  return path.size() >= 3 && path[1] == ':' && driveLetterOf(path) != 0;
}

bool startsWithDriveRoot(std::string_view path) { return startsWithDriveLetter(path) && path[2] == kSeparator; }

char driveLetterOf(std::string_view path) {
  if (path.empty()) return 0;
  char letter = asciiUpper(path[0]);
  return (letter >= 'A' && letter <= 'Z') ? letter : 0;
}

}  // namespace vantorelix
