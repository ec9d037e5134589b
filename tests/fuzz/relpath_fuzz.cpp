// The relative-path extraction on arbitrary bytes, with and without DBCS mode and with the
// lead bytes of code page 932 or ranges taken from the input. Besides memory and undefined-
// behaviour faults it checks the relations that every answer keeps.
//
// Input: one flag byte (bit 0: DBCS mode; bit 1: twelve bytes of lead ranges follow), one byte
// that places the cut between base and destination, then the bytes of both paths.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "utils/relpath_logic.h"

using namespace vantorelix;

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

std::string lowerLatin(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    unsigned char b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) c = static_cast<char>(b + 0x20);
  }
  return out;
}

bool sameBytes(std::string_view a, std::string_view b) { return a == b; }

// The classification as first defined: a byte is a trail byte when the run of lead-range bytes
// right before it has odd length.
void checkKinds(std::string_view s, const AnsiPathRules& rules) {
  std::vector<ByteKind> kinds = byteKinds(s, rules);
  require(kinds.size() == s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    size_t run = 0;
    while (run < i && rules.leadBytes[static_cast<unsigned char>(s[i - run - 1])]) ++run;
    ByteKind expected = ByteKind::single;
    if (rules.dbcs && run % 2 == 1)
      expected = ByteKind::trail;
    else if (rules.dbcs && rules.leadBytes[static_cast<unsigned char>(s[i])])
      expected = ByteKind::lead;
    require(kinds[i] == expected);
  }
}

void checkParts(std::string_view s, const AnsiPathRules& rules) {
  checkKinds(s, rules);
  std::string_view prefix = drivePrefix(s);
  require(s.substr(0, prefix.size()) == prefix);
  std::string_view dir = directoryPart(s, rules), file = fileNamePart(s, rules);
  require(std::string(dir) + std::string(file) == s);
  std::vector<std::string_view> segments = pathSegments(s, rules);
  require(segments.empty() == s.empty());
  std::string joined;
  for (size_t i = 0; i < segments.size(); ++i) joined += std::string(segments[i]) + (i + 1 < segments.size() ? "\\" : "");
  require(joined == s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  AnsiPathRules rules;
  rules.dbcs = data[0] & 1;
  static const unsigned char cp932[12] = {0x81, 0x9F, 0xE0, 0xFC};
  const unsigned char* ranges = cp932;
  size_t at = 2;
  if ((data[0] & 2) && size >= 14) {
    ranges = data + 2;
    at = 14;
  }
  rules.leadBytes = leadByteTable(ranges, 12);
  rules.lower = lowerLatin;
  rules.equal = sameBytes;

  std::string_view rest(reinterpret_cast<const char*>(data + at), size - at);
  size_t cut = rest.empty() ? 0 : data[1] % (rest.size() + 1);
  std::string_view base = rest.substr(0, cut), dest = rest.substr(cut);

  checkParts(base, rules);
  checkParts(dest, rules);

  std::string relative = extractRelPath(base, dest, rules);
  std::string_view file = fileNamePart(dest, rules);
  require(relative.size() >= file.size() && relative.compare(relative.size() - file.size(), file.size(), file) == 0);
  if (!namesMatch(drivePrefix(base), drivePrefix(dest), rules)) require(relative == dest);
  require(extractRelPath(dest, dest, rules) == file);
  return 0;
}
